#include "automode/AutoModeLog.h"

#include "settings/NcText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace AutoMode
{

QString AutoModeLog::pathFor(const QString &folder, const QString &settingName)
{
    return QDir(folder).filePath(QStringLiteral("log/") + settingName + QStringLiteral(".txt"));
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
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile f(m_path);
    const QByteArray bytes = NcText::toBytes(line) + "\r\n";
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) ||
        f.write(bytes) != bytes.size()) {
        if (error)
            *error = QStringLiteral("Cannot write the log \"%1\": %2")
                         .arg(QDir::toNativeSeparators(m_path), f.errorString());
        return false;
    }
    return true;
}

bool AutoModeLog::rewrite(const QStringList &lines, QString *error) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += NcText::toBytes(line) + "\r\n";
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || f.write(bytes) != bytes.size() ||
        !f.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write the log \"%1\": %2")
                         .arg(QDir::toNativeSeparators(m_path), f.errorString());
        return false;
    }
    return true;
}

} // namespace AutoMode
