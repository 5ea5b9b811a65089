#include "transfer/TransportThread.h"

#include "library/TransferJournal.h"
#include "settings/NcText.h"
#include "transfer/LineControl.h"
#include "transfer/SerialLine.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

TransportThread::TransportThread(QObject *parent)
    : QThread(parent), m_gate(std::make_shared<PauseGate>(true))
{
    m_frame.setSingleShot(true);
    m_frame.setInterval(UpdateFrameMs);
    connect(&m_frame, &QTimer::timeout, this, &TransportThread::updatesPending);
}

TransportThread::~TransportThread()
{
    stopWorker();
    join();
}

void TransportThread::join()
{
    wait();
    (void)m_over.load(std::memory_order_acquire);
}

void TransportThread::setFileListBox(const QStringList &files)
{
    QMutexLocker lock(&m_setupMutex);
    m_files = files;
}

void TransportThread::setPauseString(const QString &text)
{
    QMutexLocker lock(&m_setupMutex);
    m_pauseText = text;
}

void TransportThread::begin()
{
    if (!m_started.exchange(true))
        start();
}

void TransportThread::resumeWorker()
{
    m_gate->resume();
    begin();
}

void TransportThread::pauseWorker()
{
    m_gate->pause();
}

bool TransportThread::isPaused() const
{
    return m_gate->isPaused();
}

void TransportThread::stopWorker()
{
    m_stop = true;
    m_gate->stop();
}

QVector<SendUpdate> TransportThread::takeUpdates()
{
    QMutexLocker lock(&m_updateMutex);
    QVector<SendUpdate> out;
    out.swap(m_updates);
    m_noticeOwed = false;
    return out;
}

// Called with the update lock held, after an update joined the queue: the first one since
// the window took them starts the frame timer on the window's thread; the rest ride along,
// so a fast line wakes the window thread once a frame, not once a character.
bool TransportThread::noticeDueLocked()
{
    if (m_noticeOwed)
        return false;
    m_noticeOwed = true;
    return true;
}

void TransportThread::scheduleNotice()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_frame.isActive())
                m_frame.start();
        },
        Qt::QueuedConnection);
}

void TransportThread::post(SendUpdate::Kind kind, qint64 value, const QString &text)
{
    bool notify;
    {
        QMutexLocker lock(&m_updateMutex);
        m_updates.append(SendUpdate{kind, value, text});
        notify = noticeDueLocked();
    }
    if (notify)
        scheduleNotice();
}

// Characters sent merge into one pending update, however fast the line and however long
// the window thread is away: its echo text is capped, dropping the oldest lines.
bool TransportThread::appendEcho(QString *to, char c, bool echoed)
{
    const auto code = static_cast<unsigned char>(c);
    const auto page = NcText::codePage();
    const bool single = page == NcText::CodePage::Latin1
#ifndef Q_OS_WIN
                        || page == NcText::CodePage::System
#endif
        ;
    // A byte is its character: no buffer, no allocation per character.
    if (single && m_echoBytes.isEmpty()) {
        if (echoed)
            *to += QLatin1Char(c);
        return echoed;
    }
    if (echoed)
        m_echoBytes += c;
    if (m_echoBytes.isEmpty())
        return false;
    // A double-byte character must be decoded whole: its trail byte may even look like ASCII,
    // so the text is cut only where a character surely ends.
    const qsizetype n = m_echoBytes.size();
    const bool ascii = code < 0x80;
    const bool prevAscii = n < 2 || static_cast<unsigned char>(m_echoBytes[n - 2]) < 0x80;
    const bool cut = single || c == '\n' || (ascii && (!echoed || prevAscii)) || n >= 256;
    if (!cut)
        return false;
    *to += NcText::fromBytes(m_echoBytes);
    m_echoBytes.resize(0); // keeps its room for the next character
    return true;
}

void TransportThread::postSent(char c)
{
    const auto code = static_cast<unsigned char>(c);
    const bool echoed = c == '\n' || (code >= 33 && code <= 254);
    bool notify;
    {
        QMutexLocker lock(&m_updateMutex);
        notify = noticeDueLocked();
        if (m_updates.isEmpty() || m_updates.last().kind != SendUpdate::Sent)
            m_updates.append(SendUpdate{SendUpdate::Sent, 0, QString()});
        SendUpdate &u = m_updates.last();
        ++u.value;
        if (appendEcho(&u.text, c, echoed) && u.text.size() > MaxPendingEcho) {
            const int cut = u.text.indexOf(QLatin1Char('\n'), u.text.size() - MaxPendingEcho / 2);
            u.text.remove(0, cut < 0 ? u.text.size() - MaxPendingEcho / 2 : cut + 1);
            u.reset = true;
        }
    }
    if (notify)
        scheduleNotice();
}

