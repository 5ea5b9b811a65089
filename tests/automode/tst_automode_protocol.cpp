// Auto-mode request protocol: received programs in, send-list entries, log events and stored
// files out. Every file lands in a temporary folder.
#include "TestFiles.h"
#include "automode/RequestProtocol.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace AutoMode;

namespace
{

GeneralValues valuesWithFlags(int flags)
{
    GeneralValues v;
    v.overwrite = flags & 16;
    v.nameFromComment = flags & 32;
    v.readErrorReply = flags & 64;
    v.saveOkReply = flags & 128;
    return v;
}

} // namespace

class TestAutoModeProtocol : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void codeLines_data();
    void codeLines();
    void nameFromProgramLine_data();
    void nameFromProgramLine();
    void handleProgram_data();
    void handleProgram();
    void storingWithoutOverwrite();
    void holdForReview_data();
    void holdForReview();
    void valuesReadAtEachHandling();
    void valuesFromOptionFile();
    void replyProgram();
    void programFileAndBuffers();
    void logLine();

private:
    // Placeholders of the tables: {W} work folder, {NC} path list entry 1, {SP} entry 2.
    QString expand(QString text) const;
    QStringList port(const QString &type) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work, m_nc, m_spaced;
    GeneralValues m_values;
};

void TestAutoModeProtocol::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_work = m_dir->filePath(QStringLiteral("work"));
    m_nc = m_dir->filePath(QStringLiteral("NC"));
    m_spaced = m_dir->filePath(QStringLiteral("My NC, 2"));
    QVERIFY(QDir().mkpath(m_nc + QStringLiteral("/LATHE/O4444.nc"))); // a folder, not a file
    QVERIFY(QDir().mkpath(m_spaced));
    QVERIFY(QDir().mkpath(m_work));
    fixture(*m_dir, QStringLiteral("NC/LATHE/O1234.nc"), "%\r\nO1234\r\nM30\r\n%\r\n");
    fixture(*m_dir, QStringLiteral("My NC, 2/O0012.nc"), "%\r\nO0012\r\n%\r\n");
    m_values = GeneralValues();
    m_values.pathList = {m_nc, m_spaced};
    m_values.folderList = {QStringLiteral("MILL"), QStringLiteral("LATHE")};
}

QString TestAutoModeProtocol::expand(QString text) const
{
    text.replace(QStringLiteral("{W}"), m_work);
    text.replace(QStringLiteral("{NC}"), m_nc);
    text.replace(QStringLiteral("{SP}"), m_spaced);
    return text;
}

QStringList TestAutoModeProtocol::port(const QString &type) const
{
    return {"LATHE1", "ttyS0", "9600", "None", "8", "1", "None", m_work, "*.nc", type};
}

void TestAutoModeProtocol::codeLines_data()
{
    QTest::addColumn<char>("rule"); // p path, f folder, n name
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    const QString kept = QStringLiteral("<current>");
    // clang-format off
    QTest::newRow("(P2)") << 'p' << "(P2)" << "{SP}";
    QTest::newRow("P2 bare") << 'p' << "P2" << "{SP}";
    QTest::newRow("(P0) work folder") << 'p' << "(P0)" << "{W}";
    QTest::newRow("(P=...) literal mapped")
        << 'p' << "(P=D#/CNC/)" << QDir::toNativeSeparators(QStringLiteral("D:/CNC/"));
    QTest::newRow("(PART NO. 5) no number") << 'p' << "(PART NO. 5)" << kept;
    QTest::newRow("(P3) outside the list") << 'p' << "(P3)" << kept;
    QTest::newRow("(P-1) negative") << 'p' << "(P-1)" << kept;
    QTest::newRow("(P2 ) trailing blank") << 'p' << "(P2 )" << kept;
    QTest::newRow("(P=) without ) is empty") << 'p' << "(P=D#/CNC" << "";
    QTest::newRow("(F2)") << 'f' << "(F2)" << "LATHE";
    QTest::newRow("F2 feed line") << 'f' << "F2" << "LATHE";
    QTest::newRow("F200. no number") << 'f' << "F200." << kept;
    QTest::newRow("(F0) no sub-folder") << 'f' << "(F0)" << "";
    QTest::newRow("(F=A/B) as written") << 'f' << "(F=A/B)" << "A/B";
    QTest::newRow("(N1234)") << 'n' << "(N1234)" << "O1234";
    QTest::newRow("N1234 bare") << 'n' << "N1234" << "O1234";
    QTest::newRow("(N0012) leading zeros") << 'n' << "(N0012)" << "O0012";
    QTest::newRow("(N=...) literal") << 'n' << "(N=PART 7)" << "PART 7";
    QTest::newRow("(N=...) never climbs out") << 'n' << "(N=../../etc/passwd)" << ".._.._etc_passwd";
    QTest::newRow("(N=..) names nothing") << 'n' << "(N=..)" << "";
    QTest::newRow("(N=...) forbidden characters") << 'n' << "(N=A\\B*C?\"<>|)" << "A_B_C_____";
    // clang-format on
}

