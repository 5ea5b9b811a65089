#include "settings/GeneralSettings.h"

#include "settings/BrowseFolder.h"
#include "settings/Defaults.h"
#include "settings/LanguagePack.h"
#include "settings/NcText.h"
#include "settings/Option.h"
#include "settings/WindowPlace.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace GeneralSettingsRules;

namespace
{

// Pack lines of the code page choice, appended to the section.
constexpr int CodePageLine = 42;
constexpr int CodePageAutoLine = 43;

enum Entry {
    CheckEntry = 0,
    LanguageEntry,
    EditorEntry,
    SourceEntry,
    ViewerEntry,
    FileSaveEntry,
    ReadEntry,
    PathEntry,
    FolderEntry,
    PathListEntry,
    FolderListEntry
};

constexpr int kNumberColumnWidth = 50;

// Room for the longest allowed value, and no more, at whatever font the dialog gets later
// (a width fixed at creation showed "999" of "9999" once the main window's font applied).
class ShortEdit : public QLineEdit
{
public:
    ShortEdit(QWidget *parent, int maxLength) : QLineEdit(parent)
    {
        setMaxLength(maxLength);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        QSize hint = QLineEdit::sizeHint();
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QMargins text = textMargins(), frame = contentsMargins();
        const int chars = qMax(maxLength(), 2) + 1;
        const QSize content(fontMetrics().horizontalAdvance(QString(chars, u'W')) + 4 +
                                text.left() + text.right() + frame.left() + frame.right(),
                            hint.height());
        hint.setWidth(
            style()->sizeFromContents(QStyle::CT_LineEdit, &option, content, this).width());
        return hint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

QLineEdit *shortEdit(QWidget *parent, int maxLength)
{
    return new ShortEdit(parent, maxLength);
}

QPushButton *button(QWidget *parent)
{
    auto *b = new QPushButton(parent);
    // Enter in a field must not close the dialog.
    b->setAutoDefault(false);
    return b;
}

} // namespace

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

    OKButton = button(this);
    DefaultButton = button(this);
    CancelButton = button(this);
    connect(OKButton, &QPushButton::clicked, this, &TGeneralSettings::OKButtonClick);
    connect(DefaultButton, &QPushButton::clicked, this, &TGeneralSettings::DefaultButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TGeneralSettings::CancelButtonClick);

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
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(DefaultButton);
    buttons->addWidget(CancelButton);
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

QWidget *TGeneralSettings::buildBasicPage()
{
    auto *page = new QWidget(this);

    ExtGroupBox = new QGroupBox(page);
    ExtStaticText = new QLabel(ExtGroupBox);
    ExtEdit = new QLineEdit(ExtGroupBox);
    // Pasted text obeys the same rule as typed keys.
    ExtEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Za-z]*")), ExtEdit));
    ExtEdit->installEventFilter(this);
    ExtStaticText->setBuddy(ExtEdit);
    AddButton = button(ExtGroupBox);
    UPButton = button(ExtGroupBox);
    UPButton->setText(QStringLiteral("↑"));
    DownButton = button(ExtGroupBox);
    DownButton->setText(QStringLiteral("↓"));
    DelButton = button(ExtGroupBox);
    ExtListBox = new QListWidget(ExtGroupBox);
    connect(AddButton, &QPushButton::clicked, this, &TGeneralSettings::AddButtonClick);
    connect(UPButton, &QPushButton::clicked, this, &TGeneralSettings::UPButtonClick);
    connect(DownButton, &QPushButton::clicked, this, &TGeneralSettings::DownButtonClick);
    connect(DelButton, &QPushButton::clicked, this, &TGeneralSettings::DelButtonClick);
    auto *extRow = new QHBoxLayout;
    extRow->addWidget(ExtStaticText);
    extRow->addWidget(ExtEdit, 1);
    auto *extButtons = new QHBoxLayout;
    for (QPushButton *b : {AddButton, UPButton, DownButton, DelButton})
        extButtons->addWidget(b);
    auto *extLayout = new QVBoxLayout(ExtGroupBox);
    extLayout->addLayout(extRow);
    extLayout->addLayout(extButtons);
    extLayout->addWidget(ExtListBox, 1);

