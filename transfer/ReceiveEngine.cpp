#include "transfer/ReceiveEngine.h"

#include "library/ProgramStore.h"
#include "library/TransferJournal.h"

#include "settings/NcText.h"
#include "transfer/EiaToIso.h"
#include "transfer/LineControl.h"
#include "transfer/SerialLine.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

ReceiveEngine::ReceiveEngine(SerialLine *line, QObject *parent) : QObject(parent), m_line(line)
{
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(CloseDelayMs);
    connect(&m_closeTimer, &QTimer::timeout, this, [this] {
        // A DC2 after the store starts a new program and keeps the window open.
        if (m_status == Done)
            emit finished();
    });
    if (m_line)
        connect(m_line, &SerialLine::rxChar, this, &ReceiveEngine::ComPort1RxChar);
}

void ReceiveEngine::ComPort1RxChar(qint64 count)
{
    // Everything waiting, not just count: bytes that arrived since the notice are read
    // now rather than left for a notice that may not come.
    Q_UNUSED(count);
    const qint64 waiting = m_line->bytesWaiting();
    if (waiting > 0)
        feedBytes(m_line->read(waiting));
}

QByteArray ReceiveEngine::lineBytes(int row) const
{
    if (row < 0 || row >= lineCount())
        return {};
    const qint64 start = m_starts[size_t(row)];
    const qint64 end = row + 1 < lineCount() ? m_starts[size_t(row) + 1] : m_text.size();
    return m_text.mid(start, end - start);
}

QString ReceiveEngine::line(int row) const
{
    return NcText::fromBytes(lineBytes(row));
}

QStringList ReceiveEngine::lines() const
{
    QStringList out;
    out.reserve(lineCount());
    for (int i = 0; i < lineCount(); ++i)
        out << line(i);
    return out;
}

bool ReceiveEngine::hasUnsavedData() const
{
    return m_status == Storing || (m_status == Receiving && !m_text.isEmpty());
}

void ReceiveEngine::feedBytes(const QByteArray &bytes)
{
    // Bytes, on every platform and in every code page: the file gets what the line carried.
    // The code page only shows the lines.
    const qint64 oldCount = m_charCount;
    m_firstChanged = NoChange;
    m_storeTried = false;
    for (const char b : bytes)
        handle(static_cast<unsigned char>(b));
    if (m_firstChanged != NoChange)
        emit linesChanged(m_firstChanged);
    if (m_charCount != oldCount)
        emit charCountChanged(m_charCount);
}

void ReceiveEngine::newLine()
{
    touch(lineCount());
    m_starts.push_back(m_text.size());
}

void ReceiveEngine::keep(ushort c)
{
    m_text += char(c);
}

void ReceiveEngine::handle(ushort c)
{
    if (c == LineControl::DC2) {
        m_status = Receiving;
        newLine();
    }
    if (c == LineControl::DC4 && m_status != Waiting) {
        // A DC4 with no program started has nothing to end.
        if (!m_starts.empty() && m_starts.back() == m_text.size()) {
            m_starts.pop_back();
            touch(lineCount());
        }
        m_status = Storing;
    }
    if (m_status == Receiving) {
        if (c == EiaPercent && !m_eia) {
            m_eia = true;
            // NUL ends a line in EIA: it must reach us.
            if (m_line)
                m_line->setDiscardNull(false);
        }
        if (m_eia) {
            const int iso = EiaToIso(c);
            if (iso < 0)
                return;
            c = ushort(iso);
        }
        if (c == ':')
            c = 'O';
        if (c == '\n') {
            if (m_starts.back() != m_text.size())
                newLine();
        } else if (c >= 33 && c <= 254) {
            touch(lineCount() - 1);
            keep(c);
            ++m_charCount;
        }
    } else if (m_status == Storing && !m_storeTried) {
        // After a failure, later characters retry; once per batch, not once per byte.
        m_storeTried = true;
        retryStore();
    }
}

bool ReceiveEngine::retryStore()
{
    if (m_status != Storing || !store())
        return false;
    m_status = Done;
    m_closeTimer.start();
    emit programStored(m_fileName);
    return true;
}