void TestAutoModeProtocol::codeLines()
{
    QFETCH(char, rule);
    QFETCH(QString, line);
    QFETCH(QString, expected);
    const QString current = QStringLiteral("<current>");
    const QStringList p = port(QStringLiteral("None"));
    const QString code = rule == 'p'   ? m_values.pathCode
                         : rule == 'f' ? m_values.folderCode
                                       : m_values.nameCode;
    QVERIFY(RequestProtocol::isCodeLine(code, line));
    const QString got =
        rule == 'p'
            ? RequestProtocol::ResolvePath(m_values, PortProfile::fromFields(p), current, line)
        : rule == 'f' ? RequestProtocol::ResolveFolder(m_values, current, line)
                      : RequestProtocol::ResolveName(m_values, line);
    QCOMPARE(got, expand(expected));
}

void TestAutoModeProtocol::nameFromProgramLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("fromComment");
    QTest::addColumn<QString>("name");
    QTest::newRow("number, on") << "O1234" << true << "O1234";
    QTest::newRow("number, off") << "O1234" << false << "O1234";
    QTest::newRow("comment, on") << "O1234(FLANGE)" << true << "FLANGE";
    QTest::newRow("comment, off") << "O1234(FLANGE)" << false << "O1234";
    QTest::newRow("blank, on") << "O1234 (FLANGE)" << true << "FLANGE";
    QTest::newRow("blank, off keeps it") << "O1234 (FLANGE)" << false << "O1234 ";
    QTest::newRow("slash in comment") << "O1234(SHAFT/2)" << true << "SHAFT_2";
    QTest::newRow("climbing comment") << "O1234(../../SHAFT)" << true << ".._.._SHAFT";
    QTest::newRow("comment ..") << "O1234(..)" << true << "O1234";
    QTest::newRow("comment .") << "O1234 (.)" << true << "O1234";
    QTest::newRow("empty comment") << "O1234()" << true << "O1234";
    QTest::newRow("no closing )") << "O1234(FLANGE" << true << "O1234";
    QTest::newRow("forbidden characters")
        << "O1(A:B*C?D\"E<F>G|H\\I\tJ)" << true << "A_B_C_D_E_F_G_H_I_J";
    QTest::newRow("slash alone") << "(/)" << true << "_";
    QTest::newRow("nothing usable") << "(..)" << true << UnnamedProgram;
    QTest::newRow("nothing before (") << "(SHAFT)" << false << UnnamedProgram;
    QTest::newRow("long comment cut")
        << "O1(" + QString(300, u'A') + ")" << true << QString(MaxStoredName, u'A');
}

void TestAutoModeProtocol::nameFromProgramLine()
{
    QFETCH(QString, line);
    QFETCH(bool, fromComment);
    QFETCH(QString, name);
    m_values.nameFromComment = fromComment;
    QCOMPARE(RequestProtocol::NameFromProgramLine(m_values, line), name);
}

