#pragma once
// The Journal window: the transfer journal's rows, filtered by machine, file and date, with
// the check of its chain and an export to CSV. It only reads the journal.
#include "library/TransferJournal.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class JournalModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Machine, Direction, File, Characters, Result, Reason, User, Sha256, Count };

    using QAbstractTableModel::QAbstractTableModel;
    void setRows(QList<JournalRow> rows);
    void setHeaders(const QStringList &headers);
    const QList<JournalRow> &rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    QList<JournalRow> m_rows;
    QStringList m_headers;
};

class TJournalWindow : public QWidget
{
    Q_OBJECT
public:
    // Lines of the main window's section this window takes its captions from.
    enum CaptionLine {
        TitleLine = 49,
        MachineLine,
        AllMachinesLine,
        FileLine,
        FromLine,
        ToLine,
        RefreshLine,
        CheckLine,
        ExportLine,
        TimeLine,
        PortSettingLine,
        DirectionLine,
        CharactersLine,
        ResultLine,
        ReasonLine,
        UserLine,
        CountLine,
        WholeLine,
        BrokenLine,
        UnreadableLine,
        UnwritableLine,
    };

    explicit TJournalWindow(const QString &journalPath, QWidget *parent = nullptr);
    void setLanguage(const QStringList &mainLines);

    // Reads the journal again and applies the filter.
    void refresh();
    void checkChain();
    bool exportCsv(const QString &path);
    JournalFilter filter() const;
    const JournalModel *model() const { return m_model; }
    QString statusText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString caption(int line) const;
    void applyFilter();
    // Columns as wide as their text, a long path or reason no wider than a third of the room.
    void fitColumns();
    bool m_placed = false;

    QString m_path;
    QStringList m_lines;
    QList<JournalRow> m_all;
    JournalModel *m_model;
    QComboBox *m_machine;
    QLineEdit *m_file;
    QDateEdit *m_from;
    QDateEdit *m_to;
    QPushButton *m_refresh;
    QPushButton *m_check;
    QPushButton *m_export;
    QLabel *m_machineLabel;
    QLabel *m_fileLabel;
    QLabel *m_fromLabel;
    QLabel *m_toLabel;
    QLabel *m_status;
    QTableView *m_table;
};
