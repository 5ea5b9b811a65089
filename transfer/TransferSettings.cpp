#include "transfer/TransferSettings.h"

#include "settings/BrowseFolder.h"
#include "settings/Defaults.h"
#include "settings/LanguagePack.h"
#include "settings/Option.h"
#include "settings/PortChoices.h"
#include "settings/PortSetting.h"
#include "settings/ProgramFolders.h"
#include "transfer/ComWidgets.h"
#include "transfer/NetworkSerialLine.h"
#include "transfer/PortList.h"
#include "transfer/TransferSettingsRows.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

using namespace UnitComPortFunction;

namespace
{

constexpr int kColumnWidth = 81;
constexpr int kRowHeight = 28;

QWidget *spacer(QWidget *parent)
{
    auto *w = new QWidget(parent);
    w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return w;
}

bool isWithin(const QWidget *widget, const QWidget *ancestor)
{
    for (const QWidget *w = widget; w; w = w->parentWidget())
        if (w == ancestor)
            return true;
    return false;
}

QRect workArea(const QWidget *w)
{
    const QScreen *s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1280, 800);
}

} // namespace

TTransferSettings::TTransferSettings(PortList *list, QWidget *parent)
    : QDialog(parent), m_list(list ? list : new PortList), m_ownsList(!list)
{
    m_chooseFolder = [](const QString &prompt, const QString &start) {
        return BrowseFolder(prompt, start);
    };

    ToolBar1 = new QToolBar(this);
    ToolBar1->setIconSize(QSize(64, 64));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->installEventFilter(this);
    OKButton = makeButton(OKTag, QIcon(QStringLiteral(":/icons/confirm.svg")));
    AddButton = makeButton(AddTag, QIcon(QStringLiteral(":/icons/add.svg")));
    delButton = makeButton(DeleteTag, QIcon(QStringLiteral(":/icons/delete.svg")));
    CancelButton = makeButton(CancelTag, QIcon(QStringLiteral(":/icons/exit.svg")));
    ToolBar1->addWidget(spacer(ToolBar1));
    ToolBar1->addWidget(OKButton);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(AddButton);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(delButton);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(CancelButton);
    ToolBar1->addWidget(spacer(ToolBar1));
    // Time for the operator to switch the control to input before an auto-mode answer.
    ToolBar1->addWidget(new QLabel(QStringLiteral("Answer delay (s) "), ToolBar1));
    DelaySpinBox = new QDoubleSpinBox(ToolBar1);
    DelaySpinBox->setObjectName(QStringLiteral("DelaySpinBox"));
    DelaySpinBox->setRange(0, PortChoices::MaxAnswerDelaySeconds);
    DelaySpinBox->setDecimals(1);
    DelaySpinBox->setSingleStep(0.5);
    DelaySpinBox->setToolTip(
        QStringLiteral("Auto mode: seconds before the first byte of any answer to this port "
                       "setting's machines"));
    ToolBar1->addWidget(DelaySpinBox);
    // Returned programs wait for someone to accept them instead of replacing the stored ones.
    // Under the grid, not in the tool bar: at a large font the tool bar has no room left.
    HoldCheckBox = new QCheckBox(this);
    HoldCheckBox->setObjectName(QStringLiteral("HoldCheckBox"));
    m_settingsFolder = GetProgramFolders().settings;

    StringGrid1 = new QTableWidget(1, PortSetting::FieldCount, this);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    StringGrid1->horizontalHeader()->setSectionsClickable(false);
    StringGrid1->setTextElideMode(Qt::ElideMiddle);
    StringGrid1->viewport()->installEventFilter(this);

    Edit1 = new QLineEdit(StringGrid1->viewport());
    connect(Edit1, &QLineEdit::textEdited, this, [this] { DataUpdate(Edit1); });
    PortComboBox = new TComComboBox(StringGrid1->viewport());
    connect(PortComboBox, &QComboBox::currentTextChanged, this,
            [this] { DataUpdate(PortComboBox); });
    m_editors = QList<QWidget *>(PortSetting::FieldCount, nullptr);
    m_editors[PortSetting::Name] = Edit1;
    m_editors[PortSetting::Port] = PortComboBox;
    BaudComboBox = makeCombo(PortSetting::BaudRate, baudRateTexts());
    ParityComboBox = makeCombo(PortSetting::Parity, parityTexts());
    DataComboBox = makeCombo(PortSetting::DataBits, dataBitsTexts());
    BitComboBox = makeCombo(PortSetting::StopBits, stopBitsTexts());
    FlowComboBox = makeCombo(PortSetting::FlowControl, flowControlTexts());
    ExtComboBox = makeCombo(PortSetting::Extension, {});
    TypeComboBox = makeCombo(PortSetting::Type, lineTypeTexts());
    for (QWidget *editor : std::as_const(m_editors)) {
        if (!editor)
            continue;
        editor->hide();
        editor->installEventFilter(this);
        if (auto *combo = qobject_cast<QComboBox *>(editor); combo && combo->lineEdit())
            combo->lineEdit()->installEventFilter(this);
    }
    // Rows tall enough for the editors at any font size.
    StringGrid1->verticalHeader()->setDefaultSectionSize(
        qMax(kRowHeight, BaudComboBox->sizeHint().height()));

    // Tests find the controls by these names.
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    OKButton->setObjectName(QStringLiteral("OKButton"));
    AddButton->setObjectName(QStringLiteral("AddButton"));
    delButton->setObjectName(QStringLiteral("delButton"));
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    PortComboBox->setObjectName(QStringLiteral("PortComboBox"));
    BaudComboBox->setObjectName(QStringLiteral("BaudComboBox"));
    ParityComboBox->setObjectName(QStringLiteral("ParityComboBox"));
    DataComboBox->setObjectName(QStringLiteral("DataComboBox"));
    BitComboBox->setObjectName(QStringLiteral("BitComboBox"));
    FlowComboBox->setObjectName(QStringLiteral("FlowComboBox"));
    ExtComboBox->setObjectName(QStringLiteral("ExtComboBox"));
    TypeComboBox->setObjectName(QStringLiteral("TypeComboBox"));
    connect(StringGrid1, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        StringGrid1SelectCell(column, row);
        showDelay(row);
    });
    connect(DelaySpinBox, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        const QString name = m_list->row(StringGrid1->currentRow()).value(PortSetting::Name);
        if (StringGrid1->currentRow() >= 0 && !name.isEmpty())
            m_delays[name] = seconds;
    });
    connect(HoldCheckBox, &QCheckBox::toggled, this, [this](bool hold) {
        const QString name = m_list->row(StringGrid1->currentRow()).value(PortSetting::Name);
        if (StringGrid1->currentRow() >= 0 && !name.isEmpty())
            m_holds[name] = hold;
    });
    connect(StringGrid1, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (m_editRow < 0)
            StringGrid1SelectCell(column, row);
    });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
            &TTransferSettings::StringGrid1DblClick);
    connect(StringGrid1->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (!m_fittingPort)
            FalseVisble();
    });
    connect(StringGrid1->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &TTransferSettings::FalseVisble);
    connect(StringGrid1->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &TTransferSettings::FalseVisble);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(StringGrid1, 1);
    auto *below = new QHBoxLayout;
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    below->setContentsMargins(margin, margin / 2, margin, margin / 2);
    below->addWidget(HoldCheckBox);
    below->addStretch(1);
    layout->addLayout(below);

    setLanguage(LanguagePack::builtIn(LanguagePack::Transfer));
    refresh();
    resize(793, 347);
}

