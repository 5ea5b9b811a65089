// The auto-mode link over real pseudo-terminals, with the radio adapter and machine control
// simulators on the far side: what reaches the machines is checked byte for byte.
#include "AutoLinkRig.h"
#include "FakeSerialLine.h"
#include "LineRateControl.h"
#include "TestFiles.h"
#include "XoffCheck.h"
#include "automode/AutoLink.h"
#include "library/TransferJournal.h"
#include "settings/PortSetting.h"
#include "tools/sim/RadioAdapterSim.h"
#include "transfer/LineControl.h"
#include "transfer/PortSerialLine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace AutoMode;
using namespace LineControl;
using namespace AutoRig;
using Sim::RadioAdapterSim;
namespace Machine = Sim::Machine;

namespace
{

const QByteArray Program1234 = "%\r\nO1234\r\nG00X0.Z0.\r\nM30\r\n%\r\n";

QByteArray selecting(const QByteArray &mask)
{
    return LineControl::XOFF + QByteArray("+++PM ") + mask + "\rEX\r" + LineControl::XON;
}

} // namespace

class TestAutoModeLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void roadOfOneRequest();
    void cableRequestReturnAndMissing();
    void heldReturnLeavesTheApprovedCopy();
    void flowControl_data();
    void flowControl();
    void answerObeysXoffOnTheWire();
    void radioDemultiplexing();
    void promptTimeOut();
    void lostLineEndsTheWorker();
    void busyWindowKeepsDataAfterCommandMode();
    void deviceListing_data();
    void deviceListing();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work, m_nc;
    GeneralValues m_values;
};

void TestAutoModeLink::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_work = m_dir->filePath(QStringLiteral("work"));
    m_nc = m_dir->filePath(QStringLiteral("NC"));
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(QDir().mkpath(m_nc + QStringLiteral("/LATHE")));
    fixture(*m_dir, QStringLiteral("NC/LATHE/O1234.nc"), Program1234);
    m_values = GeneralValues();
    m_values.pathList = {m_nc};
    m_values.folderList = {QStringLiteral("MILL"), QStringLiteral("LATHE")};
}

void TestAutoModeLink::roadOfOneRequest()
{
    Line l(QStringLiteral("Wireless"), QStringLiteral("None"), m_work);
    QVERIFY(l.pty->isValid());
    RadioAdapterSim adapter(l.pty->masterFd(),
                            {"10.0.0.1", "10.0.0.2", "10.0.0.3", "", "", "", "", ""});
    QVERIFY(l.open(m_values));

    // Opening lists the devices before any request is answered.
    QVERIFY(spin(
        [&] { return l.idle() && l.link->ipMark() != 0 && adapter.fromPc().endsWith("EX\r"); }));
    QCOMPARE(adapter.fromPc(), QByteArray("+++AS 1\rSHOW\rEX\r"));
    QCOMPARE(l.link->ipMark(), 0x07);
    QCOMPARE(l.link->deviceAddress(2), QStringList({"10", "0", "0", "3"}));
    QVERIFY(l.link->deviceAddress(3) == QStringList({"0", "0", "0", "0"}));
    QVERIFY(!adapter.inCommandMode());

    const qsizetype before = adapter.fromPc().size();
    QVERIFY(adapter.deviceSends(2, Machine::requestProgram({"(P1)", "(F2)", "(N1234)"})));
    QVERIFY(spin([&] {
        return l.idle() && !l.log.isEmpty() && adapter.fromPc().endsWith(LineControl::XON) &&
               adapter.selectedMask() == 0xFF;
    }));

    const QByteArray file = sentForm(Program1234);
    QCOMPARE(adapter.fromPc().mid(before), selecting("04") + file + selecting("FF"));
    // Device 2 alone gets the file; every device is held and released around the switch.
    const QByteArray pause = QByteArray(1, LineControl::XOFF), go = QByteArray(1, LineControl::XON);
    QCOMPARE(adapter.toDevice(2), pause + go + file + pause + go);
    QCOMPARE(adapter.toDevice(1), pause + go);
    QCOMPARE(adapter.toDevice(0), pause + go);
    QCOMPARE(l.log, QStringList{"SUCCESS READ " + m_nc + "/LATHE/O1234.nc"});
    QVERIFY(l.problems.isEmpty());
}

