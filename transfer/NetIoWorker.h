#pragma once
// The I/O thread's side of a NetworkSerialLine.
#include "settings/LineSettings.h"
#include "transfer/NetworkSerialLine.h"
#include "transfer/Rfc2217.h"

#include <QAbstractSocket>
#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;
class QTimer;

// Lives in the I/O thread; owns the socket there and reads (and unwraps Telnet) there. The
// open is driven by the socket's own signals and one timer, so the thread stays free to be
// told to give it up.
class NetIoWorker : public QObject
{
    Q_OBJECT
public:
    struct OpenRequest {
        NetworkSerialLine::Address address;
        LineSettings settings;
        int connectMs = NetworkSerialLine::ConnectTimeoutMs;
        int negotiationMs = NetworkSerialLine::NegotiationTimeoutMs;
    };
    using OpenDone = std::function<void(bool ok, const QString &error)>;

    explicit NetIoWorker(NetworkSerialLine *line);

    // Connects and, for RFC 2217, has COM-PORT-OPTION agreed, each within its bound. `done`
    // is called on this thread once, unless cancelOpen() comes first.
    void startOpen(const OpenRequest &request, OpenDone done);

    // The owner gave up waiting: nothing more is reported.
    void cancelOpen();

    void doClose(bool purge);

    // The far end has gone: stop reading at once and let the owner decide when to close.
    void goneAway();

private:
    enum class Step { Idle, Connecting, Negotiating, AwaitingModem, Live };

    QString closedAtOnce() const;
    QString noAnswer() const;
    QString connectFailure(QAbstractSocket::SocketError e) const;
    void onError(QAbstractSocket::SocketError e);
    void onConnected();
    void stepTimedOut();
    // What has arrived may finish a step of the open.
    void advanceOpen();
    // From inside a socket's signal: the socket goes after that signal has returned.
    void fail(const QString &message);
    void finishOpen(bool ok, const QString &message);
    void report(bool ok, const QString &message);
    void dropSocket();
    void sendControl(const QByteArray &bytes);
    void onReadyRead();
    void followCts(bool on);

    NetworkSerialLine *m_line;
    QTimer *m_timer;
    OpenRequest m_request;
    OpenDone m_done;
    Step m_step = Step::Idle;
    Rfc2217::Reader m_telnetReader;
    bool m_cts = false;
    QTcpSocket *m_socket = nullptr;
    QString m_name;
    bool m_telnet = false;
};
