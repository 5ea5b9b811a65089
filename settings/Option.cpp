#include "settings/Option.h"

#include "settings/CommaText.h"
#include "settings/Defaults.h"
#include "settings/NcText.h"
#include "settings/PortSetting.h"
#include "settings/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace
{

// What a stored value must look like for its readers not to fail on it.
enum class Check { Any, NotEmpty, Count, Number, Colors };

struct Key {
    const char *key; // with its "="
    Check check;
};

struct FixedSection {
    const char *header;
    int list;
    QList<Key> keys;
};

const FixedSection mainSection{"[Main]",
                               TOption::MainList,
                               {{"Path=", Check::Any},
                                {"ExtList=", Check::Any},
                                {"Ext=", Check::Any},
                                {"Font=", Check::Count}}};
const FixedSection generalSection{"[General]",
                                  TOption::GeneralList,
                                  {{"Check=", Check::Number},
                                   {"Language=", Check::NotEmpty},
                                   {"Editor=", Check::Any},
                                   {"Source=", Check::Number},
                                   {"Viewer=", Check::Any},
                                   {"FileSave=", Check::Any},
                                   {"ATRead=", Check::Any},
                                   {"ATPath=", Check::Any},
                                   {"ATFolder=", Check::Any},
                                   {"PathList=", Check::Any},
                                   {"FolderList=", Check::Any}}};
const FixedSection editorSection{
    "[Editor]",
    TOption::EditorList,
    {{"Size=", Check::Count}, {"Style=", Check::Number}, {"Color=", Check::Colors}}};

const char transferHeader[] = "[Transfer]";
const char windowsSizeHeader[] = "[WindowsSize]";
const char endHeader[] = "[End]";

const char *const knownHeaders[] = {"[Main]",   "[General]",     "[Transfer]",
                                    "[Editor]", "[WindowsSize]", "[End]"};

// Numbers each window reads from its size text.
constexpr int sizeFields[TOption::SlotCount] = {11, 2, 12, 2, 4};
// The main window's pack lines for a damaged and for an unreadable settings file.
constexpr int DamagedLine = 32;
constexpr int UnreadableLine = 33;
// Appended: where the damaged file was kept.
constexpr int KeptLine = 35;
const char *const slotNames[TOption::SlotCount] = {"main window", "general settings",
                                                   "port settings", "editor", "auto mode"};
constexpr int colorCount = 26;

QString latin1(const char *text)
{
    return QString::fromLatin1(text);
}

bool isNumber(const QString &text, bool positive)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    return digits.match(text).hasMatch() && (!positive || text.toInt() > 0);
}

bool usable(const QString &value, Check check)
{
    switch (check) {
    case Check::Any:
        return true;
    case Check::NotEmpty:
        return !value.isEmpty();
    case Check::Count:
        return isNumber(value, true);
    case Check::Number:
        return isNumber(value, false);
    case Check::Colors:
        return CommaText::read(value).size() >= colorCount;
    }
    return false;
}

// No screen has a longer side: a larger number is damage, not a size kept from another screen.
constexpr qint64 LargestScreenSide = 32767;

// A size must fit the work area: a larger window costs memory in proportion (a 60000 x 60000
// window buffer takes gigabytes) and cannot be seen whole anyway. The width and height are
// bounded by the work area's right and bottom edges, the pane and column widths by the
// larger of the two. A size saved on a larger screen (a laptop taken off its dock, a remote
// session at a lower resolution) is shrunk to fit, in *fitted; only a text that is no size
// at all is false. An empty work area (no screen) bounds nothing.
bool fitSize(const QString &text, int slot, const QRect &workArea, QString *fitted)
{
    QStringList numbers = CommaText::read(text);
    if (numbers.size() < sizeFields[slot])
        return false;
    const qint64 right = qint64(workArea.x()) + workArea.width();
    const qint64 bottom = qint64(workArea.y()) + workArea.height();
    bool shrunk = false;
    for (int i = 0; i < numbers.size(); ++i) {
        if (!isNumber(numbers.at(i), false) || numbers.at(i).toLongLong() > LargestScreenSide)
            return false;
        const qint64 limit = i == 0 ? right : i == 1 ? bottom : qMax(right, bottom);
        if (!workArea.isEmpty() && numbers.at(i).toLongLong() > limit) {
            numbers[i] = QString::number(limit);
            shrunk = true;
        }
    }
    *fitted = shrunk ? CommaText::write(numbers) : text;
    return true;
}

