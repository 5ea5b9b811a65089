#include "library/LibraryPanes.h"

#include "settings/Defaults.h"

#include "library/LibraryEngine.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace
{

QLabel *captionStrip(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Raised);
    label->setMargin(2);
    return label;
}

QWidget *captioned(QWidget *parent, QLabel *caption, QWidget *body)
{
    auto *panel = new QWidget(parent);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(caption);
    layout->addWidget(body, 1);
    return panel;
}

} // namespace

FileGridModel::FileGridModel(LibraryEngine *engine, QObject *parent)
    : QAbstractTableModel(parent), m_engine(engine)
{
    connect(engine, &LibraryEngine::rowsChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(engine, &LibraryEngine::headerChanged, this,
            [this] { emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1); });
}

int FileGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_engine->fileList().rowCount();
}

int FileGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileGridModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return m_engine->fileList().row(index.row()).cell(index.column());
}

QVariant FileGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return m_engine->marks().caption(section);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}

void PictureBox::setPicture(const QImage &image)
{
    m_image = image;
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), m_image);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent *)
{
    emit doubleClicked();
}

FileListPane::FileListPane(LibraryEngine *engine, QWidget *parent)
    : QWidget(parent), m_engine(engine), m_model(new FileGridModel(engine, this))
{
    Panel4 = new QWidget(this);
    ExtComboBox = new QComboBox(Panel4);
    ExtComboBox->setEditable(true);
    ExtComboBox->setInsertPolicy(QComboBox::NoInsert);
    ExtComboBox->setMinimumWidth(100);
    FontComboBox = new QComboBox(Panel4);
    FontComboBox->setEditable(true);
    FontComboBox->setInsertPolicy(QComboBox::NoInsert);
    FontComboBox->addItems(
        {"8", "9", "10", "11", "12", "14", "16", "18", "20", "22", "24", "26", "28", "36"});
    FontComboBox->setMinimumWidth(100);
    KeyWord = new QLineEdit(Panel4);
    KeyWord->setMinimumWidth(200);
    KeyWord->setClearButtonEnabled(true);
    auto *strip = new QHBoxLayout(Panel4);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addWidget(ExtComboBox);
    strip->addWidget(FontComboBox);
    strip->addWidget(KeyWord);
    strip->addStretch();

    StringGrid1 = new QTableView(this);
    StringGrid1->setModel(m_model);
    connect(m_model, &QAbstractItemModel::headerDataChanged, this, [this] { fitDefaultColumns(); });
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    StringGrid1->setShowGrid(true);
    StringGrid1->setWordWrap(false);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView *header = StringGrid1->horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    header->setDefaultSectionSize(101);
    header->setMinimumSectionSize(8);
    header->viewport()->installEventFilter(this);
    // A column the user sizes keeps that size whatever the font.
    connect(header, &QHeaderView::sectionResized, this, [this](int section) {
        if (!m_resizing && section < m_fitted.size())
            m_fitted[section] = false;
    });
    StringGrid1->viewport()->installEventFilter(this);
    StringGrid1->installEventFilter(this);

    NoteEdit = new QLineEdit(this);
    NoteEdit->hide();
    NoteEdit->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(Panel4);
    layout->addWidget(StringGrid1, 1);

    Panel4->setObjectName(QStringLiteral("Panel4"));
    ExtComboBox->setObjectName(QStringLiteral("ExtComboBox"));
    FontComboBox->setObjectName(QStringLiteral("FontComboBox"));
    KeyWord->setObjectName(QStringLiteral("KeyWord"));
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    NoteEdit->setObjectName(QStringLiteral("NoteEdit"));

    connect(header, &QHeaderView::sectionClicked, engine,
            &LibraryEngine::HeaderControl1SectionClick);
    connect(ExtComboBox, QOverload<int>::of(&QComboBox::activated), this,
            &FileListPane::patternChosen);
    connect(FontComboBox, QOverload<int>::of(&QComboBox::activated), this,
            &FileListPane::fontSizeChosen);
    connect(FontComboBox->lineEdit(), &QLineEdit::returnPressed, this,
            &FileListPane::fontSizeChosen);
    connect(StringGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        emit menuRequested(StringGrid1->viewport()->mapToGlobal(at));
    });
    KeyWord->installEventFilter(this);
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { emit currentRowChanged(current.row()); });
    connect(StringGrid1, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { emit rowDoubleClicked(index.row()); });
    // The grid keeps its current row number across a new listing, a sort or a note edit,
    // as a string grid does.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_rowBeforeReset = currentRow(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_model->rowCount() > 0)
            setCurrentRow(qBound(0, m_rowBeforeReset, m_model->rowCount() - 1));
    });
}

QStringList FileListPane::patterns() const
{
    QStringList items;
    for (int i = 0; i < ExtComboBox->count(); ++i)
        items << ExtComboBox->itemText(i);
    return items;
}

void FileListPane::setPatterns(const QStringList &items)
{
    ExtComboBox->clear();
    ExtComboBox->addItems(items);
}

