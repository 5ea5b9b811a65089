#pragma once
// The Review window: the returned programs held for review, each beside the program it
// would replace, accepted (it replaces it, a backup kept) or rejected (kept as a failed
// transfer). A thin view over ReviewQueue and the diff view.
#include "library/JournalWindow.h"
#include "library/ReviewQueue.h"

#include <QStringList>
#include <QWidget>

class DiffView;
class QLabel;
class QPushButton;
class QTableWidget;

class TReviewWindow : public QWidget
{
    Q_OBJECT
public:
    // Lines of the main window's section this window takes its captions from.
    enum CaptionLine {
        TitleLine = 70,
        HeldLine,
        AcceptLine,
        RejectLine,
        NoneHeldLine,
        AcceptedLine,
        AcceptedNewLine,
        RejectedLine,
        AskAcceptLine,
        AskRejectLine,
        CountLine,
    };
    // Captions it shares with the journal window.
    static constexpr int MachineLine = TJournalWindow::MachineLine,
                         FileLine = TJournalWindow::FileLine,
                         RefreshLine = TJournalWindow::RefreshLine;

    explicit TReviewWindow(QWidget *parent = nullptr);
    void setLanguage(const QStringList &mainLines);
    // The folders whose review folders (at any depth) are shown.
    void setFolders(const QStringList &folders) { m_folders = folders; }

    void refresh();
    const QList<ReviewQueue::Entry> &entries() const { return m_entries; }
    void select(int row);
    // The decisions on the selected program; ask: put the question first.
    bool acceptSelected(bool ask = true) { return decide(true, ask); }
    bool rejectSelected(bool ask = true) { return decide(false, ask); }
    DiffView *diffView() const { return m_diff; }
    QString statusText() const;

signals:
    // A program was replaced or a held copy moved: the file list may show it anew.
    void decided(const QString &targetPath);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString caption(int line) const;
    int selectedRow() const;
    void showSelected();
    void updateButtons();
    bool confirm(const QString &question);
    bool decide(bool accept, bool ask);

    QStringList m_lines;
    QStringList m_folders;
    QList<ReviewQueue::Entry> m_entries;
    QTableWidget *m_list;
    DiffView *m_diff;
    QLabel *m_status;
    QPushButton *m_refresh, *m_accept, *m_reject;
    bool m_placed = false;
};
