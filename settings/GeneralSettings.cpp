// The general settings dialog put together, and what its buttons, extension list and grids
// do when used.
#include "settings/GeneralSettings.h"

#include "settings/BrowseFolder.h"
#include "settings/LanguagePack.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace GeneralSettingsRules;

TGeneralSettings::TGeneralSettings(const QString &baseFolder, QWidget *parent)
    : QDialog(parent), m_baseFolder(baseFolder)
{
    Check = QList<bool>(FlagCount, false);
    m_chooseFolder = [](const QString &prompt, const QString &start) {
        return BrowseFolder(prompt, start);
    };
    m_chooseProgram = [this](const QString &start) {
#ifdef Q_OS_WIN
        const QString filter = QStringLiteral(".exe (*.exe);;*.* (*.*)");
#else
        // Programs here have no extension; ".exe" stays offered for wrapped programs.
        const QString filter = QStringLiteral("*.* (*);;.exe (*.exe)");
#endif
        QFileDialog dialog(this, QString(), start, filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("exe"));
        if (!start.isEmpty())
            dialog.selectFile(start);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return QDir::toNativeSeparators(dialog.selectedFiles().first());
    };

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildBasicPage(), QString());
    PageControl1->addTab(buildTransferPage(), QString());

    QHBoxLayout *buttons = buildButtonRow();

    // Tests find the controls by these names.
    ExtEdit->setObjectName(QStringLiteral("ExtEdit"));
    AddButton->setObjectName(QStringLiteral("AddButton"));
    UPButton->setObjectName(QStringLiteral("UPButton"));
    DownButton->setObjectName(QStringLiteral("DownButton"));
    DelButton->setObjectName(QStringLiteral("DelButton"));
    ExtListBox->setObjectName(QStringLiteral("ExtListBox"));
    LanguageComboBox->setObjectName(QStringLiteral("LanguageComboBox"));
    EditorRadioButton1->setObjectName(QStringLiteral("EditorRadioButton1"));
    EditorRadioButton2->setObjectName(QStringLiteral("EditorRadioButton2"));
    EditorEdit->setObjectName(QStringLiteral("EditorEdit"));
    EditorButton->setObjectName(QStringLiteral("EditorButton"));
    ImageRadioButton1->setObjectName(QStringLiteral("ImageRadioButton1"));
    ImageRadioButton2->setObjectName(QStringLiteral("ImageRadioButton2"));
    ImageEdit->setObjectName(QStringLiteral("ImageEdit"));
    ImageButton->setObjectName(QStringLiteral("ImageButton"));
    NoteRadioButton1->setObjectName(QStringLiteral("NoteRadioButton1"));
    NoteRadioButton2->setObjectName(QStringLiteral("NoteRadioButton2"));
    SourceRadioButton1->setObjectName(QStringLiteral("SourceRadioButton1"));
    SourceRadioButton2->setObjectName(QStringLiteral("SourceRadioButton2"));
    SourceEdit->setObjectName(QStringLiteral("SourceEdit"));
    ReadEdit->setObjectName(QStringLiteral("ReadEdit"));
    PathEdit->setObjectName(QStringLiteral("PathEdit"));
    FolderEdit->setObjectName(QStringLiteral("FolderEdit"));
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    CoverCheckBox->setObjectName(QStringLiteral("CoverCheckBox"));
    NoteCheckBox->setObjectName(QStringLiteral("NoteCheckBox"));
    ErrorMsgCheckBox->setObjectName(QStringLiteral("ErrorMsgCheckBox"));
    SaveOKCheckBox->setObjectName(QStringLiteral("SaveOKCheckBox"));
    ErrorMsgEdit->setObjectName(QStringLiteral("ErrorMsgEdit"));
    DataPageControl->setObjectName(QStringLiteral("DataPageControl"));
    PathStringGrid->setObjectName(QStringLiteral("PathStringGrid"));
    FolderStringGrid->setObjectName(QStringLiteral("FolderStringGrid"));
    StringGridPop->setObjectName(QStringLiteral("StringGridPop"));
    OKButton->setObjectName(QStringLiteral("OKButton"));
    DefaultButton->setObjectName(QStringLiteral("DefaultButton"));
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    setLanguage(LanguagePack::builtIn(LanguagePack::General));
    LanguageComboBox->addItems(LanguagePack::availableLanguages(m_baseFolder));
    m_pathList.setText(QString());
    m_folderList.setText(QString());
    showGrid(PathStringGrid, m_pathList);
    showGrid(FolderStringGrid, m_folderList);
    updateCompanions();

    // The default size, grown where the font needs more room.
    const QStringList size = getWindowsSizeDefault().split(u',');
    resize(QSize(size.value(0).toInt(), size.value(1).toInt()).expandedTo(sizeHint()));
    // A close box only: no maximising, no help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
}

