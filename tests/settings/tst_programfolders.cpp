// Where settings, notes, logs and language packs live: beside a program whose folder can be
// written, in the user's folders for an installed one.
#include "settings/ProgramFolders.h"
#include "settings/UnitFunction.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

class TestProgramFolders : public QObject
{
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void buildFolderIsPortable();
};

void TestProgramFolders::choice_data()
{
    QTest::addColumn<QStringList>("folders"); // made under a scratch root
    QTest::addColumn<QString>("program");     // the executable's folder
    QTest::addColumn<bool>("readOnly");       // program folder without write permission
    QTest::addColumn<bool>("portable");
    QTest::addColumn<QString>("languages"); // where the packs are looked for

    QTest::newRow("writable folder with its packs")
        << QStringList{"app/language"} << "app" << false << true << "app/language/";
    QTest::newRow("read-only folder with its packs")
        << QStringList{"app/language"} << "app" << true << false << "app/language/";
    QTest::newRow("installed, folder writable (root)")
        << QStringList{"usr/bin", "usr/share/ncferry/language"} << "usr/bin" << false << false
        << "usr/share/ncferry/language/";
    QTest::newRow("installed, read-only")
        << QStringList{"usr/bin", "usr/share/ncferry/language"} << "usr/bin" << true << false
        << "usr/share/ncferry/language/";
    QTest::newRow("user's own packs before the installed ones")
        << QStringList{"usr/bin", "usr/share/ncferry/language", "config/language"} << "usr/bin"
        << false << false << "config/language/";
    // A lone copied program keeps the old layout; the missing packs are reported as before.
    QTest::newRow("writable folder without packs")
        << QStringList{"app"} << "app" << false << true << "app/language/";
}

void TestProgramFolders::choice()
{
    QFETCH(QStringList, folders);
    QFETCH(QString, program);
    QFETCH(bool, readOnly);
    QFETCH(bool, portable);
    QFETCH(QString, languages);

    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString root = scratch.path() + u'/';
    for (const QString &folder : folders)
        QVERIFY(QDir().mkpath(root + folder));
    const QString programFolder = root + program + u'/';
    const QFile::Permissions before = QFile::permissions(programFolder);
    if (readOnly)
        QVERIFY(QFile::setPermissions(programFolder, QFile::ReadOwner | QFile::ExeOwner |
                                                         QFile::ReadGroup | QFile::ExeGroup |
                                                         QFile::ReadOther | QFile::ExeOther));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(programFolder, before); });

    const ProgramFolders chosen =
        ChooseProgramFolders(programFolder, root + "config", root + "data");
    QCOMPARE(chosen.program, programFolder);
    QCOMPARE(chosen.portable, portable);
    QCOMPARE(chosen.settings, portable ? programFolder : root + "config/");
    QCOMPARE(chosen.data, portable ? programFolder : root + "data/");
    QCOMPARE(LanguageFolder(chosen.settings, chosen), root + languages);
}

// The tests and `make run` use the build folder as a portable copy: nothing they write may
// land in the user's folders.
void TestProgramFolders::buildFolderIsPortable()
{
    const ProgramFolders running = GetProgramFolders();
    QVERIFY(running.portable);
    QCOMPARE(running.settings, GetExePath());
    QCOMPARE(running.data, GetExePath());
    QCOMPARE(LanguageFolder(running.settings), GetExePath() + "language/");
}

QTEST_GUILESS_MAIN(TestProgramFolders)
#include "tst_programfolders.moc"