void TestAutoModeProtocol::handleProgram_data()
{
    // Lists are written with "|" between items; paths may hold blanks and commas.
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("entries"); // written forms
    QTest::addColumn<QString>("log");     // status kind path
    QTest::addColumn<QString>("stored");  // the file that holds the program

    // clang-format off
    const QString request = QStringLiteral("%|O9999|(P1)|(F2)|(N1234)|(N5678)|M30|%");
    QTest::newRow("example request, radio device 2") << "Wireless" << 0x04 << 240 << request
        << "MARK,04|SEND,04,{NC}/LATHE/O1234.nc,READ|ERROR,04,{NC}/LATHE/O5678.nc,READ,9997|MARK,FF"
        << "SUCCESS READ {NC}/LATHE/O1234.nc|ERROR READ {NC}/LATHE/O5678.nc" << "";
    QTest::newRow("example return, radio device 2")
        << "Wireless" << 0x04 << 240 << "%|O2000(SHAFT)|(P1)|G0X0|M30|%"
        << "MARK,04|SUCCESS,04,{NC}/SHAFT.nc,SAVE,9997|MARK,FF" << "SUCCESS SAVE {NC}/SHAFT.nc"
        << "{NC}/SHAFT.nc";
    QTest::newRow("cable request: no MARK") << "None" << 0 << 240 << "%|O9999|(P1)|(F2)|N1234|%"
        << "SEND,00,{NC}/LATHE/O1234.nc,READ" << "SUCCESS READ {NC}/LATHE/O1234.nc" << "";
    QTest::newRow("read-error reply off") << "None" << 0 << 176 << request
        << "SEND,00,{NC}/LATHE/O1234.nc,READ" << "SUCCESS READ {NC}/LATHE/O1234.nc" << "";
    QTest::newRow("a folder is no requested file") << "None" << 0 << 240 << "%|O9999|(P1)|(F2)|(N4444)|%"
        << "ERROR,00,{NC}/LATHE/O4444.nc,READ,9997" << "ERROR READ {NC}/LATHE/O4444.nc" << "";
    QTest::newRow("request naming nothing, radio")
        << "Wireless" << 0x80 << 240 << "%|O9999|(P1)|%" << "MARK,80|MARK,FF" << "" << "";
    QTest::newRow("folders act on later name lines only")
        << "None" << 0 << 240 << "%|O9999|(N7)|(P0)|(F=A/B)|(N8)|%"
        << "ERROR,00,{W}/O7.nc,READ,9997|ERROR,00,{W}/A/B/O8.nc,READ,9997"
        << "ERROR READ {W}/O7.nc|ERROR READ {W}/A/B/O8.nc" << "";
    QTest::newRow("(PART NO. 5), (F0), a path with blank and comma")
        << "None" << 0 << 240 << "%|O9999|(P2)|(F1)|(PART NO. 5)|(F0)|(N0012)|%"
        << "SEND,00,{SP}/O0012.nc,READ" << "SUCCESS READ {SP}/O0012.nc" << "";
    QTest::newRow("return: F2 selects, F200. does not")
        << "None" << 0 << 240 << "%|O3000|F2|G1F200.|F200.|M30|%"
        << "SUCCESS,00,{W}/LATHE/O3000.nc,SAVE,9997" << "SUCCESS SAVE {W}/LATHE/O3000.nc"
        << "{W}/LATHE/O3000.nc";
    QTest::newRow("return named from a comment with / and ..")
        << "None" << 0 << 240 << "%|O3000(../../EVIL/X)|M30|%"
        << "SUCCESS,00,{W}/.._.._EVIL_X.nc,SAVE,9997" << "SUCCESS SAVE {W}/.._.._EVIL_X.nc"
        << "{W}/.._.._EVIL_X.nc";
    QTest::newRow("return named .. falls back to its number")
        << "None" << 0 << 240 << "%|O3000(..)|M30|%" << "SUCCESS,00,{W}/O3000.nc,SAVE,9997"
        << "SUCCESS SAVE {W}/O3000.nc" << "{W}/O3000.nc";
    QTest::newRow("return, saved reply off, name from number")
        << "None" << 0 << 80 << "%|O3000(SHAFT)|M30|%" << "" << "SUCCESS SAVE {W}/O3000.nc"
        << "{W}/O3000.nc";
    QTest::newRow("no % line: classified by line 1")
        << "None" << 0 << 240 << "O9999|G1X0|M30" << "SUCCESS,00,{W}/G1X0.nc,SAVE,9997"
        << "SUCCESS SAVE {W}/G1X0.nc" << "{W}/G1X0.nc";
    QTest::newRow("return that cannot be stored: ERROR, no reply, MARK FF kept")
        << "Wireless" << 0x01 << 240 << "%|O3000|(F=O1234.nc)|%" << "MARK,01|MARK,FF"
        << "ERROR SAVE {W}/O1234.nc/O3000.nc" << "";
    QTest::newRow("one line: ignored") << "Wireless" << 0x01 << 240 << "%" << "" << "" << "";
    QTest::newRow("nothing: ignored") << "None" << 0 << 240 << "" << "" << "" << "";
    // clang-format on
}

