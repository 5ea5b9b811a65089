#include "library/FolderTree.h"

#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>

namespace {

const int FilledRole = Qt::UserRole + 2;

QString cleanFolder(const QString &path)
{
    QString p = QDir::cleanPath(QDir::fromNativeSeparators(path));
    return p;
}

bool hasSubfolders(const QString &path)
{
    QDir dir(path);
    return !dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort).isEmpty();
}

} // namespace

ShellTreeView::ShellTreeView(QWidget *parent) : QTreeView(parent), m_model(new QStandardItemModel(this))
{
    setModel(m_model);
    header()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);

    QFileIconProvider icons;
    m_root = new QStandardItem(icons.icon(QFileIconProvider::Computer), tr("Computer"));
    m_root->setData(QString(), PathRole);
    m_root->setData(true, FilledRole);
    m_model->appendRow(m_root);
#ifdef Q_OS_WIN
    for (const QFileInfo &drive : QDir::drives())
        m_root->appendRow(makeFolderItem(drive.absolutePath(), QDir::toNativeSeparators(drive.absolutePath())));
#else
    m_root->appendRow(makeFolderItem(QStringLiteral("/"), QStringLiteral("/")));
    const QString home = QDir::homePath();
    if (home != QLatin1String("/"))
        m_root->appendRow(makeFolderItem(home, QDir::toNativeSeparators(home)));
#endif
    expand(m_root->index());

    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (QStandardItem *item = m_model->itemFromIndex(index))
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
    QDir dir(path);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &info : entries)
        item->appendRow(makeFolderItem(info.absoluteFilePath(), info.fileName()));
}

void ShellTreeView::refreshNode(const QModelIndex &index)
{
    QStandardItem *item = m_model->itemFromIndex(index);
    if (!item || item == m_root)
        return;
    const bool wasExpanded = isExpanded(index);
    item->setData(false, FilledRole);
    fill(item);
    if (wasExpanded)
        expand(index);
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

int ShellTreeView::selectedDepth() const { return depthOf(currentIndex()); }

QModelIndex ShellTreeView::rootIndex_() const { return m_root->index(); }

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
        const bool inside = target.compare(base, Qt::CaseInsensitive) == 0 ||
                            target.startsWith(base.endsWith(u'/') ? base : base + u'/',
                                              Qt::CaseInsensitive);
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
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        expand(p);
    setCurrentIndex(index);
    return true;
}
