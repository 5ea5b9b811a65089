#include "automode/AutoLink.h"

#include "settings/NcText.h"
#include "settings/PortSetting.h"
#include "transfer/LineControl.h"
#include "transfer/SerialLine.h"

#include <QRegularExpression>

namespace AutoMode
{

namespace
{
using LineControl::CR;
using LineControl::DC2;
using LineControl::DC4;
using LineControl::LF;

int bitOf(int n)
{
    return 1 << n;
}
int numberOf(int bit)
{
    for (int n = 0; n < AutoLink::DeviceCount; ++n)
        if (bit == bitOf(n))
            return n;
    return -1;
}
} // namespace

AutoLink::AutoLink(SerialLine *line, const QStringList &port, GeneralValuesSource values,
                   const LinkTimings &timings, QObject *parent)
    : QObject(parent), m_line(line), m_protocol(port, std::move(values)), m_timings(timings)
{
    const QString type = port.value(PortSetting::Type);
    m_radio = m_protocol.isRadio();
    m_wireless = type == QLatin1String("Wireless");
    m_flowControl = UnitComPortFunction::ParseFlowControl(port.value(PortSetting::FlowControl));
    m_ipBuf = QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                          QStringLiteral("0")};
    // Address bytes can be 0 on a radio line; they are dropped only when stored.
    m_line->setDiscardNull(!m_radio);
    connect(m_line, &SerialLine::rxChar, this, &AutoLink::readLine);
    m_shared.nudge = [this] {
        QMetaObject::invokeMethod(this, &AutoLink::readLine, Qt::QueuedConnection);
    };
    m_tick.setInterval(m_timings.tickMs);
    connect(&m_tick, &QTimer::timeout, this, &AutoLink::DispatchTick);
    m_holdFlush.setSingleShot(true);
    m_holdFlush.setInterval(m_timings.holdFlushMs);
    connect(&m_holdFlush, &QTimer::timeout, this, [this] { releaseHeld(true); });
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
    if (m_worker) {
        m_worker->join();
        m_worker.reset();
        m_gate.reset();
        m_line->disarmFlowGate();
        m_line->setFlowGateBypass(false);
    }
}

void AutoLink::readLine()
{
    for (;;) {
        qint64 most = MaxReadBytes;
        std::optional<LinkShared::ModeSwitch> reached;
        {
            QMutexLocker lock(&m_shared.switchMutex);
            if (m_shared.pendingSwitch) {
                const qint64 before = m_shared.pendingSwitch->at - m_line->receivedTaken();
                if (before <= 0) {
                    reached = std::move(m_shared.pendingSwitch);
                    m_shared.pendingSwitch.reset();
                } else {
                    most = qMin(most, before);
                }
            }
        }
        if (reached) {
            // Machines speak as soon as the adapter leaves command mode: their addresses
            // must be known before their first byte is read.
            if (reached->listed)
                ParseDeviceTable();
            m_shared.commandMode.store(reached->on);
            reached->done->release();
            continue;
        }
        const QByteArray bytes = m_line->read(most);
        if (bytes.isEmpty())
            return;
        receive(bytes);
    }
}

void AutoLink::receive(const QByteArray &bytes)
{
    for (const char c : bytes) {
        // The flow gate has already taken the XON and XOFF that pace a worker; what
        // reaches here is data.
        if (m_shared.commandMode.load())
            commandByte(c);
        else if (m_radio)
            radioByte(c);
        else
            cableByte(c);
    }
}

QStringList AutoLink::transcriptLines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    return text.split(breaks);
}

void AutoLink::commandByte(char c)
{
    m_transcript += QChar(uchar(c));
    qsizetype start = m_transcript.size();
    while (start > 0 && m_transcript.at(start - 1) != u'\n' && m_transcript.at(start - 1) != u'\r')
        --start;
    if (QStringView(m_transcript).mid(start).startsWith(QLatin1String(Prompt))) {
        m_transcript.truncate(start);
        m_shared.prompt.release();
    }
}

void AutoLink::AppendReceived(QByteArray &buffer, char c)
{
    if (c == LF)
        buffer += "\r\n";
    else if (c != '\0')
        buffer += c;
}

