#include "automode/AutoModeLog.h"

#include "automode/RequestProtocol.h"
#include "library/ProgramFiles.h"
#include "settings/NcText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace AutoMode
{

QString AutoModeLog::pathFor(const QString &folder, const QString &settingName)
{
    // The port setting's name is the user's text: the rule of the stored programs keeps it
    // inside log/ ("../X" must not write beside it).
    QString name = SafeFileName(settingName.left(MaxStoredName));
    if (name.isEmpty())
        name = QString::fromLatin1(UnnamedProgram);
    return QDir(folder).filePath(QStringLiteral("log/") + name + QStringLiteral(".txt"));
}

QString AutoModeLog::problemLine(const QString &text, const QDateTime &when)
{
    return noteLine(QStringLiteral("ERROR"), text, when);
}

QString AutoModeLog::noteLine(const QString &status, const QString &text, const QDateTime &when)
{
    return status + when.toString(QStringLiteral(" yyyy-MM-dd HH:mm:ss ")) + text;
}

QStringList AutoModeLog::load(QString *error) const
{
    QFile f(m_path);
    if (!f.exists())
        return {};
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return {};
    }
    QStringList lines = NcText::fromBytes(f.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool AutoModeLog::append(const QString &line, QString *error) const
{
    QString why;
    if (ProgramFiles::AppendTo(m_path, NcText::toBytes(line) + "\r\n", &why))
        return true;
    if (error)
        *error = QStringLiteral("Cannot write the log \"%1\": %2")
                     .arg(QDir::toNativeSeparators(m_path), why);
    return false;
}

bool AutoModeLog::rewrite(const QStringList &lines, QString *error) const
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += NcText::toBytes(line) + "\r\n";
    QString why;
    if (ProgramFiles::MakeFolder(QFileInfo(m_path).absolutePath(), &why) &&
        ProgramFiles::WriteWhole(m_path, bytes, &why))
        return true;
    if (error)
        *error = QStringLiteral("Cannot write the log \"%1\": %2")
                     .arg(QDir::toNativeSeparators(m_path), why);
    return false;
}

} // namespace AutoMode