    LanguageGroupBox = new QGroupBox(page);
    LanguageComboBox = new QComboBox(LanguageGroupBox);
    LanguageComboBox->setEditable(true);
    LanguageComboBox->setInsertPolicy(QComboBox::NoInsert);
    CodePageLabel = new QLabel(LanguageGroupBox);
    CodePageComboBox = new QComboBox(LanguageGroupBox);
    CodePageComboBox->setObjectName(QStringLiteral("CodePageComboBox"));
    CodePageComboBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    CodePageComboBox->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    CodePageComboBox->addItem(QString(), QString());
    for (NcText::CodePage p : NcText::choices())
        CodePageComboBox->addItem(NcText::displayName(p), NcText::settingName(p));
    auto *languageLayout = new QGridLayout(LanguageGroupBox);
    languageLayout->addWidget(LanguageComboBox, 0, 0, 1, 2);
    languageLayout->addWidget(CodePageLabel, 1, 0);
    languageLayout->addWidget(CodePageComboBox, 1, 1);
    languageLayout->setColumnStretch(1, 1);

    auto programGroup = [&](QGroupBox **box, QRadioButton **builtIn, QRadioButton **external,
                            QLineEdit **edit, QPushButton **browse) {
        *box = new QGroupBox(page);
        *builtIn = new QRadioButton(*box);
        *external = new QRadioButton(*box);
        *edit = new QLineEdit(*box);
        *browse = button(*box);
        (*browse)->setText(QStringLiteral("..."));
        (*browse)->setMaximumWidth(
            (*browse)->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
        auto *grid = new QGridLayout(*box);
        grid->addWidget(*builtIn, 0, 0, 1, 3);
        grid->addWidget(*external, 1, 0, 1, 3);
        grid->addWidget(*edit, 2, 0, 1, 2);
        grid->addWidget(*browse, 2, 2);
        grid->setColumnStretch(1, 1);
        connect(*external, &QRadioButton::toggled, this, &TGeneralSettings::updateCompanions);
    };
    programGroup(&EditorGroupBox, &EditorRadioButton1, &EditorRadioButton2, &EditorEdit,
                 &EditorButton);
    programGroup(&ImageGroupBox, &ImageRadioButton1, &ImageRadioButton2, &ImageEdit, &ImageButton);
    connect(EditorButton, &QPushButton::clicked, this, &TGeneralSettings::EditorButtonClick);
    connect(ImageButton, &QPushButton::clicked, this, &TGeneralSettings::ImageButtonClick);

    NoteGroupBox = new QGroupBox(page);
    NoteRadioButton1 = new QRadioButton(NoteGroupBox);
    NoteRadioButton2 = new QRadioButton(NoteGroupBox);
    auto *noteLayout = new QVBoxLayout(NoteGroupBox);
    noteLayout->addWidget(NoteRadioButton1);
    noteLayout->addWidget(NoteRadioButton2);

    SourceGroupBox = new QGroupBox(page);
    SourceRadioButton1 = new QRadioButton(SourceGroupBox);
    SourceRadioButton2 = new QRadioButton(SourceGroupBox);
    SourceEdit = shortEdit(SourceGroupBox, 6);
    // The settings file takes only a number here.
    SourceEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{1,6}")), SourceEdit));
    connect(SourceRadioButton2, &QRadioButton::toggled, this, &TGeneralSettings::updateCompanions);
    auto *sourceLayout = new QGridLayout(SourceGroupBox);
    sourceLayout->addWidget(SourceRadioButton1, 0, 0, 1, 2);
    sourceLayout->addWidget(SourceRadioButton2, 1, 0);
    sourceLayout->addWidget(SourceEdit, 1, 1);
    sourceLayout->setColumnStretch(2, 1);

    auto *right = new QVBoxLayout;
    for (QGroupBox *b :
         {LanguageGroupBox, EditorGroupBox, ImageGroupBox, NoteGroupBox, SourceGroupBox})
        right->addWidget(b);
    right->addStretch(1);
    auto *layout = new QHBoxLayout(page);
    layout->addWidget(ExtGroupBox, 1);
    layout->addLayout(right, 1);
    return page;
}

QTableWidget *TGeneralSettings::makeGrid()
{
    auto *grid = new QTableWidget(0, 2, this);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setColumnWidth(0, kNumberColumnWidth);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint &pos) {
        m_popupGrid = grid;
        const int row = grid->rowAt(pos.y());
        if (row >= 0)
            grid->setCurrentCell(row, qMax(0, grid->columnAt(pos.x())));
        StringGridPop->exec(grid->viewport()->mapToGlobal(pos));
    });
    return grid;
}

