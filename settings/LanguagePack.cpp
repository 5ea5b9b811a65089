#include "settings/LanguagePack.h"

#include "settings/ProgramFolders.h"
#include "settings/TextFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace
{

// The captions the windows carry themselves, line by line as a pack would hold them: the
// window adds its own suffixes ("(&S)", ":", "...").
const char16_t *const builtInMain[] = {
    u"NCFerry",      u"傳輸",       u"設定",
    u"傳送檔案",     u"接收檔案",   u"自動模式",
    u"一般設定",     u"傳輸設定",   u"檔案名稱",
    u"修改日期",     u"檔案大小",   u"備註文",
    u"圖",           u"程式預覽區", u"傳送暫存區",
    u"圖片預覽區",   u"編輯檔案",   u"編輯備註文",
    u"增加到暫存區", u"檢視",       u"移除",
    u"全部移除",     u"關於",       u"新增資料夾",
    u"刪除資料夾",   u"新資料夾",   u"確定要刪除這個資料夾及其中所有的檔案嗎？",
    u"重新命名",     u"離開"};

const char16_t *const builtInGeneral[] = {u"一般設定",
                                          u"基本設定",
                                          u"副檔名設定",
                                          u"自定義副檔名",
                                          u"新增",
                                          u"刪除",
                                          u"語言設定",
                                          u"編輯器設定",
                                          u"內建編輯器",
                                          u"外部編輯器",
                                          u"備註文使用設定",
                                          u"內建資料庫",
                                          u"檔案註解式",
                                          u"程式瀏覽設定",
                                          u"全文瀏覽",
                                          u"瀏覽行數：",
                                          u"圖片檢視器設定",
                                          u"內建檢視器",
                                          u"外部檢視器",
                                          u"傳輸參數設定",
                                          u"傳輸指令設定",
                                          u"索取檔案",
                                          u"目錄",
                                          u"資料夾",
                                          u"目錄清單",
                                          u"資料夾清單",
                                          u"編號",
                                          u"目錄",
                                          u"資料夾",
                                          u"確定",
                                          u"預設值",
                                          u"取消",
                                          u"請選擇目錄",
                                          u"副檔名只能輸入英文字母與數字。",
                                          u"檔案儲存設定",
                                          u"相同檔名覆蓋",
                                          u"以OXXX()內備註作為檔名",
                                          u"訊息設定",
                                          u"檔案讀取錯誤",
                                          u"檔案儲存成功",
                                          u"輸出檔案：",
                                          u"檔名："};

const char16_t *const builtInTransfer[] = {
    u"傳輸設定", u"確定",     u"新增",     u"刪除",
    u"離開",     u"名稱",     u"連接埠",   u"傳輸速率",
    u"同位檢查", u"資料位元", u"停止位元", u"流量控制",
    u"工作目錄", u"副檔名",   u"類型",     u"確定要刪除這筆傳輸設定嗎？"};

const char16_t portNotOpened[] =
    u"無法開啟通訊埠，請確認傳輸設定，或該通訊埠是否正被其他程式使用。";

const char16_t *const builtInTransferFile[] = {u"傳送檔案", u"通訊協定", portNotOpened, u"確認傳送",
                                               u"繼續傳送", u"暫停傳送", u"傳送檔案",   u"傳送內容",
                                               u"電腦待命", u"離開"};

const char16_t *const builtInReceiveFile[] = {
    u"接收檔案", u"傳輸設定", portNotOpened, u"儲存路徑", u"接收字元數", u"接受字元", u"離開"};

const char16_t *const builtInAutoMode[] = {u"自動模式",     u"接收內容", u"傳送內容",  u"傳送紀錄",
                                           u"清除傳輸紀錄", u"離開",     portNotOpened};

const char16_t *const builtInViewer[] = {u"圖片檢視器", u"適中大小", u"原始大小", u"圖片放大",
                                         u"圖片縮小"};

const char16_t *const builtInEditor[] = {u"NC程式編輯器",   u"檔案",     u"新增",
                                         u"開啟舊檔",       u"儲存檔案", u"另存新檔",
                                         u"結束",           u"顏色設定", u" 的內容已經修改。",
                                         u"是否要儲存變更", u"顏色設定", u"確定",
                                         u"預設值",         u"離開"};

const char16_t *const builtInAbout[] = {u"關於", u"NCFerry", u"CNC 工具機 DNC 傳輸程式",
                                        u"RS-232 傳送、接收與自動模式"};

// Lines added after the first packs were written, at the end of their sections: a pack
// without them still loads without complaint, and the English here stands in.
const char16_t *const appendedMain[] = {
    u"Nothing to send: choose a file, or add files to the send buffer.",
    u"A send is still in progress. Stop it and close NCFerry?", u"\"%1\" is not a valid font size.",
    u"The settings file \"%1\" is damaged. The default settings were used for: %2.",
    u"The settings file \"%1\" cannot be read (%2). The default settings are used.",
    (u"The port setting \"%1\" names no port (its second field is empty). Give the port, for "
     u"example ttyS0, /dev/ttyUSB0 or rfc2217://host:port."),
    u"The damaged file was kept as \"%1\".",
    (u"\"%1\" is a mount point: another disk, a network share or a memory file system is "
     u"mounted there. It is not deleted, renamed or moved from here."),
    // Comparing a program with a backup or another program.
    u"Compare", u"Other program", u"No backups of this program",
    u"Choose the program to compare with", u"%1 line(s) changed, %2 added, %3 removed",
    u"The programs are identical.", u"Previous change", u"Next change", u"Close",
    u"\"%1\" cannot be read: %2", u"\"%1\" is too large to compare (more than %2 MB).",
    u"Comparing...",
    // The transfer journal window.
    u"Transfer journal", u"Machine", u"All machines", u"File", u"From", u"To", u"Refresh",
    u"Check the chain", u"Export CSV...", u"Time", u"Port setting", u"Direction", u"Characters",
    u"Result", u"Reason", u"User", u"%1 of %2 rows",
    u"The chain is whole: %1 rows, none changed or removed since they were written.",
    u"The chain is broken: %1.", u"The journal \"%1\" cannot be read: %2",
    u"The CSV file \"%1\" cannot be written: %2",
    // The review window.
    u"Review returned programs", u"Held", u"Accept", u"Reject",
    u"No returned program is held for review.",
    u"\"%1\" now holds the accepted program; the program it replaced is kept as \"%2\".",
    u"\"%1\" now holds the accepted program.",
    u"The rejected program is kept in \"%1\"; \"%2\" stays as it was.",
    u"Replace \"%1\" with the program held for review? The program it replaces is kept as a "
    u"backup.",
    u"Reject the program held for \"%1\"? It is moved to the failed transfers.",
    u"%1 program(s) held for review"};

const char16_t *const appendedGeneral[] = {u"NC 程式文字編碼", u"依語言設定"};

const char16_t *const appendedEditor[] = {
    u"未命名",
    (u"The code page %1 cannot hold these characters: %2. Change them, or choose another code "
     u"page in the general settings. The file was not saved.")};

// Why a port would not open, appended to the send, receive and auto-mode windows' sections
// in the order PortProblem::openFailure takes them.
const char16_t *const portProblems[] = {
    u"Port \"%1\" is in use by %2 (process %3). Close it there first.",
    u"Port \"%1\" is in use by another program. Close it there first.",
    u"Port \"%1\" is already open in another NCFerry window.",
    u"\"%1\" is a folder, not a serial port."};

const char16_t *const appendedTransferFile[] = {
    u"Waiting for the machine to start reading (XON).",
    u"Waiting for the machine (CTS).",
    u"Paused by the machine (XOFF).",
    u"Paused by the machine (CTS off).",
    u"Paused between files.",
    u"Paused.",
    u"The machine takes no data: the rest is kept and will be sent when the line is ready.",
    u"Sending stopped at %1: %2",
    u"The send is still in progress. Stop it and close this window?"};

const char16_t *const appendedTransfer[] = {
    // What the port column takes, the tooltip's three lines.
    (u"A serial port of this PC (ttyS0, /dev/ttyUSB0, COM1), or one on a serial device server "
     u"in the shop network:"),
    (u"rfc2217://host:port \u2014 RFC 2217 (Telnet COM port): this row's baud rate, parity, "
     u"data bits, stop bits and flow control are sent to the server."),
    u"tcp://host:port \u2014 raw TCP: the line runs with the settings made on the server.",
    u"Choose the work folder",
    // The port list's mark on a port this user may not open (%1 the node's group).
    u"No access for this user (members of the group \"%1\" may use it).",
    u"No access for this user.",
    (u"The name \"%1\" is already used by another port setting. Each port setting needs a "
     u"name of its own: it names its menu entries and its log."),
    // The auto mode's hold for review, the check box and its tooltip.
    u"Hold returned programs for review",
    (u"Auto mode: a program this port setting's machines return waits in the \"review\" "
     u"folder beside the stored one until it is accepted (ncferry-cli review); requests are "
     u"served the stored one meanwhile")};

const char16_t *const appendedReceiveFile[] = {
    u"A program is being received. Close the window and discard what has arrived?"};

// Appended after the port problems.
const char16_t *const receivedKeptMessages[] = {
    u"The received program (%1 line(s)) has not been stored in \"%2\". Leave and discard it?",
    (u"%1 line(s) of the program had arrived. Save them under a name of your choice, or they "
     u"are lost when this window closes."),
    u"Save As...",
    u"Save the received lines",
    (u"The received program is kept. Retry when the cause is fixed, or save it under another "
     u"name."),
    u"Save the received program"};

// Appended last to the send, receive and auto-mode windows' sections: their status while a
// device server's port is being connected.
const char16_t *const connectingLines[] = {u"Connecting to %1 ..."};

// Appended after that: a port blocked by a lock file whose program has ended (%2 the file).
const char16_t *const staleLockLines[] = {
    (u"Port \"%1\" is blocked by the lock file \"%2\", left behind by a program that is no "
     u"longer running. Remove that file and try again.")};

// Appended after that: a port this user may not open, with the group to join (%2) and
// without one.
const char16_t *const noAccessLines[] = {
    (u"You have no access to port \"%1\". Members of the group \"%2\" may use it: run  sudo "
     u"usermod -aG %2 $USER  in a terminal, then log out and in again."),
    u"You have no access to port \"%1\". Ask the administrator to give your user access to it."};

// The about box reads lines 0 and 1; the lines after them are optional text.
constexpr int aboutRequiredLines = 2;

template <size_t N> QStringList toList(const char16_t *const (&lines)[N])
{
    QStringList list;
    for (const char16_t *line : lines)
        list << QString::fromUtf16(line);
    return list;
}

} // namespace

