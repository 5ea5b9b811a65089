// The request forms beyond exact names: wildcards, listings, reasons in error replies,
// comparing a returned program, restarting a program at a block or a tool, the answer delay.
#include "TestFiles.h"
#include "automode/RemoteRequests.h"
#include "automode/RequestProtocol.h"
#include "transfer/ProgramRestart.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace AutoMode;

namespace
{

const char mould[] = "%\r\nO5000(MOULD)\r\nG21 G17 G90\r\nG54\r\nT1 M6\r\nS1000 M3\r\nM8\r\n"
                     "N100 G0 X0 Y0 (T5 IS NEXT)\r\nT05 M6\r\nS2500 M4\r\nN1500 G1 X10. F200.\r\n"
                     "M9\r\nN1600 G0 Z50.\r\nM30\r\n%\r\n";

} // namespace

class TestAutoModeRequests : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void forms_data();
    void forms();
    void restart_data();
    void restart();
    void replies();
    void answerDelay();

private:
    Handling handle(const QString &lines, const RequestOptions &options = {}) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_nc;
    GeneralValues m_values;
};

void TestAutoModeRequests::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_nc = m_dir->filePath(QStringLiteral("NC"));
    for (const char *folder : {"NC/MANY", "NC/EMPTY", "NC/CMP"})
        QVERIFY(QDir().mkpath(m_dir->filePath(QLatin1String(folder))));
    for (const char *name :
         {"O1201.nc", "O1202.nc", "O1300.nc", "o1203.nc", "FLANGE1.nc", "FLANGE22.nc", "O1299.txt"})
        fixture(*m_dir, QStringLiteral("NC/") + QLatin1String(name), "%\r\nO1\r\nM30\r\n%\r\n");
    fixture(*m_dir, QStringLiteral("NC/O5000.nc"), mould);
    fixture(*m_dir, QStringLiteral("NC/(WEIRD)_name.nc"), "%\r\n%\r\n");
    for (int i = 0; i < 205; ++i)
        fixture(*m_dir, QStringLiteral("NC/MANY/O%1.nc").arg(1000 + i), "x");
    fixture(*m_dir, QStringLiteral("NC/CMP/MOULD.nc"), mould);
    fixture(*m_dir, QStringLiteral("NC/CMP/O1201.nc"), "%\r\nO1201(O1201)\r\nM30\r\n%\r\n");
    m_values = GeneralValues();
    m_values.pathList = {m_nc};
    m_values.folderList = {QStringLiteral("MANY"), QStringLiteral("EMPTY"), QStringLiteral("GONE"),
                           QStringLiteral("CMP")};
}

Handling TestAutoModeRequests::handle(const QString &lines, const RequestOptions &options) const
{
    const QStringList port{
        "L", "ttyS0", "9600", "None", "8", "1", "None", m_dir->filePath("work"), "*.nc", "None"};
    RequestProtocol protocol(PortProfile::fromFields(port), [this] { return m_values; });
    protocol.setOptions(options);
    QString buffer;
    for (const QString &l : lines.split(u'|'))
        buffer += l + QStringLiteral("\r\n");
    return protocol.HandleBuffer(CableDevice, buffer.toLatin1());
}

