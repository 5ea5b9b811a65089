// ncferry-cli auto, run in-process: the simulators play the machines and the radio adapter
// on a pseudo-terminal from their own threads; a SIGTERM ends the service.
#include "CaptureStderr.h"
#include "PtyPair.h"
#include "PtyReader.h"
#include "TestFiles.h"
#include "settings/PortSetting.h"
#include "tools/AutoCommand.h"
#include "tools/sim/RadioAdapterSim.h"
#include "transfer/PortProblem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>
#include <unistd.h>

using Sim::RadioAdapterSim;
namespace Machine = Sim::Machine;

namespace
{

} // namespace

class TestAutoCommand : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void servesRadioMachines();
    void requestForms_data();
    void requestForms();
    void errors_data();
    void errors();
    void busyPortNamesHolder();

private:
    QString record(const QString &port, const QString &type) const
    {
        return PortSetting::join(
            {"RADIO 1", port, "115200", "None", "8", "1", "None", m_work, "*.nc", type});
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work, m_options, m_named, m_log;
};

void TestAutoCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_work = m_dir->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("NC"))));
    fixture(*m_dir, QStringLiteral("NC/O1234.nc"), "%\r\nO1234\r\nM30\r\n%\r\n");
    m_options = fixture(*m_dir, QStringLiteral("Option.ini"),
                        "\xEF\xBB\xBF[General]\r\nCheck=240\r\nFileSave=9997\r\nATRead=9999\r\n"
                        "PathList=\"" +
                            m_dir->filePath(QStringLiteral("NC")).toUtf8() + "\"\r\n");
    m_log = m_dir->filePath(QStringLiteral("logs/radio.txt"));
    // Port settings as the windows write them, for --port-setting-name.
    m_named = fixture(*m_dir, QStringLiteral("Option-named.ini"),
                      "\xEF\xBB\xBF[General]\r\nCheck=240\r\nATRead=9999\r\n[Transfer]\r\n"
                      "Mill,ttyS0,9600,Even,7,2,Xon/Xoff,/tmp,*.nc,None\r\n"
                      "\"Lathe 1\",/dev/ncferry-none,9600,None,8,1,None,/tmp,*.nc,None\r\n"
                      "[Editor]\r\n");
}

void TestAutoCommand::servesRadioMachines()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    RadioAdapterSim adapter(pty.masterFd(), {"10.1.1.1", "10.1.1.2"});
    const QByteArray a = "%\n:2001(PART A)\nG00X1.\nM30\n%", b = "%\n:2002(PART B)\nG00Z2.\nM30\n%";
    bool served = false;
    std::thread machines([&] {
        // The device list is asked for first; nothing is accepted before it.
        if (!RadioAdapterSim::waitUntil([&] { return adapter.fromPc().contains("EX\r"); }, 5000))
            return ::kill(::getpid(), SIGTERM), void();
        const QByteArray pa = Machine::punched(a), pb = Machine::punched(b);
        // Interleaved: device 0's program is cut by device 1's.
        adapter.deviceSends(0, pa.left(10));
        adapter.deviceSends(1, pb.left(12));
        adapter.deviceSends(0, pa.mid(10));
        adapter.deviceSends(1, pb.mid(12));
        adapter.deviceSends(1, Machine::requestProgram({"(P1)", "(N1234)"}));
        served = RadioAdapterSim::waitUntil(
            [&] {
                return Machine::programsIn(adapter.toDevice(1)).size() == 2 &&
                       Machine::programsIn(adapter.toDevice(0)).size() == 1 &&
                       adapter.selectedMask() == 0xFF;
            },
            15000);
        ::kill(::getpid(), SIGTERM);
    });
    QString err;
    const int status = runCapturingStderr(
        [&] {
            return runAutoCommand({"--port-setting", record(pty.slavePath(), "Wireless"),
                                   "--options", m_options, "--log", m_log});
        },
        &err);
    machines.join();
    QCOMPARE(status, 0);
    QVERIFY2(served, qPrintable(err));
    QCOMPARE(readFile(m_work + "/PART A.nc"),
             QByteArray(a).replace(':', 'O').replace("\n", "\r\n"));
    QCOMPARE(readFile(m_work + "/PART B.nc"),
             QByteArray(b).replace(':', 'O').replace("\n", "\r\n"));
    // Each answer went to the device that asked.
    const QList<QByteArray> toB = Machine::programsIn(adapter.toDevice(1));
    QVERIFY(toB.at(0).contains("(SUCCESS)") && toB.at(0).contains("PART B.NC"));
    QCOMPARE(toB.at(1), QByteArray("%\r\nO1234\r\nM30\r\n%\r\n"));
    const QStringList lines =
        QString::fromLatin1(readFile(m_log)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith("SUCCESS ") && lines.at(0).contains(" Device[0] SAVE:"));
    QVERIFY(lines.at(2).contains(" Device[1] READ:"));
}