QString FileListPane::pattern() const
{
    return ExtComboBox->currentText();
}

void FileListPane::setPattern(const QString &text)
{
    ExtComboBox->setCurrentText(text);
}

void FileListPane::setPatternIndex(int index)
{
    ExtComboBox->setCurrentIndex(index);
}

int FileListPane::patternIndex() const
{
    return ExtComboBox->currentIndex();
}

QString FileListPane::fontSizeText() const
{
    return FontComboBox->currentText();
}

void FileListPane::setFontSizeText(const QString &text)
{
    FontComboBox->setCurrentText(text);
}

void FileListPane::setFontSizeRange(int minimum, int maximum)
{
    FontComboBox->setValidator(new QIntValidator(minimum, maximum, FontComboBox));
}

bool FileListPane::fontSizeAcceptable() const
{
    return FontComboBox->lineEdit()->hasAcceptableInput();
}

int FileListPane::fontBoxHeight() const
{
    return FontComboBox->sizeHint().height();
}

int FileListPane::currentRow() const
{
    return StringGrid1->currentIndex().row();
}

void FileListPane::setCurrentRow(int row)
{
    // The grid's blank row of an empty folder is current but not shown as chosen.
    const QModelIndex index = m_model->index(row, 0);
    const bool blank = index.data().toString().isEmpty();
    StringGrid1->selectionModel()->setCurrentIndex(
        index, blank ? QItemSelectionModel::Clear
                     : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QVector<int> FileListPane::sectionWidths() const
{
    QVector<int> widths;
    for (int i = 0; i < ColumnCount; ++i)
        widths << StringGrid1->horizontalHeader()->sectionSize(i);
    return widths;
}

void FileListPane::setSectionWidths(const QVector<int> &widths)
{
    m_fitted.fill(false, ColumnCount);
    const QScopedValueRollback<bool> guard(m_resizing, true);
    for (int i = 0; i < ColumnCount && i < widths.size(); ++i) {
        StringGrid1->horizontalHeader()->resizeSection(i, widths[i]);
        m_fitted[i] = widths[i] == Defaults::FileColumnWidth;
    }
    fitDefaultColumns();
}

// A column still at the stored default is made wide enough for a 12-character name, a whole
// date and time and a 9-digit size at the grid's font: cut, "1164927" would read as a
// smaller number.
void FileListPane::fitDefaultColumns()
{
    const QFontMetrics fm(StringGrid1->font());
    const int padding = fm.averageCharWidth() * 4;
    const int fits[] = {fm.horizontalAdvance(QStringLiteral("O0001234.tap")) + padding,
                        fm.horizontalAdvance(QStringLiteral("2026-12-31 23:59:59")) + padding,
                        fm.horizontalAdvance(QStringLiteral("999999999")) + padding};
    const QScopedValueRollback<bool> guard(m_resizing, true);
    QHeaderView *header = StringGrid1->horizontalHeader();
    for (int i = 0; i < ColumnCount && i < m_fitted.size(); ++i) {
        if (!m_fitted[i])
            continue;
        // The caption whole too ("Picture", "備註文"), in every pack.
        int width = qMax(Defaults::FileColumnWidth, header->sectionSizeHint(i));
        if (i < int(std::size(fits)))
            width = qMax(width, fits[i]);
        header->resizeSection(i, width);
    }
}

void FileListPane::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitDefaultColumns();
}

void FileListPane::setRowHeight(int height)
{
    if (StringGrid1->verticalHeader()->defaultSectionSize() != height) {
        StringGrid1->verticalHeader()->setMinimumSectionSize(qMin(height, 12));
        StringGrid1->verticalHeader()->setDefaultSectionSize(height);
    }
}

bool FileListPane::isEditingNote() const
{
    return NoteEdit->isVisible();
}

void FileListPane::openNoteEditor()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QModelIndex cell = m_model->index(row, NoteColumn);
    StringGrid1->scrollTo(cell);
    const QRect r = StringGrid1->visualRect(cell);
    const QPoint topLeft = StringGrid1->viewport()->mapTo(this, r.topLeft());
    NoteEdit->setGeometry(QRect(topLeft, r.size()).adjusted(0, 0, 1, 1));
    NoteEdit->setText(cell.data().toString());
    NoteEdit->show();
    NoteEdit->raise();
    NoteEdit->setFocus();
    NoteEdit->selectAll();
}

// Leaving the editor always stores: there is no way out without storing.
void FileListPane::NoteEditExit()
{
    if (m_leavingNote || !NoteEdit->isVisible())
        return;
    m_leavingNote = true;
    NoteEdit->hide();
    StringGrid1->setFocus();
    const int row = currentRow();
    if (row >= 0 && !m_engine->NoteEditExit(row, NoteEdit->text()))
        emit noteStoreFailed(m_engine->noteError());
    m_leavingNote = false;
}