bool isHeaderLine(const QString &line)
{
    for (const char *known : knownHeaders) {
        if (line.compare(latin1(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The last line equal to `text` in any letter case, or -1.
int lastIndexOfLine(const QStringList &lines, const QString &text)
{
    for (int i = int(lines.size()) - 1; i >= 0; --i) {
        if (lines.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The line after the header's section: the next line that is one of the file's headers.
int sectionEnd(const QStringList &lines, int header)
{
    for (int i = header + 1; i < lines.size(); ++i) {
        for (const char *known : knownHeaders) {
            if (lines.at(i).compare(latin1(known), Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return int(lines.size());
}

const FixedSection &fixedSection(int list)
{
    return list == TOption::MainList      ? mainSection
           : list == TOption::GeneralList ? generalSection
                                          : editorSection;
}

// The five default lists, built as the windows supply them: each supplier's last text is its
// window size, which goes to the window-size list.
QList<QStringList> defaultLists(const QRect &workArea, const QString &language)
{
    QList<QStringList> lists(TOption::ListCount);
    const QStringList suppliers[] = {
        Defaults::mainWindowList(workArea), Defaults::generalSettingsList(language),
        Defaults::portSettingsList(workArea), Defaults::editorList(workArea)};
    for (int i = 0; i < 4; ++i) {
        QStringList list = suppliers[i];
        lists[TOption::WindowsSizeList] << list.takeLast();
        lists[i] = list;
    }
    lists[TOption::WindowsSizeList] << Defaults::autoModeSize(workArea);
    return lists;
}

} // namespace

TOption::TOption(const QString &baseFolder, const QRect &workArea, const QString &defaultLanguage)
    : m_baseFolder(baseFolder), m_workArea(workArea), m_defaultLanguage(defaultLanguage),
      m_codePageName(NcText::storedName(baseFolder))
{
    if (QFileInfo::exists(optionFilePath()))
        LoadOption();
    else
        LoadDefault();
    LoadLanguage();
}

QString TOption::optionFilePath() const
{
    return m_baseFolder + QStringLiteral("Option.ini");
}

const QStringList &TOption::getOptionList(int index) const
{
    static const QStringList none;
    return index >= 0 && index < ListCount ? m_options[index] : none;
}

void TOption::setOptionList(int index, const QStringList &lines)
{
    if (index >= 0 && index < ListCount)
        m_options[index] = lines;
}

QStringList TOption::getPortSetting(int index) const
{
    const QStringList &ports = m_options[TransferList];
    if (index < 0 || index >= ports.size())
        return {};
    return PortSetting::split(ports.at(index));
}

QString TOption::getWindowsSize(int slot) const
{
    const QStringList &sizes = m_options[WindowsSizeList];
    if (slot >= 0 && slot < sizes.size())
        return sizes.at(slot);
    if (slot >= 0 && slot < SlotCount)
        return defaultList(WindowsSizeList).at(slot);
    return {};
}

void TOption::setWindowsSize(int slot, const QString &text)
{
    if (slot < 0)
        return;
    QStringList &sizes = m_options[WindowsSizeList];
    const QStringList defaults = defaultList(WindowsSizeList);
    while (sizes.size() <= slot)
        sizes << defaults.value(sizes.size());
    sizes[slot] = text;
}

const QStringList &TOption::getLanguageList(int section) const
{
    return m_language.section(section);
}

QStringList TOption::defaultList(int list) const
{
    return defaultLists(m_workArea, m_defaultLanguage).value(list);
}

void TOption::LoadDefault()
{
    const QList<QStringList> lists = defaultLists(m_workArea, m_defaultLanguage);
    for (int i = 0; i < ListCount; ++i)
        m_options[i] = lists.at(i);
    m_unreadable.clear();
    m_damaged.clear();
    m_keptFile.clear();
}

void TOption::LoadOption()
{
    QStringList lines;
    QString error;
    if (!TextFile::readLines(optionFilePath(), &lines, &error)) {
        LoadDefault();
        // The reader says '"path" cannot be read: reason'; the pack's line names the path.
        const QString said = QStringLiteral("\"%1\" cannot be read: ")
                                 .arg(QDir::toNativeSeparators(optionFilePath()));
        m_unreadable = error.startsWith(said) ? error.mid(said.size()) : error;
        keepDamagedFile(true);
        return;
    }
    for (QStringList &list : m_options)
        list.clear();
    m_keptFile.clear();
    QStringList damaged;
    readFixedSection(lines, MainList, &damaged);
    readFixedSection(lines, GeneralList, &damaged);
    readListSection(lines, TransferList, &damaged);
    readFixedSection(lines, EditorList, &damaged);
    readListSection(lines, WindowsSizeList, &damaged);
    repairWindowsSizes(&damaged);
    m_unreadable.clear();
    m_damaged = damaged;
    if (!m_damaged.isEmpty())
        keepDamagedFile(false);
}

// The user's file stays beside the new one, under a name of its own, before the defaults that
// stand in for its damaged parts are ever written over it. A file that cannot be read is
// moved aside (it cannot be copied); a readable one is copied.
void TOption::keepDamagedFile(bool unreadable)
{
    m_keptFile.clear();
    const QString path = optionFilePath();
    // A folder in the file's place holds nothing of the user's settings to keep.
    if (!QFileInfo(path).isFile())
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = path + QStringLiteral(".damaged-") + stamp + u'-' + QString::number(n);
    if (unreadable ? QFile::rename(path, kept) : QFile::copy(path, kept))
        m_keptFile = kept;
}

QString TOption::damageMessage() const
{
    const QStringList &main = m_language.section(LanguagePack::Main);
    const QString path = QDir::toNativeSeparators(optionFilePath());
    QString message;
    if (!m_unreadable.isEmpty())
        message =
            LanguagePack::caption(main, LanguagePack::Main, UnreadableLine).arg(path, m_unreadable);
    else if (!m_damaged.isEmpty())
        message = LanguagePack::caption(main, LanguagePack::Main, DamagedLine)
                      .arg(path, m_damaged.join(QStringLiteral(", ")));
    if (!message.isEmpty() && !m_keptFile.isEmpty())
        message += u' ' + LanguagePack::caption(main, LanguagePack::Main, KeptLine)
                              .arg(QDir::toNativeSeparators(m_keptFile));
    return message;
}

// Values are read by position after the header: the line's first characters stand for the
// key and are not compared, so a value may itself hold "=". Only a section that lacks lines
// is read by key, so that the lines that are there keep their meaning.
void TOption::readFixedSection(const QStringList &lines, int list, QStringList *damaged)
{
    const FixedSection &section = fixedSection(list);
    const QString header = latin1(section.header);
    const QStringList defaults = defaultList(list);
    const QList<Key> &keys = section.keys;
    QStringList &values = m_options[list];
    const int at = TextFile::indexOfLine(lines, header);
    if (at < 0) {
        values = defaults;
        *damaged << QStringLiteral("%1 (section missing)").arg(header);
        return;
    }
    const QStringList body = lines.mid(at + 1, sectionEnd(lines, at) - at - 1);
    const bool complete = body.size() >= keys.size();
    for (int i = 0; i < keys.size(); ++i) {
        const QString key = latin1(keys[i].key);
        QString value;
        bool found = false;
        if (complete) {
            found = body.at(i).size() >= key.size();
            value = body.at(i).mid(key.size());
        } else {
            for (const QString &line : body) {
                if (line.startsWith(key, Qt::CaseInsensitive)) {
                    value = line.mid(key.size());
                    found = true;
                    break;
                }
            }
        }
        if (!found || !usable(value, keys[i].check)) {
            value = defaults.at(i);
            *damaged << header + u' ' + key.chopped(1);
        }
        values << value;
    }
}

void TOption::readListSection(const QStringList &lines, int list, QStringList *damaged)
{
    const bool ports = list == TransferList;
    const QString header = latin1(ports ? transferHeader : windowsSizeHeader);
    const QString endText = latin1(ports ? editorSection.header : endHeader);
    // The window sizes are the file's last section: a stray copy of their header higher up
    // (inside the port list, say) must not make them swallow the sections in between.
    const int at = ports ? TextFile::indexOfLine(lines, header) : lastIndexOfLine(lines, header);
    if (at < 0) {
        m_options[list] = ports ? portLinesWithoutHeader(lines) : QStringList();
        if (!m_options[list].isEmpty()) {
            *damaged << QStringLiteral("%1 (header missing; its %2 port settings were kept)")
                            .arg(header)
                            .arg(m_options[list].size());
            return;
        }
        m_options[list] = defaultList(list);
        *damaged << QStringLiteral("%1 (section missing)").arg(header);
        return;
    }
    int end = TextFile::indexOfLine(lines, endText, at + 1);
    if (end < 0 && ports) {
        // Without its header the editor section still starts at its first keyed line.
        const int last = sectionEnd(lines, at);
        auto editorLine = [&](const QString &line) {
            for (const Key &key : editorSection.keys) {
                if (line.startsWith(latin1(key.key), Qt::CaseInsensitive))
                    return true;
            }
            return false;
        };
        end = at + 1;
        while (end < last && !editorLine(lines.at(end)))
            ++end;
    } else if (end < 0) {
        end = sectionEnd(lines, at);
    }
    QStringList &values = m_options[list];
    values.clear();
    const QStringList defaults = PortSetting::split(PortSetting::defaultLine());
    for (const QString &line : lines.mid(at + 1, end - at - 1)) {
        // A section header among the values is dropped, else every save would write it
        // back inside the list and the file would grow by a section each time.
        if (isHeaderLine(line)) {
            *damaged << QStringLiteral("%1 (stray line %2)").arg(header, line);
            continue;
        }
        QStringList fields = PortSetting::split(line);
        if (!ports || fields.size() >= PortSetting::MinimumFields) {
            values << line;
            continue;
        }
        // A short port line would fail only when used: the missing fields take the default
        // record's values, and the damage is told now.
        *damaged << QStringLiteral("%1 port setting \"%2\" (too few fields)").arg(header, line);
        while (fields.size() < PortSetting::MinimumFields)
            fields << defaults.value(fields.size());
        values << PortSetting::join(fields);
    }
}

// A misspelt "[Transfer]" header ("[Transfr]") loses no port setting: the records between
// the general values and "[Editor]" are still the port list.
QStringList TOption::portLinesWithoutHeader(const QStringList &lines) const
{
    const int general = TextFile::indexOfLine(lines, latin1(generalSection.header));
    const int editor = TextFile::indexOfLine(lines, latin1(editorSection.header));
    const int first = general + 1 + int(generalSection.keys.size());
    QStringList found;
    if (general < 0 || editor < first)
        return found;
    for (const QString &line : lines.mid(first, editor - first)) {
        const QString t = line.trimmed();
        if (t.startsWith(u'[') && t.endsWith(u']'))
            continue;
        if (PortSetting::split(line).size() >= PortSetting::MinimumFields)
            found << line;
    }
    return found;
}

void TOption::repairWindowsSizes(QStringList *damaged)
{
    QStringList &sizes = m_options[WindowsSizeList];
    const QStringList defaults = defaultList(WindowsSizeList);
    for (int slot = 0; slot < SlotCount; ++slot) {
        QString fitted;
        if (slot < sizes.size() && sizes.at(slot) == defaults.at(slot))
            continue;
        if (slot < sizes.size() && fitSize(sizes.at(slot), slot, m_workArea, &fitted)) {
            sizes[slot] = fitted;
            continue;
        }
        if (slot < sizes.size())
            sizes[slot] = defaults.at(slot);
        else
            sizes << defaults.at(slot);
        *damaged << QStringLiteral("window size %1 (%2)").arg(slot).arg(latin1(slotNames[slot]));
    }
}

QStringList TOption::fileLines() const
{
    QStringList lines;
    auto keyed = [&](const FixedSection &section) {
        lines << latin1(section.header);
        int i = 0;
        for (const Key &key : section.keys)
            lines << latin1(key.key) + m_options[section.list].value(i++);
    };
    keyed(mainSection);
    keyed(generalSection);
    lines << latin1(transferHeader) << m_options[TransferList];
    keyed(editorSection);
    lines << latin1(windowsSizeHeader) << m_options[WindowsSizeList] << latin1(endHeader);
    return lines;
}

bool TOption::SaveOption()
{
    m_saveError.clear();
    QByteArray bytes("\xEF\xBB\xBF");
    for (const QString &line : fileLines())
        bytes += line.toUtf8() + "\r\n";
    const QString path = optionFilePath();
    const QString reason = TextFile::writeWhole(path, bytes);
    if (reason.isEmpty())
        return true;
    m_saveError = QStringLiteral("The settings could not be saved to \"%1\": %2. The file keeps "
                                 "its previous content.")
                      .arg(QDir::toNativeSeparators(path), reason);
    return false;
}

void TOption::LoadLanguage()
{
    const QString name = m_options[GeneralList].value(LanguageEntry);
    m_language.load(LanguagePack::packPath(m_baseFolder, name));
    NcText::setCodePage(NcText::effective(m_codePageName, name));
}

bool TOption::setCodePageName(const QString &name)
{
    const bool changed = name != m_codePageName;
    m_codePageName = name;
    NcText::setCodePage(NcText::effective(name, m_options[GeneralList].value(LanguageEntry)));
    return !changed || NcText::store(m_baseFolder, name, &m_saveError);
}
