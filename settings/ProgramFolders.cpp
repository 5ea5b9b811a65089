#include "settings/ProgramFolders.h"

#include "settings/UnitFunction.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace
{

QString withSlash(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString installedPacks(const QString &programFolder)
{
    return withSlash(QDir::cleanPath(programFolder + QStringLiteral("../share/ncferry/language")));
}

// access() alone says yes to root for any folder; a folder nobody may write is read-only here
// for root too.
bool canWrite(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable() &&
           (info.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
}

} // namespace

ProgramFolders ChooseProgramFolders(const QString &programFolder, const QString &configFolder,
                                    const QString &dataFolder)
{
    ProgramFolders folders;
    folders.program = withSlash(programFolder);
    const bool installedLayout = !QFileInfo(folders.program + QStringLiteral("language")).isDir() &&
                                 QFileInfo(installedPacks(folders.program)).isDir();
    folders.portable = canWrite(folders.program) && !installedLayout;
    folders.settings = folders.portable ? folders.program : withSlash(configFolder);
    folders.data = folders.portable ? folders.program : withSlash(dataFolder);
    return folders;
}

ProgramFolders GetProgramFolders()
{
    const QString name = QStringLiteral("/NCFerry");
    return ChooseProgramFolders(
        GetExePath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + name,
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + name);
}

QString LanguageFolder(const QString &baseFolder, const ProgramFolders &program)
{
    const QString own = withSlash(baseFolder) + QStringLiteral("language/");
    QStringList candidates{own};
    if (!program.portable)
        candidates << program.program + QStringLiteral("language/")
                   << installedPacks(program.program);
    for (const QString &folder : candidates)
        if (QFileInfo(folder).isDir())
            return folder;
    return own;
}

QString LanguageFolder(const QString &baseFolder)
{
    return LanguageFolder(baseFolder, GetProgramFolders());
}
