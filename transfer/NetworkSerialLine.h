#pragma once
// SerialLine on a serial device server reached over the network: "tcp://host:port" (raw
// bytes, the server's own line settings) or "rfc2217://host:port" (Telnet COM-PORT-OPTION:
// the line's settings are sent to the server). A QTcpSocket in an I/O thread of its own.
#include "transfer/DeviceClaim.h"
#include "transfer/SerialLine.h"

#include <QMutex>
#include <QThread>

#include <atomic>
#include <functional>

class NetIoWorker;

class NetworkSerialLine : public SerialLine
{
    Q_OBJECT
public:
    // Connecting (name lookup included) gives up after this long.
    static constexpr int ConnectTimeoutMs = 5000;
    // An RFC 2217 server must agree to COM-PORT-OPTION within this long after connecting.
    static constexpr int NegotiationTimeoutMs = 2000;
    // A Telnet reply or a purge from the I/O thread waits this long at most for room.
    static constexpr int ControlSendMs = 200;
    // After the server has had time to send everything out, the connection stays this much
    // longer before it closes: servers may purge their port when the client leaves.
    static constexpr int ServerSettleMs = 100;
    // Under RTS/CTS, opening waits this long at most for the server to report CTS.
    static constexpr int ModemStateWaitMs = 500;

    enum class Kind { Raw, Rfc2217 };
    struct Address {
        Kind kind = Kind::Raw;
        QString host;
        quint16 port = 0;
    };
    // True when the name asks for a network line at all (tcp:// or rfc2217://, any case).
    static bool isNetworkName(const QString &name);
    // Splits a network port name; false with a message saying what is wrong with it.
    static bool parseName(const QString &name, Address *address, QString *error);

    explicit NetworkSerialLine(QObject *parent = nullptr);
    ~NetworkSerialLine() override;

    void setTimeouts(int connectMs, int negotiationMs)
    {
        m_connectTimeoutMs = connectMs;
        m_negotiationTimeoutMs = negotiationMs;
    }

    bool setSettings(const LineSettings &settings, QString *error = nullptr) override;
    LineSettings settings() const override;
    bool open(QString *error) override;
    // Connects and negotiates in the line's I/O thread; the calling thread is not held up.
    void openAsync() override;
    bool isOpening() const override { return m_opening.load(); }
    void close() override;
    void drainAndClose() override;
    bool isConnected() const override { return m_connected.load(); }
    qint64 write(const QByteArray &bytes) override;
    // What the socket has not handed on, plus what the server's port cannot have sent yet
    // at the line's baud rate (the server acknowledges at once what it still holds), so a
    // sender stays as close to the machine as on a local port.
    qint64 outputQueued() const override;
    bool cts() const override { return m_cts.load(); }
    // A raw port tells nothing of the modem lines; an RFC 2217 server reports CTS.
    bool hasModemLines() const override { return m_modemLines.load(); }

private slots:
    void deliverCts(bool on);

private:
    friend class NetIoWorker;
    void closeLine(bool discardOutput);
    // Under m_openMutex. Reserves the port name and starts the I/O thread; false (with
    // *error) when the open cannot begin. *s: the settings the open is made with.
    bool prepareOpen(LineSettings *s, QString *error);
    void startWorker(const LineSettings &s, std::function<void(bool, const QString &)> done);
    // Under m_openMutex: the open's outcome taken on, or its worker and name let go.
    void endOpen(bool ok);
    void asyncOpenDone(quint64 serial, bool ok, const QString &message);
    void markLost(const QString &message);
    void releasePortName();
    static QString lostText(const QString &name);
    // Bytes as they go on the wire; returns how many went out before the deadline. A send
    // failure marks the line lost (*gone).
    qint64 sendWire(const QByteArray &wire, int timeoutMs, bool *gone);

    Address m_address;
    std::atomic<int> m_connectTimeoutMs{ConnectTimeoutMs};
    std::atomic<int> m_negotiationTimeoutMs{NegotiationTimeoutMs};

    QMutex m_openMutex;
    QThread m_ioThread;
    NetIoWorker *m_worker = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_opening{false}; // an openAsync() under way
    quint64 m_openSerial = 0;           // which openAsync() a late answer belongs to
    std::atomic<bool> m_establishing{false};
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_telnet{false};
    std::atomic<bool> m_cts{false};
    std::atomic<bool> m_modemLines{false};
    // The server's port, taken from every other line of the program until close or loss.
    DeviceClaim m_claim;

    // Writers take m_writerMutex for a whole request; every send() to the socket, the I/O
    // thread's Telnet replies included, takes m_sendMutex for that one call only, so the
    // reader never waits behind a writer that waits for room.
    QMutex m_writerMutex;
    mutable QMutex m_sendMutex;
    std::atomic<int> m_fd{-1};
    // The second byte of an escaped 0xFF still owed to the wire.
    bool m_owedIac = false;
};
