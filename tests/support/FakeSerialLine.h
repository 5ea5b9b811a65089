#pragma once
// In-memory serial line: a driver output queue of fixed size that drains onto the "wire"
// at the baud rate while the line may send (CTS on, when the handshake is used).
// Received data and CTS changes are injected by the test on the GUI thread.
#include "transfer/SerialLine.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

class FakeSerialLine : public SerialLine
{
public:
    explicit FakeSerialLine(qint64 queueCapacity = 1024, double bytesPerSecond = 960)
        : m_capacity(queueCapacity), m_rate(bytesPerSecond / 1000.0)
    {
        m_clock.start();
    }

    bool setSettings(const LineSettings &s, QString * = nullptr) override
    {
        QMutexLocker lock(&m_mutex);
        m_settings = s;
        // Paced at the rate this queue really drains, whatever baud rate the record names.
        LineSettings paced = s;
        paced.baudRate = qMax(1, int(m_rate * 1000 * 10));
        paced.dataBits = 8;
        paced.parity = LineSettings::Parity::None;
        paced.stopBits = LineSettings::StopBits::One;
        noteSettings(paced);
        return true;
    }
    LineSettings settings() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_settings;
    }
    bool open(QString *error) override
    {
        if (m_failOpen) {
            if (error)
                *error = m_openError;
            return false;
        }
        m_connected = true;
        m_closing = false;
        return true;
    }
    void close() override
    {
        m_closing = true;
        wakePacer();
        {
            QMutexLocker lock(&m_mutex);
            if (!m_connected)
                return;
            drainLocked();
            m_queue.clear();
            m_connected = false;
        }
        emit afterClose();
    }
    void drainAndClose() override
    {
        QDeadlineTimer deadline(drainBoundMs(outputQueued()));
        while (outputQueued() > 0 && !deadline.hasExpired() && !m_closing)
            QThread::msleep(1);
        close();
    }
    bool isConnected() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_connected;
    }

    qint64 write(const QByteArray &bytes) override
    {
        if (!isConnected() || isLost())
            return -1;
        QDeadlineTimer deadline(writeTimeoutMs(bytes.size()));
        qint64 done = 0;
        for (;;) {
            // The queue is exact here: the pacer needs no clock of its own.
            const qint64 lead = awaitRoom(
                bytes.size() - done, deadline, [this] { return outputQueued(); }, m_closing);
            if (lead < 0)
                return done > 0 ? done : -1;
            {
                QMutexLocker lock(&m_mutex);
                if (!m_connected || isLost())
                    return done > 0 ? done : -1;
                drainLocked();
                const qint64 room = qMin(lead, m_capacity - m_queue.size());
                const qint64 take = qMin(room, bytes.size() - done);
                if (take > 0) {
                    m_queue += bytes.mid(done, take);
                    done += take;
                    handedOn(take, false);
                }
            }
            if (done == bytes.size() || deadline.hasExpired())
                return done;
            QThread::usleep(200);
        }
    }
    qint64 outputQueued() const override
    {
        QMutexLocker lock(&m_mutex);
        const_cast<FakeSerialLine *>(this)->drainLocked();
        return m_queue.size();
    }
    bool cts() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_cts;
    }

    // Test side. The flow gate sees the bytes here, as a reader thread would.
    void inject(const QByteArray &bytes) { emit rxChar(takeIn(bytes, PauseGate::Clock::now())); }
    // The far end goes away.
    void pull() { reportLost(QStringLiteral("Line lost: port \"fake\" is gone.")); }
    void setCts(bool on)
    {
        {
            QMutexLocker lock(&m_mutex);
            drainLocked();
            m_cts = on;
        }
        emit ctsChanged(on);
    }
    QByteArray wire() const
    {
        QMutexLocker lock(&m_mutex);
        const_cast<FakeSerialLine *>(this)->drainLocked();
        // A deep copy: a shared one would let the worker's next append decide between
        // detaching and reallocating on a count the test thread drops (ThreadSanitizer
        // cannot see that inside Qt).
        return QByteArray(m_wire.constData(), m_wire.size());
    }
    void setFailOpen(bool fail,
                     const QString &error = QStringLiteral("Cannot open port: no such port"))
    {
        m_failOpen = fail;
        m_openError = error;
    }
    // Also keeps what reached the wire in *mirror, which may outlive the line (a window
    // deletes its line with itself). Read it only after the line is gone.
    void setMirror(QByteArray *mirror) { m_mirror = mirror; }

private:
    void drainLocked()
    {
        const double now = m_clock.nsecsElapsed() / 1e6;
        const bool held = m_settings.hardwareHandshake && !m_cts;
        if (!held && !m_queue.isEmpty()) {
            m_credit += (now - m_last) * m_rate;
            const qint64 n = qMin<qint64>(qint64(m_credit), m_queue.size());
            m_wire += m_queue.left(n);
            if (m_mirror)
                *m_mirror += m_queue.left(n);
            m_queue.remove(0, n);
            m_credit -= n;
            if (m_queue.isEmpty())
                m_credit = 0;
        } else {
            m_credit = 0;
        }
        m_last = now;
    }

    mutable QMutex m_mutex;
    LineSettings m_settings;
    bool m_connected = false;
    bool m_cts = false;
    bool m_failOpen = false;
    QString m_openError;
    std::atomic<bool> m_closing{false};
    qint64 m_capacity;
    double m_rate;
    double m_credit = 0;
    double m_last = 0;
    QElapsedTimer m_clock;
    QByteArray m_queue;
    QByteArray m_wire;
    QByteArray *m_mirror = nullptr;
};