QWidget *TGeneralSettings::buildTransferPage()
{
    auto *page = new QWidget(this);

    ATGroupBox = new QGroupBox(page);
    ReadStaticText = new QLabel(ATGroupBox);
    ReadEdit = shortEdit(ATGroupBox, 4);
    PathStaticText = new QLabel(ATGroupBox);
    PathEdit = shortEdit(ATGroupBox, 1);
    FolderStaticText = new QLabel(ATGroupBox);
    FolderEdit = shortEdit(ATGroupBox, 1);
    NameStaticText = new QLabel(ATGroupBox);
    NameEdit = shortEdit(ATGroupBox, 1);
    NameEdit->setText(QStringLiteral("N"));
    auto *at = new QGridLayout(ATGroupBox);
    int r = 0;
    for (auto [label, edit] : {std::pair{ReadStaticText, ReadEdit},
                               {PathStaticText, PathEdit},
                               {FolderStaticText, FolderEdit},
                               {NameStaticText, NameEdit}}) {
        label->setBuddy(edit);
        at->addWidget(label, r, 0);
        at->addWidget(edit, r++, 1);
    }
    at->setColumnStretch(2, 1);
    at->setRowStretch(r, 1);

    FileSaveBox = new QGroupBox(page);
    CoverCheckBox = new QCheckBox(FileSaveBox);
    NoteCheckBox = new QCheckBox(FileSaveBox);
    auto *save = new QVBoxLayout(FileSaveBox);
    save->addWidget(CoverCheckBox);
    save->addWidget(NoteCheckBox);

    MsgGroupBox = new QGroupBox(page);
    ErrorMsgCheckBox = new QCheckBox(MsgGroupBox);
    SaveOKCheckBox = new QCheckBox(MsgGroupBox);
    ErrorMsgStaticText = new QLabel(MsgGroupBox);
    ErrorMsgEdit = shortEdit(MsgGroupBox, 4);
    ErrorMsgStaticText->setBuddy(ErrorMsgEdit);
    auto *msg = new QGridLayout(MsgGroupBox);
    msg->addWidget(ErrorMsgCheckBox, 0, 0, 1, 3);
    msg->addWidget(SaveOKCheckBox, 1, 0, 1, 3);
    msg->addWidget(ErrorMsgStaticText, 2, 0);
    msg->addWidget(ErrorMsgEdit, 2, 1);
    msg->setColumnStretch(2, 1);

    StringGridPop = new QMenu(this);
    N1 = StringGridPop->addAction(QString());
    connect(N1, &QAction::triggered, this, &TGeneralSettings::N1Click);

    DataPageControl = new QTabWidget(page);
    PathStringGrid = makeGrid();
    PathStringGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(PathStringGrid, &QTableWidget::cellDoubleClicked, this,
            &TGeneralSettings::PathStringGridDblClick);
    FolderStringGrid = makeGrid();
    FolderStringGrid->setEditTriggers(QAbstractItemView::DoubleClicked |
                                      QAbstractItemView::EditKeyPressed |
                                      QAbstractItemView::AnyKeyPressed);
    connect(FolderStringGrid, &QTableWidget::cellChanged, this,
            &TGeneralSettings::FolderStringGridChanged);
    DataPageControl->addTab(PathStringGrid, QString());
    DataPageControl->addTab(FolderStringGrid, QString());

    auto *right = new QVBoxLayout;
    right->addWidget(FileSaveBox);
    right->addWidget(MsgGroupBox);
    auto *top = new QHBoxLayout;
    top->addWidget(ATGroupBox, 1);
    top->addLayout(right, 1);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addWidget(DataPageControl, 1);
    return page;
}

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
    DelButton->setText(line(5));
    N1->setText(line(5) + QStringLiteral("(&D)"));
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
    PathStringGrid->setHorizontalHeaderLabels({line(26), line(27)});
    FolderStringGrid->setHorizontalHeaderLabels({line(26), line(28)});
    // The number column keeps its width unless its caption needs more ("編號" at a large font).
    for (QTableWidget *grid : {PathStringGrid, FolderStringGrid})
        grid->setColumnWidth(
            0, qMax(kNumberColumnWidth, grid->horizontalHeader()->sectionSizeHint(0)));
}

