// Auto mode through the faults of a shift: a line that drops mid-program, a machine that
// asks anew without its XON, an adapter that goes mute, answers late or babbles, a disk that
// takes no program, a program without end. One pty scenario per behaviour.
#include "AutoLinkRig.h"
#include "TestFiles.h"
#include "automode/AutoModeLog.h"
#include "library/ProgramFiles.h"
#include "library/TransferJournal.h"
#include "tools/sim/RadioAdapterSim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

using namespace AutoMode;
using namespace AutoRig;
using Sim::RadioAdapterSim;
namespace Machine = Sim::Machine;

namespace
{

const QStringList Addresses = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};

QByteArray numbered(int from, int to)
{
    QByteArray out;
    for (int n = from; n <= to; ++n)
        out += "N" + QByteArray::number(n) + "G01X" + QByteArray::number(n % 50) + ".\n";
    return out;
}

// The machine's bytes as the link stores them.
QByteArray stored(QByteArray bytes)
{
    return bytes.replace(':', 'O').replace("\n", "\r\n");
}

QString keptPath(const QString &problem)
{
    return QRegularExpression(QStringLiteral("kept in \"([^\"]+)\"")).match(problem).captured(1);
}

} // namespace

class TestAutoModeFaults : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void lostLineEndsPrograms_data();
    void lostLineEndsPrograms();
    void staleAnswerIsDropped();
    void muteAdapterDropsTheAnswer();
    void lateAdapterIsAskedAgain();
    void babblingAdapterStallsNothing();
    void unstorableProgramIsKept_data();
    void unstorableProgramIsKept();
    void storeGivesTheSystemsReason();
    void overlongProgramEnds_data();
    void overlongProgramEnds();
    void logFileNames_data();
    void logFileNames();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work, m_nc;
    GeneralValues m_values;
};

void TestAutoModeFaults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_work = m_dir->filePath(QStringLiteral("work"));
    m_nc = m_dir->filePath(QStringLiteral("NC"));
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(QDir().mkpath(m_nc));
    fixture(*m_dir, QStringLiteral("NC/O1234.nc"), "%\r\nO1234\r\nG00X1.\r\nM30\r\n%\r\n");
    fixture(*m_dir, QStringLiteral("NC/O5678.nc"), "%\r\nO5678\r\nG00Z5.\r\nM30\r\n%\r\n");
    m_values = GeneralValues();
    m_values.pathList = {m_nc};
}

void TestAutoModeFaults::lostLineEndsPrograms_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("cable") << "None";
    QTest::newRow("radio, two devices mid-program") << "Wireless";
}

void TestAutoModeFaults::lostLineEndsPrograms()
{
    QFETCH(QString, type);
    const bool radio = type != QLatin1String("None");
    Line l(type, QStringLiteral("None"), m_work);
    std::unique_ptr<RadioAdapterSim> adapter;
    if (radio)
        adapter = std::make_unique<RadioAdapterSim>(l.pty->masterFd(), Addresses);
    QVERIFY(l.open(m_values));
    if (radio)
        QVERIFY(spin([&] { return l.idle() && l.link->ipMark() == 0x07; }));
    const auto send = [&](int device, const QByteArray &bytes) {
        return radio ? adapter->deviceSends(device, bytes) : l.pty->send(bytes);
    };
    const QList<int> devices = radio ? QList<int>{0, 2} : QList<int>{0};
    QByteArray head;
    for (int d : devices) {
        head = "%\n:100" + QByteArray::number(d) + "\n" + numbered(1, 1000);
        QVERIFY(send(d, Machine::DC2 + head));
    }
    const qsizetype arrived = stored(head).size();
    QVERIFY(spin([&] {
        return (radio ? l.link->deviceBuffer(2) : l.link->cableBuffer()).size() == arrived;
    }));

    // The cable is pulled, and put back.
    if (radio)
        adapter.reset();
    l.pty->hangUp();
    QVERIFY(spin([&] { return l.problems.size() >= devices.size(); }));
    QVERIFY(l.reopen());
    if (radio)
        adapter = std::make_unique<RadioAdapterSim>(l.pty->masterFd(), Addresses);
    // Each cut program is kept as it arrived and named in its ERROR line; nothing is stored.
    for (int d : devices) {
        const QString kept = keptPath(l.problems.value(devices.indexOf(d)));
        QVERIFY2(kept.startsWith(m_work + "/failed/LATHE1-O100" + QString::number(d) + "-"),
                 qPrintable(l.problems.join(u'\n')));
        QCOMPARE(readFile(kept).size(), arrived);
        QVERIFY(readFile(kept).endsWith("N1000G01X0.\r\n"));
    }
    // The machines go on where they were; that tail is no program.
    for (int d : devices)
        QVERIFY(send(d, numbered(1501, 1600) + "M30\n%" + Machine::DC4));
    const QByteArray whole = "%\n:2000\nG00X0.\nM30\n%";
    QVERIFY(send(devices.last(), Machine::punched(whole)));
    QByteArray got;
    QVERIFY(spin([&] {
        if (radio)
            got = adapter->toDevice(devices.last());
        else
            got += l.pty->readAvailable();
        return l.log.size() == 1 && l.idle() && got.contains(Machine::DC4);
    }));
    QTest::qWait(100);
    QCOMPARE(l.log, QStringList{"SUCCESS SAVE " + m_work + "/O2000.nc"});
    QCOMPARE(readFile(m_work + "/O2000.nc"), stored(whole));
    QCOMPARE(QDir(m_work).entryList(QDir::Files), QStringList{"O2000.nc"});
    QCOMPARE(Machine::programsIn(got).size(), 1);
}