// Each request form from a control on a cable, through the service as it runs.
void TestAutoCommand::requestForms_data()
{
    QTest::addColumn<QByteArray>("punched");
    QTest::addColumn<int>("programs"); // answers expected
    QTest::addColumn<QByteArray>("has");
    QTest::addColumn<QByteArray>("hasNot");
    QTest::addColumn<double>("delay"); // seconds, in NCFerry.ini for this port setting
    using Machine::requestProgram;
    QTest::newRow("wildcard") << requestProgram({"(P1)", "(N=O123*)"}) << 2
                              << QByteArray("%\r\nO1235\r\n") << QByteArray("(ERROR)") << 0.0;
    QTest::newRow("listing") << requestProgram({"(P1)", "(LIST)"}) << 1 << QByteArray("(O1235 25 ")
                             << QByteArray("(ERROR)") << 0.0;
    QTest::newRow("reason") << requestProgram({"(P3)", "(N1234)"}) << 1
                            << QByteArray("(NO FOLDER P3)\r\nM30") << QByteArray() << 0.0;
    QTest::newRow("compare") << Machine::punched("%\nO1234\n(P1)\n(C)\nM30\n%") << 1
                             << QByteArray("(IDENTICAL)") << QByteArray() << 0.0;
    QTest::newRow("restart") << requestProgram({"(P1)", "(N=MOULD)", "(R=T2)"}) << 1
                             << QByteArray("(RESTART AT T2)\r\nG90\r\nT2 M6\r\n")
                             << QByteArray("T1 M6") << 0.0;
    QTest::newRow("answer delay") << requestProgram({"(P1)", "(N1234)"}) << 1
                                  << QByteArray("%\r\nO1234\r\nM30") << QByteArray() << 0.4;
}

void TestAutoCommand::requestForms()
{
    QFETCH(QByteArray, punched);
    QFETCH(int, programs);
    QFETCH(QByteArray, has);
    QFETCH(QByteArray, hasNot);
    QFETCH(double, delay);
    fixture(*m_dir, QStringLiteral("NC/O1235.nc"), "%\r\nO1235\r\nG0X1.\r\nM30\r\n%\r\n");
    fixture(*m_dir, QStringLiteral("NC/MOULD.nc"),
            "%\r\nO77\r\nG90\r\nT1 M6\r\nG0 X1.\r\nT2 M6\r\nG1 X2.\r\nM30\r\n%\r\n");
    fixture(*m_dir, QStringLiteral("NCFerry.ini"),
            QStringLiteral("[AnswerDelay]\nCABLE=%1\n").arg(delay).toLatin1());
    const QByteArray stored = readFile(m_dir->filePath("NC/O1234.nc"));
    PtyPair pty;
    QVERIFY(pty.isValid());
    PtyReader control(pty);
    qint64 firstByteMs = -1;
    std::thread machine([&] {
        QThread::msleep(300); // the service opens its line
        QElapsedTimer clock;
        clock.start();
        pty.send(punched);
        RadioAdapterSim::waitUntil([&] { return !control.bytes().isEmpty(); }, 10000);
        firstByteMs = clock.elapsed();
        RadioAdapterSim::waitUntil(
            [&] { return Machine::programsIn(control.bytes()).size() >= programs; }, 10000);
        ::kill(::getpid(), SIGTERM);
    });
    QString err;
    const QString port = PortSetting::join(
        {"CABLE", pty.slavePath(), "115200", "None", "8", "1", "None", m_work, "*.nc", "None"});
    const int status = runCapturingStderr(
        [&] {
            return runAutoCommand({"--port-setting", port, "--options", m_options});
        },
        &err);
    machine.join();
    QCOMPARE(status, 0);
    const QList<QByteArray> got = Machine::programsIn(control.bytes());
    QVERIFY2(got.size() == programs, qPrintable(err + control.bytes()));
    const QByteArray all = got.join();
    QVERIFY2(all.contains(has), all.constData());
    QVERIFY2(hasNot.isEmpty() || !all.contains(hasNot), all.constData());
    // A compare reads the stored program; nothing is stored.
    QCOMPARE(readFile(m_dir->filePath("NC/O1234.nc")), stored);
    QVERIFY(!QFileInfo::exists(m_work + "/O1234.nc"));
    // The delay holds the first byte back by about its length, and not much more.
    QVERIFY2(firstByteMs >= delay * 1000 && firstByteMs < delay * 1000 + 1500,
             qPrintable(QString::number(firstByteMs)));
}

