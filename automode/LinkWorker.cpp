#include "automode/LinkWorker.h"

#include "transfer/LineControl.h"
#include "transfer/SerialLine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QMutexLocker>

namespace AutoMode
{

void PromptSignal::reset()
{
    QMutexLocker lock(&m_mutex);
    m_seen = false;
    m_cancelled = false;
    m_overrun = false;
}

void PromptSignal::arm()
{
    QMutexLocker lock(&m_mutex);
    m_seen = false;
    m_overrun = false;
}

void PromptSignal::overrun()
{
    QMutexLocker lock(&m_mutex);
    m_overrun = true;
    m_cond.wakeAll();
}

bool PromptSignal::overran() const
{
    QMutexLocker lock(&m_mutex);
    return m_overrun;
}

void PromptSignal::release()
{
    QMutexLocker lock(&m_mutex);
    m_seen = true;
    m_cond.wakeAll();
}

void PromptSignal::cancel()
{
    QMutexLocker lock(&m_mutex);
    m_cancelled = true;
    m_cond.wakeAll();
}

bool PromptSignal::wait(int timeoutMs)
{
    QMutexLocker lock(&m_mutex);
    QDeadlineTimer deadline(timeoutMs);
    while (!m_seen && !m_cancelled && !m_overrun) {
        if (!m_cond.wait(&m_mutex, deadline))
            break;
    }
    const bool seen = m_seen && !m_cancelled;
    m_seen = false;
    return seen;
}

WATThread::WATThread(SerialLine *line, const SendListEntry &entry, std::shared_ptr<PauseGate> gate,
                     LinkShared *shared, const LinkTimings &timings, bool held, QObject *parent)
    : QThread(parent), m_line(line), m_entry(entry), m_gate(std::move(gate)), m_shared(shared),
      m_timings(timings), m_start(held ? Waiting : Begun)
{
}

bool WATThread::mayBegin()
{
    if (m_start.load() == Begun)
        return !m_stop;
    m_startAsked = true;
    emit startAsked();
    m_startWord.acquire();
    return m_start.load() == Begun && !m_stop;
}

bool WATThread::waitAnswerTime()
{
    if (m_entry.answerAtMs <= 0)
        return !m_stop;
    QDeadlineTimer at;
    at.setDeadline(m_entry.answerAtMs);
    QMutexLocker lock(&m_stopMutex);
    while (!m_stop && !at.hasExpired()) {
        if (!m_stopped.wait(&m_stopMutex, at))
            break;
    }
    return !m_stop;
}

bool WATThread::confirmStart()
{
    int waiting = Waiting;
    const bool begun = m_start.compare_exchange_strong(waiting, Begun);
    m_startWord.release();
    return begun;
}

bool WATThread::dropIfWaiting(bool *xonSeen)
{
    int waiting = Waiting;
    if (!m_start.compare_exchange_strong(waiting, Dropped))
        return false;
    if (xonSeen)
        *xonSeen = m_startAsked.load();
    stopWorker();
    return true;
}

WATThread::~WATThread()
{
    join();
}

void WATThread::join()
{
    stopWorker();
    wait();
    (void)m_runDone.load(std::memory_order_acquire);
}

bool WATThread::hasEnded() const
{
    return !isRunning() && m_runDone.load(std::memory_order_acquire);
}

void WATThread::stopWorker()
{
    {
        QMutexLocker lock(&m_stopMutex);
        m_stop = true;
        m_stopped.wakeAll();
    }
    m_gate->stop();
    m_shared->prompt.cancel();
    m_startWord.release();
}

QString WATThread::takeShown()
{
    QMutexLocker lock(&m_mutex);
    QString out;
    out.swap(m_shown);
    return out;
}

QString WATThread::problem() const
{
    QMutexLocker lock(&m_mutex);
    return m_problem;
}

void WATThread::fail(const QString &why)
{
    QMutexLocker lock(&m_mutex);
    if (m_problem.isEmpty())
        m_problem = why;
}

void WATThread::run()
{
    carryOut();
    m_runDone.store(true, std::memory_order_release);
}

void WATThread::carryOut()
{
    switch (m_entry.verb) {
    case SendListEntry::Show:
        QueryDevices();
        break;
    case SendListEntry::Mark:
        SelectDevice(m_entry.device);
        break;
    case SendListEntry::Send:
        SendFile(m_entry.path);
        break;
    case SendListEntry::Error:
    case SendListEntry::Success:
    case SendListEntry::List:
    case SendListEntry::Compare:
        SendReply();
        break;
    }
    // Whatever happened, the receive handling must not stay in command mode.
    setCommandMode(false);
}

void WATThread::setCommandMode(bool on, bool listed)
{
    if (m_shared->commandMode.load() == on)
        return;
    // XON and XOFF in the adapter's answers are text, not pacing. The receive handling may
    // lag behind the line: bytes that came before this point must be read in the mode they
    // came in, or an adapter answer becomes program data and a program line vanishes into
    // the transcript.
    const qint64 at = m_line->switchFlowGateBypass(on);
    if (!m_stop && m_shared->nudge) {
        auto done = std::make_shared<QSemaphore>();
        {
            QMutexLocker lock(&m_shared->switchMutex);
            m_shared->pendingSwitch = LinkShared::ModeSwitch{on, at, done, listed};
        }
        m_shared->nudge();
        while (!m_stop) {
            if (done->tryAcquire(1, 20))
                return;
        }
    }
    QMutexLocker lock(&m_shared->switchMutex);
    m_shared->pendingSwitch.reset();
    m_shared->commandMode.store(on);
}

bool WATThread::writeAll(const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        if (m_stop)
            return false;
        // A time-out returns short after about a second: no busy loop.
        const qint64 n = m_line->write(bytes.mid(done));
        if (n < 0) {
            fail(m_line->isLost() ? m_line->lostMessage() : QStringLiteral("the line is closed"));
            return false;
        }
        done += n;
    }
    return true;
}

