// Receive engine over a pseudo-terminal: the test plays the machine control.
#include "PtyPair.h"
#include "TestFiles.h"
#include "transfer/EiaToIso.h"
#include "transfer/PortSerialLine.h"
#include "transfer/ReceiveEngine.h"
#include "transfer/ReceiveFileList.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/ioctl.h>

namespace
{

// Bytes of an EIA program from the table, so the test states the codes a control sends.
QByteArray eia(std::initializer_list<int> codes)
{
    QByteArray out;
    for (int c : codes)
        out.append(char(c));
    return out;
}

// The receive side as a window holds it: a real port on the slave end.
struct Rig {
    explicit Rig(bool discardNull = false)
    {
        LineSettings s;
        s.portName = pty.slavePath();
        s.baudRate = 115200;
        s.discardNull = discardNull;
        line.setSettings(s);
        opened = line.open(&error);
        engine.setFileName(dir.filePath(QStringLiteral("O1234.nc")));
    }
    // Waits until the line has handed every sent byte to the engine.
    bool drain()
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 2000) {
            QTest::qWait(20);
            if (line.bytesWaiting() == 0 && inputQueued() == 0) {
                QTest::qWait(20);
                if (line.bytesWaiting() == 0)
                    return true;
            }
        }
        return false;
    }
    int inputQueued() const
    {
        int n = 0;
        ::ioctl(pty.masterFd(), TIOCOUTQ, &n);
        return n;
    }
    PtyPair pty;
    QTemporaryDir dir;
    PortSerialLine line;
    ReceiveEngine engine{&line};
    QString error;
    bool opened = false;
};

} // namespace

class TestReceiveEngine : public QObject
{
    Q_OBJECT
private slots:
    void receive_data();
    void receive();
    void eiaTurnsDiscardNullOff();
    void dc4BeforeDc2IsIgnored();
    void storeFailureKeepsProgram_data();
    void storeFailureKeepsProgram();
    void replacedProgramIsBackedUp_data();
    void replacedProgramIsBackedUp();
    void closesAboutOneTickAfterDc4();
    void dc2AfterStoreKeepsItOpen();
    void eiaTable();
    void fileListRule_data();
    void fileListRule();
    void fileListRowAndOffer();
    void fileTypes_data();
    void fileTypes();
};