void TestAutoModeFaults::staleAnswerIsDropped()
{
    Line l(QStringLiteral("None"), QStringLiteral("Xon/Xoff"), m_work);
    l.timings.xonWaitMs = 400;
    QVERIFY(l.open(m_values));
    // The operator gives up on O1234 and asks for O5678, with its XON right behind.
    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(N1234)"})));
    QVERIFY(spin([&] { return l.link->workerHeld(); }));
    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(N5678)"}) + Machine::XON));
    QByteArray got;
    QVERIFY2(spin([&] {
                 got += l.pty->readAvailable();
                 return got.contains(Machine::DC4) && l.idle();
             }),
             qPrintable(got + l.problems.join(u'\n')));
    QCOMPARE(got, sentForm(readFile(m_nc + "/O5678.nc")));
    QVERIFY2(l.problemSays("O1234.nc,READ\" is not sent: superseded by a newer program from "
                           "Device"),
             qPrintable(l.problems.join(u'\n')));

    // An answer nobody sends XON for is dropped after the bound; a late XON starts nothing.
    l.problems.clear();
    QVERIFY(l.pty->send(Machine::requestProgram({"(P1)", "(N1234)"})));
    QVERIFY(spin([&] { return l.problemSays("no XON came") && l.idle(); }, 3000));
    QVERIFY(l.pty->send(QByteArray(1, Machine::XON)));
    QTest::qWait(300);
    QCOMPARE(l.pty->readAvailable(), QByteArray());
}

void TestAutoModeFaults::muteAdapterDropsTheAnswer()
{
    Line l(QStringLiteral("Wireless"), QStringLiteral("None"), m_work);
    l.timings.promptTimeoutMs = 200;
    l.timings.queryRetryMs = 300;
    RadioAdapterSim adapter(l.pty->masterFd(), Addresses);
    QVERIFY(l.open(m_values));
    QVERIFY(spin([&] { return l.idle() && l.link->ipMark() == 0x07; }));
    const qsizetype before = adapter.fromPc().size();

    adapter.setMute(true); // "PM 04" is taken but never answered
    QVERIFY(adapter.deviceSends(2, Machine::requestProgram({"(P1)", "(N1234)"})));
    QVERIFY(spin([&] { return l.problemSays("is not sent"); }));
    QVERIFY(spin([&] { return !adapter.inCommandMode() && l.idle(); }));
    const QByteArray wrote = adapter.fromPc().mid(before);
    QVERIFY2(wrote.contains("PM 04\rEX\r"), wrote.constData());
    // No byte of the file went out, to the adapter's commands or to any machine.
    QVERIFY(!wrote.contains(Machine::DC2));
    QVERIFY2(l.problemSays("selecting Device[2]"), qPrintable(l.problems.join(u'\n')));

    // Back to every machine once the adapter answers again.
    adapter.setMute(false);
    QVERIFY(spin([&] { return !l.resolved.isEmpty() && l.idle(); }, 5000));
    QCOMPARE(adapter.selectedMask(), 0xFF);
    // The adapter reads on its own thread: the XON written last may not have reached it yet.
    const QByteArray readdressed = "+++PM FF\rEX\r" + QByteArray(1, Machine::XON);
    QVERIFY2(spin([&] { return adapter.fromPc().endsWith(readdressed); }),
             adapter.fromPc().right(60).toPercentEncoding().constData());
    for (int n = 0; n < 3; ++n)
        QVERIFY(!adapter.toDevice(n).contains(Machine::DC2));
}

