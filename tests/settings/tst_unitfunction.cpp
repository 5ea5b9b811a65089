// Shared routines: comment titles, flag unpacking, folder deletion, program folder and version.
#include "TestFiles.h"
#include "settings/UnitFunction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

class TestUnitFunction : public QObject
{
    Q_OBJECT
private slots:
    void commentTitle_data();
    void commentTitle();
    void commentTitleOfMissingFile();
    void intToFlags_data();
    void intToFlags();
    void deleteDirectoryRemovesEverything();
    void deleteDirectoryKeepsLinkedFolders();
    void deleteDirectoryOnLinkRemovesOnlyLink();
    void deleteDirectoryOnMissingPath();
    void exePathAndVersion();
};

void TestUnitFunction::commentTitle_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("title");
    QTest::newRow("program line") << QByteArray("%\r\nO1234(SHAFT A)\r\nG90\r\n")
                                  << QStringLiteral("SHAFT A");
    QTest::newRow("text after the comment")
        << QByteArray("O1234 (ROUGH) G90\n") << QStringLiteral("ROUGH");
    QTest::newRow("blanks around") << QByteArray("  (X)  \n") << QStringLiteral("X");
    QTest::newRow("empty comment") << QByteArray("()\n(LATER)\n") << QString();
    QTest::newRow("no parentheses") << QByteArray("%\nO1\nM30\n%\n") << QString();
    QTest::newRow("close before open stops the search")
        << QByteArray("A)B(C\nO1(GOOD)\n") << QString();
    QTest::newRow("nested") << QByteArray("(A(B)C)\n") << QStringLiteral("A(B");
    QTest::newRow("open only lines skipped")
        << QByteArray("(OPEN\nO2(SECOND)\n") << QStringLiteral("SECOND");
    QTest::newRow("no final line end") << QByteArray("%\nO3(LAST)") << QStringLiteral("LAST");
    QTest::newRow("CR line ends") << QByteArray("%\rO4(CR ONLY)\r") << QStringLiteral("CR ONLY");
    QTest::newRow("UTF-8 with BOM")
        << QByteArray("\xEF\xBB\xBF(軸 A)\r\n") << QStringLiteral("軸 A");
    QTest::newRow("UTF-8 without BOM") << QByteArray("O5(車床)\n") << QStringLiteral("車床");
    QTest::newRow("machine bytes, not UTF-8")
        << QByteArray("O6(45\xB0 CHAMFER)\n") << QStringLiteral("45° CHAMFER");
    QStringEncoder le(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    QTest::newRow("UTF-16") << QByteArray(le.encode(QStringLiteral("%\r\nO7(寬 B)\r\n")))
                            << QStringLiteral("寬 B");
    QByteArray big(200000, 'X');
    big.replace(70000, 1, "\n");
    QTest::newRow("comment after a long line") << big + "\nO8(FAR)\n" << QStringLiteral("FAR");
}

void TestUnitFunction::commentTitle()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, title);
    QTemporaryDir dir;
    const QString path = dir.path() + "/O1234.nc";
    QVERIFY(writeFile(path, content));
    QString error;
    QCOMPARE(GetCommentTitle(path, &error), title);
    QVERIFY(error.isEmpty());
}

void TestUnitFunction::commentTitleOfMissingFile()
{
    QTemporaryDir dir;
    QString error;
    QCOMPARE(GetCommentTitle(dir.path() + "/none.nc", &error), QString());
    QVERIFY(error.contains("none.nc"));
}

void TestUnitFunction::intToFlags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("converted");
    QTest::addColumn<QList<bool>>("flags");
    QTest::newRow("5 in 8") << "5" << 8 << true
                            << QList<bool>{true, false, true, false, false, false, false, false};
    QTest::newRow("255 in 5") << "255" << 5 << true << QList<bool>(5, true);
    QTest::newRow("240 in 8") << "240" << 8 << true
                              << QList<bool>{false, false, false, false, true, true, true, true};
    QTest::newRow("0") << "0" << 3 << true << QList<bool>(3, false);
    QTest::newRow("bits beyond ignored") << "32" << 5 << true << QList<bool>(5, false);
    QTest::newRow("not a number keeps flags") << "abc" << 3 << false << QList<bool>(3, true);
    QTest::newRow("empty keeps flags") << "" << 2 << false << QList<bool>(2, true);
}

