#include "automode/AutoModeSettings.h"

#include "library/ProgramStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace AutoMode
{

LinkTimings WithProgramSettings(LinkTimings timings, const QString &settingsFolder)
{
    const QString path = QDir(settingsFolder).filePath(QString::fromLatin1(ProgramSettingsFile));
    if (settingsFolder.isEmpty() || !QFileInfo::exists(path))
        return timings;
    QSettings ini(path, QSettings::IniFormat);
    bool ok = false;
    const double mb = ini.value(QStringLiteral("AutoMode/MaxProgramMB")).toDouble(&ok);
    if (ok && mb >= 1 && mb <= 4096)
        timings.maxProgramBytes = qint64(mb * 1024 * 1024);
    const double minutes = ini.value(QStringLiteral("AutoMode/XonWaitMinutes")).toDouble(&ok);
    if (ok && minutes > 0 && minutes <= 24 * 60)
        timings.xonWaitMs = int(minutes * 60000);
    return timings;
}

namespace
{
QString settingsPath(const QString &folder)
{
    return folder.isEmpty() ? QString()
                            : QDir(folder).filePath(QString::fromLatin1(ProgramSettingsFile));
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

RequestOptions RequestOptionsFor(const QString &settingsFolder, const QString &portName)
{
    RequestOptions options;
    const QString path = settingsPath(settingsFolder);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return options;
    QSettings ini(path, QSettings::IniFormat);
    options.errorReasons =
        ini.value(QStringLiteral("AutoMode/ErrorReasons")).toString().trimmed().toLower() !=
        QLatin1String("false");
    options.answerDelayMs = int(AnswerDelaySeconds(settingsFolder, portName) * 1000);
    options.holdForReview = HoldsForReview(settingsFolder, portName);
    options.backupLimit = ProgramStore::backupLimitFrom(path);
    return options;
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

} // namespace AutoMode
