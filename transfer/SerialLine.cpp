#include "transfer/SerialLine.h"

#include "transfer/LineControl.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

SerialLine::~SerialLine() = default;

void SerialLine::setDiscardNull(bool on)
{
    m_discardNull.store(on);
}

void SerialLine::openAsync()
{
    QString error;
    const bool ok = open(&error);
    QMetaObject::invokeMethod(
        this,
        [this, ok, error] {
            // Closed before the notice came: the open was cancelled.
            if (ok && !isConnected())
                return;
            emit openFinished(ok, error);
        },
        Qt::QueuedConnection);
}

LineSettings SerialLine::exchangeSettings(const LineSettings &s)
{
    LineSettings old;
    {
        QMutexLocker lock(&m_settingsMutex);
        old = m_storedSettings;
        m_storedSettings = s;
    }
    noteSettings(s);
    return old;
}

LineSettings SerialLine::storedSettings() const
{
    QMutexLocker lock(&m_settingsMutex);
    LineSettings s = m_storedSettings;
    s.discardNull = discardNull();
    return s;
}

bool SerialLine::waitForDrain(const std::atomic<bool> &closing)
{
    // Never blocking in the driver: a machine holding CTS low must not hold up the close,
    // and a close() from the window thread must get its lock at once.
    const auto bound = std::chrono::milliseconds(drainBoundMs(notCarried()));
    return m_pacer.awaitCarried(
        bound, [this] { return outputQueued() + (transmitterEmpty() ? 0 : 1); },
        [this, &closing] { return closing.load() || isLost(); });
}

void SerialLine::awaitClosing(std::chrono::milliseconds span, const std::atomic<bool> &closing)
{
    // Closing and loss both wake the pacer: nothing is looked at while the time passes.
    m_pacer.awaitCancelled(span, [this, &closing] { return closing.load() || isLost(); });
}

bool SerialLine::waitCarried(const std::atomic<bool> *stop)
{
    if (!isConnected())
        return false;
    const auto bound = std::chrono::milliseconds(drainBoundMs(notCarried()));
    return m_pacer.awaitCarried(
        bound, [this] { return outputQueued() + (transmitterEmpty() ? 0 : 1); },
        [this, stop] { return (stop && stop->load()) || !isConnected() || isLost(); });
}

qint64 SerialLine::notCarried() const
{
    return qMax(m_pacer.clockAhead(), outputQueued());
}

qint64 SerialLine::awaitRoom(qint64 want, const QDeadlineTimer &deadline,
                             const std::function<qint64()> &queued,
                             const std::atomic<bool> &closing)
{
    const qint64 leftNs = deadline.isForever() ? qint64(1) << 62 : deadline.remainingTimeNSecs();
    return m_pacer.awaitRoom(want, std::chrono::nanoseconds(qMax<qint64>(0, leftNs)), queued,
                             [this, &closing] { return closing.load() || isLost(); });
}

int SerialLine::drainBoundMs(qint64 queued) const
{
    const qint64 transmitMs = queued * m_pacer.charNs() / 1000000;
    return int(qMin<qint64>(DrainGraceMs + transmitMs, INT_MAX));
}

void SerialLine::armFlowGate(std::shared_ptr<PauseGate> gate, const FlowGateRules &rules)
{
    QMutexLocker lock(&m_gateMutex);
    m_gate = std::move(gate);
    m_rules = rules;
    m_gateArmed.store(m_gate != nullptr);
    if (m_gate && m_lost.load())
        m_gate->stop(lostMessage());
}

void SerialLine::disarmFlowGate()
{
    QMutexLocker lock(&m_gateMutex);
    m_gateArmed.store(false);
    m_gate.reset();
}

QByteArray SerialLine::screenReceived(const QByteArray &bytes, PauseGate::Clock::time_point readAt)
{
    QByteArray data = bytes;
    if (discardNull() && data.contains('\0'))
        data.replace('\0', QByteArray());
    if (!m_gateArmed.load() || m_gateBypass.load())
        return data;
    if (!data.contains(LineControl::XON) && !data.contains(LineControl::XOFF))
        return data;
    QMutexLocker lock(&m_gateMutex);
    if (!m_gate)
        return data;
    QByteArray kept;
    if (m_rules.consume)
        kept.reserve(data.size());
    for (const char c : std::as_const(data)) {
        bool acted = false;
        if (c == LineControl::XOFF && m_rules.xoffPauses) {
            m_gate->pauseFromLine(readAt);
            acted = true;
        } else if (c == LineControl::XON && m_rules.xonResumes) {
            m_gate->scheduleResume(m_rules.xonDelayMs, m_rules.lfAfterXon);
            acted = true;
        }
        if (m_rules.consume && !acted)
            kept.append(c);
    }
    return m_rules.consume ? kept : data;
}

qint64 SerialLine::takeIn(const QByteArray &bytes, PauseGate::Clock::time_point readAt)
{
    QMutexLocker lock(&m_rxMutex);
    m_rx += screenReceived(bytes, readAt);
    return m_rx.size();
}

void SerialLine::queueReceived(const QByteArray &bytes, PauseGate::Clock::time_point readAt)
{
    if (takeIn(bytes, readAt) == 0 || m_rxNotifyPending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_rxNotifyPending.store(false);
            const qint64 count = bytesWaiting();
            if (count > 0 && isConnected())
                emit rxChar(count);
        },
        Qt::QueuedConnection);
}

void SerialLine::clearReceived()
{
    m_rxNotifyPending.store(false);
    QMutexLocker lock(&m_rxMutex);
    m_rxTaken += m_rx.size();
    m_rx.clear();
}

qint64 SerialLine::bytesWaiting() const
{
    QMutexLocker lock(&m_rxMutex);
    return m_rx.size();
}

QByteArray SerialLine::read(qint64 maxBytes)
{
    QMutexLocker lock(&m_rxMutex);
    QByteArray out;
    if (maxBytes >= m_rx.size()) {
        out.swap(m_rx);
    } else {
        out = m_rx.left(maxBytes);
        m_rx.remove(0, out.size());
    }
    m_rxTaken += out.size();
    return out;
}

qint64 SerialLine::receivedTaken() const
{
    QMutexLocker lock(&m_rxMutex);
    return m_rxTaken;
}

qint64 SerialLine::switchFlowGateBypass(bool on)
{
    QMutexLocker lock(&m_rxMutex);
    m_gateBypass.store(on);
    return m_rxTaken + m_rx.size();
}

void SerialLine::noteLost(const QString &message)
{
    {
        QMutexLocker lock(&m_lostMutex);
        if (!m_lost.load())
            m_lostMessage = message;
    }
    m_lost.store(true);
    m_pacer.wake();
}

void SerialLine::reportLost(const QString &message)
{
    noteLost(message);
    if (m_lostReported.exchange(true))
        return;
    {
        QMutexLocker lock(&m_gateMutex);
        if (m_gate)
            m_gate->stop(message);
    }
    QMetaObject::invokeMethod(
        this, [this, message] { emit lineLost(message); }, Qt::QueuedConnection);
}

QString SerialLine::lostMessage() const
{
    QMutexLocker lock(&m_lostMutex);
    return m_lostMessage;
}
