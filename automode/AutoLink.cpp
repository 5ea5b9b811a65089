#include "automode/AutoLink.h"
#include "automode/AutoLinkParts.h"

#include "library/TransferJournal.h"
#include "transfer/LineControl.h"
#include "transfer/SerialLine.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace AutoMode
{

namespace
{
using namespace LinkParts;

QString notSent(const SendListEntry &e, const QString &why)
{
    return QStringLiteral("\"%1\" is not sent: %2").arg(e.text(), why);
}
} // namespace

AutoLink::AutoLink(SerialLine *line, const PortProfile &port, GeneralValuesSource values,
                   const LinkTimings &timings, QObject *parent)
    : QObject(parent), m_line(line), m_protocol(port, std::move(values)), m_timings(timings)
{
    m_portName = port.name();
    m_radio = port.isRadio();
    m_wireless = port.asksForDevices();
    m_flowControl = port.flowControl();
    // Whoever set the line up, it treats NUL as the auto mode on this line type must.
    m_line->setDiscardNull(port.lineSettings(PortProfile::Use::AutoMode).discardNull);
    connect(m_line, &SerialLine::rxChar, this, &AutoLink::readLine);
    connect(m_line, &SerialLine::lineLost, this, &AutoLink::onLineLost);
    m_shared.nudge = [this] {
        QMetaObject::invokeMethod(this, &AutoLink::readLine, Qt::QueuedConnection);
    };
    m_tick.setInterval(m_timings.tickMs);
    connect(&m_tick, &QTimer::timeout, this, &AutoLink::DispatchTick);
    m_holdFlush.setSingleShot(true);
    m_holdFlush.setInterval(m_timings.holdFlushMs);
    connect(&m_holdFlush, &QTimer::timeout, this, [this] { releaseHeld(true); });
    m_xonWait.setSingleShot(true);
    m_xonWait.setInterval(m_timings.xonWaitMs);
    connect(&m_xonWait, &QTimer::timeout, this, [this] {
        const int ms = m_timings.xonWaitMs;
        dropHeld(QStringLiteral("no XON came for it within %1")
                     .arg(ms % 60000 == 0 ? QStringLiteral("%1 min").arg(ms / 60000)
                                          : QStringLiteral("%1 s").arg(ms / 1000.0)));
    });
    m_retry.setSingleShot(true);
    m_retry.setInterval(m_timings.queryRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_retryEntry.verb == SendListEntry::Mark && !m_readdressAll)
            return;
        if (m_sendList.isEmpty() || m_sendList.first() != m_retryEntry)
            m_sendList.prepend(m_retryEntry);
    });
}

AutoLink::~AutoLink()
{
    stop();
}

void AutoLink::start()
{
    if (m_wireless)
        m_sendList.prepend(SendListEntry::show());
    m_tick.start();
}

void AutoLink::stop()
{
    m_tick.stop();
    m_retry.stop();
    m_xonWait.stop();
    if (m_worker) {
        m_worker->join();
        m_worker.reset();
        m_gate.reset();
        m_line->disarmFlowGate();
        m_line->setFlowGateBypass(false);
    }
}

void AutoLink::supersede(const QString &code)
{
    const QString why =
        QStringLiteral("superseded by a newer program from %1").arg(deviceLabel(code));
    if (m_xonCarry == code)
        m_xonCarry.clear();
    if (m_worker && isAnswer(m_worker->entry()) && m_worker->entry().device == code) {
        bool xonSeen = false;
        if (m_worker->dropIfWaiting(&xonSeen)) {
            m_dropped = true;
            // From here an XON reaches the receive handling, which keeps it for the answer
            // that replaces this one; one the gate took already counts the same.
            m_line->disarmFlowGate();
            xonSeen = xonSeen || !m_gate->isPaused() || m_gate->hasPendingActions();
            // That XON was the machine's word for what it asked last.
            if (xonSeen)
                m_xonCarry = code;
            emit problem(notSent(m_worker->entry(), why));
        }
    }
    for (auto it = m_sendList.begin(); it != m_sendList.end();) {
        if (isAnswer(*it) && it->device == code) {
            emit problem(notSent(*it, why));
            it = m_sendList.erase(it);
        } else {
            ++it;
        }
    }
}

void AutoLink::dropHeld(const QString &why)
{
    if (m_worker && !m_dropped && m_worker->dropIfWaiting(nullptr)) {
        m_dropped = true;
        emit problem(notSent(m_worker->entry(), why));
    }
}

