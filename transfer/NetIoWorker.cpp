#include "transfer/NetIoWorker.h"

#include <QMutexLocker>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

NetIoWorker::NetIoWorker(NetworkSerialLine *line) : m_line(line), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &NetIoWorker::stepTimedOut);
}

void NetIoWorker::startOpen(const OpenRequest &request, OpenDone done)
{
    m_request = request;
    m_done = std::move(done);
    m_name = request.settings.portName;
    m_telnet = request.address.kind == NetworkSerialLine::Kind::Rfc2217;
    m_step = Step::Connecting;
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &NetIoWorker::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetIoWorker::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetIoWorker::goneAway);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetIoWorker::onError);
    // Name lookup included.
    m_timer->start(request.connectMs);
    m_socket->connectToHost(request.address.host, request.address.port);
}

void NetIoWorker::cancelOpen()
{
    m_done = nullptr;
    m_step = Step::Idle;
    m_timer->stop();
    doClose(false);
}

void NetIoWorker::doClose(bool purge)
{
    m_timer->stop();
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    if (purge && m_telnet && m_socket->state() == QAbstractSocket::ConnectedState)
        sendControl(Rfc2217::purgeBoth());
    {
        // No writer may send on the descriptor once the socket has closed it.
        QMutexLocker lock(&m_line->m_sendMutex);
        m_line->m_fd = -1;
    }
    dropSocket();
}

void NetIoWorker::goneAway()
{
    if (!m_socket || m_line->m_closing.load())
        return;
    if (m_step == Step::Negotiating || m_step == Step::AwaitingModem) {
        fail(closedAtOnce());
        return;
    }
    if (m_step != Step::Live)
        return; // a connect that fails says so through errorOccurred
    m_socket->disconnect(this);
    m_line->markLost(NetworkSerialLine::lostText(m_name));
}

QString NetIoWorker::closedAtOnce() const
{
    return QStringLiteral("Cannot open port \"%1\": the device server closed the "
                          "connection at once (is another client connected?)")
        .arg(m_name);
}

QString NetIoWorker::noAnswer() const
{
    return QStringLiteral("Cannot open port \"%1\": no answer from %2:%3 within %4 s")
        .arg(m_name, m_request.address.host)
        .arg(m_request.address.port)
        .arg(m_request.connectMs / 1000.0, 0, 'g', 3);
}

QString NetIoWorker::connectFailure(QAbstractSocket::SocketError e) const
{
    const NetworkSerialLine::Address &a = m_request.address;
    switch (e) {
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Cannot open port \"%1\": the host \"%2\" is unknown")
            .arg(m_name, a.host);
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Cannot open port \"%1\": %2:%3 refused the connection (no "
                              "device server on that port?)")
            .arg(m_name, a.host)
            .arg(a.port);
    case QAbstractSocket::SocketTimeoutError:
        return noAnswer();
    default:
        return QStringLiteral("Cannot open port \"%1\": %2")
            .arg(m_name, m_socket ? m_socket->errorString() : QString());
    }
}

void NetIoWorker::onError(QAbstractSocket::SocketError e)
{
    // A wait that timed out says nothing about the connection.
    if (e == QAbstractSocket::SocketTimeoutError || e == QAbstractSocket::TemporaryError)
        return;
    if (m_step == Step::Connecting)
        fail(connectFailure(e));
    else
        goneAway();
}

void NetIoWorker::onConnected()
{
    if (m_step != Step::Connecting)
        return;
    m_timer->stop();
    // One request per character must not wait for Nagle's coalescing.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_socket->setReadBufferSize(0);
    {
        QMutexLocker lock(&m_line->m_sendMutex);
        m_line->m_fd = int(m_socket->socketDescriptor());
    }
    if (!m_telnet) {
        finishOpen(true, QString());
        return;
    }
    // The Telnet handshake: BINARY both ways and COM-PORT-OPTION, which the server must
    // accept within the bound (a raw port answers nothing, or echoes our bytes as data).
    m_step = Step::Negotiating;
    m_telnetReader.reply = [this](const QByteArray &bytes) { sendControl(bytes); };
    m_telnetReader.modemState = [this](bool on) { followCts(on); };
    sendControl(Rfc2217::opening());
    m_telnetReader.noteOpening();
    m_timer->start(m_request.negotiationMs);
}

