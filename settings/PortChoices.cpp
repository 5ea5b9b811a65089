#include "settings/PortChoices.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace PortChoices
{

namespace
{
QString settingsPath(const QString &folder)
{
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QString::fromLatin1(SettingsFile));
}
} // namespace

double AnswerDelaySeconds(const QString &settingsFolder, const QString &portName)
{
    const QString path = settingsPath(settingsFolder);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return 0;
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("AnswerDelay"));
    bool ok = false;
    const double seconds = ini.value(portName).toDouble(&ok);
    return ok && seconds > 0 && seconds <= MaxAnswerDelaySeconds ? seconds : 0;
}

bool HoldsForReview(const QString &settingsFolder, const QString &portName)
{
    const QString path = settingsPath(settingsFolder);
    if (path.isEmpty() || portName.isEmpty() || !QFileInfo::exists(path))
        return false;
    QSettings ini(path, QSettings::IniFormat);
    return ini.value(QStringLiteral("HoldForReview/") + portName).toString().trimmed().toLower() ==
           QLatin1String("true");
}

bool SaveHoldForReview(const QString &settingsFolder, const QString &portName, bool hold)
{
    const QString path = settingsPath(settingsFolder);
    if (path.isEmpty() || portName.isEmpty())
        return false;
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("HoldForReview"));
    if (hold)
        ini.setValue(portName, true);
    else
        ini.remove(portName);
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool SaveAnswerDelay(const QString &settingsFolder, const QString &portName, double seconds)
{
    const QString path = settingsPath(settingsFolder);
    if (path.isEmpty() || portName.isEmpty())
        return false;
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("AnswerDelay"));
    if (seconds > 0)
        ini.setValue(portName, seconds);
    else
        ini.remove(portName);
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError;
}

} // namespace PortChoices
