// The link's receive side: bytes from the line into the cable and device buffers, the
// radio adapter's addresses, programs kept when they are cut short, and a lost line.
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
using LineControl::CR;
using LineControl::DC2;
using LineControl::DC4;
using LineControl::LF;

int numberOf(int bit)
{
    for (int n = 0; n < AutoLink::DeviceCount; ++n)
        if (bit == bitOf(n))
            return n;
    return -1;
}

constexpr qsizetype PromptLength = sizeof(AutoLink::Prompt) - 1;
} // namespace

void AutoLink::readLine()
{
    readReceived(m_timings.readSliceBytes);
}

void AutoLink::readReceived(qint64 slice)
{
    m_readPosted = false;
    qint64 handled = 0;
    for (;;) {
        if (slice > 0 && handled >= slice) {
            if (!m_readPosted) {
                m_readPosted = true;
                QMetaObject::invokeMethod(this, &AutoLink::readLine, Qt::QueuedConnection);
            }
            return;
        }
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
        handled += bytes.size();
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
    // Linear and bounded: an adapter that babbles costs one step per byte, and past the
    // bound nothing more is kept.
    if (m_answerOverrun)
        return;
    if (++m_answerBytes > m_timings.maxAnswerBytes) {
        m_answerOverrun = true;
        m_shared.prompt.overrun();
        return;
    }
    m_transcript += QChar(uchar(c));
    if (c == '\r' || c == '\n') {
        m_lineStart = m_transcript.size();
        return;
    }
    if (m_transcript.size() - m_lineStart == PromptLength &&
        QStringView(m_transcript).sliced(m_lineStart) == QLatin1String(Prompt)) {
        m_transcript.truncate(m_lineStart);
        m_answerBytes = 0;
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

void AutoLink::noteXon(char c, int device)
{
    // An XON outside a program, before the worker that waits for it exists, is the
    // machine's word for the answer it is owed: kept, not lost as data.
    if (c != LineControl::XON || !usesXon(m_flowControl))
        return;
    const QString code = DeviceCode(device);
    for (const SendListEntry &e : m_sendList) {
        if (isAnswer(e) && e.device == code) {
            m_xonCarry = code;
            return;
        }
    }
}

void AutoLink::cableByte(char c)
{
    if (c == CR)
        return;
    if (!m_dataSwitch)
        noteXon(c, CableDevice);
    if (c == ':')
        c = 'O';
    if (c == DC2) {
        m_dataSwitch = true;
        m_overflowed.remove(CableDevice);
        m_cable.clear();
        emit bufferChanged(-1);
    } else if (c == DC4) {
        m_dataSwitch = false;
        if (m_overflowed.contains(CableDevice))
            queueSaveError(CableDevice);
        else
            handOver(CableDevice, m_cable);
    } else if (m_dataSwitch) {
        if (m_cable.size() >= m_timings.maxProgramBytes)
            return overflow(CableDevice);
        AppendReceived(m_cable, c);
        emit bufferChanged(-1);
    }
}

bool AutoLink::TrackAddress(unsigned char b)
{
    m_ipBuf = {m_ipBuf[1], m_ipBuf[2], m_ipBuf[3], b};
    bool found = false;
    const int candidates = m_ipMark & m_ipBytesKnown;
    for (int n = 0; candidates && n < DeviceCount; ++n) {
        if ((candidates & bitOf(n)) && m_ipBytes[n] == m_ipBuf) {
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
    const int candidates = m_ipMark & m_ipBytesKnown;
    for (int n = 0; !all && candidates && n < DeviceCount; ++n) {
        if (!(candidates & bitOf(n)))
            continue;
        for (qsizetype k = qMin<qsizetype>(3, m_held.size()); k > keep; --k) {
            bool match = true;
            for (qsizetype i = 0; i < k && match; ++i)
                match = uchar(m_held.at(m_held.size() - k + i)) == m_ipBytes[n][i];
            if (match) {
                keep = k;
                break;
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
    if (!(m_onDevice & m_device))
        noteXon(c, m_device);
    if (c == DC2) {
        m_onDevice |= m_device;
        m_overflowed.remove(m_device);
        m_buffers[n].clear();
        emit bufferChanged(n);
    } else if (c == DC4) {
        m_onDevice &= ~m_device;
        if (m_overflowed.contains(m_device))
            queueSaveError(m_device);
        else
            handOver(m_device, m_buffers.at(n));
    } else if (m_onDevice & m_device) {
        if (m_buffers[n].size() >= m_timings.maxProgramBytes)
            return overflow(m_device);
        AppendReceived(m_buffers[n], c);
        emit bufferChanged(n);
    }
}

QByteArray &AutoLink::bufferOf(int device)
{
    return device == CableDevice ? m_cable : m_buffers[numberOf(device)];
}

void AutoLink::journal(const QString &device, const QString &direction, const QString &file,
                       qint64 characters, const QString &result, const QString &reason) const
{
    JournalEntry e;
    e.portSetting = m_portName;
    e.device = device;
    e.direction = direction;
    e.file = file;
    e.characters = characters;
    e.result = result;
    e.reason = reason;
    TransferJournal::record(e);
}

void AutoLink::keepPart(int device, const QByteArray &buffer, const QString &why)
{
    if (buffer.isEmpty())
        return;
    QString reason;
    const QString kept = m_protocol.KeepFailedTransfer(buffer, &reason);
    journal(DeviceCode(device), QStringLiteral("return"), kept, buffer.size(),
            QStringLiteral("failed"),
            kept.isEmpty() ? QStringLiteral("%1; not kept: %2").arg(why, reason) : why);
    const QString who = deviceLabel(DeviceCode(device));
    if (kept.isEmpty())
        emit problem(QStringLiteral("%1: %2; the %3 characters that had arrived could not be "
                                    "kept: %4")
                         .arg(who, why)
                         .arg(buffer.size())
                         .arg(reason));
    else
        emit problem(QStringLiteral("%1: %2; the %3 characters that had arrived are kept in "
                                    "\"%4\", not stored as a program")
                         .arg(who, why)
                         .arg(buffer.size())
                         .arg(QDir::toNativeSeparators(kept)));
}

void AutoLink::overflow(int device)
{
    QByteArray &buffer = bufferOf(device);
    const ProgramTarget target = m_protocol.TargetOf(buffer);
    keepPart(device, buffer,
             QStringLiteral("the program is longer than the %1 MB an auto-mode program may "
                            "take; the rest of it is not received")
                 .arg(double(m_timings.maxProgramBytes) / (1024 * 1024)));
    m_overflowed.insert(device, QDir(target.folder).filePath(target.fileName));
    if (device == CableDevice)
        m_dataSwitch = false;
    else
        m_onDevice &= ~device;
    buffer = QByteArray(); // its memory too
    emit bufferChanged(device == CableDevice ? -1 : numberOf(device));
}

void AutoLink::queueSaveError(int device)
{
    // The machine has ended the program it could not get stored: it hears so.
    const QString path = m_overflowed.take(device);
    const QString code = DeviceCode(device);
    const GeneralValues values = m_protocol.currentValues();
    if (usesXon(m_flowControl))
        supersede(code);
    SendListEntry reply = SendListEntry::error(code, path, values.errorNumber);
    reply.kind = QStringLiteral("SAVE");
    if (m_radio)
        m_sendList << SendListEntry::mark(code);
    m_sendList << reply;
    if (m_radio)
        m_sendList << SendListEntry::mark(DeviceCode(AllDevices));
    emit logEvent(LogEvent{QStringLiteral("ERROR"), code, QStringLiteral("SAVE"), path});
}

void AutoLink::onLineLost(const QString &message)
{
    // What came before the loss belongs to the programs it cuts.
    readReceived(0);
    releaseHeld(true);
    const QString why =
        QStringLiteral("the line was lost while the program was arriving (%1)").arg(message);
    if (m_dataSwitch)
        keepPart(CableDevice, m_cable, why);
    m_dataSwitch = false;
    m_cable.clear();
    emit bufferChanged(-1);
    for (int n = 0; n < DeviceCount; ++n) {
        if (m_onDevice & bitOf(n))
            keepPart(bitOf(n), m_buffers[n], why);
        m_buffers[n].clear();
        emit bufferChanged(n);
    }
    // After the reopen only a program from its own DC2 counts, from a device addressed anew.
    m_onDevice = 0;
    m_device = 0;
    m_ipBuf = {};
    m_overflowed.clear();
}

} // namespace AutoMode