void TestAutoModeLink::cableRequestReturnAndMissing()
{
    Line l(QStringLiteral("None"), QStringLiteral("None"), m_work);
    QVERIFY(l.open(m_values));
    QByteArray got;
    const auto answered = [&](int programs) {
        return spin([&] {
            got += l.pty->readAvailable();
            return Machine::programsIn(got).size() >= programs && l.idle();
        });
    };

    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(F2)", "(N1234)"})));
    QVERIFY(answered(1));
    QCOMPARE(got, sentForm(Program1234));

    got.clear();
    const QByteArray returned = "%\nO5555(SHAFT 2)\nG01X1.Z-2.F0.2\nM30\n%";
    QVERIFY(l.pty->send(Machine::punched(returned)));
    QVERIFY(answered(1));
    const QString stored = m_work + QStringLiteral("/SHAFT 2.nc");
    QCOMPARE(readFile(stored), QByteArray(returned).replace("\n", "\r\n"));
    QCOMPARE(got, ReplyProgram(SendListEntry::success("00", stored, "9997")));

    got.clear();
    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(F2)", "(N4321)"})));
    QVERIFY(answered(1));
    const QString missing = m_nc + QStringLiteral("/LATHE/O4321.nc");
    // The reply says why, by default.
    SendListEntry notFound = SendListEntry::error("00", missing, "9997");
    notFound.detail << QStringLiteral("NOT FOUND");
    QCOMPARE(got, ReplyProgram(notFound));
    QCOMPARE(l.log, QStringList({"SUCCESS READ " + m_nc + "/LATHE/O1234.nc",
                                 "SUCCESS SAVE " + stored, "ERROR READ " + missing}));
}

// With the hold on, a returned program waits beside the approved one: the machine is told it
// was stored, and its next request still gets the approved program.
void TestAutoModeLink::heldReturnLeavesTheApprovedCopy()
{
    TransferJournal journal(m_dir->filePath(TransferJournal::FileName));
    TransferJournal::setProcessJournal(&journal);
    Line l(QStringLiteral("None"), QStringLiteral("None"), m_work);
    QVERIFY(l.open(m_values));
    RequestOptions options;
    options.holdForReview = true;
    options.answerDelayMs = 50; // the log's detail goes on after "identical"
    l.link->setRequestOptions(options);
    QStringList details;
    connect(l.link.get(), &AutoLink::logEvent, this,
            [&](const LogEvent &e) { details << e.detail; });
    QByteArray got;
    const auto answered = [&] {
        return spin([&] {
            got += l.pty->readAvailable();
            return Machine::programsIn(got).size() >= 1 && l.idle();
        });
    };

    const QByteArray edited = "%\nO1234\n(P1)\n(F2)\nG00X5.Z0.\nM30\n%";
    QVERIFY(l.pty->send(Machine::punched(edited)));
    QVERIFY(answered());
    const QString target = m_nc + QStringLiteral("/LATHE/O1234.nc");
    QCOMPARE(got, ReplyProgram(SendListEntry::success("00", target, "9997")));
    QCOMPARE(readFile(target), Program1234);
    const QDir review(m_nc + QStringLiteral("/LATHE/review"));
    const QStringList held = review.entryList({QStringLiteral("O1234~*.nc")}, QDir::Files);
    QCOMPARE(held.size(), 1);
    QCOMPARE(readFile(review.filePath(held.first())), QByteArray(edited).replace("\n", "\r\n"));
    QCOMPARE(details.size(), 1);
    QVERIFY2(details.first().contains(QStringLiteral("held for review")),
             qPrintable(details.first()));

    got.clear();
    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(F2)", "(N1234)"})));
    QVERIFY(answered());
    QCOMPARE(got, sentForm(Program1234));
    QCOMPARE(l.log, QStringList({"SUCCESS SAVE " + target, "SUCCESS READ " + target}));

    // The approved program itself punched back is not held.
    const QString same = fixture(*m_dir, QStringLiteral("work/O4000.nc"), "%\r\nO4000\r\nM30\r\n%");
    got.clear();
    QVERIFY(l.pty->send(Machine::punched("%\nO4000\nM30\n%")));
    QVERIFY(answered());
    QCOMPARE(got, ReplyProgram(SendListEntry::success("00", same, "9997")));
    QVERIFY2(details.last().startsWith(QStringLiteral("identical")), qPrintable(details.last()));
    QVERIFY(!QFileInfo::exists(m_work + QStringLiteral("/review")));

    // The journal's row is of the bytes returned, not of the approved program.
    journal.flush();
    TransferJournal::setProcessJournal(nullptr);
    QList<JournalRow> rows;
    QString error;
    QVERIFY2(TransferJournal::readRows(journal.path(), QDateTime(), &rows, &error),
             qPrintable(error));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.last().entry.result, QStringLiteral("identical"));
    const JournalEntry &e = rows.first().entry;
    QCOMPARE(QStringList({e.direction, e.result, e.file}),
             QStringList({"return", "held", review.filePath(held.first())}));
    QCOMPARE(e.sha256,
             QString::fromLatin1(QCryptographicHash::hash(readFile(review.filePath(held.first())),
                                                          QCryptographicHash::Sha256)
                                     .toHex()));
}

