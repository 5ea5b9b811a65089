#include "library/FolderTree.h"

#include "library/FolderOperations.h"
#include "settings/UnitFunction.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDrag>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QStyledItemDelegate>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace
{

const int FilledRole = Qt::UserRole + 2;

QString cleanFolder(const QString &path)
{
    QString p = QDir::cleanPath(QDir::fromNativeSeparators(path));
    return p;
}

// A folder, or a link that ends in one; a link to a device, pipe or socket is none.
bool isFolder(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
#else
    return QFileInfo(path).isDir();
#endif
}

QStringList subfolders(const QString &path, QDir::SortFlags sort)
{
    QDir dir(path);
    QStringList names;
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, sort))
        if (isFolder(dir.filePath(name)))
            names << name;
    return names;
}

bool hasSubfolders(const QString &path)
{
    return !subfolders(path, QDir::NoSort).isEmpty();
}

// In-place edits end in ShellTreeView1Edited, which may keep the old name.
class RenameDelegate : public QStyledItemDelegate
{
public:
    explicit RenameDelegate(ShellTreeView *tree) : QStyledItemDelegate(tree), m_tree(tree) {}
    void setModelData(QWidget *editor, QAbstractItemModel *,
                      const QModelIndex &index) const override
    {
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            m_tree->ShellTreeView1Edited(index, line->text());
    }

private:
    ShellTreeView *m_tree;
};

// The name Qt's own file dialogs give the whole computer, in the language Qt speaks now.
QString rootCaption()
{
    return QCoreApplication::translate("QFileSystemModel", "Computer");
}

} // namespace

ShellTreeView::ShellTreeView(QWidget *parent)
    : QTreeView(parent), m_model(new QStandardItemModel(this))
{
    setModel(m_model);
    header()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setItemDelegate(new RenameDelegate(this));
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);

    // Fixed captions: the language packs have no lines for them.
    TreePopup = new QMenu(this);
    N1 =
        TreePopup->addAction(QStringLiteral("新增資料夾(&N)"), this, [this] { DirectoryClick(1); });
    N2 =
        TreePopup->addAction(QStringLiteral("刪除資料夾(&D)"), this, [this] { DirectoryClick(2); });
    N3 = TreePopup->addAction(QStringLiteral("重新命名(&M)"), this, [this] { DirectoryClick(3); });
    TreePopup->setObjectName(QStringLiteral("TreePopup"));
    N1->setObjectName(QStringLiteral("N1"));
    N2->setObjectName(QStringLiteral("N2"));
    N3->setObjectName(QStringLiteral("N3"));
    confirmDelete = [this](const QString &question) {
        return QMessageBox::warning(this, window()->windowTitle(), question,
                                    QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) == QMessageBox::Yes;
    };
    showError = [this](const QString &message) {
        QMessageBox::warning(this, window()->windowTitle(), message);
    };

    QFileIconProvider icons;
    m_root = new QStandardItem(icons.icon(QFileIconProvider::Computer), rootCaption());
    m_root->setData(QString(), PathRole);
    m_root->setData(true, FilledRole);
    m_model->appendRow(m_root);
#ifdef Q_OS_WIN
    for (const QFileInfo &drive : QDir::drives())
        m_root->appendRow(
            makeFolderItem(drive.absolutePath(), QDir::toNativeSeparators(drive.absolutePath())));
#else
    m_root->appendRow(makeFolderItem(QStringLiteral("/"), QStringLiteral("/")));
    const QString home = QDir::homePath();
    if (home != QLatin1String("/"))
        m_root->appendRow(makeFolderItem(home, QDir::toNativeSeparators(home)));
#endif
    // Drives and file-system roots keep their names.
    for (int i = 0; i < m_root->rowCount(); ++i)
        m_root->child(i)->setEditable(false);
    expand(m_root->index());

    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        QStandardItem *item = m_model->itemFromIndex(index);
        if (!item || item == m_root)
            return;
        // Expanding again shows what changed on disk since the node was read.
        if (item->data(FilledRole).toBool() && !m_opening)
            refreshNode(index);
        else
            fill(item);
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { emit selectionChangedTo(current); });
}