void AutoLink::cableByte(char c)
{
    if (c == CR)
        return;
    if (c == ':')
        c = 'O';
    if (c == DC2) {
        m_dataSwitch = true;
        m_cable.clear();
        emit bufferChanged(-1);
    } else if (c == DC4) {
        m_dataSwitch = false;
        handOver(CableDevice, m_cable);
    } else if (m_dataSwitch) {
        AppendReceived(m_cable, c);
        emit bufferChanged(-1);
    }
}

bool AutoLink::TrackAddress(unsigned char b)
{
    m_ipBuf.removeFirst();
    m_ipBuf.append(QString::number(b));
    bool found = false;
    for (int n = 0; n < DeviceCount; ++n) {
        if ((m_ipMark & bitOf(n)) && m_ip.at(n) == m_ipBuf) {
            m_device = bitOf(n);
            found = true;
        }
    }
    return found;
}

void AutoLink::radioByte(char c)
{
    if (TrackAddress(uchar(c))) {
        // The held bytes are the address's first bytes, not program data.
        m_held.clear();
        m_holdFlush.stop();
        return;
    }
    m_held += c;
    releaseHeld(false);
}

void AutoLink::releaseHeld(bool all)
{
    // Keep the longest tail of the held bytes that begins some device's address.
    qsizetype keep = 0;
    if (!all) {
        for (int n = 0; n < DeviceCount; ++n) {
            if (!(m_ipMark & bitOf(n)) || m_ip.at(n).size() != 4)
                continue;
            const QStringList &ip = m_ip.at(n);
            for (qsizetype k = qMin<qsizetype>(3, m_held.size()); k > keep; --k) {
                bool match = true;
                for (qsizetype i = 0; i < k && match; ++i)
                    match = QString::number(uchar(m_held.at(m_held.size() - k + i))) == ip.at(i);
                if (match) {
                    keep = k;
                    break;
                }
            }
        }
    }
    const QByteArray release = m_held.left(m_held.size() - keep);
    m_held.remove(0, release.size());
    for (const char c : release)
        applyRadioByte(c);
    if (m_held.isEmpty())
        m_holdFlush.stop();
    else
        m_holdFlush.start();
}

void AutoLink::applyRadioByte(char c)
{
    if (c == CR || m_device == 0)
        return;
    if (c == ':')
        c = 'O';
    const int n = numberOf(m_device);
    if (c == DC2) {
        m_onDevice |= m_device;
        m_buffers[n].clear();
        emit bufferChanged(n);
    } else if (c == DC4) {
        m_onDevice &= ~m_device;
        handOver(m_device, m_buffers.at(n));
    } else if (m_onDevice & m_device) {
        AppendReceived(m_buffers[n], c);
        emit bufferChanged(n);
    }
}

void AutoLink::handOver(int device, const QByteArray &buffer)
{
    const Handling h = m_protocol.HandleBuffer(device, NcText::fromBytes(buffer));
    if (h.kind == Handling::Ignored)
        return;
    m_sendList += h.entries;
    for (const LogEvent &e : h.log)
        emit logEvent(e);
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
    const SendListEntry entry = m_sendList.first();
    const bool software = usesXon(m_flowControl);
    // Under software flow control a file or reply waits for the machine's XON.
    const bool waitsForXon =
        software && entry.verb != SendListEntry::Show && entry.verb != SendListEntry::Mark;
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
    m_worker = std::make_unique<WATThread>(m_line, entry, gate, &m_shared, m_timings);
    WATThread *worker = m_worker.get();
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
    const SendListEntry entry = m_worker->entry();
    const QString rest = m_worker->takeShown();
    if (!rest.isEmpty())
        emit shown(rest);
    const QString why = m_worker->problem();
    m_worker.reset();
    m_gate.reset();
    m_line->disarmFlowGate();
    m_line->setFlowGateBypass(false);
    if (!why.isEmpty())
        emit problem(QStringLiteral("%1: %2").arg(entry.text(), why));
    // A query the adapter did not answer lists nothing: no device is taken as present.
    if (entry.verb == SendListEntry::Show && why.isEmpty())
        QueryDone();
    else
        WorkerDone();
    emit entryDone(entry);
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
    const bool present = parts != QStringList{QStringLiteral("0"), QStringLiteral("0"),
                                              QStringLiteral("0"), QStringLiteral("0")};
    if (present)
        m_ipMark |= bitOf(n);
    emit addressListed(n, text, present);
}

} // namespace AutoMode
