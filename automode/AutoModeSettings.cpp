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

} // namespace AutoMode
