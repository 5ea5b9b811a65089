#include "transfer/PortIoWorker.h"

#include "transfer/PortSerialLine.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace
{

QSerialPort::Parity toQt(LineSettings::Parity p)
{
    switch (p) {
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toQt(LineSettings::StopBits s)
{
    switch (s) {
    case LineSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

} // namespace

bool PortIoWorker::doOpen(const LineSettings &s, QString *error)
{
    m_port = new QSerialPort(this);
    m_port->setPortName(s.portName);
    if (!m_port->open(QIODevice::ReadWrite)) {
        *error =
            QStringLiteral("Cannot open port \"%1\": %2").arg(s.portName, m_port->errorString());
        delete m_port;
        m_port = nullptr;
        return false;
    }
    if (!apply(s, error)) {
        m_port->close();
        delete m_port;
        m_port = nullptr;
        return false;
    }
    m_port->setReadBufferSize(0);
    m_port->clear();
    m_portName = s.portName;
    m_devicePath = m_port->portName().startsWith(QLatin1Char('/'))
                       ? m_port->portName()
                       : QStringLiteral("/dev/") + m_port->portName();
    connect(m_port, &QSerialPort::readyRead, this, &PortIoWorker::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &PortIoWorker::onError);
    m_cts = false;
    m_port->pinoutSignals();
    m_ctsReadable = m_port->error() == QSerialPort::NoError;
    m_port->clearError();
    m_pollTimer = new QTimer(this);
    connect(m_pollTimer, &QTimer::timeout, this, &PortIoWorker::poll);
    m_handshake = s.hardwareHandshake;
    m_deviceChecked.start();
    m_pollTimer->start(pollInterval());
    return true;
}

bool PortIoWorker::doApply(const LineSettings &s, QString *error)
{
    if (!m_port)
        return true;
    m_handshake = s.hardwareHandshake;
    if (m_pollTimer && m_pollTimer->isActive())
        m_pollTimer->setInterval(pollInterval());
    return apply(s, error);
}

void PortIoWorker::doClose(bool discardOutput)
{
    if (m_pollTimer) {
        m_pollTimer->stop();
        delete m_pollTimer;
        m_pollTimer = nullptr;
    }
    if (m_port) {
        m_port->disconnect(this);
        if (m_port->isOpen()) {
            m_port->clear(discardOutput ? QSerialPort::AllDirections : QSerialPort::Input);
            m_port->close();
        }
        delete m_port;
        m_port = nullptr;
    }
}

qint64 PortIoWorker::doWrite(const QByteArray &bytes, int timeoutMs)
{
    if (!m_port)
        return -1;
    if (m_port->write(bytes) < 0)
        return 0;
    QDeadlineTimer deadline(timeoutMs);
    while (m_port->bytesToWrite() > 0 && !deadline.hasExpired())
        m_port->waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())));
    const qint64 unsent = m_port->bytesToWrite();
    if (unsent > 0)
        m_port->clear(QSerialPort::Output);
    return bytes.size() - unsent;
}

void PortIoWorker::goneAway()
{
    if (!m_port)
        return;
    m_line->markLost(PortSerialLine::lostText(m_portName));
    if (m_pollTimer)
        m_pollTimer->stop();
    m_port->disconnect(this);
    if (m_port->isOpen())
        m_port->close();
}

bool PortIoWorker::apply(const LineSettings &s, QString *error)
{
    bool ok = m_port->setBaudRate(s.baudRate) &&
              m_port->setDataBits(QSerialPort::DataBits(s.dataBits)) &&
              m_port->setParity(toQt(s.parity)) && m_port->setStopBits(toQt(s.stopBits)) &&
              m_port->setFlowControl(s.hardwareHandshake ? QSerialPort::HardwareControl
                                                         : QSerialPort::NoFlowControl);
    if (!ok) {
        if (error)
            *error = QStringLiteral("Port \"%1\" refused its settings: %2")
                         .arg(s.portName, m_port->errorString());
        return false;
    }
    // DTR stays off; RTS off unless the handshake drives it. A pseudo-terminal has no
    // modem lines, so refusals here are not failures.
    m_port->setDataTerminalReady(false);
    if (!s.hardwareHandshake)
        m_port->setRequestToSend(false);
    m_port->clearError();
    return true;
}

void PortIoWorker::onReadyRead()
{
    const auto readAt = PauseGate::Clock::now();
    const QByteArray bytes = m_port->readAll();
    if (bytes.isEmpty())
        return;
    m_line->queueReceived(bytes, readAt);
}

void PortIoWorker::onError(QSerialPort::SerialPortError e)
{
    if (e == QSerialPort::ResourceError || hungUp())
        goneAway();
}

bool PortIoWorker::hungUp() const
{
#ifdef Q_OS_UNIX
    if (!m_port || !m_port->isOpen())
        return false;
    pollfd p{int(m_port->handle()), 0, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return true;
#endif
    return false;
}

void PortIoWorker::poll()
{
    if (!m_port)
        return;
    bool gone = m_line->isLost() || hungUp();
    if (!gone && m_deviceChecked.elapsed() >= PortSerialLine::DeviceCheckMs) {
        m_deviceChecked.restart();
        gone = !QFileInfo::exists(m_devicePath);
    }
    if (gone) {
        goneAway();
        return;
    }
    if (!m_ctsReadable)
        return;
    const auto pins = m_port->pinoutSignals();
    if (m_port->error() != QSerialPort::NoError) {
        // No modem status (a pseudo-terminal): CTS counts as off for good.
        m_port->clearError();
        m_ctsReadable = false;
        m_pollTimer->setInterval(pollInterval());
        return;
    }
    const bool on = pins.testFlag(QSerialPort::ClearToSendSignal);
    if (on != m_cts) {
        m_cts = on;
        QMetaObject::invokeMethod(m_line, "deliverCts", Qt::QueuedConnection, Q_ARG(bool, on));
    }
}

int PortIoWorker::pollInterval() const
{
    if (!m_ctsReadable)
        return PortSerialLine::IdleCheckMs;
    return m_handshake ? PortSerialLine::CtsPollMs : PortSerialLine::CtsLampPollMs;
}
