#include "library/DiffView.h"

#include "library/ProgramStore.h"
#include "settings/LanguagePack.h"
#include "settings/WindowPlace.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

namespace
{
// The compare texts, appended to the main section.
constexpr int CompareLine = 37;
constexpr int OtherProgramLine = 38;
constexpr int NoBackupsLine = 39;
constexpr int ChooseOtherLine = 40;
constexpr int SummaryLine = 41;
constexpr int IdenticalLine = 42;
constexpr int PreviousLine = 43;
constexpr int NextLine = 44;
constexpr int CloseLine = 45;
constexpr int UnreadableLine = 46;
constexpr int TooLargeLine = 47;
constexpr int ComparingLine = 48;

// Light backgrounds with black text, readable in a dark theme as well.
QColor background(DiffRow::Kind kind, bool sideEmpty)
{
    if (sideEmpty)
        return QColor(232, 232, 232);
    switch (kind) {
    case DiffRow::Changed:
        return QColor(255, 236, 160);
    case DiffRow::Removed:
        return QColor(255, 205, 205);
    case DiffRow::Added:
        return QColor(200, 240, 200);
    case DiffRow::Same:
        break;
    }
    return {};
}

// The selected row keeps its change colour inside a frame of the selection colour: the row
// Next change lands on would otherwise hide what kind of change it is.
class DiffDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        if (!(option.state & QStyle::State_Selected) || !index.data(Qt::BackgroundRole).isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, plain, index);
        const QColor frame = option.palette.color(QPalette::Highlight);
        const QRect r = option.rect;
        painter->fillRect(QRect(r.left(), r.top(), r.width(), 2), frame);
        painter->fillRect(QRect(r.left(), r.bottom() - 1, r.width(), 2), frame);
    }
};

QString menuText(QString text)
{
    return text.replace(u'&', QStringLiteral("&&"));
}

} // namespace

void DiffModel::setPrograms(const QStringList &left, const QStringList &right,
                            const QList<DiffRow> &rows, const QString &leftName,
                            const QString &rightName, const QString &leftTip,
                            const QString &rightTip)
{
    beginResetModel();
    m_left = left;
    m_right = right;
    m_rows = rows;
    m_leftName = leftName;
    m_rightName = rightName;
    m_leftTip = leftTip;
    m_rightTip = rightTip;
    m_starts.clear();
    std::fill(std::begin(m_counts), std::end(m_counts), 0);
    for (int r = 0; r < m_rows.size(); ++r) {
        const DiffRow::Kind kind = m_rows.at(r).kind;
        ++m_counts[kind];
        if (kind != DiffRow::Same && (r == 0 || m_rows.at(r - 1).kind == DiffRow::Same))
            m_starts << r;
    }
    endResetModel();
}

int DiffModel::count(DiffRow::Kind kind) const
{
    return m_counts[kind];
}

int DiffModel::widestText(const QFont &font) const
{
    // Shaping every line of a long program takes a second. In a fixed-pitch font a line of
    // plain ASCII is its length in cells; other lines are measured unless they cannot be
    // wider than the widest so far (a wide character takes two cells at most, a tab more).
    const QFontMetricsF fm(font);
    const qreal cell = fm.horizontalAdvance(u'0');
    // Asked of the glyphs: fontconfig calls some monospaced fonts (Noto Sans Mono) not fixed.
    bool fixed = true;
    for (char16_t c = 0x20; c < 0x7f && fixed; ++c)
        fixed = fm.horizontalAdvance(QChar(c)) == cell;
    const qreal maxCell = std::max(cell, fm.maxWidth());
    qreal widest = 0;
    for (const QStringList *side : {&m_left, &m_right})
        for (const QString &s : *side) {
            bool ascii = true;
            bool tab = false;
            for (QChar c : s) {
                tab = c == u'\t';
                if (tab)
                    break;
                ascii = ascii && c.unicode() < 0x80;
            }
            if (fixed && ascii && !tab) {
                widest = std::max(widest, s.size() * cell);
                continue;
            }
            if (tab || s.size() * maxCell * (ascii ? 1 : 2) > widest)
                widest = std::max(widest, fm.horizontalAdvance(s));
        }
    return int(std::ceil(widest));
}

int DiffModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DiffModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DiffModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const DiffRow &row = m_rows.at(index.row());
    const int column = index.column();
    const bool leftSide = column == LeftNumber || column == LeftText;
    const bool rightSide = column == RightNumber || column == RightText;
    const int lineNo = leftSide ? row.leftLine : rightSide ? row.rightLine : -1;
    switch (role) {
    case Qt::DisplayRole:
        if (column == Mark) {
            static const QString marks[] = {QString(), QStringLiteral("~"), QStringLiteral("-"),
                                            QStringLiteral("+")};
            return marks[row.kind];
        }
        if (lineNo < 0)
            return {};
        if (column == LeftNumber || column == RightNumber)
            return lineNo + 1;
        return leftSide ? m_left.at(lineNo) : m_right.at(lineNo);
    case Qt::BackgroundRole: {
        const QColor c = background(row.kind, (leftSide || rightSide) && lineNo < 0);
        return c.isValid() ? QVariant(c) : QVariant();
    }
    case Qt::ForegroundRole:
        return row.kind == DiffRow::Same ? QVariant() : QVariant(QColor(Qt::black));
    case Qt::TextAlignmentRole:
        if (column == LeftNumber || column == RightNumber)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (column == Mark)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant DiffModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return section == LeftText ? m_leftName : section == RightText ? m_rightName : QString();
    if (role == Qt::ToolTipRole)
        return section == LeftText ? m_leftTip : section == RightText ? m_rightTip : QString();
    return {};
}

