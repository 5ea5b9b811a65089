// The main window's library panes as the user sees them after a change of folder.
#include "LibraryWait.h"
#include "TestFiles.h"
#include "WindowHelpers.h"
#include "library/LibraryEngine.h"
#include "library/LibraryPanes.h"

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

class TestLibraryPanes : public QObject
{
    Q_OBJECT
private slots:
    // An empty folder shows nothing of the program previewed before it.
    void emptyFolderClearsThePreview()
    {
        QTemporaryDir full, empty;
        fixture(full, QStringLiteral("O1.nc"), "%\nO1(SHAFT)\nM30\n%\n");
        LibraryEngine engine;
        QWidget host;
        PreviewPanes panes(&engine, &host);
        engine.startListing(full.path(), QStringLiteral("*.nc"));
        waitIdle(engine);
        QVERIFY(engine.StringGrid1Click(0));
        waitIdle(engine);
        QVERIFY(named<QPlainTextEdit>(&host, "SourceMemo")
                    ->toPlainText()
                    .contains(QStringLiteral("SHAFT")));
        engine.startListing(empty.path(), QStringLiteral("*.nc"));
        waitIdle(engine);
        QVERIFY(named<QPlainTextEdit>(&host, "SourceMemo")->toPlainText().isEmpty());
    }
};

QTEST_MAIN(TestLibraryPanes)
#include "tst_library_panes.moc"
