#include "transfer/PauseGate.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

bool PauseGate::runDueLocked(Clock::time_point now, int *lfOwed)
{
    bool any = false;
    while (!m_delayed.empty() && m_delayed.front().due <= now) {
        const Delayed d = m_delayed.front();
        m_delayed.pop_front();
        if (d.lf)
            ++*lfOwed;
        if (d.resume)
            m_paused = false;
        any = true;
    }
    return any;
}

bool PauseGate::pass(const std::function<bool()> &writeLf, bool *waited)
{
    QMutexLocker lock(&m_mutex);
    if (m_sampleOpen) {
        m_sampleOpen = false;
        if (m_samples.size() < MaxSamples)
            m_samples.push_back({m_written.load() - m_writtenAtXoff, m_openCloseDelayNs});
    }
    for (;;) {
        if (m_stopped.load())
            return false;
        int lfOwed = 0;
        runDueLocked(Clock::now(), &lfOwed);
        if (lfOwed > 0) {
            lock.unlock();
            for (int i = 0; i < lfOwed; ++i) {
                if (writeLf && !writeLf())
                    return false;
            }
            lock.relock();
            continue;
        }
        if (!m_paused)
            return true;
        if (waited)
            *waited = true;
        if (m_delayed.empty()) {
            m_changed.wait(&m_mutex);
        } else {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_delayed.front().due - Clock::now());
            m_changed.wait(&m_mutex, QDeadlineTimer(qMax<qint64>(0, left.count() + 1)));
        }
    }
}

void PauseGate::pauseSelf()
{
    QMutexLocker lock(&m_mutex);
    m_paused = true;
}

void PauseGate::pause()
{
    QMutexLocker lock(&m_mutex);
    m_paused = true;
    for (Delayed &d : m_delayed)
        d.resume = false;
}

void PauseGate::resume()
{
    QMutexLocker lock(&m_mutex);
    m_paused = false;
    m_changed.wakeAll();
}

void PauseGate::scheduleResume(int delayMs, bool lf)
{
    QMutexLocker lock(&m_mutex);
    // Each wait starts when the one before it has ended, as waits in one event handler do.
    const Clock::time_point start =
        m_delayed.empty() ? Clock::now() : qMax(Clock::now(), m_delayed.back().due);
    m_delayed.push_back({start + std::chrono::milliseconds(delayMs), lf, true});
    m_changed.wakeAll();
}

void PauseGate::pauseFromLine(Clock::time_point readAt)
{
    QMutexLocker lock(&m_mutex);
    if (!m_paused && !m_sampleOpen) {
        m_sampleOpen = true;
        m_writtenAtXoff = m_written.load();
        m_openCloseDelayNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - readAt).count();
    }
    m_paused = true;
    for (Delayed &d : m_delayed)
        d.resume = false;
}

bool PauseGate::isPaused() const
{
    QMutexLocker lock(&m_mutex);
    return m_paused;
}

bool PauseGate::hasPendingActions() const
{
    QMutexLocker lock(&m_mutex);
    return !m_delayed.empty();
}

void PauseGate::stop(const QString &reason)
{
    QMutexLocker lock(&m_mutex);
    if (!m_stopped.load() && !reason.isEmpty())
        m_stopReason = reason;
    m_stopped = true;
    m_changed.wakeAll();
}

QString PauseGate::stopReason() const
{
    QMutexLocker lock(&m_mutex);
    return m_stopReason;
}

std::vector<PauseGate::XoffSample> PauseGate::xoffSamples() const
{
    QMutexLocker lock(&m_mutex);
    return m_samples;
}