void FileListPane::StringGrid1MouseWheel(int notches)
{
    QScrollBar *bar = StringGrid1->verticalScrollBar();
    const int rows = m_model->rowCount();
    for (int i = 0; i < qAbs(notches); ++i) {
        const int top = bar->value();
        if (notches < 0 && top < rows - 1)
            bar->setValue(top + 1);
        else if (notches > 0 && top > 0)
            bar->setValue(top - 1);
    }
}

bool FileListPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == NoteEdit) {
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                NoteEditExit();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            NoteEditExit();
        }
    } else if (watched == KeyWord && event->type() == QEvent::KeyRelease) {
        m_engine->KeyWordKeyUp(KeyWord->text());
    } else if (watched == StringGrid1 && event->type() == QEvent::KeyRelease) {
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_F2)
            openNoteEditor();
    } else if (watched == StringGrid1->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        const int notches = wheel->angleDelta().y() / 120;
        StringGrid1MouseWheel(notches != 0 ? notches : (wheel->angleDelta().y() > 0 ? 1 : -1));
        return true;
    } else if (watched == StringGrid1->horizontalHeader()->viewport() &&
               event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            const int x = int(mouse->position().x()) + StringGrid1->horizontalHeader()->offset();
            m_engine->HeaderControl1MouseUp(true, sectionWidths(), x);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

PreviewPanes::PreviewPanes(LibraryEngine *engine, QWidget *parent)
    : QObject(parent), m_engine(engine)
{
    SourceStaticText = captionStrip(parent);
    SourceMemo = new QPlainTextEdit(parent);
    SourceMemo->setReadOnly(true);
    SourceMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    SourceMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SourceMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SourcePanel = captioned(parent, SourceStaticText, SourceMemo);

    BufferStaticText = captionStrip(parent);
    BufferString = new QListWidget(parent);
    BufferString->setSelectionBehavior(QAbstractItemView::SelectRows);
    BufferString->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    BufferString->setContextMenuPolicy(Qt::CustomContextMenu);
    BufferPanel = captioned(parent, BufferStaticText, BufferString);

    ImageStaticText = captionStrip(parent);
    Image1 = new PictureBox(parent);
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    Image1->setMinimumSize(16, 16);
    ImagePanel = captioned(parent, ImageStaticText, Image1);

    SourcePanel->setObjectName(QStringLiteral("SourcePanel"));
    SourceStaticText->setObjectName(QStringLiteral("SourceStaticText"));
    SourceMemo->setObjectName(QStringLiteral("SourceMemo"));
    BufferPanel->setObjectName(QStringLiteral("BufferPanel"));
    BufferStaticText->setObjectName(QStringLiteral("BufferStaticText"));
    BufferString->setObjectName(QStringLiteral("BufferString"));
    ImagePanel->setObjectName(QStringLiteral("ImagePanel"));
    ImageStaticText->setObjectName(QStringLiteral("ImageStaticText"));
    Image1->setObjectName(QStringLiteral("Image1"));

    connect(Image1, &PictureBox::doubleClicked, this, &PreviewPanes::pictureDoubleClicked);
    connect(Image1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { emit pictureMenuRequested(Image1->mapToGlobal(at)); });
    connect(BufferString, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        emit bufferMenuRequested(BufferString->viewport()->mapToGlobal(at));
    });
    connect(engine, &LibraryEngine::bufferChanged, this, &PreviewPanes::showBuffer);
    connect(engine, &LibraryEngine::previewReady, this, [this](const PreviewResult &result) {
        if (!result.readable)
            return;
        SourceMemo->setPlainText(result.lines.join(QLatin1Char('\n')));
        Image1->setPicture(result.picture);
        SourceMemo->moveCursor(QTextCursor::Start);
        SourceMemo->ensureCursorVisible();
    });
    // A folder without a program shows nothing of the last one.
    connect(engine, &LibraryEngine::listingDone, this, [this] {
        if (m_engine->fullPath(0).isEmpty()) {
            SourceMemo->clear();
            Image1->setPicture(QImage());
        }
    });
    showBuffer();
}

void PreviewPanes::showBuffer()
{
    const TransferBuffer &buffer = m_engine->buffer();
    const int keep = BufferString->currentRow();
    BufferString->clear();
    for (int i = 0; i < buffer.rowCount(); ++i)
        BufferString->addItem(buffer.rowText(i));
    const int row = qBound(0, keep, buffer.rowCount() - 1);
    // The blank row after the last entry is current but not shown as chosen.
    BufferString->setCurrentRow(row, buffer.rowText(row).isEmpty()
                                         ? QItemSelectionModel::Clear
                                         : QItemSelectionModel::ClearAndSelect);
}

void PreviewPanes::setCaptions(const QString &source, const QString &buffer, const QString &image)
{
    SourceStaticText->setText(source);
    BufferStaticText->setText(buffer);
    ImageStaticText->setText(image);
}

QSize PreviewPanes::pictureSize() const
{
    return Image1->size();
}

int PreviewPanes::bufferSelectedRow() const
{
    return BufferString->currentRow();
}

void PreviewPanes::setRowHeight(int height)
{
    BufferString->setStyleSheet(QStringLiteral("QListWidget::item { height: %1px; }").arg(height));
}
