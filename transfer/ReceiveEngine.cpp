#include "transfer/ReceiveEngine.h"

#include "settings/NcText.h"
#include "transfer/EiaToIso.h"
#include "transfer/SerialLine.h"

#include <QDir>
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
        feed(NcText::fromBytes(m_line->read(waiting)));
}

void ReceiveEngine::feed(const QString &text)
{
    const qint64 oldCount = m_charCount;
    m_firstChanged = NoChange;
    m_storeTried = false;
    for (const QChar ch : text)
        handle(ch.unicode());
    if (m_firstChanged != NoChange)
        emit linesChanged(m_firstChanged);
    if (m_charCount != oldCount)
        emit charCountChanged(m_charCount);
}

void ReceiveEngine::newLine()
{
    // A finished line gives back the room its growth reserved.
    if (!m_lines.isEmpty())
        m_lines.last().squeeze();
    touch(int(m_lines.size()));
    m_lines.append(QString());
}

void ReceiveEngine::handle(ushort c)
{
    if (c == DC2) {
        m_status = Receiving;
        newLine();
    }
    if (c == DC4 && m_status != Waiting) {
        // A DC4 with no program started has nothing to end.
        if (!m_lines.isEmpty() && m_lines.last().isEmpty()) {
            m_lines.removeLast();
            touch(int(m_lines.size()));
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
            if (!m_lines.last().isEmpty())
                newLine();
        } else if (c >= 33 && c <= 254) {
            touch(int(m_lines.size()) - 1);
            m_lines.last().append(QChar(c));
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

bool ReceiveEngine::store()
{
    // Written beside the target and renamed: a failed store leaves the old file whole.
    QSaveFile file(m_fileName);
    QString cause;
    if (m_fileName.isEmpty()) {
        cause = QStringLiteral("no file name was given");
    } else if (!file.open(QIODevice::WriteOnly)) {
        cause = file.errorString();
    } else {
        // Line by line through the file's buffer: no second copy of a large program.
        bool written = true;
        for (const QString &l : std::as_const(m_lines)) {
            if (file.write(NcText::toBytes(l)) < 0 || file.write("\r\n", 2) != 2) {
                written = false;
                break;
            }
        }
        if (!written || !file.commit())
            cause = file.errorString();
    }
    if (cause.isEmpty()) {
        m_lastError.clear();
        return true;
    }
    m_lastError = QStringLiteral("Cannot store the received program in \"%1\": %2")
                      .arg(QDir::toNativeSeparators(m_fileName), cause);
    emit storeFailed(m_lastError);
    return false;
}