LanguagePack::LanguagePack()
{
    reset();
}

const QStringList &LanguagePack::headers()
{
    static const QStringList list = {
        QStringLiteral("[Main]"),        QStringLiteral("[General]"),
        QStringLiteral("[Transfer]"),    QStringLiteral("[TransferFile]"),
        QStringLiteral("[ReceiveFile]"), QStringLiteral("[AutoMode]"),
        QStringLiteral("[Viewer]"),      QStringLiteral("[Editor]"),
        QStringLiteral("[About]"),       QStringLiteral("[End]")};
    return list;
}

const QStringList &LanguagePack::builtIn(int section)
{
    static const QList<QStringList> lists = {
        toList(builtInMain) + toList(appendedMain),
        toList(builtInGeneral) + toList(appendedGeneral),
        toList(builtInTransfer) + toList(appendedTransfer),
        toList(builtInTransferFile) + toList(appendedTransferFile) + toList(portProblems) +
            toList(connectingLines) + toList(staleLockLines) + toList(noAccessLines),
        toList(builtInReceiveFile) + toList(appendedReceiveFile) + toList(portProblems) +
            toList(receivedKeptMessages) + toList(connectingLines) + toList(staleLockLines) +
            toList(noAccessLines),
        toList(builtInAutoMode) + toList(portProblems) + toList(connectingLines) +
            toList(staleLockLines) + toList(noAccessLines),
        toList(builtInViewer),
        toList(builtInEditor) + toList(appendedEditor),
        toList(builtInAbout)};
    static const QStringList none;
    return section >= 0 && section < SectionCount ? lists.at(section) : none;
}