void TestAutoModeRequests::forms_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("entries"); // verb, file name (of a listing: folder), [detail]
    QTest::addColumn<QString>("log");     // status kind (detail)
    // clang-format off
    QTest::newRow("wildcard *, name order, extension and case as written")
        << "%|O9999|(P1)|(N=O12*)|%" << "SEND O1201.nc|SEND O1202.nc"
        << "SUCCESS READ|SUCCESS READ";
    QTest::newRow("wildcard ? is one character")
        << "%|O9999|(P1)|(N=FLANGE?)|%" << "SEND FLANGE1.nc" << "SUCCESS READ";
    QTest::newRow("numbered wildcard") << "%|O9999|(P1)|(N13*)|%" << "SEND O1300.nc" << "SUCCESS READ";
    QTest::newRow("wildcard matching nothing: NOT FOUND")
        << "%|O9999|(P1)|(N=X*)|%" << "ERROR X*.nc [NOT FOUND]" << "ERROR READ (NOT FOUND)";
    QTest::newRow("wildcard never climbs out")
        << "%|O9999|(P1)|(N=../*)|%" << "ERROR .._*.nc [NOT FOUND]" << "ERROR READ (NOT FOUND)";
    QTest::newRow("too many matches: nothing sent")
        << "%|O9999|(P1)|(F1)|(N=O1*)|%" << "ERROR O1*.nc [TOO MANY MATCHES]"
        << "ERROR READ (TOO MANY MATCHES)";
    QTest::newRow("exact name missing: NOT FOUND")
        << "%|O9999|(P1)|(N7)|%" << "ERROR O7.nc [NOT FOUND]" << "ERROR READ (NOT FOUND)";
    QTest::newRow("path number outside the list") << "%|O9999|(P3)|(N7)|%"
        << "ERROR O7.nc [NO FOLDER P3]" << "ERROR READ (NO FOLDER P3)";
    QTest::newRow("folder that is not there") << "%|O9999|(P1)|(F3)|(N7)|%"
        << "ERROR O7.nc [NO FOLDER]" << "ERROR READ (NO FOLDER)";
    QTest::newRow("listing: every program, ISO characters only")
        << "%|O9999|(P1)|(LIST)|%"
        << "LIST NC [-WEIRD--NAME 6 {D}|FLANGE1 15 {D}|FLANGE22 15 {D}|O1201 15 {D}|O1202 15 {D}|"
           "O1203 15 {D}|O1300 15 {D}|O5000 150 {D}]"
        << "SUCCESS LIST (8 programs)";
    QTest::newRow("listing with a wildcard lists the matches")
        << "%|O9999|(P1)|(LIST)|(N=FLANGE*)|%" << "LIST NC [FLANGE1 15 {D}|FLANGE22 15 {D}]"
        << "SUCCESS LIST (2 programs)";
    QTest::newRow("listing of an empty folder") << "%|O9999|(P1)|(F2)|(LIST)|%"
        << "LIST EMPTY [NO PROGRAMS]" << "SUCCESS LIST (0 programs)";
    QTest::newRow("listing of a folder that is not there") << "%|O9999|(P1)|(F3)|(LIST)|%"
        << "ERROR GONE [NO FOLDER]" << "ERROR READ (NO FOLDER)";
    QTest::newRow("compare, identical but for code lines and line ends")
        << "%|O5000(MOULD)|(P1)|(F4)|(C)|G21 G17 G90|G54|T1 M6|S1000 M3|M8|N100 G0 X0 Y0 (T5 IS NEXT)|"
           "T05 M6|S2500 M4|N1500 G1 X10. F200.|M9|N1600 G0 Z50.|M30|%"
        << "COMPARE MOULD.nc [IDENTICAL]" << "SUCCESS COMPARE (identical)";
    QTest::newRow("compare, differs: the stored line as an ISO comment")
        << "%|O5000(MOULD)|(P1)|(F4)|(C)|G21 G17 G90|G54|T1 M6|S1200 M3|M8|%"
        << "COMPARE MOULD.nc [DIFFERS AT LINE 6|S1000 M3]" << "SUCCESS COMPARE (differs at line 6)";
    QTest::newRow("compare, returned program longer than the stored one")
        << "%|O1201(O1201)|(P1)|(F4)|(C)|M30|%|M30"
        << "COMPARE O1201.nc [DIFFERS AT LINE 5|END OF STORED PROGRAM]"
        << "SUCCESS COMPARE (differs at line 5)";
    QTest::newRow("compare without a stored program")
        << "%|O7777|(P1)|(C)|M30|%" << "ERROR O7777.nc [NOT FOUND]"
        << "ERROR COMPARE (no stored program to compare with)";
    QTest::newRow("restart: its block is checked") << "%|O9999|(P1)|(N5000)|(R=N1500)|%"
        << "SEND O5000.nc" << "SUCCESS READ (from N1500)";
    QTest::newRow("restart at a block the program lacks")
        << "%|O9999|(P1)|(N5000)|(R=N1700)|(N1201)|%"
        << "ERROR O5000.nc [N1700 NOT FOUND]|SEND O1201.nc" << "ERROR READ (N1700 NOT FOUND)|SUCCESS READ";
    QTest::newRow("unknown code lines stay ignored") << "%|O9999|(P1)|(LISTE)|(X=1)|(N1201)|%"
        << "SEND O1201.nc" << "SUCCESS READ";
    // clang-format on
}

void TestAutoModeRequests::forms()
{
    QFETCH(QString, lines);
    QFETCH(QString, entries);
    QFETCH(QString, log);
    const Handling h = handle(lines);
    QStringList got, gotLog;
    for (const SendListEntry &e : h.entries) {
        got << e.verbText() + u' ' + QFileInfo(e.path).fileName() +
                   (QFileInfo(e.path).fileName().isEmpty() ? QDir(e.path).dirName() : QString()) +
                   (e.detail.isEmpty() ? QString()
                                       : QStringLiteral(" [%1]").arg(e.detail.join(u'|')));
        // A machine never reaches outside the folders it named.
        QVERIFY2(e.path.startsWith(m_dir->path()), qPrintable(e.path));
    }
    for (const LogEvent &e : h.log)
        gotLog << e.status + u' ' + e.kind +
                      (e.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(e.detail));
    entries.replace(QStringLiteral("{D}"),
                    QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    QCOMPARE(got.join(u'|'), entries);
    QCOMPARE(gotLog.join(u'|'), log);
    // Compare reads the stored program, it never stores one.
    QVERIFY(h.storedPath.isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir->filePath("work")));
}