void TestReceiveEngine::receive_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<bool>("isEia");

    QTest::newRow("iso, CR LF, blanks and tabs")
        << QByteArray("\x12%\r\nO1234 (SHAFT A)\r\nG00 X1.0\tY-2.5\r\nM30\r\n%\x14")
        << QByteArray("%\r\nO1234(SHAFTA)\r\nG00X1.0Y-2.5\r\nM30\r\n%\r\n") << qint64(30) << false;
    QTest::newRow("colon becomes O, trailing line end")
        << QByteArray("\x12%\n:1234\nM30\n%\n\x14") << QByteArray("%\r\nO1234\r\nM30\r\n%\r\n")
        << qint64(10) << false;
    QTest::newRow("consecutive line ends make one break")
        << QByteArray("\x12%\n\n\r\n\nG1\n\n\n\x14") << QByteArray("%\r\nG1\r\n") << qint64(3)
        << false;
    QTest::newRow("second DC2 mid-program keeps what came before")
        << QByteArray("\x12%\nG1 X1\x12G2\n%\x14") << QByteArray("%\r\nG1X1\r\nG2\r\n%\r\n")
        << qint64(8) << false;
    QTest::newRow("everything before DC2 is ignored, EIA percent too")
        << QByteArray("%\nO9999\n\x0b\x0b:junk\x12%\nG1\n%\x14") << QByteArray("%\r\nG1\r\n%\r\n")
        << qint64(4) << false;
    QTest::newRow("0xFF and control characters dropped; DEL and Latin-1 kept")
        << QByteArray("\x12G1(\xE9)\xFF\x7F\x01\x1b\x14") << QByteArray("G1(\xE9)\x7F\r\n")
        << qint64(6) << false;
    // % LF O1234 LF G01 X1.5 (blank, BS, TAB dropped) LF LF M30 LF %
    QTest::newRow("eia program from the table")
        << eia({0x12, 0x0B, 0x00, 0x46, 0x01, 0x02, 0x13, 0x04, 0x00, 0x67, 0x20, 0x01, 0x10, 0x37,
                0x01, 0x3B, 0x15, 0x2A, 0x3E, 0x00, 0x00, 0x54, 0x13, 0x20, 0x00, 0x0B, 0x14})
        << QByteArray("%\r\nO1234\r\nG01X1.5\r\nM30\r\n%\r\n") << qint64(17) << true;
    QTest::newRow("eia letters, signs and brackets")
        << eia({0x12, 0x0B, 0x00, 0x4A, 0x61, 0x62, 0x73, 0x64, 0x75, 0x76, 0x67,
                0x68, 0x79, 0x51, 0x52, 0x43, 0x54, 0x45, 0x46, 0x57, 0x58, 0x49,
                0x32, 0x23, 0x34, 0x25, 0x26, 0x37, 0x38, 0x29, 0x1A, 0x00, 0x70,
                0x40, 0x31, 0x0E, 0x6B, 0x07, 0x08, 0x19, 0x16, 0x15, 0x14})
        << QByteArray("%\r\n(ABCDEFGHIJKLMNOPQRSTUVWXYZ)\r\n+-/&.78965\r\n") << qint64(39) << true;
    QTest::newRow("eia code outside the table dropped, program kept")
        << eia({0x12, 0x0B, 0x00, 0x46, 0x01, 0x03, 0x41, 0x81, 0x3A, 0x02, 0x00, 0x0B, 0x14})
        << QByteArray("%\r\nO12\r\n%\r\n") << qint64(5) << true;
}

void TestReceiveEngine::receive()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, stored);
    QFETCH(qint64, count);
    QFETCH(bool, isEia);

    Rig rig;
    QVERIFY2(rig.opened, qPrintable(rig.error));
    QSignalSpy storedSpy(&rig.engine, &ReceiveEngine::programStored);
    QSignalSpy countSpy(&rig.engine, &ReceiveEngine::charCountChanged);
    QVERIFY(rig.pty.send(sent));
    QVERIFY(storedSpy.wait(3000));
    QCOMPARE(storedSpy.first().first().toString(), rig.engine.fileName());
    QCOMPARE(readFile(rig.engine.fileName()), stored);
    QCOMPARE(rig.engine.charCount(), count);
    QVERIFY(!countSpy.isEmpty());
    QCOMPARE(countSpy.last().first().toLongLong(), count);
    QCOMPARE(rig.engine.isEia(), isEia);
    QCOMPARE(rig.engine.status(), int(ReceiveEngine::Done));
}

void TestReceiveEngine::eiaTurnsDiscardNullOff()
{
    Rig rig(true);
    QVERIFY2(rig.opened, qPrintable(rig.error));
    QVERIFY(rig.line.settings().discardNull);
    QVERIFY(rig.pty.send(eia({0x12, 0x0B})));
    QTRY_VERIFY(rig.engine.isEia());
    QVERIFY(!rig.line.settings().discardNull);
    // NUL now reaches the engine and ends the lines.
    QSignalSpy storedSpy(&rig.engine, &ReceiveEngine::programStored);
    QVERIFY(rig.pty.send(eia({0x00, 0x54, 0x13, 0x20, 0x00, 0x0B, 0x14})));
    QVERIFY(storedSpy.wait(3000));
    QCOMPARE(readFile(rig.engine.fileName()), QByteArray("%\r\nM30\r\n%\r\n"));
}

