#pragma once
// A radio adapter on the PC side of a serial line (a pseudo-terminal master or a real port),
// with up to eight machines behind it. It speaks what NCFerry relies on: "+++" enters command
// mode, every answer ends with the prompt "RFCABLE>", "AS 1", "SHOW" lists device n's address
// from character 27 of transcript line 8 + n, "PM xx" selects the devices that get the data,
// "EX" returns to data mode; data from a device reaches the PC behind its four address bytes.
// Qt Core and POSIX only, so it builds without the program it talks to.
#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <thread>

namespace Sim
{

class RadioAdapterSim
{
public:
    static constexpr int DeviceCount = 8;
    static constexpr char Prompt[] = "RFCABLE>";

    // fd: the PC side, opened read-write; not closed here. addresses: "a.b.c.d" per device,
    // an empty text for a device that is not there (listed as 0.0.0.0). answers = false
    // plays a line with no adapter: nothing is ever answered, everything is data.
    RadioAdapterSim(int fd, const QStringList &addresses, bool answers = true);
    ~RadioAdapterSim();
    RadioAdapterSim(const RadioAdapterSim &) = delete;
    RadioAdapterSim &operator=(const RadioAdapterSim &) = delete;

    // Device n punches bytes: the adapter puts its address before them. A device that was
    // sent XOFF holds its data until XON, as a control does; in command mode the adapter
    // keeps device data until "EX", so it never mixes with its answers.
    bool deviceSends(int n, const QByteArray &bytes);
    // Raw bytes to the PC, as if from nowhere (noise, a device the PC does not know).
    bool rawToPc(const QByteArray &bytes);

    // An adapter gone mute: it still wakes to "+++" with its prompt and carries out
    // commands, but answers none of them (one that answers late is muted, then not).
    void setMute(bool on) { m_mute = on; }
    // A babbling adapter: "+++" is answered with these bytes and no prompt.
    void setBabble(const QByteArray &bytes);

    // Called on the adapter's thread with the data bytes that reached device n.
    void setDeviceSink(std::function<void(int, const QByteArray &)> sink);

    QByteArray fromPc() const;        // everything the PC wrote
    QByteArray toDevice(int n) const; // the data-mode bytes device n received
    bool inCommandMode() const { return m_command.load(); }
    int selectedMask() const { return m_mask.load(); }
    static QByteArray addressBytes(const QString &address);
    // The "SHOW" listing line of a device.
    static QString listingLine(int n, const QString &address);

    // Waits (without an event loop) until done holds.
    static bool waitUntil(const std::function<bool()> &done, int timeoutMs);

private:
    void run();
    void take(char c);
    void execute(const QByteArray &line);
    void deliver(const QByteArray &bytes);
    void flushPendingLocked();
    bool writePc(const QByteArray &bytes);

    int m_fd;
    QStringList m_addresses;
    bool m_answers;
    std::atomic<bool> m_mute{false};
    QByteArray m_babble; // under m_mutex
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_command{false};
    std::atomic<int> m_mask{0xFF};
    int m_plus = 0; // '+' bytes held in data mode
    QByteArray m_commandLine;
    std::array<QByteArray, DeviceCount> m_pending; // held data, with its address
    std::array<bool, DeviceCount> m_xoff{};

    mutable QMutex m_mutex;
    QByteArray m_fromPc;
    std::array<QByteArray, DeviceCount> m_toDevice;
    std::function<void(int, const QByteArray &)> m_sink;
    QMutex m_writeMutex;
    std::thread m_thread;
};

// What a machine control punches and what it makes of what it gets.
namespace Machine
{
constexpr char DC2 = 0x12;
constexpr char DC4 = 0x14;
constexpr char XON = 0x11;
constexpr char XOFF = 0x13;

// DC2, "%", ":" + number, the code lines, "M30", "%", DC4; LF line ends.
QByteArray requestProgram(const QStringList &codeLines,
                          const QString &number = QStringLiteral("9999"));
// A program text (any line ends) as a control punches it: "O" as ":", LF line ends,
// framed by DC2 and DC4.
QByteArray punched(const QByteArray &text);
// The programs framed by DC2 ... DC4 in a received stream, with ":" turned back into "O".
QList<QByteArray> programsIn(const QByteArray &stream);
} // namespace Machine

} // namespace Sim
