#include "library/JournalWindow.h"

#include "settings/LanguagePack.h"
#include "settings/WindowPlace.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

void JournalModel::setRows(QList<JournalRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void JournalModel::setHeaders(const QStringList &headers)
{
    m_headers = headers;
    emit headerDataChanged(Qt::Horizontal, 0, Count - 1);
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const JournalEntry &e = m_rows.at(index.row()).entry;
    const bool bad = e.result == QLatin1String("failed") || e.result == QLatin1String("stopped") ||
                     e.result == QLatin1String("refused") || e.result == QLatin1String("dropped");
    if (role == Qt::ForegroundRole && bad)
        return QColor(Qt::red).darker(130);
    if (role == Qt::TextAlignmentRole && index.column() == Characters)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && (index.column() == File || index.column() == Reason))
        return index.column() == File ? QDir::toNativeSeparators(e.file) : e.reason;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Time:
        return e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Machine:
        return JournalFilter::machineOf(e);
    case Direction:
        return e.direction;
    case File:
        return QDir::toNativeSeparators(e.file);
    case Characters:
        return e.characters;
    case Result:
        return e.result;
    case Reason:
        return QString(e.reason).replace(u'\n', u' ');
    case User:
        return e.user;
    case Sha256:
        return e.sha256;
    }
    return {};
}

QVariant JournalModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, o, role);
    return m_headers.value(section);
}

TJournalWindow::TJournalWindow(const QString &journalPath, QWidget *parent)
    : QWidget(parent, Qt::Window), m_path(journalPath), m_model(new JournalModel(this)),
      m_machine(new QComboBox(this)), m_file(new QLineEdit(this)), m_from(new QDateEdit(this)),
      m_to(new QDateEdit(this)), m_refresh(new QPushButton(this)), m_check(new QPushButton(this)),
      m_export(new QPushButton(this)), m_machineLabel(new QLabel(this)),
      m_fileLabel(new QLabel(this)), m_fromLabel(new QLabel(this)), m_toLabel(new QLabel(this)),
      m_status(new QLabel(this)), m_table(new QTableView(this))
{
    setObjectName(QStringLiteral("JournalWindow"));
    m_machine->setObjectName(QStringLiteral("MachineComboBox"));
    m_machine->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_file->setObjectName(QStringLiteral("FileEdit"));
    m_file->setClearButtonEnabled(true);
    for (QDateEdit *d : {m_from, m_to}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    m_from->setObjectName(QStringLiteral("FromDate"));
    m_to->setObjectName(QStringLiteral("ToDate"));
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_table->setModel(m_model);
    m_table->setObjectName(QStringLiteral("JournalTable"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *filters = new QHBoxLayout;
    filters->addWidget(m_machineLabel);
    filters->addWidget(m_machine);
    filters->addWidget(m_fileLabel);
    filters->addWidget(m_file, 1);
    filters->addWidget(m_fromLabel);
    filters->addWidget(m_from);
    filters->addWidget(m_toLabel);
    filters->addWidget(m_to);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_refresh);
    buttons->addWidget(m_check);
    buttons->addWidget(m_export);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    connect(m_machine, &QComboBox::currentIndexChanged, this, &TJournalWindow::applyFilter);
    connect(m_file, &QLineEdit::textChanged, this, &TJournalWindow::applyFilter);
    connect(m_from, &QDateEdit::dateChanged, this, &TJournalWindow::applyFilter);
    connect(m_to, &QDateEdit::dateChanged, this, &TJournalWindow::applyFilter);
    connect(m_refresh, &QPushButton::clicked, this, &TJournalWindow::refresh);
    connect(m_check, &QPushButton::clicked, this, &TJournalWindow::checkChain);
    connect(m_export, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, caption(ExportLine), QDir::home().filePath(QStringLiteral("journal.csv")),
            QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty())
            exportCsv(path);
    });
    setLanguage({});
    const QRect work = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(qMin(1240, work.width() * 95 / 100), qMin(600, work.height() * 8 / 10));
}

QString TJournalWindow::caption(int line) const
{
    return LanguagePack::caption(m_lines, LanguagePack::Main, line);
}

