// The dialog's controls: its two pages, the two numbered grids and the row of closing
// buttons, laid out and wired to the dialog's slots. Captions come later, from the pack.
#include "settings/GeneralSettings.h"

#include "settings/NcText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{

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

QPushButton *nonDefaultButton(QWidget *parent)
{
    auto *b = new QPushButton(parent);
    // Enter in a field must not close the dialog.
    b->setAutoDefault(false);
    return b;
}

} // namespace

QHBoxLayout *TGeneralSettings::buildButtonRow()
{
    OKButton = nonDefaultButton(this);
    DefaultButton = nonDefaultButton(this);
    CancelButton = nonDefaultButton(this);
    connect(OKButton, &QPushButton::clicked, this, &TGeneralSettings::OKButtonClick);
    connect(DefaultButton, &QPushButton::clicked, this, &TGeneralSettings::DefaultButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TGeneralSettings::CancelButtonClick);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(OKButton);
    row->addWidget(DefaultButton);
    row->addWidget(CancelButton);
    return row;
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
    AddButton = nonDefaultButton(ExtGroupBox);
    UPButton = nonDefaultButton(ExtGroupBox);
    UPButton->setText(QStringLiteral("↑"));
    DownButton = nonDefaultButton(ExtGroupBox);
    DownButton->setText(QStringLiteral("↓"));
    DelButton = nonDefaultButton(ExtGroupBox);
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
        *browse = nonDefaultButton(*box);
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
    grid->setColumnWidth(0, NumberColumnWidth);
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