void AutoLink::handOver(int device, const QByteArray &buffer)
{
    const Handling h = m_protocol.HandleBuffer(device, buffer);
    if (h.kind == Handling::Ignored)
        return;
    // The machine asked anew: it must get the answer to this program, not to an older one.
    if (usesXon(m_flowControl))
        supersede(DeviceCode(device));
    m_sendList += h.entries;
    for (const LogEvent &e : h.log) {
        emit logEvent(e);
        const bool ok = e.status == QLatin1String("SUCCESS");
        if (h.kind == Handling::Return && e.kind == QLatin1String("SAVE")) {
            // A held return's row names the held copy, so its hash is of the bytes returned,
            // not of the approved program; the detail may go on with an answer delay.
            const bool held = ok && !h.heldPath.isEmpty();
            const QString result = !ok    ? QStringLiteral("failed")
                                   : held ? QStringLiteral("held")
                                   : e.detail.startsWith(QLatin1String("identical"))
                                       ? QStringLiteral("identical")
                                       : QStringLiteral("stored");
            journal(e.device, QStringLiteral("return"),
                    held                         ? h.heldPath
                    : ok || h.keptPath.isEmpty() ? e.path
                                                 : h.keptPath,
                    buffer.size(), result, ok ? e.detail : h.storeError);
        } else if (h.kind == Handling::Request && !ok) {
            journal(e.device, QStringLiteral("request"), e.path, 0, QStringLiteral("refused"),
                    e.detail);
        }
    }
    if (!h.storeError.isEmpty())
        emit problem(h.storeError);
    if (!h.storedPath.isEmpty())
        emit stored(h.storedPath);
}

void AutoLink::DispatchTick()
{
    if (m_threadOver || m_sendList.isEmpty())
        return;
    // A line that is gone or closed keeps its entries until it is back.
    if (!m_line->isConnected() || m_line->isLost())
        return;
    m_threadOver = true;
    emit sendPaneCleared();
    m_transcript.clear();
    m_lineStart = 0;
    m_answerBytes = 0;
    m_answerOverrun = false;
    const SendListEntry entry = m_sendList.first();
    const bool software = usesXon(m_flowControl);
    // Under software flow control a file or reply waits for the machine's XON, unless the
    // XON came for an answer this one replaced.
    const bool carried = isAnswer(entry) && !m_xonCarry.isEmpty() && m_xonCarry == entry.device;
    const bool waitsForXon = software && isAnswer(entry) && !carried;
    if (isAnswer(entry))
        m_xonCarry.clear();
    auto gate = std::make_shared<PauseGate>(waitsForXon);
    m_shared.prompt.reset();
    if (software) {
        FlowGateRules rules;
        rules.xoffPauses = true;
        rules.xonResumes = true;
        rules.xonDelayMs = 0;
        rules.lfAfterXon = false;
        rules.consume = true;
        m_line->armFlowGate(gate, rules);
    }
    m_gate = gate;
    m_worker = std::make_unique<WATThread>(m_line, entry, gate, &m_shared, m_timings, waitsForXon);
    WATThread *worker = m_worker.get();
    if (waitsForXon) {
        m_xonWait.start();
        // Everything received before the XON is handled first: a newer request among it
        // drops this answer.
        connect(
            worker, &WATThread::startAsked, this,
            [this, worker] {
                readReceived(0);
                if (m_worker.get() == worker)
                    worker->confirmStart();
            },
            Qt::QueuedConnection);
    }
    connect(
        worker, &WATThread::shownPending, this,
        [this, worker] {
            if (m_worker.get() == worker)
                emit shown(worker->takeShown());
        },
        Qt::QueuedConnection);
    connect(worker, &QThread::finished, this, &AutoLink::workerEnded, Qt::QueuedConnection);
    worker->start();
    m_sendList.removeFirst();
}

