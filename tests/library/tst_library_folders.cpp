// Folder operations on temporary folders: the rules alone, then through the folder tree.
#include "library/FolderOperations.h"
#include "library/FolderTree.h"

#include "TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace
{
const QString NewName = QStringLiteral("新資料夾");

bool mk(const QString &path)
{
    return QDir().mkpath(path);
}

QStringList childCaptions(ShellTreeView &tree, const QString &path)
{
    QStringList names;
    if (QStandardItem *item = tree.itemForPath(path))
        for (int i = 0; i < item->rowCount(); ++i)
            names << item->child(i)->text();
    return names;
}
} // namespace

class TestFolders : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_base;
    int m_case = 0;

private slots:
    void init()
    {
        // A fresh folder per test, below the temporary one.
        m_base = m_dir.filePath(QStringLiteral("case%1").arg(++m_case));
        QVERIFY(mk(m_base));
    }

    void newFolderNames()
    {
        const QString first = FolderOperations::newFolderName(m_base, NewName);
        QCOMPARE(first, NewName);
        QVERIFY(mk(m_base + u'/' + first));
        QCOMPARE(FolderOperations::newFolderName(m_base, NewName),
                 NewName + QStringLiteral(" (2)"));
        QVERIFY(mk(m_base + u'/' + NewName + QStringLiteral(" (2)")));
        QCOMPARE(FolderOperations::newFolderName(m_base, NewName),
                 NewName + QStringLiteral(" (3)"));
        // A file takes the name as much as a folder does.
        QVERIFY(writeFile(m_base + u'/' + NewName + QStringLiteral(" (3)"), "x"));
        QCOMPARE(FolderOperations::newFolderName(m_base, NewName),
                 NewName + QStringLiteral(" (4)"));
    }

    void rules_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("inside");
        QTest::newRow("itself") << "/w/NC"
                                << "/w/NC" << true;
        QTest::newRow("itself with separator") << "/w/NC"
                                               << "/w/NC/" << true;
        QTest::newRow("sub-folder") << "/w/NC"
                                    << "/w/NC/A/B" << true;
        QTest::newRow("name contains it") << "/w/NC"
                                          << "/w/NC2" << false;
        QTest::newRow("sub-folder of a look-alike") << "/w/NC"
                                                    << "/w/NC2/NC" << false;
        QTest::newRow("parent") << "/w/NC/A"
                                << "/w/NC" << false;
        QTest::newRow("sibling") << "/w/NC/A"
                                 << "/w/NC/B" << false;
    }
    void rules()
    {
        QFETCH(QString, folder);
        QFETCH(QString, target);
        QFETCH(bool, inside);
        QCOMPARE(FolderOperations::isSameOrInside(folder, target), inside);
    }

    void editedNames()
    {
        const QStringList siblings{QStringLiteral("Prog"), QStringLiteral("Other")};
        QCOMPARE(FolderOperations::editedName("Prog", "", siblings), QStringLiteral("Prog"));
        QCOMPARE(FolderOperations::editedName("Prog", "Other", siblings), QStringLiteral("Prog"));
        QCOMPARE(FolderOperations::editedName("Prog", "prog", siblings), QStringLiteral("prog"));
        QCOMPARE(FolderOperations::editedName("Prog", "New", siblings), QStringLiteral("New"));
    }

    // A move that cannot happen changes nothing on disk and says why.
    void movesOnDisk()
    {
        QVERIFY(mk(m_base + "/A/deep") && mk(m_base + "/B/A") && mk(m_base + "/C"));
        QString moved, error;
        QVERIFY(!FolderOperations::moveFolder(m_base + "/A", m_base + "/B", &moved, &error));
        QVERIFY(error.contains(QStringLiteral("already exists")));
        QVERIFY(QFileInfo(m_base + "/A/deep").isDir());
        QVERIFY(!FolderOperations::moveFolder(m_base + "/A", m_base + "/A/deep", &moved, &error));
        QVERIFY(FolderOperations::moveFolder(m_base + "/A", m_base + "/C", &moved, &error));
        QCOMPARE(moved, m_base + "/C/A");
        QVERIFY(QFileInfo(m_base + "/C/A/deep").isDir());
        QVERIFY(!QFileInfo::exists(m_base + "/A"));
        QString renamed;
        QVERIFY(!FolderOperations::renameFolder(m_base + "/C", "x/y", &renamed, &error));
        QVERIFY(!FolderOperations::renameFolder(m_base + "/C", "B", &renamed, &error));
        QVERIFY(FolderOperations::renameFolder(m_base + "/C", "c", &renamed, &error));
        QVERIFY(QFileInfo(m_base + "/c/A").isDir());
    }

    // New folder twice, then the entries on the root do nothing.
    void treeNewFolder()
    {
        ShellTreeView tree;
        tree.show();
        tree.setFolderTexts(NewName, QStringLiteral("?"));
        QVERIFY(tree.selectPath(m_base));
        tree.DirectoryClick(1);
        QCOMPARE(tree.Path(), m_base + u'/' + NewName);
        QVERIFY(QFileInfo(tree.Path()).isDir());
        QVERIFY(tree.selectPath(m_base));
        tree.DirectoryClick(1);
        QCOMPARE(tree.Path(), m_base + u'/' + NewName + QStringLiteral(" (2)"));
        QCOMPARE(childCaptions(tree, m_base),
                 (QStringList{NewName, NewName + QStringLiteral(" (2)")}));

        tree.setCurrentIndex(tree.rootIndex_());
        int asked = 0;
        tree.confirmDelete = [&](const QString &) { return ++asked, true; };
        for (int tag : {1, 2, 3})
            tree.DirectoryClick(tag);
        QCOMPARE(asked, 0);
        QVERIFY(!tree.isEditing());
        // A file-system root is never deleted.
        tree.setCurrentIndex(tree.rootIndex_().model()->index(0, 0, tree.rootIndex_()));
        QCOMPARE(tree.selectedDepth(), 1);
        tree.DirectoryClick(2);
        QCOMPARE(asked, 0);
    }

    // The root is named as Qt's own dialogs name the computer, and follows a language change.
    void rootCaptionFollowsLanguage()
    {
        ShellTreeView tree;
        const QString english = tree.rootIndex_().data().toString();
        QCOMPARE(english, QStringLiteral("Computer"));
        QTranslator chinese;
        QVERIFY(chinese.load(QStringLiteral("qtbase_zh_TW"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QCoreApplication::installTranslator(&chinese);
        QTRY_VERIFY(tree.rootIndex_().data().toString() != english);
        QVERIFY(!tree.rootIndex_().data().toString().isEmpty());
        QCoreApplication::removeTranslator(&chinese);
        QTRY_COMPARE(tree.rootIndex_().data().toString(), english);
    }

    // Delete asks; No keeps everything; Yes removes the folder and removes links as links.
    void treeDelete()
    {
        const QString outside = m_base + "/outside";
        QVERIFY(mk(m_base + "/Doomed/sub") && mk(outside));
        QVERIFY(writeFile(outside + "/keep.nc", "%\n"));
        QVERIFY(QFile::link(outside, m_base + "/Doomed/sub/link"));
        ShellTreeView tree;
        tree.setFolderTexts(NewName, QStringLiteral("Delete?"));
        QString question;
        bool answer = false;
        tree.confirmDelete = [&](const QString &q) {
            question = q;
            return answer;
        };
        QVERIFY(tree.selectPath(m_base + "/Doomed"));
        tree.DirectoryClick(2);
        // The question names the folder it is about.
        QCOMPARE(question, u'"' + QDir::toNativeSeparators(m_base + "/Doomed") + "\"\n\nDelete?");
        QVERIFY(QFileInfo(m_base + "/Doomed/sub").isDir());
        QCOMPARE(tree.Path(), m_base + "/Doomed");
        answer = true;
        tree.DirectoryClick(2);
        QVERIFY(!QFileInfo::exists(m_base + "/Doomed"));
        QVERIFY(QFileInfo(outside + "/keep.nc").isFile());
        QVERIFY(!childCaptions(tree, m_base).contains(QStringLiteral("Doomed")));
        QVERIFY(tree.Path() != m_base + "/Doomed");
    }

    void treeRename()
    {
        QVERIFY(mk(m_base + "/Prog") && mk(m_base + "/Other"));
        ShellTreeView tree;
        tree.show();
        QStringList errors;
        tree.showError = [&](const QString &e) { errors << e; };
        QVERIFY(tree.selectPath(m_base + "/Prog"));
        const QModelIndex node = tree.currentIndex();
        QCOMPARE(tree.ShellTreeView1Edited(node, "Other"), QStringLiteral("Prog"));
        QCOMPARE(tree.ShellTreeView1Edited(node, ""), QStringLiteral("Prog"));
        QVERIFY(QFileInfo(m_base + "/Prog").isDir());
        QCOMPARE(tree.ShellTreeView1Edited(node, "Milling"), QStringLiteral("Milling"));
        QVERIFY(QFileInfo(m_base + "/Milling").isDir());
        QCOMPARE(tree.Path(), m_base + "/Milling");
        QVERIFY(errors.isEmpty());
        QTest::keyRelease(&tree, Qt::Key_F2);
        QVERIFY(tree.isEditing());
    }

    // Drops: onto itself or a sub-folder nothing moves and the target stays selected; onto a
    // look-alike sibling or another folder the folder moves; a name taken is reported.
    void treeDragDrop()
    {
        QVERIFY(mk(m_base + "/NC/sub") && mk(m_base + "/NC2") && mk(m_base + "/B/NC"));
        ShellTreeView tree;
        QStringList errors;
        tree.showError = [&](const QString &e) { errors << e; };
        auto node = [&](const QString &rel) {
            QStandardItem *item = tree.itemForPath(m_base + rel);
            return item ? item->index() : QModelIndex();
        };
        QVERIFY(tree.selectPath(m_base + "/NC"));
        QVERIFY(!tree.ShellTreeView1DragDrop(node("/NC"), &tree));
        QVERIFY(tree.selectPath(m_base + "/NC"));
        QVERIFY(!tree.ShellTreeView1DragDrop(node("/NC/sub"), &tree));
        QCOMPARE(tree.Path(), m_base + "/NC/sub");
        QVERIFY(tree.selectPath(m_base + "/NC"));
        QVERIFY(!tree.ShellTreeView1DragDrop(node("/NC2"), this)); // not from the tree
        QVERIFY(!tree.ShellTreeView1DragDrop(node("/B"), &tree));  // B/NC exists
        QCOMPARE(errors.size(), 1);
        QVERIFY(QFileInfo(m_base + "/NC/sub").isDir());
        QVERIFY(childCaptions(tree, m_base).contains(QStringLiteral("NC")));

        QVERIFY(tree.selectPath(m_base + "/NC"));
        QVERIFY(tree.ShellTreeView1DragDrop(node("/NC2"), &tree));
        QVERIFY(QFileInfo(m_base + "/NC2/NC/sub").isDir());
        QCOMPARE(childCaptions(tree, m_base), (QStringList{"B", "NC2"}));
        QCOMPARE(childCaptions(tree, m_base + "/NC2"), QStringList{"NC"});
        // A drive is not dragged.
        tree.setCurrentIndex(tree.rootIndex_().model()->index(0, 0, tree.rootIndex_()));
        QVERIFY(!tree.ShellTreeView1DragDrop(node("/B"), &tree));
    }

    // Mount points (another file system: /proc here, a USB stick or a share in a shop) are
    // never deleted, renamed or moved, and the user is told why; plain folders are none.
    void mountPointsRefused()
    {
        QVERIFY(!FolderOperations::isMountPoint(m_base));
        QVERIFY(FolderOperations::isMountPoint(QStringLiteral("/")));
        QVERIFY(FolderOperations::isMountPoint(QStringLiteral("/proc")));
        QVERIFY(QFile::link(QStringLiteral("/proc"), m_base + "/proclink"));
        QVERIFY(!FolderOperations::isMountPoint(m_base + "/proclink"));

        ShellTreeView tree;
        tree.setMountPointText(QStringLiteral("mount point %1"));
        QStringList errors;
        int asked = 0;
        tree.showError = [&](const QString &e) { errors << e; };
        // Answering No: even a check that failed could not empty anything here.
        tree.confirmDelete = [&](const QString &) { return ++asked, false; };
        QVERIFY(tree.selectPath(QStringLiteral("/proc")));
        tree.DirectoryClick(2);
        QCOMPARE(asked, 0);
        QCOMPARE(errors, QStringList{"mount point /proc"});
        QCOMPARE(tree.ShellTreeView1Edited(tree.currentIndex(), "proc2"), QStringLiteral("proc"));
        QVERIFY(QFileInfo(QStringLiteral("/proc/self")).exists());
        QVERIFY(mk(m_base + "/Target"));
        QStandardItem *target = tree.itemForPath(m_base + "/Target");
        QVERIFY(target);
        QVERIFY(tree.selectPath(QStringLiteral("/proc")));
        QVERIFY(!tree.ShellTreeView1DragDrop(target->index(), &tree));
        QCOMPARE(errors.size(), 3);
    }

    // Renaming, moving and deleting a folder tells where it went, for the notes kept by path.
    void folderChangesAreTold()
    {
        QVERIFY(mk(m_base + "/A/sub") && mk(m_base + "/B"));
        ShellTreeView tree;
        tree.confirmDelete = [](const QString &) { return true; };
        QStringList told;
        tree.folderChanged = [&](const QString &from, const QString &to) {
            told << from + "->" + to;
        };
        QVERIFY(tree.selectPath(m_base + "/A"));
        QCOMPARE(tree.ShellTreeView1Edited(tree.currentIndex(), "C"), QStringLiteral("C"));
        QVERIFY(tree.selectPath(m_base + "/C"));
        QVERIFY(tree.ShellTreeView1DragDrop(tree.itemForPath(m_base + "/B")->index(), &tree));
        QVERIFY(tree.selectPath(m_base + "/B/C"));
        tree.DirectoryClick(2);
        QCOMPARE(told, (QStringList{m_base + "/A->" + m_base + "/C",
                                    m_base + "/C->" + m_base + "/B/C", m_base + "/B/C->"}));
    }

    // Re-reading shows folders made and removed elsewhere; links to devices are no folders.
    void treeRereads()
    {
        QVERIFY(mk(m_base + "/Keep/open") && mk(m_base + "/Gone"));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), m_base + "/devlink"));
        QVERIFY(QFile::link(m_base + "/Keep", m_base + "/folderlink"));
        ShellTreeView tree;
        QVERIFY(tree.selectPath(m_base + "/Keep/open"));
        QCOMPARE(childCaptions(tree, m_base), (QStringList{"folderlink", "Gone", "Keep"}));
        QVERIFY(mk(m_base + "/Fresh"));
        QVERIFY(QDir(m_base + "/Gone").removeRecursively());
        QVERIFY(tree.selectPath(m_base));
        QTest::keyRelease(&tree, Qt::Key_F5);
        QCOMPARE(childCaptions(tree, m_base), (QStringList{"folderlink", "Fresh", "Keep"}));
        // The open sub-folder survived the re-read.
        QVERIFY(tree.isExpanded(tree.itemForPath(m_base + "/Keep")->index()));
        // Expanding again re-reads too.
        QVERIFY(mk(m_base + "/Keep/later"));
        const QModelIndex keep = tree.itemForPath(m_base + "/Keep")->index();
        tree.collapse(keep);
        tree.expand(keep);
        QCOMPARE(childCaptions(tree, m_base + "/Keep"), (QStringList{"later", "open"}));
    }
};

QTEST_MAIN(TestFolders)
#include "tst_library_folders.moc"