void TestAutoModeFaults::lateAdapterIsAskedAgain()
{
    Line l(QStringLiteral("Wireless"), QStringLiteral("None"), m_work);
    l.timings.promptTimeoutMs = 100;
    l.timings.queryRetryMs = 150;
    l.timings.retryLogMs = 60000;
    RadioAdapterSim adapter(l.pty->masterFd(), Addresses);
    adapter.setMute(true);
    QVERIFY(l.open(m_values));
    QVERIFY(spin([&] { return adapter.fromPc().count("+++") >= 3; }));
    // Each failed try is not a log line of its own.
    QCOMPARE(l.problems.size(), 1);
    QVERIFY(l.problems.first().contains("did not answer"));
    QCOMPARE(l.link->ipMark(), 0);

    adapter.setMute(false);
    QVERIFY(spin([&] { return l.link->ipMark() == 0x07 && l.idle(); }));
    QCOMPARE(l.resolved.size(), 1);
    QVERIFY(adapter.deviceSends(1, Machine::requestProgram({"(P1)", "(N1234)"})));
    QVERIFY(spin([&] { return Machine::programsIn(adapter.toDevice(1)).size() == 1; }));
    QCOMPARE(l.problems.size(), 1);
}

void TestAutoModeFaults::babblingAdapterStallsNothing()
{
    Line l(QStringLiteral("Wireless"), QStringLiteral("None"), m_work);
    l.timings.queryRetryMs = 600000;
    RadioAdapterSim adapter(l.pty->masterFd(), Addresses);
    adapter.setBabble(QByteArray(512 * 1024, 'x'));
    // The event loop keeps its pace while half a megabyte of babble is read.
    QElapsedTimer clock;
    qint64 last = 0, worstGap = 0;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        worstGap = qMax(worstGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    beat.start();
    QVERIFY(l.open(m_values));
    QVERIFY(spin([&] { return l.idle() && adapter.fromPc().contains("EX\r"); }, 10000));
    QVERIFY(spin([&] { return l.line.bytesWaiting() == 0; }, 10000));
    QTest::qWait(50);
    QVERIFY2(l.problemSays("with more than 4096 characters and no prompt"),
             qPrintable(l.problems.join(u'\n')));
    QVERIFY2(worstGap < 500, qPrintable(QString::number(worstGap)));
    QVERIFY(l.link->transcript().size() <= l.timings.maxAnswerBytes);
}

void TestAutoModeFaults::unstorableProgramIsKept_data()
{
    QTest::addColumn<bool>("failedBlocked");
    QTest::newRow("kept in the program folder") << false;
    QTest::newRow("kept in the data folder") << true;
}

void TestAutoModeFaults::unstorableProgramIsKept()
{
    QFETCH(bool, failedBlocked);
    // A folder where the program's file would go: the store fails as on a full disk.
    QVERIFY(QDir().mkpath(m_work + "/O5555.nc"));
    if (failedBlocked)
        fixture(*m_dir, QStringLiteral("work/failed"), "a file, not a folder");
    const QString data = m_dir->filePath(QStringLiteral("data"));
    TransferJournal journal(m_dir->filePath(TransferJournal::FileName));
    TransferJournal::setProcessJournal(&journal);
    Line l(QStringLiteral("None"), QStringLiteral("None"), m_work);
    QVERIFY(l.open(m_values));
    l.link->setFallbackFolder(data);
    const QByteArray program = "%\n:5555\nG01X1.\nM30\n%";
    QVERIFY(l.pty->send(Machine::punched(program)));
    QVERIFY(spin([&] { return !l.problems.isEmpty() && l.idle(); }));
    QCOMPARE(l.log, QStringList{"ERROR SAVE " + m_work + "/O5555.nc"});
    const QString kept = keptPath(l.problems.first());
    QVERIFY2(kept.startsWith((failedBlocked ? data : m_work) + "/failed/LATHE1-O5555-"),
             qPrintable(l.problems.first()));
    QCOMPARE(readFile(kept), stored(program));
    QVERIFY2(l.problems.first().contains("directory"), qPrintable(l.problems.first()));
    // No SUCCESS reply for a program that was not stored.
    QCOMPARE(l.pty->readAvailable(), QByteArray());
    // The journal names the failed return, where it was kept and why.
    journal.flush();
    TransferJournal::setProcessJournal(nullptr);
    QList<JournalRow> rows;
    QString error;
    QVERIFY2(TransferJournal::readRows(journal.path(), QDateTime(), &rows, &error),
             qPrintable(error));
    QCOMPARE(rows.size(), 1);
    const JournalEntry &e = rows[0].entry;
    QCOMPARE(QStringList({e.portSetting, e.device, e.direction, e.result, e.file}),
             QStringList({"LATHE1", "00", "return", "failed", kept}));
    QCOMPARE(e.characters, qint64(readFile(kept).size()));
    QVERIFY2(e.reason.contains("directory"), qPrintable(e.reason));
    QCOMPARE(e.sha256,
             QString::fromLatin1(
                 QCryptographicHash::hash(readFile(kept), QCryptographicHash::Sha256).toHex()));
}

void TestAutoModeFaults::storeGivesTheSystemsReason()
{
    // A disk that fills up ends the write short first; the reason is the system's own.
    RequestProtocol protocol(PortProfile::fromFields({"L", "p", "9600", "None", "8", "1", "None",
                                                      m_work, "*.nc", "None"}),
                             [] { return GeneralValues(); });
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const Handling h = protocol.HandleBuffer(0, "%\r\nO8000\r\n" + QByteArray(10000, 'X'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY2(h.storeError.contains(qt_error_string(EFBIG)) &&
                 !h.storeError.contains(QLatin1String("Unknown error")),
             qPrintable(h.storeError));
    QVERIFY(!QFile::exists(m_work + "/O8000.nc"));

    // A log whose folder cannot be made says why, not "No such file or directory".
    QVERIFY(QFile::link(m_dir->filePath("gone/away"), m_dir->filePath("log")));
    QString why;
    QVERIFY(!AutoModeLog(m_dir->filePath("log/L.txt")).append("SUCCESS", &why));
    QVERIFY2(!why.contains(qt_error_string(ENOENT)) && why.contains("cannot create the folder"),
             qPrintable(why));
}

void TestAutoModeFaults::overlongProgramEnds_data()
{
    QTest::addColumn<bool>("ended"); // the machine sends its DC4 after all
    QTest::newRow("ended") << true;
    QTest::newRow("DC2 without DC4") << false;
}

void TestAutoModeFaults::overlongProgramEnds()
{
    QFETCH(bool, ended);
    Line l(QStringLiteral("None"), QStringLiteral("None"), m_work);
    l.timings.maxProgramBytes = 64 * 1024;
    QVERIFY(l.open(m_values));
    const QByteArray body = "%\n:7000\n" + numbered(1, 8000);
    QVERIFY(l.pty->send(Machine::DC2 + body +
                        (ended ? "M30\n%" + QByteArray(1, Machine::DC4) : QByteArray())));
    QVERIFY(spin([&] { return !l.problems.isEmpty(); }));
    const QString kept = keptPath(l.problems.first());
    QVERIFY2(kept.startsWith(m_work + "/failed/LATHE1-O7000-"), qPrintable(l.problems.first()));
    const QByteArray part = readFile(kept);
    // The bound falls inside a line break at most.
    QVERIFY(part.size() >= 64 * 1024 && part.size() <= 64 * 1024 + 1);
    QCOMPARE(part, stored(body).left(part.size()));
    QVERIFY(spin([&] { return l.line.bytesWaiting() == 0 && l.idle(); }));
    QTest::qWait(50);
    // What follows the bound is not kept in memory.
    QCOMPARE(l.link->cableBuffer(), QByteArray());
    QVERIFY(!QFile::exists(m_work + "/O7000.nc"));
    const QByteArray got = l.pty->readAvailable();
    if (ended) {
        QCOMPARE(l.log, QStringList{"ERROR SAVE " + m_work + "/O7000.nc"});
        SendListEntry reply = SendListEntry::error("00", m_work + "/O7000.nc", "9997");
        reply.kind = QStringLiteral("SAVE");
        QCOMPARE(got, ReplyProgram(reply));
    } else {
        QCOMPARE(l.log, QStringList());
        QCOMPARE(got, QByteArray());
    }
}

void TestAutoModeFaults::logFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("file");
    QTest::newRow("plain") << "LATHE 1"
                           << "LATHE 1.txt";
    QTest::newRow("climbs out") << "../ESCAPED"
                                << ".._ESCAPED.txt";
    QTest::newRow("a folder path") << "/etc/cron.d/x"
                                   << "_etc_cron.d_x.txt";
    QTest::newRow("dots only") << ".."
                               << "NONAME.txt";
}

void TestAutoModeFaults::logFileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, file);
    // The port setting's name follows the rule of the stored programs' names.
    const QString path = AutoModeLog::pathFor(m_work, name);
    QCOMPARE(path, m_work + "/log/" + file);
    QVERIFY(AutoModeLog(path).append(QStringLiteral("SUCCESS")));
    QCOMPARE(QDir(m_work + "/log").entryList(QDir::Files | QDir::Hidden), QStringList{file});
}

QTEST_GUILESS_MAIN(TestAutoModeFaults)
#include "tst_automode_faults.moc"