TTransferSettings::~TTransferSettings()
{
    if (m_ownsList)
        delete m_list;
}

QToolButton *TTransferSettings::makeButton(int tag, const QIcon &icon)
{
    auto *b = new QToolButton(ToolBar1);
    b->setIcon(icon);
    b->setIconSize(QSize(64, 64));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setMinimumWidth(88);
    connect(b, &QToolButton::clicked, this, [this, tag] { ButtonClick(tag); });
    return b;
}

QComboBox *TTransferSettings::makeCombo(int column, const QStringList &items)
{
    auto *combo = new QComboBox(StringGrid1->viewport());
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    // Field texts are matched with their letter case, so completion must keep it.
    combo->completer()->setCaseSensitivity(Qt::CaseSensitive);
    combo->addItems(items);
    connect(combo, &QComboBox::currentTextChanged, this, [this, combo] { DataUpdate(combo); });
    m_editors[column] = combo;
    return combo;
}

void TTransferSettings::tellProblem(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.exec();
}

QString TTransferSettings::caption(int index) const
{
    return LanguagePack::caption(language, LanguagePack::Transfer, index);
}

void TTransferSettings::setLanguage(const QStringList &lines)
{
    language = lines;
    setWindowTitle(caption(0));
    OKButton->setText(caption(1));
    AddButton->setText(caption(2));
    delButton->setText(caption(3));
    CancelButton->setText(caption(4));
    QStringList headers;
    for (int i = 0; i < PortSetting::FieldCount; ++i)
        headers << caption(ColumnHeaderLine + i);
    StringGrid1->setHorizontalHeaderLabels(headers);
    const QString help = caption(PortHelpLine) + u'\n' + caption(PortHelpLine + 1) + u'\n' +
                         caption(PortHelpLine + 2);
    if (QTableWidgetItem *port = StringGrid1->horizontalHeaderItem(PortSetting::Port))
        port->setToolTip(help);
    PortComboBox->setHelp(help);
    PortComboBox->setNoAccessTexts(caption(NoAccessMarkLine), caption(NoAccessMarkLine + 1));
    HoldCheckBox->setText(caption(HoldLine));
    HoldCheckBox->setToolTip(caption(HoldLine + 1));
}