QStandardItem *ShellTreeView::makeFolderItem(const QString &path, const QString &name)
{
    static QFileIconProvider icons;
    auto *item = new QStandardItem(icons.icon(QFileIconProvider::Folder), name);
    item->setData(path, PathRole);
    item->setData(false, FilledRole);
    item->setEditable(true);
    // A placeholder child lets the node be expanded before it is read.
    if (hasSubfolders(path))
        item->appendRow(new QStandardItem);
    return item;
}

void ShellTreeView::fill(QStandardItem *item)
{
    if (item->data(FilledRole).toBool())
        return;
    item->setData(true, FilledRole);
    item->removeRows(0, item->rowCount());
    const QString path = item->data(PathRole).toString();
    const QDir dir(path);
    for (const QString &name : folderNames(path))
        item->appendRow(makeFolderItem(dir.filePath(name), name));
}

QStringList ShellTreeView::folderNames(const QString &path) const
{
    return subfolders(path, QDir::Name | QDir::IgnoreCase);
}

QStandardItem *ShellTreeView::childNamed(QStandardItem *item, const QString &name) const
{
    for (int i = 0; i < item->rowCount(); ++i)
        if (item->child(i)->text() == name)
            return item->child(i);
    return nullptr;
}

void ShellTreeView::refreshNode(const QModelIndex &index)
{
    QStandardItem *item = m_model->itemFromIndex(index);
    if (!item || item == m_root)
        return;
    const QString path = item->data(PathRole).toString();
    if (!item->data(FilledRole).toBool()) {
        // Not read yet: only the expand mark can be wrong.
        item->removeRows(0, item->rowCount());
        if (hasSubfolders(path))
            item->appendRow(new QStandardItem);
        return;
    }
    // Merged in place rather than rebuilt, so the selection and open sub-folders survive.
    const QStringList names = folderNames(path);
    QHash<QString, int> order;
    for (int i = 0; i < names.size(); ++i)
        order.insert(names.at(i), i);
    const QDir dir(path);
    int row = 0;
    for (int n = 0; n < names.size(); ++n) {
        while (row < item->rowCount()) {
            const QString text = item->child(row)->text();
            const int at = order.value(text, -1);
            if (at < 0 || at < n)
                item->removeRow(row); // gone, or out of order after a rename
            else
                break;
        }
        if (row < item->rowCount() && item->child(row)->text() == names.at(n)) {
            ++row;
            continue;
        }
        item->insertRow(row++, makeFolderItem(dir.filePath(names.at(n)), names.at(n)));
    }
    if (item->rowCount() > row)
        item->removeRows(row, item->rowCount() - row);
}

void ShellTreeView::changeEvent(QEvent *event)
{
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_root->setText(rootCaption());
}

void ShellTreeView::setFolderTexts(const QString &newFolderName, const QString &deleteQuestion)
{
    m_newFolderName = newFolderName;
    m_deleteQuestion = deleteQuestion;
}

void ShellTreeView::setPopupTexts(const QString &newFolder, const QString &deleteFolder,
                                  const QString &rename)
{
    N1->setText(newFolder);
    N2->setText(deleteFolder);
    N3->setText(rename);
}

bool ShellTreeView::refuseMountPoint(const QString &path)
{
    if (!FolderOperations::isMountPoint(path))
        return false;
    const QString text =
        m_mountPointText.isEmpty() ? QStringLiteral("\"%1\" is a mount point.") : m_mountPointText;
    if (showError)
        showError(text.arg(QDir::toNativeSeparators(path)));
    return true;
}

void ShellTreeView::tellChanged(const QString &oldPath, const QString &newPath)
{
    if (folderChanged)
        folderChanged(QDir::cleanPath(oldPath),
                      newPath.isEmpty() ? QString() : QDir::cleanPath(newPath));
}