int LanguagePack::lineCount(int section)
{
    return int(builtIn(section).size());
}

int LanguagePack::requiredLineCount(int section)
{
    constexpr int problems = int(std::size(portProblems));
    constexpr int connecting = int(std::size(connectingLines)) + int(std::size(staleLockLines)) +
                               int(std::size(noAccessLines));
    static const int appended[SectionCount] = {
        int(std::size(appendedMain)),
        int(std::size(appendedGeneral)),
        int(std::size(appendedTransfer)),
        int(std::size(appendedTransferFile)) + problems + connecting,
        int(std::size(appendedReceiveFile)) + problems + int(std::size(receivedKeptMessages)) +
            connecting,
        problems + connecting,
        0,
        int(std::size(appendedEditor)),
        0};
    if (section == About)
        return aboutRequiredLines;
    return section >= 0 && section < SectionCount ? lineCount(section) - appended[section] : 0;
}

QString LanguagePack::caption(const QStringList &lines, int section, int index)
{
    if (index >= 0 && index < lines.size())
        return lines.at(index);
    return builtIn(section).value(index);
}

QString LanguagePack::label(const QString &caption)
{
    if (caption.endsWith(u':') || caption.endsWith(u'\uFF1A'))
        return caption;
    const bool chinese = std::any_of(caption.begin(), caption.end(),
                                     [](QChar c) { return c.script() == QChar::Script_Han; });
    return caption + (chinese ? u'\uFF1A' : u':');
}