void TTransferSettings::setExtData(const QString &commaText)
{
    const QSignalBlocker quiet(ExtComboBox);
    ExtComboBox->clear();
    ExtComboBox->addItems(TransferSettingsRows::extensionItems(commaText));
}

QStringList TTransferSettings::getDefault() const
{
    return Defaults::portSettingsList(workArea(this));
}

void TTransferSettings::setPortList(const QStringList &lines)
{
    m_list->setPortList(lines);
    refresh();
    m_openedList = getPortList();
    loadDelays();
}

void TTransferSettings::setSettingsFolder(const QString &folder)
{
    m_settingsFolder = folder;
    loadDelays();
}

void TTransferSettings::loadDelays()
{
    m_delays.clear();
    m_holds.clear();
    for (int r = 0; r < m_list->rowCount(); ++r) {
        const QString name = m_list->row(r).value(PortSetting::Name);
        m_delays[name] = PortChoices::AnswerDelaySeconds(m_settingsFolder, name);
        m_holds[name] = PortChoices::HoldsForReview(m_settingsFolder, name);
    }
    showDelay(StringGrid1->currentRow());
}

void TTransferSettings::showDelay(int row)
{
    const QSignalBlocker quiet(DelaySpinBox);
    DelaySpinBox->setEnabled(row >= 0 && row < m_list->rowCount());
    DelaySpinBox->setValue(m_delays.value(m_list->row(row).value(PortSetting::Name)));
    const QSignalBlocker quietHold(HoldCheckBox);
    HoldCheckBox->setEnabled(DelaySpinBox->isEnabled());
    HoldCheckBox->setChecked(m_holds.value(m_list->row(row).value(PortSetting::Name)));
}