DiffView::DiffView(QWidget *parent)
    : QWidget(parent), m_model(new DiffModel(this)), m_table(new QTableView(this)),
      m_summary(new QLabel(this)), m_previous(new QPushButton(this)), m_next(new QPushButton(this))
{
    m_language = LanguagePack::builtIn(LanguagePack::Main);
    m_table->setObjectName(QStringLiteral("DiffTable"));
    m_summary->setObjectName(QStringLiteral("DiffSummary"));
    // The summary gives way on a narrow window rather than widening it.
    m_summary->setWordWrap(true);
    m_previous->setObjectName(QStringLiteral("PreviousChange"));
    m_next->setObjectName(QStringLiteral("NextChange"));
    m_table->setModel(m_model);
    m_table->setItemDelegate(new DiffDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing is measured row by row in a long program.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setHighlightSections(false);

    auto *bar = new QHBoxLayout;
    bar->addWidget(m_summary, 1);
    bar->addWidget(m_previous);
    bar->addWidget(m_next);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    m_table->viewport()->installEventFilter(this);
    connect(m_previous, &QPushButton::clicked, this, &DiffView::previousChange);
    connect(m_next, &QPushButton::clicked, this, &DiffView::nextChange);
    updateTexts();
}

QString DiffView::caption(int index) const
{
    return LanguagePack::caption(m_language, LanguagePack::Main, index);
}

void DiffView::setLanguage(const QStringList &mainLines)
{
    m_language = mainLines;
    updateTexts();
}

void DiffView::updateTexts()
{
    m_previous->setText(caption(PreviousLine) + QStringLiteral("(&P)"));
    m_next->setText(caption(NextLine) + QStringLiteral("(&N)"));
    const int changed = m_model->count(DiffRow::Changed);
    const int added = m_model->count(DiffRow::Added);
    const int removed = m_model->count(DiffRow::Removed);
    if (m_loading)
        m_summary->setText(caption(ComparingLine));
    else if (changed + added + removed == 0)
        m_summary->setText(caption(IdenticalLine));
    else
        m_summary->setText(caption(SummaryLine).arg(changed).arg(added).arg(removed));
    m_previous->setEnabled(!m_loading && !m_model->changeStarts().isEmpty());
    m_next->setEnabled(!m_loading && !m_model->changeStarts().isEmpty());
}

void DiffView::setPrograms(const QStringList &left, const QStringList &right,
                           const QString &leftPath, const QString &rightPath)
{
    ++m_generation; // a comparison still running elsewhere is not shown over this one
    m_loading = false;
    showRows(left, right, DiffPrograms(left, right), leftPath, rightPath);
}

void DiffView::showRows(const QStringList &left, const QStringList &right,
                        const QList<DiffRow> &rows, const QString &leftPath,
                        const QString &rightPath)
{
    m_model->setPrograms(left, right, rows, QFileInfo(leftPath).fileName(),
                         QFileInfo(rightPath).fileName(), QDir::toNativeSeparators(leftPath),
                         QDir::toNativeSeparators(rightPath));
    updateTexts();
    measure();
    goTo(m_model->changeStarts().value(0, 0));
}

DiffView::Loaded DiffView::load(const QString &leftPath, const QString &rightPath,
                                const QString &unreadable, const QString &tooLarge)
{
    Loaded done;
    QStringList *sides[2] = {&done.left, &done.right};
    const QString paths[2] = {leftPath, rightPath};
    for (int i = 0; i < 2; ++i) {
        QString reason;
        const QString shown = QDir::toNativeSeparators(paths[i]);
        switch (ProgramDiff::readProgram(paths[i], sides[i], &reason)) {
        case ProgramDiff::ReadResult::Read:
            break;
        case ProgramDiff::ReadResult::Unreadable:
            done.error = unreadable.arg(shown, reason);
            return done;
        case ProgramDiff::ReadResult::TooLarge:
            done.error = tooLarge.arg(shown).arg(ProgramDiff::MaxFileBytes >> 20);
            return done;
        }
    }
    done.rows = DiffPrograms(done.left, done.right);
    return done;
}

bool DiffView::loadFiles(const QString &leftPath, const QString &rightPath)
{
    const Loaded done = load(leftPath, rightPath, caption(UnreadableLine), caption(TooLargeLine));
    m_error = done.error;
    if (!m_error.isEmpty())
        return false;
    showRows(done.left, done.right, done.rows, leftPath, rightPath);
    return true;
}

void DiffView::startLoading(const QString &leftPath, const QString &rightPath)
{
    m_loading = true;
    const int generation = ++m_generation;
    updateTexts();
    // A program of a million lines takes seconds: the window stays live meanwhile. Closed
    // before the end, the view hears nothing; the worker finishes and is deleted.
    auto done = std::make_shared<Loaded>();
    const QString unreadable = caption(UnreadableLine);
    const QString tooLarge = caption(TooLargeLine);
    QThread *worker =
        QThread::create([=] { *done = load(leftPath, rightPath, unreadable, tooLarge); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [=] {
        // Only the pair asked for last is shown, however the workers finish.
        if (generation != m_generation)
            return;
        m_loading = false;
        m_error = done->error;
        if (m_error.isEmpty())
            showRows(done->left, done->right, done->rows, leftPath, rightPath);
        emit loaded(m_error.isEmpty());
    });
    worker->start();
}

int DiffView::currentRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void DiffView::goTo(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_table->selectRow(row);
    m_table->scrollTo(m_model->index(row, DiffModel::LeftText),
                      QAbstractItemView::PositionAtCenter);
}

void DiffView::nextChange()
{
    const int at = currentRow();
    for (int start : m_model->changeStarts())
        if (start > at) {
            goTo(start);
            return;
        }
}

void DiffView::previousChange()
{
    const int at = currentRow();
    const QList<int> &starts = m_model->changeStarts();
    for (auto it = starts.crbegin(); it != starts.crend(); ++it)
        if (*it < at) {
            goTo(*it);
            return;
        }
}

void DiffView::measure()
{
    // A fixed-pitch font at the size in use, so columns of NC words line up.
    QFont mono = font();
    mono.setFamilies({QStringLiteral("Monospace")});
    mono.setStyleHint(QFont::TypeWriter);
    m_table->setFont(mono);
    const QFontMetrics fm(mono);
    const int pad = 2 * fm.horizontalAdvance(u' ') + 6;
    m_table->verticalHeader()->setDefaultSectionSize(fm.height() + 4);
    const int digits =
        int(QString::number(std::max(m_model->left().size(), m_model->right().size())).size());
    m_numberWidth = fm.horizontalAdvance(QString(digits, u'0')) + pad;
    m_markWidth = fm.horizontalAdvance(u'~') + pad;
    const QFontMetrics hm(m_table->horizontalHeader()->font());
    const int headerMargin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
    int names = 0;
    for (int column : {DiffModel::LeftText, DiffModel::RightText})
        names = std::max(
            names, hm.horizontalAdvance(
                       m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()));
    m_textWidth = std::max(m_model->widestText(mono) + pad, names + headerMargin);
    fitColumns();
}

void DiffView::fitColumns()
{
    // The two sides share the room; long lines scroll sideways rather than being cut.
    const int room = m_table->viewport()->width() - 2 * m_numberWidth - m_markWidth;
    const int text = std::max(m_textWidth, room / 2);
    QHeaderView *h = m_table->horizontalHeader();
    h->resizeSection(DiffModel::LeftNumber, m_numberWidth);
    h->resizeSection(DiffModel::RightNumber, m_numberWidth);
    h->resizeSection(DiffModel::Mark, m_markWidth);
    h->resizeSection(DiffModel::LeftText, text);
    h->resizeSection(DiffModel::RightText, text);
}

bool DiffView::eventFilter(QObject *watched, QEvent *event)
{
    // The viewport, not the view: it narrows when the scroll bar appears.
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

void DiffView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        measure();
}

TCompareWindow::TCompareWindow(QWidget *parent)
    : QDialog(parent), m_view(new DiffView(this)), m_close(new QPushButton(this))
{
    setObjectName(QStringLiteral("CompareWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);
    m_close->setObjectName(QStringLiteral("CloseButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    m_language = LanguagePack::builtIn(LanguagePack::Main);
    setLanguage(m_language);
    // Default size: most of the work area, as the other windows take theirs.
    if (const QScreen *s = screen()) {
        const QRect area = s->availableGeometry();
        resize(area.width() * 7 / 10, area.height() * 7 / 10);
    }
}

void TCompareWindow::setLanguage(const QStringList &mainLines)
{
    m_language = mainLines;
    m_view->setLanguage(mainLines);
    m_close->setText(LanguagePack::caption(m_language, LanguagePack::Main, CloseLine));
}

void TCompareWindow::setTitleFor(const QString &leftPath, const QString &rightPath)
{
    setWindowTitle(LanguagePack::caption(m_language, LanguagePack::Main, CompareLine) +
                   QStringLiteral(": ") + QFileInfo(leftPath).fileName() +
                   QStringLiteral(" \u2194 ") + QFileInfo(rightPath).fileName());
}

bool TCompareWindow::loadFiles(const QString &leftPath, const QString &rightPath)
{
    setTitleFor(leftPath, rightPath);
    return m_view->loadFiles(leftPath, rightPath);
}

void TCompareWindow::startLoading(const QString &leftPath, const QString &rightPath)
{
    setTitleFor(leftPath, rightPath);
    m_view->startLoading(leftPath, rightPath);
}

CompareMenu::CompareMenu(QWidget *parent) : QMenu(parent)
{
    setObjectName(QStringLiteral("SCompare"));
    m_language = LanguagePack::builtIn(LanguagePack::Main);
    chooseOther = [this](const QString &folder) {
        return QFileDialog::getOpenFileName(owner(), caption(ChooseOtherLine), folder);
    };
    connect(this, &QMenu::aboutToShow, this, [this] { fill(program ? program() : QString()); });
    setLanguage(m_language);
}

QWidget *CompareMenu::owner() const
{
    // Dialogs over a popup that has closed would have no place of their own.
    QWidget *w = parentWidget();
    while (qobject_cast<QMenu *>(w))
        w = w->parentWidget();
    return w;
}

QString CompareMenu::caption(int index) const
{
    return LanguagePack::caption(m_language, LanguagePack::Main, index);
}

void CompareMenu::setLanguage(const QStringList &mainLines)
{
    m_language = mainLines;
    setTitle(caption(CompareLine) + QStringLiteral("(&C)"));
}

void CompareMenu::fill(const QString &path)
{
    clear();
    const bool chosen = !path.isEmpty() && QFileInfo(path).isFile();
    // The older program on the left: what changed since the backup reads left to right.
    const QStringList backups = chosen ? ProgramStore::backupsOf(path) : QStringList();
    for (const QString &backup : backups) {
        const QFileInfo info(backup);
        const QString when = info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QAction *a = addAction(menuText(info.fileName() + QStringLiteral("  (") + when + u')'));
        a->setData(backup);
        connect(a, &QAction::triggered, this, [this, backup, path] { compare(backup, path); });
    }
    if (chosen && backups.isEmpty())
        addAction(caption(NoBackupsLine))->setEnabled(false);
    addSeparator();
    QAction *other = addAction(caption(OtherProgramLine) + QStringLiteral("..."));
    other->setEnabled(chosen);
    connect(other, &QAction::triggered, this, [this, path] {
        const QString picked = chooseOther(QFileInfo(path).absolutePath());
        if (!picked.isEmpty())
            compare(path, picked);
    });
}

void CompareMenu::compare(const QString &left, const QString &right)
{
    auto *window = new TCompareWindow;
    window->setLanguage(m_language);
    lastWindow = window;
    connect(window->view(), &DiffView::loaded, this, [this, window](bool ok) {
        if (ok)
            return;
        const QString error = window->view()->errorText();
        window->close();
        QMessageBox::warning(owner(), caption(CompareLine), error);
    });
    window->startLoading(left, right);
    window->show();
    WindowPlace::centre(window);
}