QString LanguagePack::labelled(const QString &caption, const QString &value)
{
    const QString l = label(caption);
    return l.endsWith(u':') ? l + u' ' + value : l + value;
}

QString LanguagePack::packPath(const QString &baseFolder, const QString &languageName)
{
    return LanguageFolder(baseFolder) + languageName + QStringLiteral(".ini");
}

QStringList LanguagePack::availableLanguages(const QString &baseFolder)
{
    QDir folder(LanguageFolder(baseFolder));
    QStringList names;
    const QFileInfoList files =
        folder.entryInfoList({QStringLiteral("*.ini")}, QDir::Files, QDir::Unsorted);
    for (const QFileInfo &file : files)
        names << file.fileName().section(u'.', 0, 0);
    return names;
}

QList<QStringList> LanguagePack::readSections(const QStringList &lines)
{
    QList<int> at;
    for (const QString &header : headers())
        at << TextFile::indexOfLine(lines, header);
    QList<QStringList> sections;
    for (int k = 0; k < SectionCount; ++k) {
        const int begin = at[k];
        const int end = at[k + 1];
        if (begin < 0 || end <= begin)
            sections << QStringList();
        else
            sections << lines.mid(begin + 1, end - begin - 1);
    }
    return sections;
}

void LanguagePack::reset()
{
    m_sections.clear();
    for (int k = 0; k < SectionCount; ++k)
        m_sections << builtIn(k);
    m_message.clear();
}

bool LanguagePack::load(const QString &path)
{
    reset();
    QStringList lines;
    QString error;
    if (!TextFile::readLines(path, &lines, &error)) {
        m_message =
            QStringLiteral("The language pack %1. The built-in captions are used.").arg(error);
        return false;
    }
    m_sections = readSections(lines);
    QStringList gaps;
    for (int k = 0; k < SectionCount; ++k) {
        QStringList &section = m_sections[k];
        const QStringList &own = builtIn(k);
        const int needed = requiredLineCount(k);
        if (section.size() >= needed) {
            // Lines appended in later versions: an older pack keeps the built-in text.
            for (qsizetype i = section.size(); i < own.size() && k != About; ++i)
                section << own.at(i);
            continue;
        }
        const QString &header = headers().at(k);
        const QString &next = headers().at(k + 1);
        const int begin = TextFile::indexOfLine(lines, header);
        const int end = TextFile::indexOfLine(lines, next);
        if (begin < 0)
            gaps << QStringLiteral("%1 not found").arg(header);
        else if (end < 0)
            gaps << QStringLiteral("%1 not found after %2").arg(next, header);
        else if (end < begin)
            gaps << QStringLiteral("%1 stands before %2").arg(next, header);
        else
            gaps << QStringLiteral("%1 has %2 of %3 lines")
                        .arg(header)
                        .arg(section.size())
                        .arg(needed);
        for (qsizetype i = section.size(); i < (k == About ? needed : own.size()); ++i)
            section << own.at(i);
    }
    if (gaps.isEmpty())
        return true;
    m_message = QStringLiteral("The language pack \"%1\" is incomplete: %2. The built-in captions "
                               "are used for the missing lines.")
                    .arg(QDir::toNativeSeparators(path), gaps.join(QStringLiteral("; ")));
    return false;
}

const QStringList &LanguagePack::section(int section) const
{
    static const QStringList none;
    return section >= 0 && section < SectionCount ? m_sections.at(section) : none;
}