TGeneralSettings::~TGeneralSettings()
{
    // Hiding the dialog commits an open cell editor, after the lists are gone.
    disconnect(FolderStringGrid, nullptr, this, nullptr);
}

void TGeneralSettings::OKButtonClick()
{
    m_closeReason = ClosedByOk;
    accept();
}

void TGeneralSettings::DefaultButtonClick()
{
    Default();
}

void TGeneralSettings::CancelButtonClick()
{
    showCodePage();
    if (!Settings.isEmpty())
        setGeneralList(Settings);
    m_closeReason = ClosedByCancel;
    reject();
}

void TGeneralSettings::tellProblem(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.exec();
}

bool TGeneralSettings::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ExtEdit && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            AddButtonClick();
            return true;
        }
        const QString text = key->text();
        // Keys without a character (arrows, shift) and editing keys pass.
        if (text.size() != 1 || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
            key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
            key->key() == Qt::Key_Escape || (key->modifiers() & Qt::ControlModifier))
            return false;
        if (!isExtensionKey(text.at(0))) {
            tellProblem(caption(ExtensionKeyLine));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TGeneralSettings::AddButtonClick()
{
    QStringList shown = shownExtensions(getExtList());
    if (addExtension(&shown, ExtEdit->text()))
        ExtListBox->addItem(shown.last());
    ExtEdit->clear();
}

void TGeneralSettings::UPButtonClick()
{
    QStringList shown = shownExtensions(getExtList());
    const int row = ExtListBox->currentRow();
    const int to = moveUp(&shown, row);
    if (to == row)
        return;
    ExtListBox->insertItem(to, ExtListBox->takeItem(row));
    ExtListBox->setCurrentRow(to);
}

void TGeneralSettings::DownButtonClick()
{
    QStringList shown = shownExtensions(getExtList());
    const int row = ExtListBox->currentRow();
    const int to = moveDown(&shown, row);
    if (to == row)
        return;
    ExtListBox->insertItem(to, ExtListBox->takeItem(row));
    ExtListBox->setCurrentRow(to);
}

void TGeneralSettings::DelButtonClick()
{
    const int row = ExtListBox->currentRow();
    if (row >= 0)
        delete ExtListBox->takeItem(row);
}

void TGeneralSettings::EditorButtonClick()
{
    const QString chosen = m_chooseProgram(EditorEdit->text());
    if (!chosen.isEmpty())
        EditorEdit->setText(chosen);
}

void TGeneralSettings::ImageButtonClick()
{
    const QString chosen = m_chooseProgram(ImageEdit->text());
    if (!chosen.isEmpty())
        ImageEdit->setText(chosen);
}

void TGeneralSettings::N1Click()
{
    deleteGridRow(m_popupGrid                            ? m_popupGrid
                  : DataPageControl->currentIndex() == 0 ? PathStringGrid
                                                         : FolderStringGrid);
}

void TGeneralSettings::deleteGridRow(QTableWidget *grid)
{
    if (grid != PathStringGrid && grid != FolderStringGrid)
        return;
    NumberedList &list = grid == PathStringGrid ? m_pathList : m_folderList;
    const int row = grid->currentRow();
    if (!list.removeRow(row))
        return;
    showGrid(grid, list);
}

void TGeneralSettings::PathStringGridDblClick(int row, int column)
{
    Q_UNUSED(column);
    if (row < 0)
        return;
    const QString chosen =
        m_chooseFolder(caption(ChooseFolderLine), m_pathList.entry(row).trimmed());
    m_pathList.choose(row, chosen);
    showGrid(PathStringGrid, m_pathList);
}

void TGeneralSettings::FolderStringGridChanged(int row, int column)
{
    if (m_showingGrid || column != 1)
        return;
    m_folderList.setEntry(row, FolderStringGrid->item(row, column)->text());
    showGrid(FolderStringGrid, m_folderList);
}
