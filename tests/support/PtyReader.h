#pragma once
// Collects what the program sends on a pty, on its own thread, while a command runs its
// event loop.
#include "PtyPair.h"

#include <QByteArray>
#include <QMutex>

#include <atomic>
#include <thread>

class PtyReader
{
public:
    explicit PtyReader(PtyPair &pty, QByteArray xoffAfter = {})
        : m_pty(pty), m_xoffAfter(std::move(xoffAfter)), m_thread([this] { loop(); })
    {
    }
    ~PtyReader()
    {
        m_stop = true;
        m_thread.join();
    }
    QByteArray bytes()
    {
        QMutexLocker lock(&m_mutex);
        return m_bytes;
    }

private:
    void loop()
    {
        bool paused = false;
        while (!m_stop) {
            const QByteArray got = m_pty.readBytes(1, 20);
            QMutexLocker lock(&m_mutex);
            m_bytes += got;
            // Plays a control whose buffer is full, so the send is caught in its middle.
            if (!paused && !m_xoffAfter.isEmpty() && m_bytes.contains(m_xoffAfter)) {
                m_pty.send("\x13");
                paused = true;
            }
        }
    }
    PtyPair &m_pty;
    QByteArray m_xoffAfter;
    QMutex m_mutex;
    QByteArray m_bytes;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
