#pragma once
// Two programs side by side, aligned row by row from their line diff, changed lines marked;
// the compare window of the file list and its menu of backups. The review of returned
// programs embeds the same view.
#include "library/ProgramDiff.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QMenu>
#include <QPointer>

#include <functional>

class QLabel;
class QPushButton;
class QTableView;

// One row per diff row: left number and text, the mark ("~", "-", "+"), right number and text.
class DiffModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { LeftNumber, LeftText, Mark, RightNumber, RightText, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;
    void setPrograms(const QStringList &left, const QStringList &right, const QList<DiffRow> &rows,
                     const QString &leftName, const QString &rightName, const QString &leftTip,
                     const QString &rightTip);

    const QList<DiffRow> &rows() const { return m_rows; }
    const QStringList &left() const { return m_left; }
    const QStringList &right() const { return m_right; }
    // Rows where a run of differences starts, in order.
    const QList<int> &changeStarts() const { return m_starts; }
    int count(DiffRow::Kind kind) const;
    // The widest line of either side, in the font's pixels.
    int widestText(const QFont &font) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_left, m_right;
    QList<DiffRow> m_rows;
    QList<int> m_starts;
    QString m_leftName, m_rightName, m_leftTip, m_rightTip;
    int m_counts[4] = {0, 0, 0, 0};
};

class DiffView : public QWidget
{
    Q_OBJECT
public:
    explicit DiffView(QWidget *parent = nullptr);

    // The main section's lines (the view's captions are lines appended to it).
    void setLanguage(const QStringList &mainLines);
    void setPrograms(const QStringList &left, const QStringList &right, const QString &leftPath,
                     const QString &rightPath);
    // Reads both files; false with the message in errorText() when one cannot be compared.
    bool loadFiles(const QString &leftPath, const QString &rightPath);
    // The same on a worker thread: the view says it is comparing, then loaded() tells.
    void startLoading(const QString &leftPath, const QString &rightPath);
    QString errorText() const { return m_error; }

    const DiffModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }
    // The row selected now, -1 when none.
    int currentRow() const;
    void nextChange();
    void previousChange();

signals:
    void loaded(bool ok);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Loaded {
        QStringList left, right;
        QList<DiffRow> rows;
        QString error;
    };
    static Loaded load(const QString &leftPath, const QString &rightPath, const QString &unreadable,
                       const QString &tooLarge);
    void showRows(const QStringList &left, const QStringList &right, const QList<DiffRow> &rows,
                  const QString &leftPath, const QString &rightPath);
    QString caption(int index) const;
    void updateTexts();
    void measure();    // column widths from the lines and the font
    void fitColumns(); // shared out over the room there is
    void goTo(int row);

    QStringList m_language;
    DiffModel *m_model;
    QTableView *m_table;
    QLabel *m_summary;
    QPushButton *m_previous, *m_next;
    QString m_error;
    bool m_loading = false;
    int m_generation = 0;
    int m_numberWidth = 0, m_markWidth = 0, m_textWidth = 0;
};

// A compare of two programs in a window of its own (modeless, deleted when closed).
class TCompareWindow : public QDialog
{
    Q_OBJECT
public:
    explicit TCompareWindow(QWidget *parent = nullptr);
    void setLanguage(const QStringList &mainLines);
    bool loadFiles(const QString &leftPath, const QString &rightPath);
    void startLoading(const QString &leftPath, const QString &rightPath);
    DiffView *view() const { return m_view; }

private:
    void setTitleFor(const QString &leftPath, const QString &rightPath);
    DiffView *m_view;
    QPushButton *m_close;
    QStringList m_language;
};

// The file list's "Compare" menu: the selected program's backups, newest first, then
// another program chosen in a file dialog that opens in the program's folder.
class CompareMenu : public QMenu
{
    Q_OBJECT
public:
    explicit CompareMenu(QWidget *parent = nullptr);
    void setLanguage(const QStringList &mainLines);
    // The full path of the selected program, empty when none is selected.
    std::function<QString()> program;
    // Asks for the other program (a file dialog unless replaced); empty when cancelled.
    std::function<QString(const QString &folder)> chooseOther;
    // The entries for this program, as shown when the menu opens.
    void fill(const QString &path);
    // Compares left with right in a new window; says why and closes it when one cannot be
    // read.
    void compare(const QString &left, const QString &right);
    QPointer<TCompareWindow> lastWindow;

private:
    QString caption(int index) const;
    QWidget *owner() const;
    QStringList m_language;
};