void TestUnitFunction::intToFlags()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(bool, converted);
    QFETCH(QList<bool>, flags);
    QList<bool> actual(count, true);
    QCOMPARE(IntToFlags(text, actual), converted);
    QCOMPARE(actual, flags);
}

void TestUnitFunction::deleteDirectoryRemovesEverything()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/Parts";
    QVERIFY(QDir().mkpath(root + "/a/b/c"));
    QVERIFY(QDir().mkpath(root + "/.hidden/inner"));
    QVERIFY(QDir().mkpath(root + "/locked"));
    QVERIFY(writeFile(root + "/O1.nc", "%\n"));
    QVERIFY(writeFile(root + "/readonly.nc", "%\n"));
    QVERIFY(writeFile(root + "/.hiddenfile", "x"));
    QVERIFY(writeFile(root + "/a/b/c/deep.nc", "x"));
    QVERIFY(writeFile(root + "/.hidden/inner/h.nc", "x"));
    QVERIFY(writeFile(root + "/locked/in.nc", "x"));
    QVERIFY(QFile::setPermissions(root + "/readonly.nc", QFile::ReadOwner | QFile::ReadUser));
    QVERIFY(QFile::setPermissions(root + "/locked/in.nc", QFile::ReadOwner));
    QVERIFY(QFile::setPermissions(root + "/locked", QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(QFile::link(root + "/nowhere", root + "/broken"));
    QVERIFY(QFile::exists(root + "/locked/in.nc"));

    DeleteDirectory(root);
    QVERIFY(!QFileInfo::exists(root));
    QVERIFY(QDir(dir.path())
                .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
}

void TestUnitFunction::deleteDirectoryKeepsLinkedFolders()
{
    QTemporaryDir dir;
    const QString outside = dir.path() + "/outside";
    const QString root = dir.path() + "/Parts";
    QVERIFY(QDir().mkpath(outside + "/sub"));
    QVERIFY(writeFile(outside + "/keep.nc", "KEEP"));
    QVERIFY(writeFile(outside + "/sub/keep2.nc", "KEEP2"));
    QVERIFY(QDir().mkpath(root + "/nested"));
    QVERIFY(QFile::link(outside, root + "/link"));
    QVERIFY(QFile::link(outside, root + "/nested/link2"));
    QVERIFY(QFile::link(outside + "/keep.nc", root + "/filelink.nc"));
    QVERIFY(QFileInfo(root + "/link").isDir());

    DeleteDirectory(root);
    QVERIFY(!QFileInfo::exists(root));
    QCOMPARE(readFile(outside + "/keep.nc"), QByteArray("KEEP"));
    QCOMPARE(readFile(outside + "/sub/keep2.nc"), QByteArray("KEEP2"));
}

void TestUnitFunction::deleteDirectoryOnLinkRemovesOnlyLink()
{
    QTemporaryDir dir;
    const QString outside = dir.path() + "/outside";
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(writeFile(outside + "/keep.nc", "KEEP"));
    QVERIFY(QFile::link(outside, dir.path() + "/link"));
    QVERIFY(QFile::link(outside, dir.path() + "/link2"));
    DeleteDirectory(dir.path() + "/link");
    DeleteDirectory(dir.path() + "/link2/");
    QVERIFY(!QFileInfo(dir.path() + "/link").isSymLink());
    QVERIFY(!QFileInfo(dir.path() + "/link2").isSymLink());
    QCOMPARE(readFile(outside + "/keep.nc"), QByteArray("KEEP"));
}

void TestUnitFunction::deleteDirectoryOnMissingPath()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.path() + "/file.nc", "x"));
    DeleteDirectory(dir.path() + "/missing");
    DeleteDirectory(dir.path() + "/file.nc"); // a file is not a folder: left alone
    QCOMPARE(readFile(dir.path() + "/file.nc"), QByteArray("x"));
}

void TestUnitFunction::exePathAndVersion()
{
    QCOMPARE(GetExePath(), QCoreApplication::applicationDirPath() + "/");
    const QString version = GetFileVersion(QCoreApplication::applicationFilePath());
    QCOMPARE(version, QString::fromLatin1(NCFERRY_VERSION).section(u'.', 0, 1));
    QCOMPARE(version.count(u'.'), 1);
    QCOMPARE(GetFileVersion(QCoreApplication::applicationDirPath() + "/no-such-program"),
             QString());
}

QTEST_GUILESS_MAIN(TestUnitFunction)
#include "tst_unitfunction.moc"
