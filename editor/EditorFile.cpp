#include "editor/EditorFile.h"

#include "settings/CommaText.h"
#include "settings/NcText.h"
#include "settings/TextFile.h"

#include <QDir>
#include <QFile>

namespace EditorFile
{

bool readText(const QString &path, QString *text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("\"%1\" cannot be read: %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("\"%1\" cannot be read: %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    QString t = NcText::fromBytes(bytes);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(u'\r', u'\n');
    *text = t;
    return true;
}

bool writeText(const QString &path, const QString &text, QString *error)
{
    QString crlf = text;
    crlf.replace(u'\n', QLatin1String("\r\n"));
    const QByteArray bytes = NcText::toBytes(crlf);
    const QString reason = TextFile::writeWhole(path, bytes);
    if (reason.isEmpty())
        return true;
    *error =
        QStringLiteral("\"%1\" could not be saved: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

namespace
{
QString description(const QStringList &patterns, int i)
{
    const QString &p = patterns.at(i);
    const bool last = i == patterns.size() - 1 && i > 0;
    return last ? p : p.mid(1);
}
} // namespace

QString dialogFilter(const QStringList &patterns)
{
    QStringList parts;
    for (int i = 0; i < patterns.size(); ++i)
        parts << description(patterns, i) << patterns.at(i);
    return parts.join(u'|');
}

QStringList qtNameFilters(const QStringList &patterns)
{
    QStringList filters;
    for (int i = 0; i < patterns.size(); ++i)
        filters << description(patterns, i) + QStringLiteral(" (") + patterns.at(i) + u')';
    return filters;
}

int styleCode(bool bold, bool italic, bool underline)
{
    return (bold ? 0 : 1) | (italic ? 0 : 2) | (underline ? 0 : 4);
}

void styleFromCode(int code, bool *bold, bool *italic, bool *underline)
{
    *bold = !(code & 1);
    *italic = !(code & 2);
    *underline = !(code & 4);
}

bool readSize(const QString &text, int *width, int *height)
{
    const QStringList parts = CommaText::read(text);
    if (parts.size() < 2)
        return false;
    bool okW = false, okH = false;
    const int w = parts.at(0).toInt(&okW);
    const int h = parts.at(1).toInt(&okH);
    if (!okW || !okH || w <= 0 || h <= 0)
        return false;
    *width = w;
    *height = h;
    return true;
}

} // namespace EditorFile