void TestAutoCommand::errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const QString good = PortSetting::join(
        {"L", "/dev/ncferry-none", "9600", "None", "8", "1", "None", "/tmp", "*.nc", "None"});
    QTest::newRow("no options") << QStringList{"--port-setting", good} << 1
                                << "--options is missing";
    QTest::newRow("short record") << QStringList{"--port-setting", "L,ttyS0,9600", "--options",
                                                 "{O}"}
                                  << 1 << "fields";
    QTest::newRow("unknown word") << QStringList{"--port-setting", good, "--options", "{O}", "-x"}
                                  << 1 << "unknown argument";
    QTest::newRow("missing options file")
        << QStringList{"--port-setting", good, "--options", "{O}.none"} << 1 << "options file";
    QTest::newRow("missing port") << QStringList{"--port-setting", good, "--options", "{O}"} << 2
                                  << "ncferry-none";
    QTest::newRow("two settings, one log")
        << QStringList{"--port-setting", good, "--port-setting", good, "--options", "{O}"} << 1
        << "would share the log";
    QTest::newRow("log before its setting")
        << QStringList{"--log", "/tmp/x.txt", "--port-setting", good, "--options", "{O}"} << 1
        << "each --log follows its own --port-setting";
    // Each --log pairs with the setting before it, however the words are written.
    QTest::newRow("one log named twice") << QStringList{"--port-setting",
                                                        good,
                                                        "--log=/tmp/ncferry-a.txt",
                                                        "--port-setting=" + good,
                                                        "--log",
                                                        "/tmp/ncferry-a.txt",
                                                        "--options",
                                                        "{O}"}
                                         << 1 << "would share the log \"/tmp/ncferry-a.txt\"";
    QTest::newRow("two logs for one setting") << QStringList{"--port-setting=" + good,
                                                             "--log=/tmp/ncferry-a.txt",
                                                             "--log",
                                                             "/tmp/ncferry-b.txt",
                                                             "--port-setting",
                                                             good,
                                                             "--options",
                                                             "{O}"}
                                              << 1 << "each --log follows its own --port-setting";
    QTest::newRow("device server not there")
        << QStringList{"--port-setting",
                       QString(good).replace("/dev/ncferry-none", "tcp://127.0.0.1:1"), "--options",
                       "{O}"}
        << 2 << "refused the connection";
    // A service names its port setting in the one settings file instead of copying its line.
    QTest::newRow("named setting")
        << QStringList{"--port-setting-name", "Lathe 1", "--options", "{N}"} << 2
        << "\"/dev/ncferry-none\"";
    QTest::newRow("name not in the file")
        << QStringList{"--port-setting-name=mill", "--options", "{N}"} << 1
        << "has no port setting named \"mill\"; it has \"Mill\", \"Lathe 1\"";
    QTest::newRow("no port settings")
        << QStringList{"--port-setting-name", "Mill", "--options", "{O}"} << 1
        << "has no [Transfer] section";
}

void TestAutoCommand::errors()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    args.replaceInStrings("{O}", m_options);
    args.replaceInStrings("{N}", m_named);
    QString err;
    QCOMPARE(runCapturingStderr([&] { return runAutoCommand(args); }, &err), status);
    QVERIFY2(err.contains(says), qPrintable(err));
}

// As send and receive do: the program holding the port is named, not the driver's text.
void TestAutoCommand::busyPortNamesHolder()
{
    PtyPair pty;
    // A plain fork and exec: ThreadSanitizer (clang 14) stops on QProcess's clone().
    const QByteArray cli =
        QFile::encodeName(QCoreApplication::applicationDirPath() + "/ncferry-cli");
    const QByteArray rec = record(pty.slavePath(), "None").toLocal8Bit();
    const QByteArray out = QFile::encodeName(m_dir->filePath("O1.nc"));
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(cli.constData(), "ncferry-cli", "receive", "--port-setting", rec.constData(),
                "--timeout", "20", out.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    QVERIFY(pid > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!PortProblem::lockHolder(pty.slavePath()).isEmpty(), 10000);
    QString err;
    const int status = runCapturingStderr(
        [&] {
            return runAutoCommand({"--port-setting", record(pty.slavePath(), "None"), "--options",
                                   m_options, "--log", m_log});
        },
        &err);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    QCOMPARE(status, 2);
    QVERIFY2(err.contains(QStringLiteral("in use by ncferry-cli (process %1)").arg(pid)),
             qPrintable(err));
}

QTEST_GUILESS_MAIN(TestAutoCommand)
#include "tst_automode_cli.moc"