void TestAutoModeLink::flowControl_data()
{
    QTest::addColumn<QString>("flow");
    QTest::addColumn<bool>("paced");
    QTest::newRow("0 None") << "None" << false;
    QTest::newRow("1 RTS/CTS") << "RTS/CTS" << false;
    QTest::newRow("2 Xon/Xoff") << "Xon/Xoff" << true;
    QTest::newRow("3 RTS/CTS+Xon/Xoff") << "RTS/CTS+Xon/Xoff" << true;
}

void TestAutoModeLink::flowControl()
{
    QFETCH(QString, flow);
    QFETCH(bool, paced);
    QByteArray big = "%\r\nO7777\r\n";
    for (int i = 0; big.size() < 300000; ++i)
        big += "N" + QByteArray::number(i) + "G01X" + QByteArray::number(i % 97) + ".5\r\n";
    big += "M30\r\n%\r\n";
    fixture(*m_dir, QStringLiteral("NC/LATHE/O7777.nc"), big);
    const QByteArray expected = sentForm(big);

    Line l(QStringLiteral("None"), flow, m_work);
    QVERIFY(l.open(m_values));
    // Without a worker XON and XOFF are program data under every code.
    const QByteArray returned =
        QByteArray("%\nO6000\nX1") + LineControl::XON + "Y2" + LineControl::XOFF + "\n%";
    QVERIFY(l.pty->send(Machine::punched(returned)));
    QVERIFY(spin([&] { return !l.log.isEmpty(); }));
    QCOMPARE(readFile(m_work + QStringLiteral("/O6000.nc")),
             QByteArray(returned).replace("\n", "\r\n"));
    if (paced) { // the SUCCESS reply waits for an XON
        QVERIFY(spin([&] { return l.link->threadOver(); }));
        QVERIFY(l.pty->send(QByteArray(1, LineControl::XON)));
    }
    QByteArray got;
    QVERIFY(spin([&] {
        got += l.pty->readAvailable();
        return l.idle() && got.contains(DC4);
    }));
    QCOMPARE(got, ReplyProgram(SendListEntry::success("00", m_work + "/O6000.nc", "9997")));
    got.clear();
    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(F2)", "(N7777)"})));
    if (paced) {
        // Created and waiting for the machine's XON: nothing goes out.
        QVERIFY(spin([&] { return l.link->threadOver(); }));
        QTest::qWait(3 * l.timings.tickMs);
        QCOMPARE(l.pty->readAvailable(), QByteArray());
        QVERIFY(l.pty->send(QByteArray(1, LineControl::XON)));
    }
    QVERIFY(spin([&] {
        got += l.pty->readAvailable();
        return got.size() > 2000;
    }));
    // Not read meanwhile: the pty's buffer bounds how far the sender can get.
    QVERIFY(l.pty->send(QByteArray(1, LineControl::XOFF)));
    if (paced) {
        // At most what was queued ahead of the XOFF follows it.
        QTest::qWait(150);
        got += l.pty->readAvailable();
        const qsizetype held = got.size();
        QTest::qWait(200);
        got += l.pty->readAvailable();
        QCOMPARE(got.size(), held);
        QVERIFY(held < expected.size());
        QVERIFY(l.pty->send(QByteArray(1, LineControl::XON)));
    }
    QVERIFY(spin(
        [&] {
            got += l.pty->readAvailable();
            return got.size() >= expected.size() && l.idle();
        },
        20000));
    QCOMPARE(got, expected);
    // The pacing bytes never reached a receive buffer.
    QVERIFY(!l.link->cableBuffer().contains(LineControl::XON));
}