void AutoLink::workerEnded()
{
    if (!m_worker || !m_worker->hasEnded())
        return;
    m_xonWait.stop();
    const SendListEntry entry = m_worker->entry();
    const QString rest = m_worker->takeShown();
    if (!rest.isEmpty())
        emit shown(rest);
    const QString why = m_worker->problem();
    const bool silent = m_worker->adapterFailed();
    const bool dropped = m_dropped;
    m_dropped = false;
    m_worker.reset();
    m_gate.reset();
    m_line->disarmFlowGate();
    m_line->setFlowGateBypass(false);
    if (entry.verb == SendListEntry::Show) {
        // A query the adapter did not answer lists nothing: no device is taken as present,
        // and it is asked again until it answers.
        if (why.isEmpty()) {
            QueryDone();
            adapterAnswered();
        } else {
            if (silent)
                adapterFailed(QStringLiteral("%1: %2").arg(entry.text(), why), true);
            else
                emit problem(QStringLiteral("%1: %2").arg(entry.text(), why));
            retryLater(entry);
            WorkerDone();
        }
    } else if (entry.verb == SendListEntry::Mark) {
        if (why.isEmpty()) {
            if (entry.device == DeviceCode(AllDevices))
                m_readdressAll = false;
            adapterAnswered();
        } else {
            markFailed(entry, why, silent);
        }
        WorkerDone();
    } else {
        if (!why.isEmpty() && !dropped)
            emit problem(QStringLiteral("%1: %2").arg(entry.text(), why));
        if (entry.verb == SendListEntry::Send)
            journal(entry.device, QStringLiteral("request"), entry.path,
                    why.isEmpty() ? QFileInfo(entry.path).size() : 0,
                    why.isEmpty() ? QStringLiteral("sent")
                    : dropped     ? QStringLiteral("dropped")
                                  : QStringLiteral("failed"),
                    why.isEmpty() && !entry.restart.isEmpty()
                        ? QStringLiteral("from %1").arg(entry.restart)
                        : why);
        WorkerDone();
    }
    emit entryDone(entry);
}

void AutoLink::markFailed(const SendListEntry &entry, const QString &why, bool silent)
{
    m_readdressAll = true;
    const bool all = entry.device == DeviceCode(AllDevices);
    const QString text =
        QStringLiteral("%1 (selecting %2): %3").arg(entry.text(), deviceLabel(entry.device), why);
    // Retries of "FF" are one failure; a device's own selection costs an answer each time.
    if (silent)
        adapterFailed(text, all);
    else
        emit problem(text);
    if (all) {
        retryLater(entry);
        return;
    }
    // Its answers would go wherever the adapter points now: to another machine, or to all.
    while (!m_sendList.isEmpty() && m_sendList.first().verb != SendListEntry::Mark) {
        emit problem(
            notSent(m_sendList.first(),
                    QStringLiteral("%1 could not be selected").arg(deviceLabel(entry.device))));
        m_sendList.removeFirst();
    }
    if (m_sendList.isEmpty())
        m_sendList << SendListEntry::mark(DeviceCode(AllDevices));
}

void AutoLink::adapterFailed(const QString &text, bool rateLimited)
{
    ++m_failedTries;
    const bool due = !m_adapterFailing || !m_lastAdapterLog.isValid() ||
                     m_lastAdapterLog.elapsed() >= m_timings.retryLogMs;
    m_adapterFailing = true;
    if (rateLimited && !due)
        return;
    m_lastAdapterLog.start();
    emit problem(text);
}

void AutoLink::adapterAnswered()
{
    if (!m_adapterFailing)
        return;
    emit resolved(QStringLiteral("the radio adapter answers again (after %1 failed %2)")
                      .arg(m_failedTries)
                      .arg(m_failedTries == 1 ? QStringLiteral("try") : QStringLiteral("tries")));
    m_adapterFailing = false;
    m_failedTries = 0;
}

void AutoLink::retryLater(const SendListEntry &entry)
{
    m_retryEntry = entry;
    m_retry.start();
}

void AutoLink::WorkerDone()
{
    m_threadOver = false;
}

void AutoLink::QueryDone()
{
    ParseDeviceTable();
    m_threadOver = false;
}

void AutoLink::ParseDeviceTable()
{
    const QStringList lines = transcriptLines(m_transcript);
    for (int n = 0; n < DeviceCount; ++n)
        ParseDeviceLine(lines.value(FirstDeviceLine + n), n);
}

void AutoLink::ParseDeviceLine(const QString &line, int n)
{
    const QString text = line.mid(AddressColumn - 1);
    QStringList parts = text.split(u'.', Qt::SkipEmptyParts);
    m_ip[n] = parts;
    m_ipBytesKnown &= ~bitOf(n);
    bool bytes = parts.size() == 4;
    for (int i = 0; bytes && i < 4; ++i) {
        const int v = parts.at(i).toInt(&bytes);
        bytes = bytes && v >= 0 && v <= 255 && QString::number(v) == parts.at(i);
        if (bytes)
            m_ipBytes[n][i] = uchar(v);
    }
    if (bytes)
        m_ipBytesKnown |= bitOf(n);
    const bool present = parts != QStringList{QStringLiteral("0"), QStringLiteral("0"),
                                              QStringLiteral("0"), QStringLiteral("0")};
    if (present)
        m_ipMark |= bitOf(n);
    emit addressListed(n, text, present);
}

} // namespace AutoMode