bool TransportThread::writeLf()
{
    // The LF owed to an XON: whole, and never behind a stop.
    for (;;) {
        if (m_stop)
            return false;
        const qint64 n = m_line->write(QByteArray(1, '\n'));
        if (n < 0)
            return false;
        if (n == 1)
            return true;
    }
}

bool TransportThread::gate()
{
    bool waited = false;
    const bool open = m_gate->pass([this] { return writeLf(); }, &waited);
    if (open && waited)
        post(SendUpdate::Resumed);
    return open;
}

void TransportThread::reportStop()
{
    if (m_failurePosted)
        return;
    if (m_line->isLost()) {
        journal(QStringLiteral("failed"), m_line->lostMessage());
        m_failurePosted = true;
        post(SendUpdate::FileFailed, m_current, m_line->lostMessage());
    }
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
            if (m_line->isLost()) {
                reportStop();
            } else if (!m_stop && !m_failurePosted) {
                const QString why =
                    QStringLiteral("The serial line was closed before the program went out.");
                journal(QStringLiteral("failed"), why);
                m_failurePosted = true;
                post(SendUpdate::FileFailed, m_current, why);
            }
            return false;
        }
        if (n >= rest.size())
            break;
        rest.remove(0, n);
        if (!holdAtGate(&waiting))
            return false;
    }
    if (waiting)
        post(SendUpdate::Waiting, 0);
    return true;
}

// The line takes nothing for now: the window hears so once; the gate is honoured meanwhile.
bool TransportThread::holdAtGate(bool *waiting)
{
    if (!*waiting) {
        *waiting = true;
        post(SendUpdate::Waiting, 1);
    }
    return gate();
}

void TransportThread::journal(const QString &result, const QString &reason)
{
    if (m_journaled)
        return;
    m_journaled = true;
    JournalEntry e;
    {
        QMutexLocker lock(&m_setupMutex);
        e.portSetting = m_journalName;
    }
    e.direction = QStringLiteral("send");
    e.file = m_currentPath;
    e.characters = m_sentInFile;
    e.result = result;
    e.reason = reason;
    TransferJournal::record(e);
}

bool TransportThread::failFile(int index, const QString &why)
{
    journal(QStringLiteral("failed"), why);
    m_failurePosted = true;
    post(SendUpdate::FileFailed, index, why);
    return false;
}

// Waits until the line has carried what was written. A line that carries nothing for a
// while (CTS held) is reported as waiting and honours the gate meanwhile; nothing is dropped.
bool TransportThread::waitCarried()
{
    bool waiting = false;
    while (!m_line->waitCarried(&m_stop)) {
        if (m_stop || !m_line->isConnected() || m_line->isLost()) {
            reportStop();
            return false;
        }
        if (!holdAtGate(&waiting))
            return false;
    }
    if (waiting)
        post(SendUpdate::Waiting, 0);
    return true;
}

namespace
{
// What tells a file that changed under the reader: its size and its modification time.
struct FileStamp {
    qint64 size = -1;
    qint64 mtimeNs = -1;
    bool operator==(const FileStamp &o) const { return size == o.size && mtimeNs == o.mtimeNs; }
};

FileStamp stampOf(QFile &file)
{
    FileStamp st;
#ifdef Q_OS_UNIX
    struct stat sb {
    };
    if (::fstat(file.handle(), &sb) == 0) {
        st.size = sb.st_size;
        st.mtimeNs = qint64(sb.st_mtim.tv_sec) * 1000000000LL + sb.st_mtim.tv_nsec;
    }
#else
    st.size = file.size();
    st.mtimeNs = QFileInfo(file).lastModified().toMSecsSinceEpoch() * 1000000LL;
#endif
    return st;
}
} // namespace