// On a line that carries characters at its rate the worker's answer stays within a few
// characters of the wire, so the machine's XOFF stops it there.
void TestAutoModeLink::answerObeysXoffOnTheWire()
{
    QByteArray file = "%\r\nO7000\r\n";
    for (int i = 0; file.size() < 2000; ++i)
        file += "N" + QByteArray::number(i) + "G01X" + QByteArray::number(i % 97) + ".5\r\n";
    file += "M30\r\n%\r\n";
    fixture(*m_dir, QStringLiteral("NC/LATHE/O7000.nc"), file);
    Line l(QStringLiteral("None"), QStringLiteral("Xon/Xoff"), m_work);
    l.port[2] = QStringLiteral("38400");
    QVERIFY(l.open(m_values));
    LineSettings rate = l.pty->lineSettings();
    rate.baudRate = 38400;
    const int pauses = 3;
    LineRateControl control(*l.pty, rate, {400, 30, pauses});
    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(F2)", "(N7000)"})));
    QVERIFY(spin([&] { return l.link->threadOver(); }));
    QVERIFY(l.pty->send(QByteArray(1, LineControl::XON)));
    QVERIFY(spin([&] { return control.written().endsWith(DC4) && l.idle(); }, 10000));
    // An LF answers each XON; the program is whole around them.
    QByteArray got = control.written();
    QCOMPARE(got.replace('\n', QByteArray()), sentForm(file).replace('\n', QByteArray()));
    QVERIFY(spin([&] { return int(control.afterXoff().size()) == pauses; }, 2000));
    checkAfterXoff(control.afterXoff(), 10);
}

void TestAutoModeLink::radioDemultiplexing()
{
    Line l(QStringLiteral("Wireless"), QStringLiteral("None"), m_work);
    m_values.saveOkReply = false;
    // Device 1's address is made of bytes that mean something in a program: DC4, DC2,
    // ":" and CR.
    RadioAdapterSim adapter(l.pty->masterFd(),
                            {"65.66.67.68", "20.18.58.13", "", "", "", "", "", "9.9.9.9"});
    QVERIFY(l.open(m_values));
    QVERIFY(spin([&] { return l.idle() && l.link->ipMark() == 0x83; }));

    // Data before any address and data before the device's DC2 are dropped.
    QVERIFY(adapter.rawToPc("\x12%\n:1\n%\x14"));
    QVERIFY(adapter.deviceSends(1, "G00X1.\n"));
    // Device 0's program is split by data from device 1 and device 7 (not inside a program).
    const QByteArray first = "%\n:2001(BRACKET)\nG00X10.Z5.\n", second = "G01Z-3.F0.1\nM30\n%\n";
    QVERIFY(adapter.deviceSends(0, Machine::DC2 + first));
    QVERIFY(adapter.deviceSends(1, "N99X0"));
    QVERIFY(adapter.deviceSends(7, "N98Z0"));
    QVERIFY(adapter.deviceSends(0, second + Machine::DC4));
    QVERIFY(spin([&] { return !l.log.isEmpty() && l.idle(); }));
    QByteArray whole = first + second;
    whole.replace(':', 'O').replace("\n", "\r\n");
    QCOMPARE(readFile(m_work + QStringLiteral("/BRACKET.nc")), whole);
    QCOMPARE(l.log.size(), 1);
    QCOMPARE(l.link->onDevice(), 0);
    QCOMPARE(l.link->deviceBuffer(1), QByteArray());
    QCOMPARE(l.link->deviceBuffer(7), QByteArray());
}

void TestAutoModeLink::promptTimeOut()
{
    Line l(QStringLiteral("Wireless"), QStringLiteral("None"), m_work);
    RadioAdapterSim wire(l.pty->masterFd(), {}, false); // no adapter on the line
    l.timings.promptTimeoutMs = 300;
    QVERIFY(l.open(m_values));
    QVERIFY(spin([&] { return l.idle() && !l.problems.isEmpty(); }, 3000));
    QVERIFY2(l.problems.first().contains(QLatin1String("did not answer")),
             qPrintable(l.problems.first()));
    QCOMPARE(l.link->ipMark(), 0); // no device is present without a listing
    // The next entry is served; the link is in data mode again.
    l.link->append({SendListEntry::mark("04")});
    QVERIFY(spin([&] { return l.idle() && l.problems.size() == 2; }, 3000));
    // The machines held by the XOFF are released.
    QVERIFY(
        RadioAdapterSim::waitUntil([&] { return wire.fromPc().endsWith(LineControl::XON); }, 2000));
    QVERIFY(wire.rawToPc("RFCABLE>"));
    QTest::qWait(50);
    QCOMPARE(l.link->transcript(), QString());
}

