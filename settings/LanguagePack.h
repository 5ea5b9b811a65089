#pragma once
// The nine caption sections of a language pack ("language/<name>.ini"), completed from the
// built-in Traditional Chinese captions wherever the pack lacks a line.
#include <QList>
#include <QString>
#include <QStringList>

class LanguagePack
{
public:
    enum Section {
        Main = 0,
        General,
        Transfer,
        TransferFile,
        ReceiveFile,
        AutoMode,
        Viewer,
        Editor,
        About,
        SectionCount
    };

    LanguagePack();

    // The ten header lines, "[Main]" to "[About]" and "[End]".
    static const QStringList &headers();
    // The built-in captions of a section: the lines a window applies when no pack replaces them.
    static const QStringList &builtIn(int section);
    // Lines a complete section holds; "[About]" may hold more.
    static int lineCount(int section);
    // Lines a pack must give; the lines appended after them in later versions may be
    // missing (their built-in text then stands in, without a message).
    static int requiredLineCount(int section);

    // Line `index` of a window's captions: the line of `lines` (what the window was given)
    // where it has one, else the section's built-in line.
    static QString caption(const QStringList &lines, int section, int index);
    // A caption as a label: followed by a full-width colon when the caption is Chinese, as
    // the packs write their own labels, else by ":". A caption ending in a colon stays.
    static QString label(const QString &caption);
    // A label followed by its value: "Characters received: 22", "接收字元數：22" (the full-width
    // colon carries its own space).
    static QString labelled(const QString &caption, const QString &value);

    // baseFolder + "language/" + name + ".ini"
    static QString packPath(const QString &baseFolder, const QString &languageName);
    // Pack names found in baseFolder + "language/": each ".ini" file's name up to its first ".".
    static QStringList availableLanguages(const QString &baseFolder);

    // The sections as the pack's lines give them: the lines strictly between a section's header
    // and the next header of the list, headers matched as whole lines in any letter case. A
    // section whose own header or next header is missing, or whose next header stands before
    // its own, is empty.
    static QList<QStringList> readSections(const QStringList &lines);

    // Loads the pack file; every missing line keeps its built-in caption. Returns false when
    // something was missing, and message() then says what.
    bool load(const QString &path);
    // Built-in captions only, as when no pack is found.
    void reset();

    const QStringList &section(int section) const;
    // A user-facing text about the last load; empty when the pack was complete.
    QString message() const { return m_message; }

private:
    QList<QStringList> m_sections;
    QString m_message;
};
