#pragma once
// The option store: every persistent setting of the program as five ordered lists of text,
// kept in "Option.ini" in the base folder, and the captions of the selected language pack.
#include "settings/Defaults.h"
#include "settings/LanguagePack.h"

#include <QRect>
#include <QString>
#include <QStringList>

class TOption
{
public:
    // Option lists by index.
    enum List { MainList = 0, GeneralList, TransferList, EditorList, WindowsSizeList, ListCount };
    // Window-size slots of the window-size list.
    enum Slot { MainSlot = 0, GeneralSlot, TransferSlot, EditorSlot, AutoModeSlot, SlotCount };
    // Entries of the main list, in the order Option.ini keeps them.
    enum MainEntry { FolderEntry = 0, ExtListEntry, ExtEntry, FontEntry, MainEntryCount };
    // Entries of the general list, in the order Option.ini keeps them. The check entry packs
    // the flags of GeneralSettingsRules::Flag; the language entry names the language pack.
    enum GeneralEntry {
        CheckEntry = 0,
        LanguageEntry,
        EditorEntry,
        SourceEntry,
        ViewerEntry,
        FileSaveEntry,
        ATReadEntry,
        ATPathEntry,
        ATFolderEntry,
        PathListEntry,
        FolderListEntry,
        GeneralEntryCount
    };

    // Reads baseFolder + "Option.ini" when it exists, else takes the defaults; then loads the
    // language pack. baseFolder ends in "/". The work area sizes the default windows; the
    // default language is the pack name used when the file names none.
    TOption(const QString &baseFolder, const QRect &workArea,
            const QString &defaultLanguage = Defaults::userLanguageName());

    const QStringList &getOptionList(int index) const;
    void setOptionList(int index, const QStringList &lines);
    // The fields of port setting `index`; empty when there is no such setting.
    QStringList getPortSetting(int index) const;
    // The size text of a slot; a missing slot gives its default.
    QString getWindowsSize(int slot) const;
    void setWindowsSize(int slot, const QString &text);
    const QStringList &getLanguageList(int section) const;

    // Replaces the lists with the file's content. A missing or unusable value takes its
    // default, and damageMessage() then names the file and what was replaced.
    void LoadOption();
    void LoadDefault();
    // Writes the file through a temporary file renamed over the old one; on failure the old
    // file stays as it was and saveError() says why.
    bool SaveOption();
    // Reloads the captions from the pack named in the general list, and puts the NC text code
    // page to the stored choice or, without one, to the one that follows the language.
    void LoadLanguage();

    // The NC text code page kept in NCFerry.ini beside Option.ini ("" = follow the language).
    QString codePageName() const { return m_codePageName; }
    // Stores the choice at once (it is no line of Option.ini) and puts it to use.
    bool setCodePageName(const QString &name);

    QString optionFilePath() const;
    QString baseFolder() const { return m_baseFolder; }

    // User-facing texts, empty when all went well. The damage is told in the words of the
    // language pack in use.
    QString damageMessage() const;
    QString saveError() const { return m_saveError; }
    QString keptFile() const { return m_keptFile; }
    QString languageMessage() const { return m_language.message(); }

private:
    QStringList fileLines() const;
    void readFixedSection(const QStringList &lines, int list, QStringList *damaged);
    void readListSection(const QStringList &lines, int list, QStringList *damaged);
    void repairWindowsSizes(QStringList *damaged);
    QStringList portLinesWithoutHeader(const QStringList &lines) const;
    void keepDamagedFile(bool unreadable);
    QStringList defaultList(int list) const;

    QString m_baseFolder;
    QRect m_workArea;
    QString m_defaultLanguage;
    QStringList m_options[ListCount];
    LanguagePack m_language;
    // What LoadOption could not use: the reason the file could not be read, or the values
    // that took their defaults.
    QString m_unreadable;
    QStringList m_damaged;
    QString m_saveError;
    QString m_codePageName;
    // Where LoadOption kept the user's damaged file; empty when nothing was kept.
    QString m_keptFile;
};