QStringList TTransferSettings::getPortList() const
{
    return m_list->getPortList();
}
QStringList TTransferSettings::getPortName() const
{
    return m_list->getPortName();
}
QString TTransferSettings::getPort(int n) const
{
    return m_list->getPort(n);
}

void TTransferSettings::refresh()
{
    FalseVisble();
    const QSignalBlocker quiet(StringGrid1);
    StringGrid1->setRowCount(m_list->rowCount());
    for (int r = 0; r < m_list->rowCount(); ++r) {
        const QStringList fields = m_list->row(r);
        for (int c = 0; c < PortSetting::FieldCount; ++c) {
            QTableWidgetItem *item = StringGrid1->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                StringGrid1->setItem(r, c, item);
            }
            item->setText(fields.value(c));
            item->setToolTip(fields.value(c));
        }
        fitPortColumn(fields.value(PortSetting::Port));
    }
    if (StringGrid1->currentRow() < 0 || StringGrid1->currentRow() >= m_list->rowCount())
        StringGrid1->setCurrentCell(0, 0);
}

void TTransferSettings::setCell(int row, int column, const QString &text)
{
    QStringList fields = m_list->row(row);
    if (fields.value(column) == text)
        return;
    // Two port settings of one name would share their menu entries and their log.
    if (column == PortSetting::Name && !text.isEmpty() &&
        TransferSettingsRows::rowNamed(*m_list, text, row) >= 0) {
        const QString message = caption(DuplicateNameLine).arg(text);
        if (showMessage)
            showMessage(message);
        else
            tellProblem(message, windowTitle());
        return;
    }
    // A renamed port setting keeps its choices, which NCFerry.ini keeps by name.
    if (column == PortSetting::Name) {
        const QString old = fields.value(column);
        if (m_delays.contains(old))
            m_delays[text] = m_delays.take(old);
        if (m_holds.contains(old))
            m_holds[text] = m_holds.take(old);
    }
    fields[column] = text;
    m_list->setRow(row, fields);
    if (QTableWidgetItem *item = StringGrid1->item(row, column)) {
        item->setText(text);
        item->setToolTip(text);
    }
    if (column == PortSetting::Port)
        fitPortColumn(text);
}

void TTransferSettings::fitColumns()
{
    // Every header and value whole at the font in use; a long path or port name is shortened
    // in the middle (its tooltip holds it whole) rather than taking the whole dialog.
    QHeaderView *header = StringGrid1->horizontalHeader();
    const QRect area = workArea(this);
    const int arrow = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, PortComboBox);
    const int longest = qMax(header->minimumSectionSize(), area.width() / 4);
    const QFontMetrics cell(StringGrid1->font());
    const int cellMargin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 8;
    int total = 0;
    for (int c = 0; c < PortSetting::FieldCount; ++c) {
        int content = 0;
        for (int r = 0; r < StringGrid1->rowCount(); ++r)
            if (const QTableWidgetItem *item = StringGrid1->item(r, c))
                content = qMax(content, cell.horizontalAdvance(item->text()) + cellMargin);
        if (qobject_cast<QComboBox *>(editorFor(c)))
            content += arrow;
        if (c == PortSetting::Port || c == WorkFolderColumn)
            content = qMin(content, longest);
        const int needed = qMax(content, header->sectionSizeHint(c));
        if (header->sectionSize(c) < needed)
            header->resizeSection(c, needed);
        total += header->sectionSize(c);
    }
    const int frame = width() - StringGrid1->viewport()->width();
    const int wanted = qMin(total + frame + arrow, area.width());
    if (width() < wanted)
        resize(wanted, height());
}

