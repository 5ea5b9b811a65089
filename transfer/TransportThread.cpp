#include "transfer/TransportThread.h"

#include "settings/NcText.h"
#include "transfer/SerialLine.h"

#include <QFile>
#include <QMutexLocker>

TransportThread::TransportThread(QObject *parent) : QThread(parent) {}

TransportThread::~TransportThread()
{
    stopWorker();
    wait();
}

void TransportThread::setFileListBox(const QStringList &files)
{
    QMutexLocker lock(&m_gateMutex);
    m_files = files;
}

void TransportThread::setPauseString(const QString &text)
{
    QMutexLocker lock(&m_gateMutex);
    m_pauseText = text;
}

void TransportThread::resumeWorker()
{
    QMutexLocker lock(&m_gateMutex);
    if (!m_paused)
        return;
    m_paused = false;
    if (!m_started) {
        m_started = true;
        start();
    }
    m_gateChanged.wakeAll();
}

void TransportThread::pauseWorker()
{
    QMutexLocker lock(&m_gateMutex);
    m_paused = true;
}

bool TransportThread::isPaused() const
{
    QMutexLocker lock(&m_gateMutex);
    return m_paused;
}

void TransportThread::stopWorker()
{
    QMutexLocker lock(&m_gateMutex);
    m_stop = true;
    m_gateChanged.wakeAll();
}

QVector<SendUpdate> TransportThread::takeUpdates()
{
    QMutexLocker lock(&m_updateMutex);
    QVector<SendUpdate> out;
    out.swap(m_updates);
    return out;
}

void TransportThread::post(SendUpdate::Kind kind, qint64 value, const QString &text)
{
    bool wasEmpty;
    {
        QMutexLocker lock(&m_updateMutex);
        wasEmpty = m_updates.isEmpty();
        // Coalesce runs so that a fast line does not flood the window, keeping order.
        if (!wasEmpty) {
            SendUpdate &last = m_updates.last();
            if (kind == SendUpdate::ProgressStep && last.kind == SendUpdate::ProgressStep) {
                last.value += value;
                return;
            }
            if (kind == SendUpdate::EchoAppend && last.kind == SendUpdate::EchoAppend) {
                last.text += text;
                return;
            }
        }
        m_updates.append(SendUpdate{kind, value, text});
    }
    if (wasEmpty)
        emit updatesPending();
}

bool TransportThread::gate()
{
    QMutexLocker lock(&m_gateMutex);
    while (m_paused && !m_stop)
        m_gateChanged.wait(&m_gateMutex);
    return !m_stop;
}

bool TransportThread::waitForDriverQueue()
{
    while (m_line->outputQueued() > MaxDriverQueue) {
        if (m_stop)
            return false;
        QThread::usleep(500);
    }
    return !m_stop;
}

// Never drops a byte: what a timed-out write left behind is written again.
bool TransportThread::sendBytes(const QByteArray &bytes)
{
    QByteArray rest = bytes;
    bool waiting = false;
    for (;;) {
        if (m_stop)
            return false;
        const qint64 n = m_line->write(rest);
        if (n < 0) {
            if (!m_stop)
                post(SendUpdate::FileFailed, m_current,
                     QStringLiteral("The serial line was closed before the program went out."));
            return false;
        }
        if (n >= rest.size())
            break;
        rest.remove(0, n);
        if (!waiting) {
            waiting = true;
            post(SendUpdate::Waiting, 1);
        }
        if (!gate())
            return false;
    }
    if (waiting)
        post(SendUpdate::Waiting, 0);
    return true;
}

bool TransportThread::sendFile(int index, const QString &path)
{
    m_current = index;
    QFile file(path);
    post(SendUpdate::ProgressMax, file.size());
    post(SendUpdate::SelectFile, index);
    post(SendUpdate::EchoStart);
    if (!file.open(QIODevice::ReadOnly)) {
        post(SendUpdate::FileFailed, index, file.errorString());
        return false;
    }
    if (!sendBytes(QByteArray(1, DC2)))
        return false;
    int percents = 0;
    char buffer[65536];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0) {
            post(SendUpdate::FileFailed, index, file.errorString());
            return false;
        }
        if (got == 0)
            break;
        for (qint64 k = 0; k < got; ++k) {
            char c = buffer[k];
            if (c == CtrlZ || percents >= 2)
                goto endOfFile;
            if (c == 'O')
                c = ':';
            if (c == '%')
                ++percents;
            if (!waitForDriverQueue() || !gate() || !sendBytes(QByteArray(1, c)))
                return false;
            const auto code = static_cast<unsigned char>(c);
            if (c == '\n')
                post(SendUpdate::EchoNewLine);
            else if (code >= 33 && code <= 254)
                post(SendUpdate::EchoAppend, 0, NcText::fromBytes(QByteArray(1, c)));
            post(SendUpdate::ProgressStep, 1);
        }
    }
endOfFile:
    return sendBytes(QByteArray(1, DC4));
}

void TransportThread::run()
{
    QStringList files;
    {
        QMutexLocker lock(&m_gateMutex);
        files = m_files;
    }
    for (int i = 0; i < files.size(); ++i) {
        if (i > 0) {
            // Paused before the window hears of it, so that a resume answering the
            // caption (an XON, a press) is never lost.
            QString pauseText;
            {
                QMutexLocker lock(&m_gateMutex);
                pauseText = m_pauseText;
                m_paused = true;
            }
            post(SendUpdate::PauseCaption, 0, pauseText);
            if (!gate())
                return;
        }
        if (!sendFile(i, files[i]))
            return;
    }
    if (m_stop)
        return;
    m_line->drainAndClose();
    post(SendUpdate::Finished);
}