void TJournalWindow::setLanguage(const QStringList &mainLines)
{
    m_lines = mainLines;
    setWindowTitle(caption(TitleLine));
    m_machineLabel->setText(LanguagePack::label(caption(MachineLine)));
    m_fileLabel->setText(LanguagePack::label(caption(FileLine)));
    m_fromLabel->setText(LanguagePack::label(caption(FromLine)));
    m_toLabel->setText(LanguagePack::label(caption(ToLine)));
    m_refresh->setText(caption(RefreshLine));
    m_check->setText(caption(CheckLine));
    m_export->setText(caption(ExportLine));
    if (m_machine->count() == 0)
        m_machine->addItem(caption(AllMachinesLine));
    else
        m_machine->setItemText(0, caption(AllMachinesLine));
    m_model->setHeaders({caption(TimeLine), caption(PortSettingLine), caption(DirectionLine),
                         caption(FileLine), caption(CharactersLine), caption(ResultLine),
                         caption(ReasonLine), caption(UserLine), QStringLiteral("SHA-256")});
    m_status->setText(statusText());
}

JournalFilter TJournalWindow::filter() const
{
    JournalFilter f;
    if (m_machine->currentIndex() > 0)
        f.machine = m_machine->currentText();
    f.fileContains = m_file->text().trimmed();
    f.from = m_from->date();
    f.to = m_to->date();
    return f;
}

void TJournalWindow::refresh()
{
    QList<JournalRow> rows;
    QString error;
    // A journal not written yet is an empty one.
    if (QFileInfo::exists(m_path) &&
        !TransferJournal::readRows(m_path, QDateTime(), &rows, &error)) {
        m_status->setText(caption(UnreadableLine).arg(QDir::toNativeSeparators(m_path), error));
        return;
    }
    // Newest first: the transfer just made is on top.
    std::reverse(rows.begin(), rows.end());
    m_all = rows;
    QStringList machines;
    for (const JournalRow &r : m_all)
        machines << JournalFilter::machineOf(r.entry);
    machines.removeDuplicates();
    machines.sort(Qt::CaseInsensitive);
    const QString chosen = m_machine->currentIndex() > 0 ? m_machine->currentText() : QString();
    {
        const QSignalBlocker block(m_machine);
        while (m_machine->count() > 1)
            m_machine->removeItem(1);
        m_machine->addItems(machines);
        m_machine->setCurrentIndex(qMax(0, m_machine->findText(chosen)));
    }
    {
        const QDate today = QDate::currentDate();
        const QDate first = m_all.isEmpty() ? today : m_all.last().entry.time.toLocalTime().date();
        const QSignalBlocker a(m_from), b(m_to);
        m_from->setDate(first);
        m_to->setDate(
            qMax(today, m_all.isEmpty() ? today : m_all.first().entry.time.toLocalTime().date()));
    }
    applyFilter();
    fitColumns();
}

void TJournalWindow::fitColumns()
{
    m_table->resizeColumnsToContents();
    const int room = m_table->viewport()->width();
    for (int c : {JournalModel::File, JournalModel::Reason})
        m_table->setColumnWidth(c, qMin(m_table->columnWidth(c), qMax(room / 3, 120)));
}

void TJournalWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        WindowPlace::centre(this);
    }
    fitColumns();
}

void TJournalWindow::applyFilter()
{
    const JournalFilter f = filter();
    QList<JournalRow> shown;
    for (const JournalRow &r : m_all)
        if (f.matches(r.entry))
            shown << r;
    m_model->setRows(shown);
    m_status->setText(statusText());
}

QString TJournalWindow::statusText() const
{
    return caption(CountLine).arg(m_model->rowCount()).arg(m_all.size());
}

void TJournalWindow::checkChain()
{
    const TransferJournal::Check c = TransferJournal::verify(m_path);
    const QString text = c.ok ? caption(WholeLine).arg(c.rows) : caption(BrokenLine).arg(c.problem);
    m_status->setText(text);
    QMessageBox box(c.ok ? QMessageBox::Information : QMessageBox::Warning, windowTitle(), text,
                    QMessageBox::Ok, this);
    box.exec();
}

bool TJournalWindow::exportCsv(const QString &path)
{
    QSaveFile file(path);
    const QByteArray bytes = TransferJournal::csv(m_model->rows()).toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    const QString text =
        caption(UnwritableLine).arg(QDir::toNativeSeparators(path), file.errorString());
    m_status->setText(text);
    QMessageBox::warning(this, windowTitle(), text);
    return false;
}
