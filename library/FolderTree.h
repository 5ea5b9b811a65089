#pragma once
// The folder tree: a root standing for the whole computer, its children the drives
// (Windows) or the file-system root and the home folder, and every non-hidden folder below.
// Folders are read when their node is first expanded.
#include <QStandardItemModel>
#include <QTreeView>

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
    // Re-reads the children of a node (after a folder operation).
    void refreshNode(const QModelIndex &index);
    QStandardItemModel *folderModel() const { return m_model; }

signals:
    // The selected node changed (the listing follows it).
    void selectionChangedTo(const QModelIndex &index);

private:
    void fill(QStandardItem *item);
    QStandardItem *makeFolderItem(const QString &path, const QString &name);

    QStandardItemModel *m_model;
    QStandardItem *m_root;
};