void TestReceiveEngine::dc4BeforeDc2IsIgnored()
{
    Rig rig;
    QVERIFY2(rig.opened, qPrintable(rig.error));
    QSignalSpy storedSpy(&rig.engine, &ReceiveEngine::programStored);
    QSignalSpy failedSpy(&rig.engine, &ReceiveEngine::storeFailed);
    QVERIFY(rig.pty.send(QByteArray("\x14%\nG1\n\x14\x14")));
    QVERIFY(rig.drain());
    QCOMPARE(rig.engine.status(), int(ReceiveEngine::Waiting));
    QVERIFY(rig.engine.lines().isEmpty());
    QVERIFY(!QFile::exists(rig.engine.fileName()));
    QCOMPARE(storedSpy.count(), 0);
    QCOMPARE(failedSpy.count(), 0);

    // The engine still takes the real program afterwards.
    QVERIFY(rig.pty.send(QByteArray("\x12%\nG1\n%\x14")));
    QVERIFY(storedSpy.wait(3000));
    QCOMPARE(readFile(rig.engine.fileName()), QByteArray("%\r\nG1\r\n%\r\n"));
}

// A program received onto a stored one keeps the old one as a numbered backup; the same
// program again is not written and leaves no backup.
void TestReceiveEngine::replacedProgramIsBackedUp_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("identical");
    QTest::newRow("different") << QByteArray("%\r\nO77\r\nM02\r\n%\r\n") << false;
    QTest::newRow("one line longer") << QByteArray("%\r\nO77\r\nM30\r\n%\r\nX\r\n") << false;
    QTest::newRow("identical") << QByteArray("%\r\nO77\r\nM30\r\n%\r\n") << true;
}

void TestReceiveEngine::replacedProgramIsBackedUp()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, identical);
    Rig rig;
    QVERIFY2(rig.opened, qPrintable(rig.error));
    const QString target = rig.dir.filePath(QStringLiteral("O77.nc"));
    {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(stored);
    }
    rig.engine.setFileName(target);
    QSignalSpy storedSpy(&rig.engine, &ReceiveEngine::programStored);
    QVERIFY(rig.pty.send(QByteArray("\x12%\nO77\nM30\n%\x14")));
    QVERIFY(storedSpy.wait(3000));
    QFile now(target);
    QVERIFY(now.open(QIODevice::ReadOnly));
    QCOMPARE(now.readAll(), QByteArray("%\r\nO77\r\nM30\r\n%\r\n"));
    QCOMPARE(rig.engine.lastWasIdentical(), identical);
    const QString backup = rig.dir.filePath(QStringLiteral("backup/O77~1.nc"));
    QCOMPARE(rig.engine.lastBackup().isEmpty(), identical);
    QCOMPARE(QFile::exists(backup), !identical);
    if (!identical) {
        QFile old(backup);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), stored);
    }
}

void TestReceiveEngine::storeFailureKeepsProgram_data()
{
    QTest::addColumn<bool>("retryByCharacter");
    QTest::newRow("a later character retries") << true;
    QTest::newRow("the user retries") << false;
}

void TestReceiveEngine::storeFailureKeepsProgram()
{
    QFETCH(bool, retryByCharacter);
    Rig rig;
    QVERIFY2(rig.opened, qPrintable(rig.error));
    const QString folder = rig.dir.filePath(QStringLiteral("later"));
    const QString target = folder + QStringLiteral("/O77.nc");
    rig.engine.setFileName(target);
    QSignalSpy storedSpy(&rig.engine, &ReceiveEngine::programStored);
    QSignalSpy failedSpy(&rig.engine, &ReceiveEngine::storeFailed);

    QVERIFY(rig.pty.send(QByteArray("\x12%\nO77\nM30\n%\x14")));
    QVERIFY(failedSpy.wait(3000));
    QVERIFY2(failedSpy.first().first().toString().contains(QDir::toNativeSeparators(target)),
             qPrintable(failedSpy.first().first().toString()));
    QCOMPARE(rig.engine.status(), int(ReceiveEngine::Storing));
    QVERIFY(rig.engine.hasUnstoredProgram());
    QCOMPARE(rig.engine.lines(), QStringList({"%", "O77", "M30", "%"}));
    QCOMPARE(storedSpy.count(), 0);
    QVERIFY(!rig.engine.retryStore());
    QCOMPARE(rig.engine.status(), int(ReceiveEngine::Storing));

    QVERIFY(QDir().mkpath(folder));
    if (retryByCharacter) {
        QVERIFY(rig.pty.send(QByteArray("\n")));
        QVERIFY(storedSpy.wait(3000));
    } else {
        QVERIFY(rig.engine.retryStore());
        QCOMPARE(storedSpy.count(), 1);
    }
    QCOMPARE(readFile(target), QByteArray("%\r\nO77\r\nM30\r\n%\r\n"));
    QCOMPARE(rig.engine.status(), int(ReceiveEngine::Done));
}