void ShellTreeView::DirectoryClick(int tag)
{
    const QModelIndex current = currentIndex();
    const int depth = depthOf(current);
    if (!current.isValid() || depth == 0)
        return;
    QStandardItem *item = m_model->itemFromIndex(current);
    const QString path = Path();
    if (tag == 1) {
        const QString name = FolderOperations::newFolderName(path, m_newFolderName);
        QString error;
        if (!FolderOperations::createFolder(QDir(path).filePath(name), &error)) {
            if (showError)
                showError(error);
            return;
        }
        if (!item->data(FilledRole).toBool())
            fill(item);
        else
            refreshNode(current);
        expand(current);
        if (QStandardItem *created = childNamed(item, name))
            setCurrentIndex(created->index());
    } else if (tag == 2) {
        // Never a drive or a file-system root: that would empty a whole disk.
        if (!FolderOperations::deletable(depth) || refuseMountPoint(path))
            return;
        // The question names the folder: the selection may not be where the user looks.
        const QString question =
            QStringLiteral("\"%1\"\n\n%2").arg(QDir::toNativeSeparators(path), m_deleteQuestion);
        if (!confirmDelete || !confirmDelete(question))
            return;
        DeleteDirectory(path);
        const QModelIndex parent = current.parent();
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            if (showError)
                showError(QStringLiteral("\"%1\" could not be deleted entirely.")
                              .arg(QDir::toNativeSeparators(path)));
            refreshNode(current);
            return;
        }
        tellChanged(path, QString());
        // Removing the row moves the selection to a neighbour, which is listed.
        m_model->removeRow(current.row(), parent);
    } else if (tag == 3) {
        if (depth >= 2)
            edit(current);
    }
}

QString ShellTreeView::ShellTreeView1Edited(const QModelIndex &index, const QString &name)
{
    QStandardItem *item = m_model->itemFromIndex(index);
    if (!item || depthOf(index) < 2)
        return item ? item->text() : QString();
    const QString old = item->text();
    QStringList siblings;
    QStandardItem *parent = item->parent();
    for (int i = 0; parent && i < parent->rowCount(); ++i)
        siblings << parent->child(i)->text();
    const QString wanted = FolderOperations::editedName(old, name, siblings);
    if (wanted == old || refuseMountPoint(item->data(PathRole).toString()))
        return old;
    QString renamed, error;
    if (!FolderOperations::renameFolder(item->data(PathRole).toString(), wanted, &renamed,
                                        &error)) {
        if (showError)
            showError(error);
        return old;
    }
    tellChanged(item->data(PathRole).toString(), renamed);
    item->setText(wanted);
    item->setData(renamed, PathRole);
    // The paths below changed: read them again when the node is next opened.
    collapse(index);
    item->setData(false, FilledRole);
    item->removeRows(0, item->rowCount());
    if (hasSubfolders(renamed))
        item->appendRow(new QStandardItem);
    if (index == currentIndex())
        emit selectionChangedTo(index);
    return wanted;
}

bool ShellTreeView::ShellTreeView1DragOver(const QPoint &pos) const
{
    return indexAt(pos).isValid();
}

bool ShellTreeView::ShellTreeView1DragDrop(const QModelIndex &target, const QObject *source)
{
    const QModelIndex dragged = currentIndex();
    if (source != this || !target.isValid() || depthOf(dragged) < 2)
        return false;
    const QString src = Path();
    setCurrentIndex(target);
    const QString dst = Path();
    // By path components: /nc may go into /nc2, never into /nc or /nc/sub.
    if (dst.isEmpty() || FolderOperations::isSameOrInside(src, dst) || refuseMountPoint(src))
        return false;
    QString moved, error;
    // The disk first: the tree changes only when the folder really moved.
    if (!FolderOperations::moveFolder(src, dst, &moved, &error)) {
        if (showError)
            showError(error);
        return false;
    }
    tellChanged(src, moved);
    const QPersistentModelIndex targetIndex(target);
    if (QStandardItem *oldParent = m_model->itemFromIndex(dragged.parent()))
        refreshNode(oldParent->index());
    if (targetIndex.isValid()) {
        QStandardItem *t = m_model->itemFromIndex(targetIndex);
        if (!t->data(FilledRole).toBool())
            fill(t);
        else
            refreshNode(targetIndex);
        expand(targetIndex);
    }
    return true;
}

void ShellTreeView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F2 && selectedDepth() >= 2) {
        edit(currentIndex());
        return;
    }
    if (event->key() == Qt::Key_F5 && currentIndex().isValid()) {
        refreshNode(currentIndex());
        return;
    }
    QTreeView::keyReleaseEvent(event);
}

void ShellTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid())
        setCurrentIndex(index);
    const int depth = selectedDepth();
    N1->setEnabled(depth >= 1);
    N2->setEnabled(FolderOperations::deletable(depth));
    N3->setEnabled(depth >= 2);
    // Room for each caption whole at the font in use: the width the menu works out for itself
    // is short for these captions once the program's font size is applied.
    const QFontMetrics fm(TreePopup->font());
    int widest = 0;
    for (const QAction *a : TreePopup->actions())
        widest = qMax(widest, fm.horizontalAdvance(QString(a->text()).remove(u'&')));
    TreePopup->setMinimumWidth(widest + 4 * fm.height());
    TreePopup->popup(event->globalPos());
}

void ShellTreeView::startDrag(Qt::DropActions)
{
    const QModelIndex index = currentIndex();
    if (depthOf(index) < 2)
        return;
    auto *drag = new QDrag(this);
    auto *data = new QMimeData;
    data->setData(QStringLiteral("application/x-ncferry-folder"),
                  index.data(PathRole).toString().toUtf8());
    drag->setMimeData(data);
    // The drop does the move itself; the view must not remove the row afterwards.
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::CopyAction);
}

void ShellTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->source() == this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void ShellTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    QTreeView::dragMoveEvent(event);
    if (event->source() == this && ShellTreeView1DragOver(event->position().toPoint()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ShellTreeView::dropEvent(QDropEvent *event)
{
    const QModelIndex target = indexAt(event->position().toPoint());
    ShellTreeView1DragDrop(target, event->source());
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

QString ShellTreeView::Path() const
{
    return currentIndex().data(PathRole).toString();
}

int ShellTreeView::depthOf(const QModelIndex &index)
{
    if (!index.isValid())
        return 0;
    int depth = 0;
    for (QModelIndex i = index.parent(); i.isValid(); i = i.parent())
        ++depth;
    return depth;
}

int ShellTreeView::selectedDepth() const
{
    return depthOf(currentIndex());
}

QModelIndex ShellTreeView::rootIndex_() const
{
    return m_root->index();
}

QStandardItem *ShellTreeView::itemForPath(const QString &path)
{
    const QString target = cleanFolder(path);
    if (target.isEmpty() || !QFileInfo(target).isDir())
        return nullptr;
    // The deepest top-level folder holding the target (the home folder before "/").
    QStandardItem *best = nullptr;
    int bestLength = -1;
    for (int i = 0; i < m_root->rowCount(); ++i) {
        QStandardItem *top = m_root->child(i);
        QString base = cleanFolder(top->data(PathRole).toString());
        const bool inside =
            target.compare(base, Qt::CaseInsensitive) == 0 ||
            target.startsWith(base.endsWith(u'/') ? base : base + u'/', Qt::CaseInsensitive);
        if (inside && base.size() > bestLength) {
            best = top;
            bestLength = int(base.size());
        }
    }
    if (!best)
        return nullptr;
    QStandardItem *item = best;
    QString current = cleanFolder(best->data(PathRole).toString());
    while (current.compare(target, Qt::CaseInsensitive) != 0) {
        fill(item);
        QString rest = target.mid(current.size());
        while (rest.startsWith(u'/'))
            rest.remove(0, 1);
        const QString name = rest.section(u'/', 0, 0);
        QStandardItem *next = nullptr;
        for (int i = 0; i < item->rowCount(); ++i) {
            if (item->child(i)->text().compare(name, Qt::CaseSensitive) == 0) {
                next = item->child(i);
                break;
            }
        }
        if (!next)
            return nullptr; // hidden folders are not in the tree
        item = next;
        current = cleanFolder(item->data(PathRole).toString());
    }
    return item;
}

bool ShellTreeView::selectPath(const QString &path)
{
    QStandardItem *item = itemForPath(path);
    if (!item)
        return false;
    const QModelIndex index = item->index();
    // The nodes on the way were just read; opening them need not read them again.
    m_opening = true;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        expand(p);
    m_opening = false;
    setCurrentIndex(index);
    return true;
}