void TestAutoModeProtocol::handleProgram()
{
    QFETCH(QString, type);
    QFETCH(int, device);
    QFETCH(int, flags);
    QFETCH(QString, lines);
    QFETCH(QString, entries);
    QFETCH(QString, log);
    QFETCH(QString, stored);
    GeneralValues values = valuesWithFlags(flags);
    values.pathList = m_values.pathList;
    values.folderList = m_values.folderList;
    // A plain file where the return program wants a folder makes its store fail.
    fixture(*m_dir, QStringLiteral("work/O1234.nc"), "blocker");

    // Handed over as the link collects it: CR LF after every line.
    const QStringList received = lines.isEmpty() ? QStringList() : lines.split(u'|');
    QString buffer;
    for (const QString &l : received)
        buffer += l + QStringLiteral("\r\n");
    RequestProtocol protocol(PortProfile::fromFields(port(type)), [&] { return values; });
    const Handling h = protocol.HandleBuffer(device, buffer.toLatin1());

    QStringList gotEntries, gotLog, logPaths;
    for (const SendListEntry &e : h.entries)
        gotEntries << e.text();
    for (const LogEvent &e : h.log) {
        QCOMPARE(e.device, DeviceCode(device));
        gotLog << e.status + u' ' + e.kind + u' ' + e.path;
        logPaths << e.path;
    }
    QCOMPARE(gotEntries.join(u'|'), expand(entries));
    QCOMPARE(gotLog.join(u'|'), expand(log));
    QCOMPARE(h.kind == Handling::Ignored, received.size() < 2);
    // The written form cannot show that a path with blanks and commas is one field; the
    // record must.
    for (const SendListEntry &e : h.entries) {
        if (e.verb != SendListEntry::Mark)
            QVERIFY2(logPaths.contains(e.path), qPrintable(e.path));
    }
    QCOMPARE(h.storedPath, expand(stored));
    QCOMPARE(h.storeError.isEmpty(), !log.startsWith(QStringLiteral("ERROR SAVE")));
    if (!stored.isEmpty())
        QCOMPARE(readFile(h.storedPath), buffer.toLatin1());
}

void TestAutoModeProtocol::storingWithoutOverwrite()
{
    const QStringList lines{"%", "O1234(FLANGE)", "G1X1", "M30", "%"};
    for (const int flags : {128, 128 | 16}) { // overwrite off, then on
        QTemporaryDir dir;
        QStringList p = port(QStringLiteral("None"));
        p[7] = dir.path();
        GeneralValues values = valuesWithFlags(flags);
        RequestProtocol protocol(PortProfile::fromFields(p), [&] { return values; });
        QStringList stored;
        for (int i = 0; i < 3; ++i) {
            QStringList sent = lines;
            sent[2] = QStringLiteral("G1X%1").arg(i);
            const Handling h = protocol.HandleProgram(0, sent, false);
            stored << QFileInfo(h.storedPath).fileName();
            QCOMPARE(h.entries.value(0).path, h.storedPath);
            QCOMPARE(readFile(h.storedPath), sent.join(QStringLiteral("\r\n")).toLatin1());
        }
        if (flags & 16)
            QCOMPARE(stored, QStringList({"O1234.nc", "O1234.nc", "O1234.nc"}));
        else
            QCOMPARE(stored, QStringList({"O1234.nc", "O1234-1.nc", "O1234-2.nc"}));
    }
    QCOMPARE(RequestProtocol::UniqueFileName(m_nc + QStringLiteral("/LATHE/O1234.nc")),
             m_nc + QStringLiteral("/LATHE/O1234-1.nc"));
}

// Held, the machine hears "stored" and the stored program stays; a review folder that cannot
// be written makes a failed transfer, never a silent replace.
void TestAutoModeProtocol::holdForReview_data()
{
    QTest::addColumn<QByteArray>("stored"); // work/O1234.nc before; empty: none
    QTest::addColumn<bool>("blocked");      // a file where the review folder goes
    QTest::addColumn<QString>("log");       // status and the start of the detail
    QTest::addColumn<QString>("lands");     // "review", "failed" or "" (nowhere)
    const QByteArray returned = "%\r\nO1234\r\nG1X2\r\nM30\r\n%\r\n";
    QTest::newRow("held") << QByteArray("%\r\nO1234\r\nG1X1\r\nM30\r\n%\r\n") << false
                          << "SUCCESS held for review as"
                          << "review";
    QTest::newRow("new program held") << QByteArray() << false << "SUCCESS held for review as"
                                      << "review";
    QTest::newRow("identical") << returned << false << "SUCCESS identical"
                               << "";
    QTest::newRow("review folder blocked") << QByteArray() << true << "ERROR "
                                           << "failed";
}