void TestAutoModeLink::lostLineEndsTheWorker()
{
    FakeSerialLine line(1024, 2000);
    QString error;
    QVERIFY(line.open(&error));
    fixture(*m_dir, QStringLiteral("NC/LATHE/O1111.nc"), QByteArray(5000, 'X'));
    const QStringList port = {"L", "fake",     "9600", "None", "8",
                              "1", "Xon/Xoff", m_work, "*.nc", "None"};
    LinkTimings timings;
    timings.tickMs = 10;
    AutoLink link(
        &line, PortProfile::fromFields(port), [this] { return m_values; }, timings);
    QStringList problems;
    connect(&link, &AutoLink::problem, &link, [&](const QString &t) { problems << t; });
    link.append({SendListEntry::send("00", m_nc + "/LATHE/O1111.nc"),
                 SendListEntry::success("00", "X", "9997")});
    link.start();
    QVERIFY(spin([&] { return link.threadOver(); }));
    line.inject(QByteArray(1, LineControl::XON));
    QVERIFY(spin([&] { return line.wire().size() > 100; }));
    line.pull();
    QVERIFY(spin([&] { return !link.threadOver(); }));
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.first().contains(QLatin1String("Line lost")), qPrintable(problems.first()));
    // The reply waits for the line to come back instead of failing at once.
    QTest::qWait(5 * timings.tickMs);
    QCOMPARE(link.sendList().size(), 1);
    QVERIFY(!link.threadOver());
}

void TestAutoModeLink::deviceListing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<bool>("present");
    const QString head = QStringLiteral("  2 RF-NODE-2").leftJustified(26);
    QTest::newRow("listed") << head + "192.168.1.20" << QStringList{"192", "168", "1", "20"}
                            << true;
    QTest::newRow("absent") << head + "0.0.0.0" << QStringList{"0", "0", "0", "0"} << false;
    QTest::newRow("short line") << "  2 RF" << QStringList{} << true;
    QTest::newRow("empty parts dropped")
        << head + "10..1.2." << QStringList{"10", "1", "2"} << true;
}

void TestAutoModeLink::deviceListing()
{
    QFETCH(QString, line);
    QFETCH(QStringList, parts);
    QFETCH(bool, present);
    // The simulator puts the address where the link looks for it.
    QCOMPARE(RadioAdapterSim::listingLine(2, "192.168.1.20").mid(AutoLink::AddressColumn - 1),
             QStringLiteral("192.168.1.20"));
    FakeSerialLine fake;
    AutoLink link(&fake,
                  PortProfile::fromFields(
                      {"L", "fake", "9600", "None", "8", "1", "None", m_work, "*.nc", "Wireless"}),
                  [] { return GeneralValues(); });
    link.ParseDeviceLine(line, 2);
    QCOMPARE(link.deviceAddress(2), parts);
    QCOMPARE(link.ipMark(), present ? 0x04 : 0);
}

QTEST_GUILESS_MAIN(TestAutoModeLink)
void TestAutoModeLink::busyWindowKeepsDataAfterCommandMode()
{
    // The window thread is busy while the adapter leaves command mode, and a machine's
    // program arrives at once: it is program data, not adapter text, however late it is read.
    FakeSerialLine line;
    QVERIFY(line.open(nullptr));
    const QStringList port = {"RADIO", "fake", "9600", "None", "8",
                              "1",     "None", m_work, "*.nc", "Wireless"};
    LinkTimings timings;
    timings.promptTimeoutMs = 3000;
    AutoLink link(
        &line, PortProfile::fromFields(port), [this] { return m_values; }, timings);
    link.start();
    const QByteArray prompt = RadioAdapterSim::Prompt;
    const auto answer = [&](const QByteArray &command, const QByteArray &text) {
        if (!spin([&] { return line.wire().endsWith(command); }))
            return false;
        line.inject(command.trimmed() + "\r\n" + text + prompt);
        return true;
    };
    QByteArray listing = "RF CABLE DEVICE TABLE\r\nNo. Name\r\n---\r\n";
    for (int n = 0; n < RadioAdapterSim::DeviceCount; ++n)
        listing += RadioAdapterSim::listingLine(n, n == 1 ? "10.0.0.2" : "").toLatin1() + "\r\n";
    QVERIFY(answer("+++", "OK\r\n"));
    QVERIFY(answer("AS 1\r", "OK\r\n"));
    QVERIFY(answer("SHOW\r", listing));
    // Busy from here: no events until the worker has left command mode.
    QVERIFY(RadioAdapterSim::waitUntil(
        [&] { return line.wire().endsWith("EX\r") && !line.flowGateBypass(); }, 5000));
    const QByteArray program = "%\n:2001(PART A)\nG00X1.\nM30\n%";
    line.inject("EX\r\nOK\r\n" + RadioAdapterSim::addressBytes("10.0.0.2") +
                Machine::punched(program));
    QVERIFY(spin([&] { return QFile::exists(m_work + "/PART A.nc"); }));
    QCOMPARE(readFile(m_work + "/PART A.nc"),
             QByteArray(program).replace(':', 'O').replace("\n", "\r\n"));
}

#include "tst_automode_link.moc"