void TTransferSettings::fitPortColumn(const QString &port)
{
    // A device server's address is long and is read from its start: the column grows to
    // show it whole (never shrinks, so a width the user chose stays when it is enough).
    if (!NetworkSerialLine::isNetworkName(port))
        return;
    QHeaderView *header = StringGrid1->horizontalHeader();
    const int arrow = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, PortComboBox);
    const int needed = PortComboBox->fontMetrics().horizontalAdvance(port) + arrow + 16;
    if (header->sectionSize(PortSetting::Port) >= needed)
        return;
    // Typing goes on in the port's editor, which only moves with its cell.
    m_fittingPort = true;
    header->resizeSection(PortSetting::Port, needed);
    m_fittingPort = false;
    if (m_editRow >= 0 && m_editColumn == PortSetting::Port)
        PortComboBox->setGeometry(
            StringGrid1->visualRect(StringGrid1->model()->index(m_editRow, m_editColumn)));
}

bool TTransferSettings::setWindowsSize(const QString &text)
{
    TransferSettingsRows::WindowSize size;
    if (!TransferSettingsRows::parseWindowsSize(text, &size, &m_sizeError))
        return false;
    m_sizeError.clear();
    resize(size.width, size.height);
    QHeaderView *header = StringGrid1->horizontalHeader();
    for (int i = 0; i < PortSetting::FieldCount; ++i)
        header->resizeSection(i, qMax(size.columns.value(i), header->minimumSectionSize()));
    return true;
}

QString TTransferSettings::getWindowsSize() const
{
    TransferSettingsRows::WindowSize size;
    size.width = width();
    size.height = height();
    for (int i = 0; i < PortSetting::FieldCount; ++i)
        size.columns << StringGrid1->horizontalHeader()->sectionSize(i);
    return TransferSettingsRows::windowsSizeText(size);
}

QString TTransferSettings::getWindowsSizeDefault() const
{
    return Defaults::portSettingsSize(workArea(this));
}

QWidget *TTransferSettings::editorFor(int column) const
{
    return m_editors.value(column);
}

QString TTransferSettings::editorText(QWidget *editor) const
{
    if (editor == Edit1)
        return Edit1->text();
    if (editor == PortComboBox)
        return PortComboBox->currentText().trimmed();
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        return combo->currentText();
    return QString();
}

void TTransferSettings::DataUpdate(QWidget *editor)
{
    if (m_editRow < 0 || editor != editorFor(m_editColumn))
        return;
    setCell(m_editRow, m_editColumn, editorText(editor));
}

void TTransferSettings::FalseVisble()
{
    for (QWidget *editor : std::as_const(m_editors)) {
        if (!editor || !editor->isVisible())
            continue;
        DataUpdate(editor);
        const bool hadFocus = isWithin(QApplication::focusWidget(), editor);
        m_editRow = m_editColumn = -1;
        editor->hide();
        if (hadFocus)
            StringGrid1->setFocus();
    }
    m_editRow = m_editColumn = -1;
}

void TTransferSettings::setObjectBounds(QWidget *editor, int column, int row)
{
    if (!editor || row < 0 || row >= m_list->rowCount())
        return;
    m_editRow = m_editColumn = -1;
    const QString text = m_list->row(row).value(column);
    if (editor == Edit1) {
        Edit1->setText(text);
    } else if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        const int at = combo->findText(text, Qt::MatchExactly);
        if (at >= 0)
            combo->setCurrentIndex(at);
        combo->setEditText(text);
    }
    m_editRow = row;
    m_editColumn = column;
    editor->setGeometry(StringGrid1->visualRect(StringGrid1->model()->index(row, column)));
    editor->show();
    editor->raise();
    editor->setFocus();
}

void TTransferSettings::StringGrid1SelectCell(int column, int row)
{
    FalseVisble();
    if (row < 0 || column < 0)
        return;
    if (QWidget *editor = editorFor(column))
        setObjectBounds(editor, column, row);
}

void TTransferSettings::StringGrid1DblClick(int row, int column)
{
    if (column != WorkFolderColumn || row < 0 || row >= m_list->rowCount())
        return;
    const QString chosen =
        m_chooseFolder(caption(FolderPromptLine), m_list->row(row).value(column));
    if (!chosen.isEmpty())
        setCell(row, column, chosen);
}