void TestAutoModeProtocol::holdForReview()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, blocked);
    QFETCH(QString, log);
    QFETCH(QString, lands);
    const QString target = m_work + QStringLiteral("/O1234.nc");
    if (!stored.isEmpty())
        QVERIFY(writeFile(target, stored));
    if (blocked)
        QVERIFY(writeFile(m_work + QStringLiteral("/review"), "a file"));
    RequestProtocol protocol(PortProfile::fromFields(port(QStringLiteral("None"))),
                             [&] { return valuesWithFlags(128); });
    RequestOptions options;
    options.holdForReview = true;
    protocol.setOptions(options);
    const QStringList lines{"%", "O1234", "G1X2", "M30", "%"};
    const QByteArray returned = lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
    const Handling h = protocol.HandleProgram(0, lines, true);

    QCOMPARE(h.log.size(), 1);
    QVERIFY2((h.log.first().status + u' ' + h.log.first().detail).startsWith(log),
             qPrintable(h.log.first().status + u' ' + h.log.first().detail));
    QCOMPARE(h.log.first().path, target);
    // The reply names the program's own place, as if it had been stored there.
    QCOMPARE(h.entries.size(), lands == QLatin1String("failed") ? 0 : 1);
    if (!h.entries.isEmpty())
        QCOMPARE(h.entries.first().text(), SendListEntry::success("00", target, "9997").text());
    QCOMPARE(readFile(target), stored.isEmpty() ? QByteArray("<missing>") : stored);
    const QString kept = lands == QLatin1String("review") ? h.heldPath : h.keptPath;
    QCOMPARE(kept.isEmpty(), lands.isEmpty());
    if (!kept.isEmpty()) {
        QCOMPARE(QFileInfo(kept).absolutePath(), m_work + u'/' + lands);
        QCOMPARE(readFile(kept), returned);
    }
    QCOMPARE(h.storeError.isEmpty(), lands != QLatin1String("failed"));
}

void TestAutoModeProtocol::valuesReadAtEachHandling()
{
    GeneralValues values = m_values;
    int reads = 0;
    RequestProtocol protocol(PortProfile::fromFields(port(QStringLiteral("None"))), [&] {
        ++reads;
        return values;
    });
    const QStringList request{"%", "O8888", "(P1)", "(F2)", "(N1234)", "%"};
    QCOMPARE(protocol.HandleProgram(0, request).kind, Handling::Return);
    values.requestNumber = QStringLiteral("8888");
    QCOMPARE(protocol.HandleProgram(0, request).kind, Handling::Request);
    values.nameCode = QStringLiteral("X");
    QVERIFY(protocol.HandleProgram(0, request).entries.isEmpty());
    QCOMPARE(reads, 3);
}

void TestAutoModeProtocol::valuesFromOptionFile()
{
    const QString path = m_dir->filePath(QStringLiteral("Service.ini"));
    auto write = [&](const QByteArray &check, const QByteArray &read) {
        QVERIFY(writeFile(path, "\xEF\xBB\xBF[Main]\r\nPath=x\r\n[General]\r\nCheck=" + check +
                                    "\r\nFileSave=7777\r\nATRead=" + read +
                                    "\r\nPathList=\"D:\\My NC\",E:\\CAM\r\n[Transfer]\r\n"));
    };
    write("96", "1111");
    GeneralValuesFile file(path);
    GeneralValues v = file.values();
    QVERIFY2(file.error().isEmpty(), qPrintable(file.error()));
    QCOMPARE(v.requestNumber, QStringLiteral("1111"));
    QCOMPARE(v.errorNumber, QStringLiteral("7777"));
    QCOMPARE(v.pathCode, QStringLiteral("P")); // missing key: stored default
    QCOMPARE(v.pathList, QStringList({"D:\\My NC", "E:\\CAM"}));
    QCOMPARE(QList<bool>({v.overwrite, v.nameFromComment, v.readErrorReply, v.saveOkReply}),
             QList<bool>({false, true, true, false}));

    write("240", "2222xx"); // a different size: seen even within one time stamp
    QCOMPARE(file.values().requestNumber, QStringLiteral("2222xx"));
    QVERIFY(file.values().saveOkReply);

    write("many", "3333");
    QCOMPARE(file.values().requestNumber, QStringLiteral("2222xx")); // damaged: last good kept
    QVERIFY(file.error().contains(QStringLiteral("many")));
    QVERIFY(!GeneralValuesFile(m_dir->filePath(QStringLiteral("none.ini"))).refresh());
}

