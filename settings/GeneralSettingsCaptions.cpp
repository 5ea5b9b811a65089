// The dialog's captions, from the General section of the language pack.
#include "settings/GeneralSettings.h"

#include "settings/LanguagePack.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

QString TGeneralSettings::line(int i) const
{
    return LanguagePack::caption(Language, LanguagePack::General, i);
}

void TGeneralSettings::setLanguage(const QStringList &lines)
{
    Language = lines;
    setWindowTitle(line(0));
    PageControl1->setTabText(0, line(1));
    ExtGroupBox->setTitle(line(2));
    ExtStaticText->setText(LanguagePack::label(line(3)));
    AddButton->setText(line(4));
    DelButton->setText(line(DeleteLine));
    N1->setText(line(DeleteLine) + QStringLiteral("(&D)"));
    LanguageGroupBox->setTitle(line(6));
    CodePageLabel->setText(LanguagePack::label(line(CodePageLine)));
    CodePageComboBox->setItemText(0, line(CodePageAutoLine));
    EditorGroupBox->setTitle(line(7));
    EditorRadioButton1->setText(line(8));
    EditorRadioButton2->setText(line(9));
    NoteGroupBox->setTitle(line(10));
    NoteRadioButton1->setText(line(11));
    NoteRadioButton2->setText(line(12));
    SourceGroupBox->setTitle(line(13));
    SourceRadioButton1->setText(line(14));
    SourceRadioButton2->setText(line(15));
    ImageGroupBox->setTitle(line(16));
    ImageRadioButton1->setText(line(17));
    ImageRadioButton2->setText(line(18));
    PageControl1->setTabText(1, line(19));
    ATGroupBox->setTitle(line(20));
    ReadStaticText->setText(LanguagePack::label(line(21) + QStringLiteral("(Oxxxx)")));
    PathStaticText->setText(LanguagePack::label(line(22)));
    FolderStaticText->setText(LanguagePack::label(line(23)));
    DataPageControl->setTabText(0, line(24));
    DataPageControl->setTabText(1, line(25));
    setGridHeaders();
    OKButton->setText(line(29));
    DefaultButton->setText(line(30));
    CancelButton->setText(line(31));
    FileSaveBox->setTitle(line(34));
    CoverCheckBox->setText(line(35));
    NoteCheckBox->setText(line(36));
    MsgGroupBox->setTitle(line(37));
    ErrorMsgCheckBox->setText(line(38));
    SaveOKCheckBox->setText(line(39));
    ErrorMsgStaticText->setText(line(40));
    NameStaticText->setText(line(41));
}

void TGeneralSettings::setGridHeaders()
{
    PathStringGrid->setHorizontalHeaderLabels({line(NumberHeaderLine), line(27)});
    FolderStringGrid->setHorizontalHeaderLabels({line(NumberHeaderLine), line(28)});
    // The number column keeps its width unless its caption needs more ("編號" at a large font).
    for (QTableWidget *grid : {PathStringGrid, FolderStringGrid})
        grid->setColumnWidth(0,
                             qMax(NumberColumnWidth, grid->horizontalHeader()->sectionSizeHint(0)));
}