void TestReceiveEngine::closesAboutOneTickAfterDc4()
{
    Rig rig;
    QVERIFY2(rig.opened, qPrintable(rig.error));
    QSignalSpy storedSpy(&rig.engine, &ReceiveEngine::programStored);
    QSignalSpy finishedSpy(&rig.engine, &ReceiveEngine::finished);
    QVERIFY(rig.pty.send(QByteArray("\x12%\nM30\n%\x14")));
    QVERIFY(storedSpy.wait(3000));
    QElapsedTimer t;
    t.start();
    QVERIFY(finishedSpy.wait(2000));
    QVERIFY2(t.elapsed() >= ReceiveEngine::CloseDelayMs - 20,
             qPrintable(QString::number(t.elapsed())));
    QVERIFY2(t.elapsed() < ReceiveEngine::CloseDelayMs + 400,
             qPrintable(QString::number(t.elapsed())));
}

void TestReceiveEngine::dc2AfterStoreKeepsItOpen()
{
    Rig rig;
    QVERIFY2(rig.opened, qPrintable(rig.error));
    rig.engine.setCloseDelay(300);
    QSignalSpy storedSpy(&rig.engine, &ReceiveEngine::programStored);
    QSignalSpy finishedSpy(&rig.engine, &ReceiveEngine::finished);
    QVERIFY(rig.pty.send(QByteArray("\x12%\nG1\n%\x14")));
    QVERIFY(storedSpy.wait(3000));
    QVERIFY(rig.pty.send(QByteArray("\x12G2\n")));
    QVERIFY(!finishedSpy.wait(600));
    QCOMPARE(rig.engine.status(), int(ReceiveEngine::Receiving));
    QVERIFY(rig.pty.send(QByteArray("%\x14")));
    QVERIFY(storedSpy.wait(3000));
    QCOMPARE(readFile(rig.engine.fileName()), QByteArray("%\r\nG1\r\n%\r\nG2\r\n%\r\n"));
    QVERIFY(finishedSpy.wait(2000));
}

void TestReceiveEngine::eiaTable()
{
    int defined = 0;
    for (int code = 0; code < 256; ++code) {
        const int iso = EiaToIso(code);
        if (iso < 0)
            continue;
        ++defined;
        QVERIFY2(iso != ':', qPrintable(QString::number(code, 16)));
    }
    QCOMPARE(defined, 49);
    QCOMPARE(EiaToIso(0x3B), int('.'));
    QCOMPARE(EiaToIso(0x6B), int('.'));
    QCOMPARE(EiaToIso(0x1A), int(')'));
    QCOMPARE(EiaToIso(0x4A), int('('));
    QCOMPARE(EiaToIso(0x03), -1);
    QCOMPARE(EiaToIso(-1), -1);
    QCOMPARE(EiaToIso(0x100), -1);
}

