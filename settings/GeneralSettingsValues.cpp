// The dialog's values: the general list shown in its controls and read back from them,
// the defaults, and the store that receives them when the dialog closes.
#include "settings/GeneralSettings.h"

#include "settings/Defaults.h"
#include "settings/Option.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

using namespace GeneralSettingsRules;

bool TGeneralSettings::setGeneralList(const QStringList &list)
{
    QList<bool> flags;
    if (!unpackFlags(list.value(TOption::CheckEntry), &flags)) {
        m_error = QStringLiteral("The general settings cannot be shown: the check flags "
                                 "\"%1\" are not a whole number.")
                      .arg(list.value(TOption::CheckEntry));
        return false;
    }
    m_error.clear();
    applyValues(flags, list);
    Settings = list;
    return true;
}

void TGeneralSettings::applyValues(const QList<bool> &flags, const QStringList &list)
{
    Check = flags;
    setCheck(Check);
    const QString language = list.value(TOption::LanguageEntry);
    const int at = LanguageComboBox->findText(language, Qt::MatchFixedString);
    if (at >= 0 && LanguageComboBox->itemText(at) == language)
        LanguageComboBox->setCurrentIndex(at);
    else
        LanguageComboBox->setEditText(language);
    EditorEdit->setText(list.value(TOption::EditorEntry));
    SourceEdit->setText(list.value(TOption::SourceEntry));
    ImageEdit->setText(list.value(TOption::ViewerEntry));
    ErrorMsgEdit->setText(list.value(TOption::FileSaveEntry));
    ReadEdit->setText(list.value(TOption::ATReadEntry));
    PathEdit->setText(list.value(TOption::ATPathEntry));
    FolderEdit->setText(list.value(TOption::ATFolderEntry));
    setPathList(list.value(TOption::PathListEntry));
    setFolderList(list.value(TOption::FolderListEntry));
}

QStringList TGeneralSettings::getGeneralList() const
{
    // A field left empty keeps the value it had, so the file is never written damaged.
    const QString language = LanguageComboBox->currentText().trimmed().isEmpty()
                                 ? Settings.value(TOption::LanguageEntry)
                                 : LanguageComboBox->currentText();
    const QString source =
        SourceEdit->text().isEmpty() ? Settings.value(TOption::SourceEntry) : SourceEdit->text();
    return {getCheck(),       language,          EditorEdit->text(),
            source,           ImageEdit->text(), ErrorMsgEdit->text(),
            ReadEdit->text(), PathEdit->text(),  FolderEdit->text(),
            getPathList(),    getFolderList()};
}

void TGeneralSettings::setExtList(const QStringList &choices)
{
    ExtListBox->clear();
    ExtListBox->addItems(shownExtensions(choices));
}

QStringList TGeneralSettings::getExtList() const
{
    QStringList shown;
    for (int i = 0; i < ExtListBox->count(); ++i)
        shown << ExtListBox->item(i)->text();
    return extensionChoices(shown);
}

void TGeneralSettings::setCheck(const QList<bool> &flags)
{
    auto flag = [&](int i) { return flags.value(i, false); };
    (flag(ExternalEditor) ? EditorRadioButton2 : EditorRadioButton1)->setChecked(true);
    (flag(NoteFromComment) ? NoteRadioButton2 : NoteRadioButton1)->setChecked(true);
    (flag(LimitedPreview) ? SourceRadioButton2 : SourceRadioButton1)->setChecked(true);
    (flag(ExternalViewer) ? ImageRadioButton2 : ImageRadioButton1)->setChecked(true);
    CoverCheckBox->setChecked(flag(OverwriteSameName));
    NoteCheckBox->setChecked(flag(NameFromComment));
    ErrorMsgCheckBox->setChecked(flag(ReadErrorReply));
    SaveOKCheckBox->setChecked(flag(SaveOkReply));
    updateCompanions();
}

QString TGeneralSettings::getCheck() const
{
    return packFlags({EditorRadioButton2->isChecked(), NoteRadioButton2->isChecked(),
                      SourceRadioButton2->isChecked(), ImageRadioButton2->isChecked(),
                      CoverCheckBox->isChecked(), NoteCheckBox->isChecked(),
                      ErrorMsgCheckBox->isChecked(), SaveOKCheckBox->isChecked()});
}

void TGeneralSettings::updateCompanions()
{
    const bool editor = EditorRadioButton2->isChecked();
    EditorEdit->setEnabled(editor);
    EditorButton->setEnabled(editor);
    SourceEdit->setEnabled(SourceRadioButton2->isChecked());
    const bool viewer = ImageRadioButton2->isChecked();
    ImageEdit->setEnabled(viewer);
    ImageButton->setEnabled(viewer);
}

void TGeneralSettings::showGrid(QTableWidget *grid, const NumberedList &list)
{
    m_showingGrid = true;
    grid->setRowCount(list.rowCount());
    for (int r = 0; r < list.rowCount(); ++r) {
        for (int c = 0; c < 2; ++c) {
            QTableWidgetItem *item = grid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                if (c == 0)
                    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                grid->setItem(r, c, item);
            }
            item->setText(c == 0 ? list.number(r) : list.entry(r));
        }
    }
    m_showingGrid = false;
}

void TGeneralSettings::setPathList(const QString &commaText)
{
    m_pathList.setText(commaText);
    showGrid(PathStringGrid, m_pathList);
    setGridHeaders();
}

void TGeneralSettings::setFolderList(const QString &commaText)
{
    m_folderList.setText(commaText);
    showGrid(FolderStringGrid, m_folderList);
    setGridHeaders();
}

QString TGeneralSettings::getPathList() const
{
    return m_pathList.text();
}
QString TGeneralSettings::getFolderList() const
{
    return m_folderList.text();
}

QStringList TGeneralSettings::getDefault()
{
    return Defaults::generalSettingsList(Defaults::userLanguageName());
}

QString TGeneralSettings::getWindowsSizeDefault()
{
    return Defaults::generalSettingsSize();
}

QString TGeneralSettings::nameCode() const
{
    return NameEdit->text();
}

void TGeneralSettings::Default()
{
    const QStringList values = Defaults::generalSettingsButtonList(Defaults::userLanguageName());
    QList<bool> flags;
    unpackFlags(values.value(TOption::CheckEntry), &flags);
    applyValues(flags, values);
    PathStringGrid->setColumnWidth(0, NumberColumnWidth);
    FolderStringGrid->setColumnWidth(0, NumberColumnWidth);
}

void TGeneralSettings::showCodePage()
{
    const int at = m_option ? CodePageComboBox->findData(m_option->codePageName()) : 0;
    CodePageComboBox->setCurrentIndex(qMax(0, at));
}

// A cell still being typed into belongs to what the dialog stores.
void TGeneralSettings::commitFolderEdit()
{
    QWidget *focus = QApplication::focusWidget();
    if (focus && FolderStringGrid->isAncestorOf(focus) && focus != FolderStringGrid)
        focus->clearFocus();
}

void TGeneralSettings::done(int result)
{
    commitFolderEdit();
    if (m_closeReason == NotClosed)
        m_closeReason = ClosedByCloseBox;
    if (m_option) {
        m_option->setOptionList(TOption::GeneralList, getGeneralList());
        if (!m_option->setCodePageName(CodePageComboBox->currentData().toString()))
            tellProblem(m_option->saveError(), windowTitle());
    }
    QDialog::done(result);
}
