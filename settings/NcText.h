#pragma once
// The one code page for NC program text in NC files, the auto-mode log and reply programs,
// the editor and the previews. It is chosen in NCFerry.ini; without a choice it follows the
// language pack as Windows follows its locale (on Windows the system's ANSI code page).
//
// Decoding never loses a byte: a byte that is no character of the code page (a broken
// double-byte pair, a stray byte) becomes the lone surrogate U+DC00 + byte, and encoding gives
// that byte back, so encode(decode(bytes)) == bytes for every code page. The serial lines
// themselves never go through here: they carry bytes.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace NcText
{

enum class CodePage { System, Latin1, Big5, Gbk, Utf8 };

// The code page in use (process-wide; the GUI sets it from the settings, workers read it).
CodePage codePage();
void setCodePage(CodePage page);

QByteArray toBytes(const QString &text);
QString fromBytes(const QByteArray &bytes);
QByteArray toBytes(const QString &text, CodePage page);
QString fromBytes(const QByteArray &bytes, CodePage page);

// A character the code page cannot hold, at its position in the text (UTF-16 index).
struct Unencodable {
    qsizetype position;
    char32_t character;
};
// Every character of `text` that toBytes would have to replace by "?".
QList<Unencodable> unencodable(const QString &text, CodePage page);
// "粗" U+7C97 at line 3, column 5, ...: at most `limit` of them named, then "and n more".
QString describeUnencodable(const QString &text, const QList<Unencodable> &bad, int limit = 5);

// The names kept in NCFerry.ini ("ISO-8859-1", "CP950", "CP936", "UTF-8"; empty = automatic)
// and shown in the settings dialog.
QString settingName(CodePage page);
// False for a name that is none of them; "" is the automatic choice (System).
bool fromSettingName(const QString &name, CodePage *page);
QString displayName(CodePage page);
// The choices the settings dialog offers after "automatic", in this order.
QList<CodePage> choices();

// The automatic choice: 繁體中文 -> Big5, 简体中文 -> GBK, others ISO-8859-1 (Windows: System).
CodePage forLanguage(const QString &languageName);
// The stored choice, or forLanguage(languageName) when there is none.
CodePage effective(const QString &storedName, const QString &languageName);

// NCFerry.ini in settingsFolder (which ends in "/"): the stored name, "" when none.
QString storedName(const QString &settingsFolder);
bool store(const QString &settingsFolder, const QString &name, QString *error);
// The code page of the settings beside an Option.ini (for ncferry-cli): NCFerry.ini's choice,
// else the one of the language the file names.
CodePage forOptionsFile(const QString &optionIniPath);

} // namespace NcText