void NetIoWorker::stepTimedOut()
{
    switch (m_step) {
    case Step::Connecting:
        fail(noAnswer());
        break;
    case Step::Negotiating:
        fail(QStringLiteral("Cannot open port \"%1\": the device server did not agree to "
                            "RFC 2217 (COM-PORT-OPTION) within %2 ms; for a raw TCP port "
                            "write tcp:// instead")
                 .arg(m_name)
                 .arg(m_request.negotiationMs));
        break;
    case Step::AwaitingModem:
        // CTS stays unknown (off) until the server reports it.
        finishOpen(true, QString());
        break;
    case Step::Idle:
    case Step::Live:
        break;
    }
}

void NetIoWorker::advanceOpen()
{
    if (m_step == Step::Negotiating) {
        if (m_telnetReader.comPortRefused()) {
            fail(QStringLiteral("Cannot open port \"%1\": the device server refused RFC 2217 "
                                "(COM-PORT-OPTION); for a raw TCP port write tcp:// instead")
                     .arg(m_name));
            return;
        }
        if (!m_telnetReader.comPortAgreed())
            return;
        m_timer->stop();
        sendControl(Rfc2217::settingsCommands(m_request.settings));
        // A send under RTS/CTS asks at once whether CTS is known; the server's first
        // modem-state notice normally follows the mask at once.
        if (m_request.settings.hardwareHandshake && !m_line->m_modemLines.load()) {
            m_step = Step::AwaitingModem;
            m_timer->start(NetworkSerialLine::ModemStateWaitMs);
            return;
        }
        finishOpen(true, QString());
    } else if (m_step == Step::AwaitingModem && m_line->m_modemLines.load()) {
        finishOpen(true, QString());
    }
}

void NetIoWorker::fail(const QString &message)
{
    if (m_step == Step::Idle || m_step == Step::Live)
        return;
    m_step = Step::Idle;
    m_timer->stop();
    QMetaObject::invokeMethod(
        this, [this, message] { report(false, message); }, Qt::QueuedConnection);
}

void NetIoWorker::finishOpen(bool ok, const QString &message)
{
    if (m_step == Step::Idle || m_step == Step::Live)
        return;
    m_step = ok ? Step::Live : Step::Idle;
    m_timer->stop();
    report(ok, message);
}

void NetIoWorker::report(bool ok, const QString &message)
{
    if (!ok) {
        m_line->m_closing = true;
        doClose(false);
    }
    const OpenDone done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(ok, message);
}

void NetIoWorker::dropSocket()
{
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    // Possibly inside one of its own signals.
    m_socket->deleteLater();
    m_socket = nullptr;
}

void NetIoWorker::sendControl(const QByteArray &bytes)
{
    bool gone = false;
    m_line->sendWire(bytes, NetworkSerialLine::ControlSendMs, &gone);
}

void NetIoWorker::onReadyRead()
{
    if (!m_socket)
        return;
    const auto readAt = PauseGate::Clock::now();
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    const QByteArray data = m_telnet ? m_telnetReader.unwrap(bytes) : bytes;
    if (!data.isEmpty())
        m_line->queueReceived(data, readAt);
    advanceOpen();
}

void NetIoWorker::followCts(bool on)
{
    m_line->m_modemLines = true;
    if (on == m_cts)
        return;
    m_cts = on;
    QMetaObject::invokeMethod(m_line, "deliverCts", Qt::QueuedConnection, Q_ARG(bool, on));
}