bool WATThread::command(const QByteArray &bytes, bool waitPrompt)
{
    if (waitPrompt)
        m_shared->prompt.arm();
    if (!writeAll(bytes))
        return false;
    if (!waitPrompt)
        return true;
    if (m_shared->prompt.wait(m_timings.promptTimeoutMs))
        return true;
    if (m_stop || m_line->isLost())
        return false;
    m_adapterFailed = true;
    if (m_shared->prompt.overran())
        fail(QStringLiteral("the radio adapter answered \"%1\" with more than %2 characters "
                            "and no prompt \"RFCABLE>\"")
                 .arg(QString::fromLatin1(bytes.trimmed()))
                 .arg(m_timings.maxAnswerBytes));
    else
        fail(QStringLiteral("the radio adapter did not answer \"%1\" with its prompt "
                            "\"RFCABLE>\" within %2 s")
                 .arg(QString::fromLatin1(bytes.trimmed()))
                 .arg(m_timings.promptTimeoutMs / 1000.0));
    return false;
}

void WATThread::pauseMs(int ms)
{
    // Woken at once by a stop.
    QDeadlineTimer deadline(ms);
    QMutexLocker lock(&m_stopMutex);
    while (!m_stop && !deadline.hasExpired()) {
        if (!m_stopped.wait(&m_stopMutex, deadline))
            break;
    }
}

void WATThread::QueryDevices()
{
    setCommandMode(true);
    bool listed = false;
    if (command("+++", true) && command("AS 1\r", true) && command("SHOW\r", true))
        listed = command("EX\r", false);
    else if (!m_line->isLost())
        writeAll("EX\r"); // in case the adapter is in command mode but slow
    setCommandMode(false, listed);
}

void WATThread::SelectDevice(const QString &mask)
{
    if (!writeAll(QByteArray(1, LineControl::XOFF)))
        return;
    // Data still on its way after the XOFF is program data: command mode begins with "+++".
    pauseMs(m_timings.selectPauseMs);
    setCommandMode(true);
    if (command("+++", true))
        command("PM " + mask.toLatin1() + '\r', true);
    // Left in command mode, the adapter would take the file for commands, or hand it to
    // every machine once it falls back to data mode by itself.
    if (!m_stop && !m_line->isLost()) {
        command("EX\r", false);
        pauseMs(m_timings.selectPauseMs);
    }
    // Data mode before the XON: what a machine sends in answer to it is program data.
    setCommandMode(false);
    // The machines were held with XOFF: they must go on even when the adapter failed.
    if (!m_stop)
        writeAll(QByteArray(1, LineControl::XON));
}

bool WATThread::writePaced(const QByteArray &bytes, const QString &shown)
{
    // In a single-byte code page each character between DC2 and DC4 is one byte.
    const bool oneToOne = shown.size() + 2 == bytes.size();
    if (!oneToOne && !shown.isEmpty()) {
        QMutexLocker lock(&m_mutex);
        m_shown += shown;
    }
    const auto lf = [this] { return writeAll("\n"); };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (!m_gate->pass(lf)) {
            if (m_line->isLost())
                fail(m_line->lostMessage());
            return false;
        }
        if (i == 0 && (!mayBegin() || !waitAnswerTime()))
            return false;
        if (oneToOne && i > 0 && i < bytes.size() - 1) {
            bool first;
            {
                QMutexLocker lock(&m_mutex);
                first = m_shown.isEmpty();
                m_shown += shown.at(i - 1);
            }
            if (first)
                emit shownPending();
        }
        if (!writeAll(bytes.mid(i, 1)))
            return false;
        m_gate->countWritten();
    }
    if (!oneToOne && !shown.isEmpty())
        emit shownPending();
    return true;
}

void WATThread::SendFile(const QString &path)
{
    ProgramFile file;
    QString error;
    if (!ReadProgramFile(path, &file, &error, m_entry.restart)) {
        fail(error);
        return;
    }
    if (writePaced(file.bytes, file.text))
        pauseMs(m_timings.afterFileMs);
}

void WATThread::SendReply()
{
    writePaced(ReplyProgram(m_entry), QString());
}

} // namespace AutoMode
