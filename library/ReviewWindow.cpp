#include "library/ReviewWindow.h"

#include "library/DiffView.h"
#include "library/ProgramDiff.h"
#include "settings/LanguagePack.h"
#include "settings/WindowPlace.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
enum Column { HeldColumn, MachineColumn, FileColumn, ColumnCount };

QString machineOf(const ReviewQueue::Origin &o)
{
    if (o.portSetting.isEmpty())
        return QStringLiteral("-");
    return o.device.isEmpty() || o.device == QLatin1String("00")
               ? o.portSetting
               : o.portSetting + QStringLiteral(" / ") + o.device;
}
} // namespace

TReviewWindow::TReviewWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), m_list(new QTableWidget(0, ColumnCount, this)),
      m_diff(new DiffView(this)), m_status(new QLabel(this)), m_refresh(new QPushButton(this)),
      m_accept(new QPushButton(this)), m_reject(new QPushButton(this))
{
    setObjectName(QStringLiteral("ReviewWindow"));
    m_list->setObjectName(QStringLiteral("HeldList"));
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_accept->setObjectName(QStringLiteral("AcceptButton"));
    m_reject->setObjectName(QStringLiteral("RejectButton"));

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_list);
    split->addWidget(m_diff);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_refresh);
    buttons->addWidget(m_accept);
    buttons->addWidget(m_reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    connect(m_list, &QTableWidget::itemSelectionChanged, this, &TReviewWindow::showSelected);
    connect(m_refresh, &QPushButton::clicked, this, &TReviewWindow::refresh);
    connect(m_accept, &QPushButton::clicked, this, [this] { acceptSelected(); });
    connect(m_reject, &QPushButton::clicked, this, [this] { rejectSelected(); });
    setLanguage({});
    const QRect work = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(qMin(1200, work.width() * 95 / 100), qMin(720, work.height() * 9 / 10));
}

QString TReviewWindow::caption(int line) const
{
    return LanguagePack::caption(m_lines, LanguagePack::Main, line);
}

void TReviewWindow::setLanguage(const QStringList &mainLines)
{
    m_lines = mainLines;
    setWindowTitle(caption(TitleLine));
    m_list->setHorizontalHeaderLabels({caption(HeldLine), caption(MachineLine), caption(FileLine)});
    m_refresh->setText(caption(RefreshLine));
    m_accept->setText(caption(AcceptLine));
    m_reject->setText(caption(RejectLine));
    m_diff->setLanguage(mainLines);
    m_status->setText(statusText());
}

QString TReviewWindow::statusText() const
{
    return m_entries.isEmpty() ? caption(NoneHeldLine) : caption(CountLine).arg(m_entries.size());
}

void TReviewWindow::refresh()
{
    const QString chosen = selectedRow() >= 0 ? m_entries.at(selectedRow()).heldPath : QString();
    m_entries = ReviewQueue::find(m_folders);
    const QSignalBlocker block(m_list);
    m_list->setRowCount(int(m_entries.size()));
    int again = -1;
    for (int i = 0; i < m_entries.size(); ++i) {
        const ReviewQueue::Entry &e = m_entries.at(i);
        const QStringList cells{
            e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            machineOf(e.origin), QDir::toNativeSeparators(e.targetPath)};
        for (int c = 0; c < ColumnCount; ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            item->setToolTip(c == FileColumn ? QDir::toNativeSeparators(e.heldPath) : cells.at(c));
            m_list->setItem(i, c, item);
        }
        if (e.heldPath == chosen)
            again = i;
    }
    m_list->resizeColumnsToContents();
    m_status->setText(statusText());
    if (!m_entries.isEmpty())
        m_list->selectRow(again >= 0 ? again : 0);
    showSelected();
}

int TReviewWindow::selectedRow() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.first().row();
    return row < m_entries.size() ? row : -1;
}

void TReviewWindow::select(int row)
{
    m_list->selectRow(row);
}

void TReviewWindow::showSelected()
{
    updateButtons();
    const int row = selectedRow();
    if (row < 0) {
        m_diff->setPrograms({}, {}, QString(), QString());
        return;
    }
    const ReviewQueue::Entry &e = m_entries.at(row);
    if (QFileInfo(e.targetPath).isFile()) {
        m_diff->startLoading(e.targetPath, e.heldPath);
        return;
    }
    // Nothing stored yet: every line of the held program is new.
    QStringList held;
    QString error;
    ProgramDiff::readProgram(e.heldPath, &held, &error);
    m_diff->setPrograms({}, held, e.targetPath, e.heldPath);
}

void TReviewWindow::updateButtons()
{
    const bool chosen = selectedRow() >= 0;
    m_accept->setEnabled(chosen);
    m_reject->setEnabled(chosen);
}

bool TReviewWindow::confirm(const QString &question)
{
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool TReviewWindow::decide(bool accept, bool ask)
{
    const int row = selectedRow();
    if (row < 0)
        return false;
    const ReviewQueue::Entry e = m_entries.at(row);
    const QString target = QDir::toNativeSeparators(e.targetPath);
    if (ask && !confirm(caption(accept ? AskAcceptLine : AskRejectLine).arg(target)))
        return false;
    const ReviewQueue::Decision d =
        accept ? ReviewQueue::accept(e.heldPath) : ReviewQueue::reject(e.heldPath);
    if (!d.done) {
        QMessageBox::warning(this, windowTitle(), d.reason);
        return false;
    }
    QString text =
        !accept ? caption(RejectedLine).arg(QDir::toNativeSeparators(d.movedTo), target)
        : d.stored.backupPath.isEmpty()
            ? caption(AcceptedNewLine).arg(target)
            : caption(AcceptedLine).arg(target, QDir::toNativeSeparators(d.stored.backupPath));
    if (!d.warning.isEmpty())
        text += u'\n' + d.warning;
    refresh();
    m_status->setText(text);
    emit decided(e.targetPath);
    return true;
}

void TReviewWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        WindowPlace::centre(this);
    }
}
