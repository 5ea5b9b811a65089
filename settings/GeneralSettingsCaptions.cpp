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

QString TGeneralSettings::caption(int index) const
{
    return LanguagePack::caption(Language, LanguagePack::General, index);
}

void TGeneralSettings::setLanguage(const QStringList &lines)
{
    Language = lines;
    setWindowTitle(caption(0));
    PageControl1->setTabText(0, caption(1));
    ExtGroupBox->setTitle(caption(2));
    ExtStaticText->setText(LanguagePack::label(caption(3)));
    AddButton->setText(caption(4));
    DelButton->setText(caption(DeleteLine));
    N1->setText(caption(DeleteLine) + QStringLiteral("(&D)"));
    LanguageGroupBox->setTitle(caption(6));
    CodePageLabel->setText(LanguagePack::label(caption(CodePageLine)));
    CodePageComboBox->setItemText(0, caption(CodePageAutoLine));
    EditorGroupBox->setTitle(caption(7));
    EditorRadioButton1->setText(caption(8));
    EditorRadioButton2->setText(caption(9));
    NoteGroupBox->setTitle(caption(10));
    NoteRadioButton1->setText(caption(11));
    NoteRadioButton2->setText(caption(12));
    SourceGroupBox->setTitle(caption(13));
    SourceRadioButton1->setText(caption(14));
    SourceRadioButton2->setText(caption(15));
    ImageGroupBox->setTitle(caption(16));
    ImageRadioButton1->setText(caption(17));
    ImageRadioButton2->setText(caption(18));
    PageControl1->setTabText(1, caption(19));
    ATGroupBox->setTitle(caption(20));
    ReadStaticText->setText(LanguagePack::label(caption(21) + QStringLiteral("(Oxxxx)")));
    PathStaticText->setText(LanguagePack::label(caption(22)));
    FolderStaticText->setText(LanguagePack::label(caption(23)));
    DataPageControl->setTabText(0, caption(24));
    DataPageControl->setTabText(1, caption(25));
    setGridHeaders();
    OKButton->setText(caption(29));
    DefaultButton->setText(caption(30));
    CancelButton->setText(caption(31));
    FileSaveBox->setTitle(caption(34));
    CoverCheckBox->setText(caption(35));
    NoteCheckBox->setText(caption(36));
    MsgGroupBox->setTitle(caption(37));
    ErrorMsgCheckBox->setText(caption(38));
    SaveOKCheckBox->setText(caption(39));
    ErrorMsgStaticText->setText(caption(40));
    NameStaticText->setText(caption(41));
}

void TGeneralSettings::setGridHeaders()
{
    PathStringGrid->setHorizontalHeaderLabels({caption(NumberHeaderLine), caption(27)});
    FolderStringGrid->setHorizontalHeaderLabels({caption(NumberHeaderLine), caption(28)});
    // The number column keeps its width unless its caption needs more ("編號" at a large font).
    for (QTableWidget *grid : {PathStringGrid, FolderStringGrid})
        grid->setColumnWidth(0,
                             qMax(NumberColumnWidth, grid->horizontalHeader()->sectionSizeHint(0)));
}
