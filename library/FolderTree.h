#pragma once
// The folder tree: a root standing for the whole computer, its children the drives
// (Windows) or the file-system root and the home folder, and every non-hidden folder below.
// Folders are read when their node is first expanded and re-read when it is expanded again
// or F5 is pressed. The popup creates, deletes and renames folders; a folder dragged onto
// another moves there.
#include <QStandardItemModel>
#include <QTreeView>
#include <functional>

class QMenu;
class QAction;

class ShellTreeView : public QTreeView
{
    Q_OBJECT
public:
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit ShellTreeView(QWidget *parent = nullptr);

    // Full path of the selected node; empty for the root.
    QString Path() const;
    // 0 root, 1 drive or file-system root, 2 and more folders.
    int selectedDepth() const;
    static int depthOf(const QModelIndex &index);
    // Selects the folder, expanding the nodes above it; false when it does not exist.
    bool selectPath(const QString &path);
    QModelIndex rootIndex_() const;
    QStandardItem *itemForPath(const QString &path);
    // Re-reads the children of a node: folders made elsewhere appear, removed ones go, and
    // the nodes that stay keep their children, expansion and the selection.
    void refreshNode(const QModelIndex &index);
    QStandardItemModel *folderModel() const { return m_model; }

    // Line 25 (a new folder's base name) and line 26 (the delete question) of the main window.
    void setFolderTexts(const QString &newFolderName, const QString &deleteQuestion);
    // The popup's captions, accelerators included, and the refusal for a mount point ("%1"
    // the folder).
    void setPopupTexts(const QString &newFolder, const QString &deleteFolder,
                       const QString &rename);
    void setMountPointText(const QString &text) { m_mountPointText = text; }

    // The popup entries by tag: 1 new folder, 2 delete folder, 3 rename.
    void DirectoryClick(int tag);
    // The name an in-place edit of `index` ends with, after renaming the folder on disk.
    QString ShellTreeView1Edited(const QModelIndex &index, const QString &name);
    bool ShellTreeView1DragOver(const QPoint &pos) const;
    // Moves the selected folder into the folder at `target`; false when nothing moved.
    bool ShellTreeView1DragDrop(const QModelIndex &target, const QObject *source);

    // Replaceable for tests: the delete question (true = Yes) and error messages.
    std::function<bool(const QString &question)> confirmDelete;
    std::function<void(const QString &message)> showError;
    // A folder moved or renamed (newPath its new path) or deleted (newPath empty), so that
    // what is kept by path (the notes) follows it.
    std::function<void(const QString &oldPath, const QString &newPath)> folderChanged;

    bool isEditing() const { return state() == EditingState; }

signals:
    // The selected node changed (the listing follows it).
    void selectionChangedTo(const QModelIndex &index);

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fill(QStandardItem *item);
    QStringList folderNames(const QString &path) const;
    QStandardItem *childNamed(QStandardItem *item, const QString &name) const;
    QStandardItem *makeFolderItem(const QString &path, const QString &name);

    QMenu *TreePopup;
    QAction *N1, *N2, *N3;
    QStandardItemModel *m_model;
    QStandardItem *m_root;
    bool m_opening = false;
    QString m_newFolderName;
    QString m_deleteQuestion;
    QString m_mountPointText;

    // True (after saying why) when `path` is a mount point, which is never deleted, renamed
    // or moved: that would empty or move away another disk or share.
    bool refuseMountPoint(const QString &path);
    void tellChanged(const QString &oldPath, const QString &newPath);
};
