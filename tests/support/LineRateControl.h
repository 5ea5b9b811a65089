#pragma once
// A machine control on the master side of a pty whose line carries characters no faster
// than a real one: each character the program writes reaches the control one character time
// after the line is free (a UART's transmit queue, modelled from when the bytes appeared on
// the pty). So what the program wrote ahead of the line keeps arriving after an XOFF, and a
// send that reports "done" before the line carried it is caught. The model needs no reading
// at the line rate, so a loaded test machine does not skew it: a late wake-up of this thread
// only makes it send its XOFF later, and the count after the XOFF starts from when it went.
#include "PtyPair.h"
#include "transfer/LinePacer.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

class LineRateControl
{
public:
    using Clock = std::chrono::steady_clock;

    // XOFF once `every` characters were carried since the last XON, XON `holdMs` after it;
    // `count` times (0: never).
    struct Pauses {
        qint64 every = 0;
        int holdMs = 50;
        int count = 0;
        bool xon = true;
    };

    LineRateControl(PtyPair &pty, const LineSettings &line) : LineRateControl(pty, line, Pauses())
    {
    }
    LineRateControl(PtyPair &pty, const LineSettings &line, Pauses pauses)
        : m_pty(pty), m_charNs(LinePacer::nominalCharNs(line)), m_pauses(pauses)
    {
        m_thread = std::thread([this] { loop(); });
    }
    ~LineRateControl()
    {
        m_stop = true;
        m_thread.join();
    }
    LineRateControl(const LineRateControl &) = delete;
    LineRateControl &operator=(const LineRateControl &) = delete;

    double charsPerSecond() const { return 1e9 / double(m_charNs); }
    // What the line has carried to the control by now.
    QByteArray bytes() const
    {
        QMutexLocker lock(&m_mutex);
        return m_bytes.left(int(carriedLocked(nowNs())));
    }
    qint64 count() const
    {
        QMutexLocker lock(&m_mutex);
        return carriedLocked(nowNs());
    }
    // Everything the program wrote, carried or still on its way.
    QByteArray written() const
    {
        QMutexLocker lock(&m_mutex);
        return m_bytes;
    }
    // Characters that reached the control between each XOFF and its XON.
    std::vector<qint64> afterXoff() const
    {
        QMutexLocker lock(&m_mutex);
        return m_afterXoff;
    }
    // When the line will have carried the character written last, and when it began the
    // first one.
    Clock::time_point lastCarriedAt() const
    {
        QMutexLocker lock(&m_mutex);
        return Clock::time_point(std::chrono::nanoseconds(m_doneAt.empty() ? 0 : m_doneAt.back()));
    }
    Clock::time_point firstStartedAt() const
    {
        QMutexLocker lock(&m_mutex);
        return Clock::time_point(
            std::chrono::nanoseconds(m_doneAt.empty() ? 0 : m_doneAt.front() - m_charNs));
    }
    // Waits without processing events; true when pred() held in time.
    bool waitFor(const std::function<bool()> &pred, int timeoutMs) const
    {
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!pred()) {
            if (Clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    static qint64 nowNs()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count();
    }
    qint64 carriedLocked(qint64 now) const
    {
        return std::upper_bound(m_doneAt.begin(), m_doneAt.end(), now) - m_doneAt.begin();
    }

    void loop()
    {
        char buf[65536];
        qint64 xoffAt = -1, xonDue = 0, nextXoffIndex = m_pauses.every;
        while (!m_stop) {
            // The next thing to do on time: an XOFF once its character is carried, its XON.
            qint64 dueNs = nowNs() + 5000000;
            {
                QMutexLocker lock(&m_mutex);
                const bool pausing = int(m_afterXoff.size()) < m_pauses.count && m_pauses.every > 0;
                if (xoffAt >= 0)
                    dueNs = std::min(dueNs, xonDue);
                else if (pausing && qint64(m_doneAt.size()) >= nextXoffIndex)
                    dueNs = std::min(dueNs, m_doneAt[size_t(nextXoffIndex - 1)]);
            }
            const qint64 waitNs = std::max<qint64>(0, dueNs - nowNs());
            pollfd p{m_pty.masterFd(), POLLIN, 0};
            const timespec ts{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
            ::ppoll(&p, 1, &ts, nullptr);
            const ssize_t n = ::read(m_pty.masterFd(), buf, sizeof buf);
            // They came after the last read that emptied the pty; taking that moment keeps a
            // late wake-up here from looking like a program ahead of its line.
            const qint64 cameAfter = m_lastEmptied;
            m_lastEmptied = n < qint64(sizeof buf) ? nowNs() : m_lastEmptied;
            QMutexLocker lock(&m_mutex);
            for (ssize_t i = 0; i < n; ++i) {
                // Carried one character time after the line is free, or after it appeared.
                const qint64 start =
                    std::max(cameAfter, m_doneAt.empty() ? cameAfter : m_doneAt.back());
                m_doneAt.push_back(start + m_charNs);
                m_bytes.append(buf[i]);
            }
            const qint64 t = nowNs();
            if (xoffAt >= 0 && t >= xonDue) {
                // Everything carried after the XOFF went out, in flight or written later.
                const qint64 after =
                    m_doneAt.end() - std::upper_bound(m_doneAt.begin(), m_doneAt.end(), xoffAt);
                m_afterXoff.push_back(after);
                nextXoffIndex = qint64(m_doneAt.size()) + m_pauses.every;
                xoffAt = -1;
                if (m_pauses.xon)
                    m_pty.send("\x11");
            } else if (xoffAt < 0 && int(m_afterXoff.size()) < m_pauses.count &&
                       m_pauses.every > 0 && qint64(m_doneAt.size()) >= nextXoffIndex &&
                       t >= m_doneAt[size_t(nextXoffIndex - 1)]) {
                m_pty.send("\x13");
                xoffAt = nowNs();
                xonDue = xoffAt + qint64(m_pauses.holdMs) * 1000000;
            }
        }
    }

    PtyPair &m_pty;
    const qint64 m_charNs;
    const Pauses m_pauses;
    std::atomic<bool> m_stop{false};
    qint64 m_lastEmptied = nowNs(); // the reader's own
    mutable QMutex m_mutex;
    QByteArray m_bytes;
    std::vector<qint64> m_doneAt; // when the line has carried each character (steady ns)
    std::vector<qint64> m_afterXoff;
    std::thread m_thread;
};