void TestAutoModeRequests::restart_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("at");
    QTest::addColumn<QString>("sent"); // "|" for line ends; empty: not found
    // clang-format off
    QTest::newRow("block: the state the skipped part left") << mould << "N1500"
        << "%|O5000(MOULD)|(RESTART AT N1500)|G21 G17 G90 G54|T05 M6|S2500 M4|M8|"
           "N1500 G1 X10. F200.|M9|N1600 G0 Z50.|M30|%|";
    QTest::newRow("block number with leading zeros") << mould << "n01600"
        << "%|O5000(MOULD)|(RESTART AT N1600)|G21 G17 G90 G54|T05 M6|S2500 M4|N1600 G0 Z50.|M30|%|";
    QTest::newRow("tool: its first call, not one in a comment") << mould << "T5"
        << "%|O5000(MOULD)|(RESTART AT T5)|G21 G17 G90 G54|T05 M6|S2500 M4|N1500 G1 X10. F200.|"
           "M9|N1600 G0 Z50.|M30|%|";
    QTest::newRow("lathe tool and offset, LF line ends, nothing invented")
        << "%\nO7(SHAFT)\nT0101\nG0 X50.\nT0505\nG1 X20.\nM30\n%\n" << "T5"
        << "%|O7(SHAFT)|(RESTART AT T5)|T0505|G1 X20.|M30|%|";
    QTest::newRow("spindle stopped and coolant off are not restored")
        << "%\r\nO8\r\nT2\r\nS900 M3\r\nM8\r\nM5\r\nM9\r\nN20 X1.\r\n%\r\n" << "N20"
        << "%|O8|(RESTART AT N20)|T2|S900|N20 X1.|%|";
    QTest::newRow("block not there") << mould << "N1700" << "";
    QTest::newRow("tool not there") << mould << "T9" << "";
    QTest::newRow("not a restart point") << mould << "X5" << "";
    // clang-format on
}

void TestAutoModeRequests::restart()
{
    QFETCH(QString, program);
    QFETCH(QString, at);
    QFETCH(QString, sent);
    const ProgramRestart::Result r = ProgramRestart::Apply(program, ProgramRestart::Parse(at));
    QCOMPARE(r.found, !sent.isEmpty());
    const QString eol = program.contains(u'\r') ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QCOMPARE(r.text, QString(sent).replace(u'|', eol));
}

void TestAutoModeRequests::replies()
{
    // The reason sits between the path line and M30: the reply stays a valid program.
    RequestOptions on;
    Handling h = handle("%|O9999|(P1)|(N7)|%", on);
    const QByteArray path = QDir::toNativeSeparators(m_nc + "/O7.NC").toUpper().toLatin1();
    QCOMPARE(ReplyProgram(h.entries.value(0)), "\x12%\r\nO9997\r\n(ERROR)\r\n(READ)\r\n(" + path +
                                                   ")\r\n(NOT FOUND)\r\nM30\r\n%\x14");
    RequestOptions off;
    off.errorReasons = false;
    h = handle("%|O9999|(P1)|(N7)|%", off);
    QCOMPARE(ReplyProgram(h.entries.value(0)),
             "\x12%\r\nO9997\r\n(ERROR)\r\n(READ)\r\n(" + path + ")\r\nM30\r\n%\x14");
    h = handle("%|O9999|(P1)|(F2)|(LIST)|%");
    QCOMPARE(ReplyProgram(h.entries.value(0)),
             QByteArray("\x12%\r\nO9997\r\n(NO PROGRAMS)\r\nM30\r\n%\x14"));

    // A listing is bounded; its last line says how many were left out.
    h = handle("%|O9999|(P1)|(F1)|(LIST)|%");
    const QStringList lines = h.entries.value(0).detail;
    QCOMPARE(lines.size(), MaxListingLines);
    QVERIFY(lines.first().startsWith(QStringLiteral("O1000 1 ")));
    QCOMPARE(lines.last(), QStringLiteral("6 MORE NOT LISTED"));

    // A restarted file is sent from its block, every "O" as ":".
    ProgramFile file;
    QString error;
    QVERIFY(ReadProgramFile(m_nc + "/O5000.nc", &file, &error, QStringLiteral("N1600")));
    QVERIFY(file.bytes.startsWith("\x12%\r\n:5000(M:ULD)\r\n(RESTART AT N1600)\r\n"));
    QVERIFY(file.bytes.endsWith("N1600 G0 Z50.\r\nM30\r\n%\r\n\x14"));
    QVERIFY(!ReadProgramFile(m_nc + "/O5000.nc", &file, &error, QStringLiteral("N1")));
    QVERIFY2(error.contains(QStringLiteral("no block N1")), qPrintable(error));
}

void TestAutoModeRequests::answerDelay()
{
    // The first answer of a handling waits; the log says so.
    RequestOptions options;
    options.answerDelayMs = 5000;
    const Handling h = handle("%|O9999|(P1)|(N=O12*)|%", options);
    QCOMPARE(h.entries.size(), 2);
    const qint64 left = h.entries.at(0).answerAtMs - QDeadlineTimer::current().deadline();
    QVERIFY2(left > 4000 && left <= 5000, qPrintable(QString::number(left)));
    QCOMPARE(h.entries.at(1).answerAtMs, 0);
    QCOMPARE(h.log.at(0).detail, QStringLiteral("answer delayed 5 s"));
}

QTEST_GUILESS_MAIN(TestAutoModeRequests)
#include "tst_automode_requests.moc"
