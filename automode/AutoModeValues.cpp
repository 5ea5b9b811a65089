#include "automode/AutoModeValues.h"

#include "settings/CommaText.h"
#include "settings/Defaults.h"
#include "settings/GeneralSettingsRules.h"
#include "settings/Option.h"
#include "settings/TextFile.h"

#include <QDir>
#include <QFileInfo>

namespace AutoMode
{

namespace
{

const char *const generalKeys[TOption::GeneralEntryCount] = {
    "Check=",  "Language=", "Editor=",   "Source=",   "Viewer=",    "FileSave=",
    "ATRead=", "ATPath=",   "ATFolder=", "PathList=", "FolderList="};

} // namespace

bool fromGeneralList(const QStringList &general, const QString &nameCode, GeneralValues *values)
{
    using namespace GeneralSettingsRules;
    QList<bool> flags;
    if (!unpackFlags(general.value(TOption::CheckEntry), &flags))
        return false;
    values->requestNumber = general.value(TOption::ATReadEntry);
    values->pathCode = general.value(TOption::ATPathEntry);
    values->folderCode = general.value(TOption::ATFolderEntry);
    values->nameCode = nameCode;
    values->errorNumber = general.value(TOption::FileSaveEntry);
    values->pathList = CommaText::read(general.value(TOption::PathListEntry));
    values->folderList = CommaText::read(general.value(TOption::FolderListEntry));
    values->overwrite = flags.value(OverwriteSameName);
    values->nameFromComment = flags.value(NameFromComment);
    values->readErrorReply = flags.value(ReadErrorReply);
    values->saveOkReply = flags.value(SaveOkReply);
    return true;
}

GeneralValuesFile::GeneralValuesFile(const QString &path, const QString &nameCode)
    : m_path(path), m_nameCode(nameCode)
{
}

bool GeneralValuesFile::refresh()
{
    const QFileInfo info(m_path);
    const QDateTime stamp = info.exists() ? info.lastModified() : QDateTime();
    const qint64 size = info.exists() ? info.size() : -1;
    if (m_loaded && m_error.isEmpty() && stamp == m_stamp && size == m_size)
        return true;
    m_stamp = stamp;
    m_size = size;
    return read();
}

GeneralValues GeneralValuesFile::values()
{
    refresh();
    return m_values;
}

bool GeneralValuesFile::read()
{
    const QString shown = QDir::toNativeSeparators(m_path);
    QStringList lines;
    QString error;
    if (!TextFile::readLines(m_path, &lines, &error)) {
        m_error = QStringLiteral("The settings file %1.").arg(error);
        return false;
    }
    const int at = TextFile::indexOfLine(lines, QStringLiteral("[General]"));
    if (at < 0) {
        m_error = QStringLiteral("The settings file \"%1\" has no [General] section.").arg(shown);
        return false;
    }
    // Keys missing from the section take the stored defaults, as the program's own reading does.
    QStringList general = Defaults::generalSettingsList(QStringLiteral("English"));
    general.resize(TOption::GeneralEntryCount);
    for (int i = at + 1; i < lines.size() && !lines.at(i).startsWith(u'['); ++i) {
        for (int e = 0; e < TOption::GeneralEntryCount; ++e) {
            const QString key = QString::fromLatin1(generalKeys[e]);
            if (lines.at(i).startsWith(key, Qt::CaseInsensitive)) {
                general[e] = lines.at(i).mid(key.size());
                break;
            }
        }
    }
    GeneralValues values;
    if (!fromGeneralList(general, m_nameCode, &values)) {
        m_error = QStringLiteral("The settings file \"%1\" is damaged: the check flags \"%2\" are "
                                 "not a number.")
                      .arg(shown, general.at(TOption::CheckEntry));
        return false;
    }
    m_values = values;
    m_loaded = true;
    m_error.clear();
    return true;
}

} // namespace AutoMode
