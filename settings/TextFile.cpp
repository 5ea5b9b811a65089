#include "settings/TextFile.h"

#include "settings/NcText.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace TextFile
{

QString decode(const QByteArray &bytes)
{
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(bytes);
    }
#ifdef Q_OS_WIN
    return NcText::fromBytes(bytes);
#else
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? NcText::fromBytes(bytes) : text;
#endif
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

int indexOfLine(const QStringList &lines, const QString &text, int from)
{
    for (int i = from; i < lines.size(); ++i) {
        if (lines.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool readLines(const QString &path, QStringList *lines, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    *lines = splitLines(decode(bytes));
    return true;
}

QString writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    QString reason;
    // Unbuffered, so that a short write (disk full, size limit) shows in the count: the
    // buffered path of QSaveFile can commit a truncated file as a success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
    } else {
        const qint64 written = file.write(bytes);
        if (written != bytes.size())
            reason = written < 0 ? file.errorString()
                                 : QStringLiteral("only %1 of %2 bytes could be written")
                                       .arg(written)
                                       .arg(bytes.size());
        else if (!file.commit())
            reason = file.errorString();
    }
    if (!reason.isEmpty())
        file.cancelWriting();
    return reason;
}

} // namespace TextFile