void TestAutoModeProtocol::replyProgram()
{
    // The path goes out in PC form with its ASCII letters, and only those, upper-cased.
    const QString e = QStringLiteral("9997");
    QCOMPARE(ReplyProgram(SendListEntry::error("04", QStringLiteral("D:\\NC\\lathe\\O5678.nc"), e)),
             QByteArray("\x12%\r\nO9997\r\n(ERROR)\r\n(READ)\r\n(D:\\NC\\LATHE\\O5678.NC)\r\n"
                        "M30\r\n%\x14"));
    QCOMPARE(
        ReplyProgram(SendListEntry::success("01", QString::fromLatin1("/nc/caf\xe9 1,2.nc"), e)),
        QByteArray("\x12%\r\nO9997\r\n(SUCCESS)\r\n(SAVE)\r\n(/NC/CAF\xe9 1,2.NC)\r\n"
                   "M30\r\n%\x14"));
}

void TestAutoModeProtocol::programFileAndBuffers()
{
    // Every "O" goes out as ":", comments included; the file ends at its first Ctrl-Z.
    const QString path = fixture(*m_dir, QStringLiteral("send.nc"),
                                 "%\r\nO1234(O-RING \xe9)\r\nX1\r\n%\x1A"
                                 "O garbage");
    ProgramFile file;
    QString error;
    QVERIFY(ReadProgramFile(path, &file, &error));
    QCOMPARE(file.text, QString::fromLatin1("%\r\nO1234(O-RING \xe9)\r\nX1\r\n%"));
    QCOMPARE(file.bytes, QByteArray("\x12%\r\n:1234(:-RING \xe9)\r\nX1\r\n%\x14"));
    QVERIFY(!ReadProgramFile(m_dir->filePath(QStringLiteral("gone.nc")), &file, &error));
    QVERIFY(error.contains(QStringLiteral("gone.nc")));

    // A buffer's lines, and back to the bytes stored: a final line break is kept as received.
    for (const QString &buffer :
         {QStringLiteral("%\r\nO1\r\n%\r\n"), QStringLiteral("%\r\nO1\r\n%"),
          QStringLiteral("%\r\n\r\nO1\r\n\r\n")}) {
        bool ends = false;
        const QStringList lines = BufferLines(buffer, &ends);
        QCOMPARE(lines.size(), buffer.count(QStringLiteral("\r\n")) + (ends ? 0 : 1));
        QCOMPARE(StoredProgram(lines, ends), buffer.toLatin1());
    }
    bool ends = true;
    QVERIFY(BufferLines(QString(), &ends).isEmpty());
    QVERIFY(!ends);
}

void TestAutoModeProtocol::logLine()
{
    const QDateTime when(QDate(2012, 3, 5), QTime(14, 7, 9));
    const QString pc = QDir::toNativeSeparators(QStringLiteral("D:/NC/O1.nc"));
    auto line = [&](int device, const char *path) {
        return LogLine({"SUCCESS", DeviceCode(device), "READ", QString::fromLatin1(path)}, when);
    };
    QCOMPARE(line(0x04, "D:/NC/O1.nc"), "SUCCESS 2012-03-05 14:07:09 Device[2] READ:" + pc);
    QCOMPARE(line(0x80, "D#/NC/O1.nc"), "SUCCESS 2012-03-05 14:07:09 Device[7] READ:" + pc);
    QCOMPARE(line(0, "D#/NC/O1.nc"), "SUCCESS 2012-03-05 14:07:09 Device READ:" + pc);
    QCOMPARE(ToMachinePath(ToPcPath(QStringLiteral("D#/NC/A B/O1.nc"))),
             QStringLiteral("D#/NC/A B/O1.nc"));
}

QTEST_GUILESS_MAIN(TestAutoModeProtocol)
#include "tst_automode_protocol.moc"