void TestReceiveEngine::fileListRule_data()
{
    QTest::addColumn<QString>("selectSub");
    QTest::addColumn<QString>("selectExt");
    QTest::addColumn<QString>("portExt");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("add");

    QTest::newRow("shown folder, same filter") << ""
                                               << "*.nc"
                                               << "*.nc" << false << true << true;
    QTest::newRow("shown folder with trailing separator") << "/"
                                                          << "*.nc"
                                                          << "*.nc" << false << true << true;
    QTest::newRow("other folder") << "/other"
                                  << "*.nc"
                                  << "*.nc" << false << true << false;
    QTest::newRow("other filter") << ""
                                  << "*.*"
                                  << "*.nc" << false << true << false;
    QTest::newRow("filter differs in case") << ""
                                            << "*.NC"
                                            << "*.nc" << false << true << false;
    QTest::newRow("name already listed") << ""
                                         << "*.nc"
                                         << "*.nc" << true << true << false;
    QTest::newRow("file not on disk") << ""
                                      << "*.nc"
                                      << "*.nc" << false << false << false;
}

void TestReceiveEngine::fileListRule()
{
    QFETCH(QString, selectSub);
    QFETCH(QString, selectExt);
    QFETCH(QString, portExt);
    QFETCH(bool, listed);
    QFETCH(bool, exists);
    QFETCH(bool, add);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O1.nc"));
    if (exists)
        QVERIFY(writeFile(path, "%\r\n"));
    QCOMPARE(ReceiveFileList::shouldAdd(path, dir.path() + selectSub, selectExt, portExt, listed),
             add);
}

void TestReceiveEngine::fileListRowAndOffer()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O1.nc"));
    QVERIFY(writeFile(path, "%\r\nO1(A B)\r\n%\r\n"));
    const QFileInfo info(path);

    QStringList row = ReceiveFileList::row(path, QStringLiteral("A B"));
    QCOMPARE(row, QStringList(
                      {"O1.nc", info.lastModified().toString("yyyy-MM-dd HH:mm:ss"), "15", "A B"}));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("O1.jpg")), "x"));
    row = ReceiveFileList::row(path, QString());
    QCOMPARE(row.size(), 5);
    QCOMPARE(row.last(), QStringLiteral("Y"));

    QStringList added;
    QStringList asked;
    ReceiveFileList::Hooks hooks;
    hooks.isListed = [&](const QString &name) {
        asked << name;
        return name == QLatin1String("O2.nc");
    };
    hooks.noteOf = [](const QString &) { return QStringLiteral("A B"); };
    hooks.addFileData = [&](const QString &r) { added << r; };
    QVERIFY(ReceiveFileList::offer(hooks, path, dir.path(), "*.nc", "*.nc"));
    QCOMPARE(asked, QStringList({"O1.nc"}));
    QCOMPARE(added.size(), 1);
    QVERIFY2(added.first().startsWith(QStringLiteral("O1.nc,\"")), qPrintable(added.first()));
    QVERIFY2(added.first().endsWith(QStringLiteral(",15,\"A B\",Y")), qPrintable(added.first()));

    const QString second = dir.filePath(QStringLiteral("O2.nc"));
    QVERIFY(writeFile(second, "%\r\n"));
    QVERIFY(!ReceiveFileList::offer(hooks, second, dir.path(), "*.nc", "*.nc"));
    QCOMPARE(added.size(), 1);
}

void TestReceiveEngine::fileTypes_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("typeList");
    QTest::newRow("default extension list")
        << QStringList({"*.nc", "*.cnc", "*.txt", "*.dat", "*.tap", "*.*"})
        << ".nc|*.nc|.cnc|*.cnc|.txt|*.txt|.dat|*.dat|.tap|*.tap|*.*|*.*";
    QTest::newRow("one item describes itself without its first character")
        << QStringList({"*.nc"}) << ".nc|*.nc";
    QTest::newRow("two items") << QStringList({"*.nc", "*.*"}) << ".nc|*.nc|*.*|*.*";
    QTest::newRow("none") << QStringList() << "";
}

void TestReceiveEngine::fileTypes()
{
    QFETCH(QStringList, items);
    QFETCH(QString, typeList);
    QStringList parts;
    for (const auto &type : ReceiveFileList::fileTypes(items))
        parts << type.first << type.second;
    QCOMPARE(parts.join(QLatin1Char('|')), typeList);
}

QTEST_GUILESS_MAIN(TestReceiveEngine)
#include "tst_receive_engine.moc"