bool TransportThread::sendFile(int index, const QString &path)
{
    m_current = index;
    m_currentPath = QFileInfo(path).absoluteFilePath();
    m_sentInFile = 0;
    m_journaled = false;
    QFile file(path);
    post(SendUpdate::ProgressMax, file.size());
    post(SendUpdate::SelectFile, index);
    post(SendUpdate::EchoStart);
    m_echoBytes.resize(0);
    if (!file.open(QIODevice::ReadOnly))
        return failFile(index, file.errorString());
    const FileStamp before = stampOf(file);
    QBuffer filtered;
    QIODevice *source = &file;
    qint64 expected = before.size;
    SendFilter filter;
    {
        QMutexLocker lock(&m_setupMutex);
        filter = m_filter;
    }
    if (filter) {
        QByteArray bytes;
        QString why;
        if (!filter(file.readAll(), &bytes, &why))
            return failFile(index, why);
        filtered.setData(bytes);
        filtered.open(QIODevice::ReadOnly);
        source = &filtered;
        expected = bytes.size();
        post(SendUpdate::ProgressMax, expected);
    }
    if (!sendBytes(QByteArray(1, LineControl::DC2)))
        return false;
    int percents = 0;
    bool ended = false; // Ctrl-Z or the second "%"
    qint64 bytesRead = 0, sent = 0;
    // A character counts as sent once the next one goes; the last one once the line has
    // carried it, so the window never shows more than the machine has.
    char held = 0;
    bool holding = false;
    char buffer[65536];
    QByteArray one(1, '\0'); // reused: no allocation per character
    while (!ended) {
        const qint64 got = source->read(buffer, sizeof buffer);
        if (got < 0)
            return failFile(index, source->errorString());
        if (got == 0)
            break;
        bytesRead += got;
        for (qint64 k = 0; k < got; ++k) {
            char c = buffer[k];
            if (c == CtrlZ || percents >= 2) {
                ended = true;
                break;
            }
            if (c == 'O')
                c = ':';
            if (c == '%')
                ++percents;
            one[0] = c;
            if (!gate() || !sendBytes(one))
                return false;
            m_gate->countWritten();
            if (holding)
                postSent(held);
            held = c;
            holding = true;
            ++sent;
            m_sentInFile = sent;
        }
    }
    // A file cut short or rewritten while it was read is not the program the user chose:
    // without its DC4 the control does not take it as whole.
    if (!(stampOf(file) == before) || (!ended && percents < 2 && bytesRead < expected)) {
        return failFile(index, QStringLiteral("%1 changed while it was being sent: %2 of its "
                                              "%3 characters went out, and no end of program "
                                              "(DC4) was sent.")
                                   .arg(QFileInfo(path).fileName())
                                   .arg(sent)
                                   .arg(before.size));
    }
    if (!sendBytes(QByteArray(1, LineControl::DC4)) || !waitCarried())
        return false;
    if (holding)
        postSent(held);
    if (!m_echoBytes.isEmpty()) {
        // A broken pair at the very end: shown as it is rather than dropped.
        const QString rest = NcText::fromBytes(m_echoBytes);
        m_echoBytes.resize(0);
        QMutexLocker lock(&m_updateMutex);
        if (m_updates.isEmpty() || m_updates.last().kind != SendUpdate::Sent)
            m_updates.append(SendUpdate{SendUpdate::Sent, 0, QString()});
        m_updates.last().text += rest;
    }
    // Text after the second "%" is not sent: the program is complete all the same.
    journal(QStringLiteral("done"));
    post(SendUpdate::FileDone, index);
    return true;
}

void TransportThread::run()
{
    runFiles();
    // The thread's last act: join() acquires it.
    m_over.store(true, std::memory_order_release);
}

void TransportThread::runFiles()
{
    // Created paused: the first resume (a press, an XON) lets it go.
    if (!gate()) {
        reportStop();
        return;
    }
    QStringList files;
    {
        QMutexLocker lock(&m_setupMutex);
        files = m_files;
    }
    for (int i = 0; i < files.size(); ++i) {
        if (i > 0) {
            // Paused before the window hears of it, so that a resume answering the
            // caption (an XON, a press) is never lost.
            QString pauseText;
            {
                QMutexLocker lock(&m_setupMutex);
                pauseText = m_pauseText;
            }
            m_gate->pauseSelf();
            post(SendUpdate::PauseCaption, 0, pauseText);
            if (!gate()) {
                reportStop();
                return;
            }
        }
        if (!sendFile(i, files[i])) {
            reportStop();
            journal(QStringLiteral("stopped"),
                    QStringLiteral("stopped after %1 characters; no end of program (DC4) was sent")
                        .arg(m_sentInFile));
            return;
        }
    }
    if (m_stop)
        return;
    // Each file's end was carried already; what is left is at most an LF owed to an XON.
    if (!waitCarried())
        return;
    m_line->drainAndClose();
    post(SendUpdate::Finished);
}
