#include "transfer/LinePacer.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#include <algorithm>

double LinePacer::bitsPerChar(const LineSettings &s)
{
    const double parity = s.parity == LineSettings::Parity::None ? 0 : 1;
    const double stop = s.stopBits == LineSettings::StopBits::Two          ? 2
                        : s.stopBits == LineSettings::StopBits::OneAndHalf ? 1.5
                                                                           : 1;
    return 1 + qBound(5, s.dataBits, 8) + parity + stop;
}

qint64 LinePacer::nominalCharNs(const LineSettings &s)
{
    const double baud = s.baudRate > 0 ? s.baudRate : 9600;
    return qint64(bitsPerChar(s) * 1e9 / baud + 0.5);
}

void LinePacer::setLine(const LineSettings &s)
{
    const qint64 ns = qMax<qint64>(1, nominalCharNs(s) * 1000 / RatePermille);
    m_charNs.store(ns);
    m_lead.store(int(qMax<qint64>(LeadMinChars, LeadTimeNs / ns)));
}

qint64 LinePacer::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

qint64 LinePacer::aheadNsLocked(qint64 now) const
{
    return qMax<qint64>(0, m_freeAtNs - now);
}

qint64 LinePacer::awaitRoom(qint64 want, std::chrono::nanoseconds left,
                            const std::function<qint64()> &queued,
                            const std::function<bool()> &cancelled)
{
    if (want <= 0)
        return 0;
    {
        // Room found earlier stays valid: the line only carries more as time passes.
        QMutexLocker lock(&m_mutex);
        if (m_granted > 0)
            return qMin(want, m_granted);
    }
    const qint64 deadline = nowNs() + left.count();
    const qint64 lead = leadChars();
    const qint64 charTime = charNs();
    const qint64 need = qMin(want, lead);
    // Refill by half a lead at a time: one wake-up per several characters, never an idle line.
    const qint64 target = qMax(need, lead / 2);
    for (;;) {
        // queued() may take the line's own locks: never under ours.
        const qint64 below = queued ? qMax<qint64>(0, queued()) : 0;
        QMutexLocker lock(&m_mutex);
        if (cancelled && cancelled())
            return -1;
        const qint64 now = nowNs();
        const qint64 ahead = qMax(aheadNsLocked(now), below * charTime);
        const qint64 room = (lead * charTime - ahead) / charTime;
        if (room >= target || (room >= need && now >= deadline)) {
            m_granted = room;
            return qMin(want, room);
        }
        if (now >= deadline)
            return 0;
        // Until the line can have carried enough for `target`; a queue below that does not
        // move (CTS held) is looked at again after the same time.
        const qint64 waitNs =
            qBound<qint64>(MinWaitNs, ahead - (lead - target) * charTime, MaxWaitNs);
        m_wake.wait(&m_mutex, QDeadlineTimer(std::chrono::nanoseconds(qMin(waitNs, deadline - now)),
                                             Qt::PreciseTimer));
    }
}

void LinePacer::handedOn(qint64 bytes, bool clocked)
{
    if (bytes <= 0)
        return;
    QMutexLocker lock(&m_mutex);
    if (clocked)
        m_freeAtNs = qMax(nowNs(), m_freeAtNs) + bytes * charNs();
    m_granted = qMax<qint64>(0, m_granted - bytes);
}

qint64 LinePacer::clockAhead() const
{
    QMutexLocker lock(&m_mutex);
    const qint64 charTime = charNs();
    return (aheadNsLocked(nowNs()) + charTime - 1) / charTime;
}

bool LinePacer::awaitCarried(std::chrono::nanoseconds left, const std::function<qint64()> &below,
                             const std::function<bool()> &cancelled)
{
    const qint64 deadline = nowNs() + left.count();
    const qint64 charTime = charNs();
    for (;;) {
        const qint64 still = below ? qMax<qint64>(0, below()) : 0;
        QMutexLocker lock(&m_mutex);
        if (cancelled && cancelled())
            return false;
        const qint64 now = nowNs();
        const qint64 ahead = qMax(aheadNsLocked(now), still * charTime);
        if (ahead == 0)
            return true;
        if (now >= deadline)
            return false;
        const qint64 waitNs = qBound<qint64>(MinWaitNs, ahead, MaxWaitNs);
        m_wake.wait(&m_mutex, QDeadlineTimer(std::chrono::nanoseconds(qMin(waitNs, deadline - now)),
                                             Qt::PreciseTimer));
    }
}

bool LinePacer::awaitCancelled(std::chrono::nanoseconds left,
                               const std::function<bool()> &cancelled)
{
    const QDeadlineTimer deadline(left, Qt::PreciseTimer);
    QMutexLocker lock(&m_mutex);
    while (!cancelled()) {
        if (deadline.hasExpired())
            return false;
        m_wake.wait(&m_mutex, deadline);
    }
    return true;
}

void LinePacer::wake()
{
    QMutexLocker lock(&m_mutex);
    m_wake.wakeAll();
}

void LinePacer::restart()
{
    QMutexLocker lock(&m_mutex);
    m_freeAtNs = 0;
    m_granted = 0;
}