void TTransferSettings::ButtonClick(int tag)
{
    FalseVisble();
    switch (tag) {
    case OKTag:
        accept();
        break;
    case AddTag: {
        const int row = TransferSettingsRows::addDefault(m_list);
        refresh();
        const QSignalBlocker quiet(StringGrid1);
        StringGrid1->setCurrentCell(row, 0);
        break;
    }
    case DeleteTag: {
        const int row = StringGrid1->currentRow();
        if (row < 0)
            break;
        QMessageBox question(QMessageBox::Warning, windowTitle(), caption(DeleteQuestionLine),
                             QMessageBox::Yes | QMessageBox::No, this);
        question.setDefaultButton(QMessageBox::No);
        if (question.exec() != QMessageBox::Yes)
            break;
        TransferSettingsRows::deleteRow(m_list, row);
        refresh();
        StringGrid1->setCurrentCell(0, 0);
        break;
    }
    case CancelTag:
        reject();
        break;
    }
    FalseVisble();
}

// Cancel, Escape and the close box all leave this way: the list as it was opened.
void TTransferSettings::reject()
{
    FalseVisble();
    setPortList(m_openedList);
    QDialog::reject();
}

void TTransferSettings::done(int result)
{
    FalseVisble();
    if (result == QDialog::Accepted) {
        for (int r = 0; r < m_list->rowCount(); ++r) {
            const QString name = m_list->row(r).value(PortSetting::Name);
            const double seconds = m_delays.value(name);
            if (seconds != PortChoices::AnswerDelaySeconds(m_settingsFolder, name) &&
                !PortChoices::SaveAnswerDelay(m_settingsFolder, name, seconds))
                tellProblem(QStringLiteral("The answer delay of \"%1\" could not be "
                                           "written to %2.")
                                .arg(name, QString::fromLatin1(PortChoices::SettingsFile)));
            const bool hold = m_holds.value(name);
            if (hold != PortChoices::HoldsForReview(m_settingsFolder, name) &&
                !PortChoices::SaveHoldForReview(m_settingsFolder, name, hold))
                tellProblem(
                    QStringLiteral("The hold for review of \"%1\" could not be written to %2.")
                        .arg(name, QString::fromLatin1(PortChoices::SettingsFile)));
        }
    }
    if (m_option) {
        m_option->setOptionList(TOption::TransferList, getPortList());
        m_option->setWindowsSize(TOption::TransferSlot, getWindowsSize());
    }
    QDialog::done(result);
}

void TTransferSettings::showEvent(QShowEvent *event)
{
    // Each list as wide as its longest entry at the font in use, not as narrow as the cell
    // ("RTS/CTS+Xon/Xoff").
    for (QWidget *editor : std::as_const(m_editors)) {
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            QAbstractItemView *view = combo->view();
            view->setTextElideMode(Qt::ElideNone);
            view->setMinimumWidth(view->sizeHintForColumn(0) + 2 * view->frameWidth() +
                                  style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        }
    }
    refresh();
    fitColumns();
    m_openedList = getPortList();
    const QRect area = workArea(this);
    move(area.x() + (area.width() - frameGeometry().width()) / 2,
         area.y() + (area.height() - frameGeometry().height()) / 2);
    QDialog::showEvent(event);
}

bool TTransferSettings::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == ToolBar1 || (watched == StringGrid1->viewport() && StringGrid1->hasFocus())))
        FalseVisble();
    if (event->type() == QEvent::KeyPress && watched != ToolBar1 &&
        watched != StringGrid1->viewport()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const bool enterInName =
            watched == Edit1 && (key == Qt::Key_Return || key == Qt::Key_Enter);
        // Escape leaves the cell instead of closing the dialog.
        if (enterInName || key == Qt::Key_Escape) {
            FalseVisble();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