bool ReceiveEngine::writeLines(const QString &path, QString *cause, int *linesWritten) const
{
    // Written beside the target and renamed: a failed store leaves the old file whole.
    QSaveFile file(path);
    if (path.isEmpty()) {
        *cause = QStringLiteral("no file name was given");
        return false;
    }
    if (!file.open(QIODevice::WriteOnly)) {
        *cause = file.errorString();
        return false;
    }
    // A program cut short may end in a line that was only just begun.
    const int rows = keptLineCount();
    for (int i = 0; i < rows; ++i) {
        const qint64 start = m_starts[size_t(i)];
        const qint64 end = i + 1 < lineCount() ? m_starts[size_t(i) + 1] : m_text.size();
        if (file.write(m_text.constData() + start, end - start) != end - start ||
            file.write("\r\n", 2) != 2) {
            *cause = file.errorString();
            return false;
        }
    }
    if (!file.commit()) {
        *cause = file.errorString();
        return false;
    }
    if (linesWritten)
        *linesWritten = rows;
    return true;
}

bool ReceiveEngine::savePartial(const QString &path, QString *error, int *linesWritten) const
{
    QString cause;
    if (writeLines(path, &cause, linesWritten))
        return true;
    if (error)
        *error = QStringLiteral("Cannot save the received lines in \"%1\": %2")
                     .arg(QDir::toNativeSeparators(path), cause);
    return false;
}

bool ReceiveEngine::sameAs(QFile &stored) const
{
    // Line by line: a large program is not held a second time to be compared.
    const int rows = keptLineCount();
    for (int i = 0; i < rows; ++i) {
        const QByteArray line = lineBytes(i) + "\r\n";
        if (stored.read(line.size()) != line)
            return false;
    }
    return stored.atEnd();
}

void ReceiveEngine::journalFailure(const QString &reason, const QString &keptPath) const
{
    JournalEntry e;
    e.portSetting = m_journalName;
    e.direction = QStringLiteral("receive");
    e.file = keptPath.isEmpty() ? m_fileName : keptPath;
    if (!e.file.isEmpty())
        e.file = QFileInfo(e.file).absoluteFilePath();
    e.characters = m_charCount;
    e.result = QStringLiteral("failed");
    e.reason =
        keptPath.isEmpty() ? reason : QStringLiteral("%1; kept as a failed transfer").arg(reason);
    TransferJournal::record(e);
}

bool ReceiveEngine::store()
{
    // Through the program store: a file it replaces is kept as a numbered backup first.
    QString cause = QStringLiteral("no file name was given");
    if (!m_fileName.isEmpty()) {
        const ProgramStore::Result r = ProgramStore().storeBy(
            m_fileName, [this](QFile &stored) { return sameAs(stored); },
            [this](const QString &to, QString *reason) { return writeLines(to, reason); });
        cause = r.reason;
        m_lastBackup = r.backupPath;
        m_identical = r.outcome == ProgramStore::Result::Identical;
        if (r.outcome != ProgramStore::Result::Failed) {
            m_lastError.clear();
            if (!m_failedBecause.isEmpty()) {
                journalFailure(m_failedBecause, m_fileName);
                return true;
            }
            JournalEntry e;
            e.portSetting = m_journalName;
            e.direction = QStringLiteral("receive");
            e.file = QFileInfo(m_fileName).absoluteFilePath();
            e.characters = m_charCount;
            e.result = m_identical ? QStringLiteral("identical") : QStringLiteral("stored");
            if (!m_lastBackup.isEmpty())
                e.reason = QStringLiteral("old program kept as \"%1\"")
                               .arg(QDir::toNativeSeparators(m_lastBackup));
            TransferJournal::record(e);
            return true;
        }
    }
    m_lastError = QStringLiteral("Cannot store the received program in \"%1\": %2")
                      .arg(QDir::toNativeSeparators(m_fileName), cause);
    emit storeFailed(m_lastError);
    return false;
}
