// The folder chooser: cancel gives nothing, confirming gives the folder.
#include "settings/BrowseFolder.h"
#include "settings/WindowPlace.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestBrowseFolder : public QObject
{
    Q_OBJECT
private slots:
    void cancelGivesEmptyText();
    void confirmGivesStartFolder();

private:
    // Runs `act` on the chooser once it is shown; returns what BrowseFolder gave.
    template <typename Act> QString browse(const QString &start, Act act);
};

template <typename Act> QString TestBrowseFolder::browse(const QString &start, Act act)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!chooser || !chooser->isVisible())
            return;
        poll.stop();
        seen = true;
        act(chooser);
    });
    poll.start();
    const QString result = BrowseFolder(QStringLiteral("Choose the work folder"), start, 0);
    poll.stop();
    if (!seen)
        qWarning("the chooser never showed");
    return seen ? result : QStringLiteral("<not shown>");
}

void TestBrowseFolder::cancelGivesEmptyText()
{
    QTemporaryDir dir;
    QString title;
    QPoint pos;
    QSize size;
    const QString result = browse(dir.path(), [&](QFileDialog *chooser) {
        title = chooser->windowTitle();
        pos = chooser->pos();
        size = chooser->frameGeometry().size();
        chooser->reject();
    });
    QCOMPARE(result, QString());
    QCOMPARE(title, "Choose the work folder");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(pos, WindowPlace::centred(area, size));
}

void TestBrowseFolder::confirmGivesStartFolder()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("Lathe"));
    const QString start = dir.path() + "/Lathe";
    const QString result =
        browse(start, [](QFileDialog *chooser) { static_cast<QDialog *>(chooser)->accept(); });
    QCOMPARE(result, QDir::toNativeSeparators(start));
}

QTEST_MAIN(TestBrowseFolder)
#include "tst_browsefolder.moc"