bool TGeneralSettings::setGeneralList(const QStringList &list)
{
    QList<bool> flags;
    if (!unpackFlags(list.value(CheckEntry), &flags)) {
        m_error = QStringLiteral("The general settings cannot be shown: the check flags "
                                 "\"%1\" are not a whole number.")
                      .arg(list.value(CheckEntry));
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
    const QString language = list.value(LanguageEntry);
    const int at = LanguageComboBox->findText(language, Qt::MatchFixedString);
    if (at >= 0 && LanguageComboBox->itemText(at) == language)
        LanguageComboBox->setCurrentIndex(at);
    else
        LanguageComboBox->setEditText(language);
    EditorEdit->setText(list.value(EditorEntry));
    SourceEdit->setText(list.value(SourceEntry));
    ImageEdit->setText(list.value(ViewerEntry));
    ErrorMsgEdit->setText(list.value(FileSaveEntry));
    ReadEdit->setText(list.value(ReadEntry));
    PathEdit->setText(list.value(PathEntry));
    FolderEdit->setText(list.value(FolderEntry));
    setPathList(list.value(PathListEntry));
    setFolderList(list.value(FolderListEntry));
}

QStringList TGeneralSettings::getGeneralList() const
{
    // A field left empty keeps the value it had, so the file is never written damaged.
    const QString language = LanguageComboBox->currentText().trimmed().isEmpty()
                                 ? Settings.value(LanguageEntry)
                                 : LanguageComboBox->currentText();
    const QString source =
        SourceEdit->text().isEmpty() ? Settings.value(SourceEntry) : SourceEdit->text();
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
    unpackFlags(values.value(CheckEntry), &flags);
    applyValues(flags, values);
    PathStringGrid->setColumnWidth(0, kNumberColumnWidth);
    FolderStringGrid->setColumnWidth(0, kNumberColumnWidth);
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

void TGeneralSettings::showCodePage()
{
    const int at = m_option ? CodePageComboBox->findData(m_option->codePageName()) : 0;
    CodePageComboBox->setCurrentIndex(qMax(0, at));
}

void TGeneralSettings::CancelButtonClick()
{
    showCodePage();
    if (!Settings.isEmpty())
        setGeneralList(Settings);
    m_closeReason = ClosedByCancel;
    reject();
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
            QMessageBox::warning(this, windowTitle(), m_option->saveError());
    }
    QDialog::done(result);
}

namespace
{
QWidget *pageOf(QWidget *tab)
{
    auto *scroll = qobject_cast<QScrollArea *>(tab);
    return scroll ? scroll->widget() : tab;
}
} // namespace

void TGeneralSettings::setPagesScroll(bool scroll)
{
    const int current = PageControl1->currentIndex();
    for (int i = 0; i < PageControl1->count(); ++i) {
        QWidget *tab = PageControl1->widget(i);
        if (scroll == bool(qobject_cast<QScrollArea *>(tab)))
            continue;
        const QString text = PageControl1->tabText(i);
        PageControl1->removeTab(i);
        QWidget *page = nullptr;
        if (scroll) {
            auto *area = new QScrollArea;
            area->setFrameShape(QFrame::NoFrame);
            area->setWidgetResizable(true);
            area->setWidget(tab);
            page = area;
        } else {
            page = static_cast<QScrollArea *>(tab)->takeWidget();
            tab->deleteLater();
        }
        PageControl1->insertTab(i, page, text);
        page->show();
    }
    PageControl1->setCurrentIndex(current);
}

void TGeneralSettings::fitPagesTo(const QSize &screenRoom)
{
    const QSize room = screenRoom - FrameRoom;
    // Sizes are cached along the way up; hidden pages do not pass a change on.
    auto relayout = [&] {
        PageControl1->updateGeometry();
        layout()->invalidate();
        layout()->activate();
    };
    setPagesScroll(false);
    relayout();
    const QSize whole = minimumSizeHint();
    const int tooTall = whole.height() - room.height();
    const int tooWide = whole.width() - room.width();
    if (tooTall <= 0 && tooWide <= 0)
        return;
    // Too large for the screen at this font: the pages scroll, each as large as there is room
    // for, a scroll bar's room added across it.
    QSize widest;
    for (int i = 0; i < PageControl1->count(); ++i)
        widest = widest.expandedTo(PageControl1->widget(i)->minimumSizeHint());
    setPagesScroll(true);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize page = widest;
    if (tooTall > 0) {
        page.rheight() = qMax(widest.height() - tooTall - bar, 120);
        page.rwidth() += bar;
    }
    const int over = whole.width() + (page.width() - widest.width()) - room.width();
    if (over > 0) {
        page.rwidth() = qMax(page.width() - over, 200);
        page.rheight() += bar;
    }
    for (int i = 0; i < PageControl1->count(); ++i) {
        auto *area = static_cast<QScrollArea *>(PageControl1->widget(i));
        area->setMinimumSize(page);
        // Scrolled only the way the screen has no room.
        area->setHorizontalScrollBarPolicy(over > 0 ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(tooTall > 0 ? Qt::ScrollBarAsNeeded
                                                     : Qt::ScrollBarAlwaysOff);
    }
    relayout();
}

void TGeneralSettings::showEvent(QShowEvent *event)
{
    m_closeReason = NotClosed;
    showCodePage();
    PageControl1->setCurrentIndex(0);
    DataPageControl->setCurrentIndex(0);
    // Fixed at its size, grown where the font in use needs more room on any page: a hidden
    // page's controls are not polished yet and report the sizes of the font they were made with,
    // and a page never shown keeps its controls out of its layout, so each is shown once.
    const QList<QWidget *> controls = findChildren<QWidget *>();
    for (QWidget *c : controls)
        c->ensurePolished();
    for (QTabWidget *tabs : {PageControl1, DataPageControl}) {
        for (int i = tabs->count() - 1; i >= 0; --i)
            tabs->setCurrentIndex(i);
        for (int i = 0; i < tabs->count(); ++i) {
            if (QLayout *l = pageOf(tabs->widget(i))->layout()) {
                l->invalidate();
                l->activate();
            }
        }
    }
    setGridHeaders();
    {
        // Its cached hint can lag a font change by a pixel: the widest choice decides.
        QStyleOptionComboBox option;
        option.initFrom(CodePageComboBox);
        const QFontMetrics fm = CodePageComboBox->fontMetrics();
        int widest = 0;
        for (int i = 0; i < CodePageComboBox->count(); ++i)
            widest = qMax(widest, fm.horizontalAdvance(CodePageComboBox->itemText(i)));
        CodePageComboBox->setMinimumWidth(CodePageComboBox->style()
                                              ->sizeFromContents(QStyle::CT_ComboBox, &option,
                                                                 QSize(widest, fm.height()),
                                                                 CodePageComboBox)
                                              .width());
    }
    const QSize screenRoom = screen() ? screen()->availableGeometry().size() : QSize(1280, 800);
    fitPagesTo(screenRoom);
    layout()->activate();
    const QSize room = screenRoom - FrameRoom;
    setFixedSize(size().boundedTo(room).expandedTo(minimumSizeHint()));
    WindowPlace::centre(this);
    QDialog::showEvent(event);
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
            QMessageBox::information(this, QStringLiteral("message"), line(33));
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
    const QString chosen = m_chooseFolder(line(32), m_pathList.entry(row).trimmed());
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
