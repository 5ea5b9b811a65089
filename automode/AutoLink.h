#pragma once
// The auto mode's link on one serial line: the receive handling (adapter answers, cable
// framing, radio device addresses and buffers), the send list with its 100 ms dispatcher,
// and the worker that carries out one entry at a time. Widget-free: the window and
// `ncferry-cli auto` each own one and show what it reports.
#include "automode/AutoModeSettings.h"
#include "automode/LinkWorker.h"
#include "automode/RequestProtocol.h"
#include "settings/LineSettings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>

class SerialLine;

namespace AutoMode
{

class AutoLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int DeviceCount = 8;
    static constexpr int MaxReadBytes = 1024;
    // The adapter's prompt and where its "SHOW" listing puts device n's address.
    static constexpr char Prompt[] = "RFCABLE>";
    static constexpr int FirstDeviceLine = 8;
    static constexpr int AddressColumn = 27; // counting from 1

    // line: open or to be opened by the owner; port: the port setting it serves.
    AutoLink(SerialLine *line, const PortProfile &port, GeneralValuesSource values,
             const LinkTimings &timings = {}, QObject *parent = nullptr);
    ~AutoLink() override;

    // The user's data folder: failed transfers go there when the program folder takes none.
    void setFallbackFolder(const QString &folder) { m_protocol.setFallbackFolder(folder); }
    void setRequestOptions(const RequestOptions &options) { m_protocol.setOptions(options); }

    // Starts the dispatcher; on a "Wireless" line the device query is queued first.
    void start();
    // Stops the dispatcher and the worker; entries still queued are not sent.
    void stop();
    // No further entries are started; the one in progress goes on.
    void stopDispatching() { m_tick.stop(); }
    // The current worker waits for the machine's XON (it has not begun, or was paused).
    bool workerHeld() const { return m_gate && m_gate->isPaused(); }

    bool isRadio() const { return m_radio; }
    FlowControl flowControl() const { return m_flowControl; }
    bool threadOver() const { return m_threadOver; }
    const QList<SendListEntry> &sendList() const { return m_sendList; }
    void append(const QList<SendListEntry> &entries) { m_sendList += entries; }
    // Receive state, for the window and the tests.
    QByteArray cableBuffer() const { return m_cable; }
    QByteArray deviceBuffer(int n) const { return m_buffers.at(n); }
    QString transcript() const { return m_transcript; }
    QStringList deviceAddress(int n) const { return m_ip.at(n); }
    int ipMark() const { return m_ipMark; }
    int onDevice() const { return m_onDevice; }
    int currentDevice() const { return m_device; }

    // The receive handling for bytes read from the line (public for the window's own use).
    void receive(const QByteArray &bytes);
    void DispatchTick();
    // Device n's address from line `line` of a "SHOW" listing.
    void ParseDeviceLine(const QString &line, int n);
    // The lines of a transcript as a text pane counts them (empty ones included).
    static QStringList transcriptLines(const QString &text);

signals:
    void logEvent(const AutoMode::LogEvent &event);
    // Something that went wrong without a request event of its own; text for the log.
    void problem(const QString &text);
    // Something that went wrong before works again (the adapter answers); text for the log.
    void resolved(const QString &text);
    // Characters of a program file as it is sent, for the send pane.
    void shown(const QString &text);
    void sendPaneCleared();
    // Bytes appended to a receive buffer (device -1: the cable buffer), or a buffer emptied.
    void bufferChanged(int device);
    // Device n's listed address; present: not 0.0.0.0.
    void addressListed(int n, const QString &text, bool present);
    // A program was stored (after its handling).
    void stored(const QString &path);
    // A worker ended and its completion ran.
    void entryDone(const AutoMode::SendListEntry &entry);

private:
    void readLine();
    // Handles received bytes; after `slice` bytes (0: no limit) the rest waits for the next
    // turn of the event loop, so a babbling line never holds up the others.
    void readReceived(qint64 slice);
    void commandByte(char c);
    void cableByte(char c);
    void noteXon(char c, int device);
    void radioByte(char c);
    void applyRadioByte(char c);
    bool TrackAddress(unsigned char b);
    // Releases held bytes that can no longer begin an address.
    void releaseHeld(bool all);
    void AppendReceived(QByteArray &buffer, char c);
    void handOver(int device, const QByteArray &buffer);
    QByteArray &bufferOf(int device);
    // A program that grew past the bound: kept as a failed transfer, the rest not received.
    void overflow(int device);
    void queueSaveError(int device);
    void journal(const QString &device, const QString &direction, const QString &file,
                 qint64 characters, const QString &result, const QString &reason) const;
    void keepPart(int device, const QByteArray &buffer, const QString &why);
    // The line went: every program being received ends here, and what follows starts clean.
    void onLineLost(const QString &message);
    // Answers to device `code` that have not begun are dropped: it asked anew.
    void supersede(const QString &code);
    void dropHeld(const QString &why);
    void markFailed(const SendListEntry &entry, const QString &why, bool silent);
    void adapterFailed(const QString &text, bool rateLimited);
    void adapterAnswered();
    void retryLater(const SendListEntry &entry);
    void workerEnded();
    void WorkerDone();
    void QueryDone();
    void ParseDeviceTable();

    SerialLine *m_line;
    RequestProtocol m_protocol;
    QString m_portName;
    LinkTimings m_timings;
    bool m_radio = false;
    bool m_wireless = false;
    FlowControl m_flowControl = FlowControl::None;

    LinkShared m_shared;
    QTimer m_tick;
    QTimer m_holdFlush;
    QTimer m_xonWait;
    QTimer m_retry;
    SendListEntry m_retryEntry;
    bool m_readPosted = false;
    bool m_dropped = false;      // the current worker's answer was dropped before it began
    QString m_xonCarry;          // a dropped answer's XON goes on to this device's next one
    bool m_readdressAll = false; // a selection failed: "FF" is owed once the adapter answers
    bool m_adapterFailing = false;
    int m_failedTries = 0;
    QElapsedTimer m_lastAdapterLog;
    QList<SendListEntry> m_sendList;
    std::unique_ptr<WATThread> m_worker;
    std::shared_ptr<PauseGate> m_gate;
    bool m_threadOver = false;

    bool m_dataSwitch = false;
    QByteArray m_cable;
    int m_device = 0;
    int m_onDevice = 0;
    std::array<QByteArray, DeviceCount> m_buffers;
    std::array<QStringList, DeviceCount> m_ip;
    // The addresses as bytes, for devices whose listed parts are four bytes in decimal:
    // only those can ever equal the last four bytes received.
    std::array<std::array<uchar, 4>, DeviceCount> m_ipBytes{};
    int m_ipBytesKnown = 0;
    int m_ipMark = 0;
    std::array<uchar, 4> m_ipBuf{}; // the last four data bytes, oldest first
    // Devices (0: the cable) whose program passed the bound, with where it belonged.
    QHash<int, QString> m_overflowed;
    // Radio data bytes that may be the first bytes of an address, oldest first.
    QByteArray m_held;
    QString m_transcript;
    qsizetype m_lineStart = 0; // where the transcript's last line begins
    qint64 m_answerBytes = 0;  // since the last prompt
    bool m_answerOverrun = false;
};

} // namespace AutoMode
