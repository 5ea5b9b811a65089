// Faults found by the sanitizer and fuzz runs, kept found: window teardown, the notes
// database that is no database, and ncferry-cli's arguments, names and port messages.
#include "CaptureStderr.h"
#include "FakeSerialLine.h"
#include "PtyPair.h"
#include "TestFiles.h"
#include "app/MainWindow.h"
#include "automode/WATransport.h"
#include "library/JpegImage.h"
#include "library/LibraryEngine.h"
#include "library/NotesStore.h"
#include "settings/PortSetting.h"
#include "tools/ReceiveCommand.h"
#include "tools/SendCommand.h"
#include "transfer/ComWidgets.h"
#include "transfer/DetectedPorts.h"
#include "transfer/PortList.h"
#include "transfer/PortProblem.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/Transport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace
{

QString record(const QString &port)
{
    return PortSetting::join(
        {"Mill", port, "115200", "None", "8", "1", "None", "/nc", "*.nc", "None"});
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The number of a process that has ended (0 when none could be started).
qint64 endedProcessId()
{
    QProcess ended;
    ended.start("/bin/true", {});
    if (!ended.waitForStarted(5000))
        return 0;
    const qint64 pid = ended.processId();
    ended.waitForFinished(5000);
    return pid;
}

// A lock file for the port /dev/<name> where the serial port looks for it; returns its path.
QString writeLockFile(const QString &name, qint64 pid, const QString &program, const QString &host)
{
    const QString path = QDir::tempPath() + "/LCK.." + name;
    QFile lock(path);
    if (lock.open(QIODevice::WriteOnly))
        lock.write(QStringLiteral("%1\n%2\n%3\n").arg(pid).arg(program, host).toUtf8());
    return path;
}

QString cliPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ncferry-cli");
}

// The send, receive or auto-mode window on port, with its line.
QPointer<QWidget> transferWindow(const QString &window, SerialLine *line, const QString &port,
                                 const QString &folder)
{
    if (window == "send") {
        auto *send = new TTransport(line);
        if (!send->setPortSetting(PortProfile::fromText(record(port))))
            qFatal("send window refused its port setting");
        return send;
    }
    if (window == "receive") {
        auto *receive = new TReceiveTransport(line);
        if (!receive->setPortSetting(PortProfile::fromText(record(port))))
            qFatal("receive window refused its port setting");
        receive->setFileName(QDir(folder).filePath("O1.nc"));
        return receive;
    }
    auto *autoMode = new TWATransport([] { return AutoMode::GeneralValues(); }, line);
    autoMode->setLogFolder(folder);
    autoMode->setPortSetting(PortProfile::fromText(record(port)));
    return autoMode;
}

// Shows the window and returns the detail of the box that tells why its port did not open
// (the first box: others that follow are closed too).
QString toldOnOpen(QWidget *w)
{
    QString told;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (told.isEmpty())
                told = box->informativeText();
            box->accept();
        }
    });
    poll.start();
    w->show();
    QDeadlineTimer deadline(5000);
    while (told.isEmpty() && !deadline.hasExpired())
        QTest::qWait(20);
    return told;
}

// Root plays the user nobody, without supplementary groups, for the scope: real and effective
// ids change (access() asks with the real ones), root stays the saved id to come back to.
class AsNobody
{
public:
    AsNobody()
    {
        const passwd *nobody = ::getpwnam("nobody");
        m_groups.resize(size_t(std::max(::getgroups(0, nullptr), 0)));
        m_ok = nobody && ::getgroups(int(m_groups.size()), m_groups.data()) >= 0 &&
               ::setgroups(0, nullptr) == 0 &&
               ::setresgid(nobody->pw_gid, nobody->pw_gid, 0) == 0 &&
               ::setresuid(nobody->pw_uid, nobody->pw_uid, 0) == 0;
    }
    ~AsNobody()
    {
        if (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0 ||
            ::setgroups(m_groups.size(), m_groups.data()) != 0)
            qFatal("cannot become root again");
    }
    bool ok() const { return m_ok; }

private:
    std::vector<gid_t> m_groups;
    bool m_ok = false;
};

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT
private slots:
    void engineOutlivesViews();
    void unusableNotesDatabase_data();
    void unusableNotesDatabase();
    void cliRefusals_data();
    void cliRefusals();
    void nameIsStoredAsGiven();
    void undecodableNameFails();
    void busyPortNamesHolder();
    void staleLockNamesNobody_data();
    void staleLockNamesNobody();
    void staleLockToldInEveryWindow_data();
    void staleLockToldInEveryWindow();
    void noAccessToldInEveryWindow_data();
    void noAccessToldInEveryWindow();
    void emptyPortInWindow();
    void jpegRegressions_data();
    void jpegRegressions();
};

// Tearing the window down used to read the freed engine through the file list's header.
void TestReliability::engineOutlivesViews()
{
    QTemporaryDir base;
    auto *w = new TF_Main(base.path() + "/");
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    int viewsLeft = -1;
    connect(w->engine(), &QObject::destroyed, this,
            [&] { viewsLeft = int(w->findChildren<QHeaderView *>().size()); });
    QVERIFY(!w->findChildren<QHeaderView *>().isEmpty());
    delete w;
    QCOMPARE(viewsLeft, 0);
}

void TestReliability::unusableNotesDatabase_data()
{
    QTest::addColumn<QByteArray>("content");
    // An Access file from the original program, and a file of plain text.
    QByteArray jet(4096, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("Access (Jet) file") << jet;
    QTest::newRow("text") << QByteArray("notes: O1234 roughing\r\n");
}

void TestReliability::unusableNotesDatabase()
{
    QFETCH(QByteArray, content);
    QTemporaryDir base;
    const QString mdb = base.filePath("access.mdb");
    writeAll(mdb, content);
    const QString program = base.filePath("O1.nc");
    writeAll(program, "%\r\nO1(FACE MILL)\r\nM30\r\n%\r\n");
    {
        TF_Main w(base.path() + "/");
        NotesStore *notes = w.notes();
        QVERIFY(notes->unusable());
        QVERIFY2(notes->startupMessage().contains(QDir::toNativeSeparators(mdb)),
                 qPrintable(notes->startupMessage()));
        QVERIFY(w.engine()->commentMode());
        // A note store says what is wrong, not the driver's "Parameter count mismatch".
        QVERIFY(!notes->storeNote(program, "x"));
        QCOMPARE(notes->lastError(), "The notes database is not open.");
    }
    QCOMPARE(readFile(mdb), content);

    // A good database next to it is no damage.
    QTemporaryDir clean;
    NotesStore fresh(clean.path() + "/");
    QVERIFY(fresh.open());
    QVERIFY(!fresh.unusable());
    QVERIFY(fresh.startupMessage().isEmpty());
}

void TestReliability::cliRefusals_data()
{
    QTest::addColumn<bool>("send");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");

    const QString out = QDir::tempPath() + "/ncferry-reliability-O1.nc";
    const QString range = "from 1 to 86400";
    const QString noPort = "/nonexistent/ttyNONE";
    for (const char *value : {"0", "-1", "86401", "2147484", "99999999999"})
        QTest::newRow(qPrintable(QStringLiteral("timeout %1").arg(value)))
            << false << QStringList{"--port-setting", record(noPort), "--timeout", value, out} << 1
            << range;
    // The limits themselves pass; the missing port then stops the command.
    for (const char *value : {"1", "86400"})
        QTest::newRow(qPrintable(QStringLiteral("timeout %1 accepted").arg(value)))
            << false << QStringList{"--port-setting", record(noPort), "--timeout", value, out} << 2
            << noPort;
    QTest::newRow("receive, empty port")
        << false << QStringList{"--port-setting", record(""), out} << 1 << "names no port";
    QTest::newRow("send, empty port")
        << true << QStringList{"--port-setting", record(" "), QDir::tempPath()} << 1
        << "names no port";
    QTest::newRow("send, a folder as FILE")
        << true << QStringList{"--port-setting", record(noPort), QDir::tempPath()} << 1
        << "it is a folder";
    QTest::newRow("receive, a folder as port")
        << false << QStringList{"--port-setting", record(QDir::tempPath()), out} << 2
        << "is a folder, not a serial port";
}

void TestReliability::cliRefusals()
{
    QFETCH(bool, send);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, says);
    QString err;
    const int status = runCapturingStderr(
        [&] { return send ? runSendCommand(args) : runReceiveCommand(args); }, &err);
    QVERIFY2(err.contains(says), qPrintable(err));
    QCOMPARE(status, code);
    QVERIFY(!err.contains("Unknown error") && !err.contains("Is a directory"));
}

// A name beyond ASCII lands under exactly the bytes given.
void TestReliability::nameIsStoredAsGiven()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    const QString out = dir.filePath(QString::fromUtf8("laté 車床.nc"));
    QTimer::singleShot(100, [&] { pty.send(QByteArray("\x12%\r\n:7\r\nM30\r\n%\r\n\x14")); });
    QString err;
    QCOMPARE(runCapturingStderr(
                 [&] {
                     return runReceiveCommand(
                         {"--port-setting", record(pty.slavePath()), "--timeout", "5", out});
                 },
                 &err),
             0);
    const QStringList names = QDir(dir.path()).entryList(QDir::Files);
    QCOMPARE(names, QStringList{QString::fromUtf8("laté 車床.nc")});
    QCOMPARE(QFile::encodeName(names.first()),
             QByteArray("lat\xC3\xA9 \xE8\xBB\x8A\xE5\xBA\x8A.nc"));
}

// Bytes that are no UTF-8 cannot be carried to the file system exactly: the tool refuses
// instead of storing the program under another name and saying it is done.
void TestReliability::undecodableNameFails()
{
    QTemporaryDir dir;
    QProcess cli;
    cli.setWorkingDirectory(dir.path());
    // Only a shell can hand the tool an argument that is not UTF-8.
    cli.start("/bin/sh",
              {"-c", "exec \"$0\" receive --port-setting \"$1\" \"$(printf 'lat\\351.nc')\"",
               cliPath(), record("/nonexistent/ttyNONE")});
    QVERIFY(cli.waitForFinished(10000));
    const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(err.contains("lat\\xe9.nc") && err.contains("not valid"), qPrintable(err));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// A port held by another program: the message says so and names it.
void TestReliability::busyPortNamesHolder()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    QProcess holder;
    holder.start(cliPath(), {"receive", "--port-setting", record(pty.slavePath()), "--timeout",
                             "20", dir.filePath("O1.nc")});
    QVERIFY(holder.waitForStarted(5000));
    const qint64 pid = holder.processId();
    // The holder has the port once it has written its lock file.
    QTRY_VERIFY_WITH_TIMEOUT(!PortProblem::lockHolder(pty.slavePath()).isEmpty(), 10000);
    QString err;
    const int status = runCapturingStderr(
        [&] {
            return runReceiveCommand(
                {"--port-setting", record(pty.slavePath()), dir.filePath("O2.nc")});
        },
        &err);
    holder.kill();
    holder.waitForFinished(5000);
    QCOMPARE(status, 2);
    QVERIFY2(err.contains(QStringLiteral("in use by ncferry-cli (process %1)").arg(pid)),
             qPrintable(err));
}

void TestReliability::staleLockNamesNobody_data()
{
    QTest::addColumn<bool>("ownPid"); // else the number of a process that has ended
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("live");
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString here = QSysInfo::machineHostName();
    QTest::newRow("held here") << true << self << here << true;
    QTest::newRow("held, no program named") << true << "" << here << true;
    QTest::newRow("holder ended") << false << "ncferry-cli" << here << false;
    QTest::newRow("holder ended, no host written") << false << "ncferry-cli"
                                                   << "" << false;
    QTest::newRow("number now another program's") << true << "ncferry-cli" << here << false;
    // Nothing can be checked from here: the lock stands, as it does for the serial port.
    QTest::newRow("written on another host") << false << "ncferry-cli"
                                             << "other.invalid" << true;
}

// Only a program that still runs is named as holding a port; a lock left by a crash is no
// "in use", and the command line says which file is in the way.
void TestReliability::staleLockNamesNobody()
{
    QFETCH(bool, ownPid);
    QFETCH(QString, program);
    QFETCH(QString, host);
    QFETCH(bool, live);
    const qint64 pid = ownPid ? QCoreApplication::applicationPid() : endedProcessId();
    QVERIFY(pid > 0);
    const QString name =
        QStringLiteral("ncferry-lockcheck-%1").arg(QCoreApplication::applicationPid());
    const QString port = "/dev/" + name;
    QFile lock(writeLockFile(name, pid, program, host));
    QVERIFY(lock.exists());
    const QString holder = program.isEmpty()
                               ? QStringLiteral("process %1").arg(pid)
                               : QStringLiteral("%1 (process %2)").arg(program).arg(pid);
    const QString driver = QStringLiteral("Permission error while locking the device");
    const QString said = PortProblem::openFailure(port, driver);
    const QString shown = PortProblem::openFailure(
        port, driver, {"by %1 %2 %3", "elsewhere %1", "", "", "stale %1 %2"});
    const PortProblem::OpenFailure reason = PortProblem::openFailureReason(port, driver);
    const QString held = PortProblem::lockHolder(port);
    lock.remove();
    QCOMPARE(held, live ? holder : QString());
    if (live) {
        QVERIFY2(said.contains("is in use by " + holder), qPrintable(said));
        QCOMPARE(reason.reason, program.isEmpty() ? PortProblem::Reason::HeldElsewhere
                                                  : PortProblem::Reason::HeldBy);
        QCOMPARE(shown, program.isEmpty()
                            ? "elsewhere " + port
                            : QStringLiteral("by %1 %2 %3").arg(port, program).arg(pid));
    } else {
        QVERIFY2(!said.contains("in use") && said.contains(lock.fileName()) &&
                     said.contains("no longer running"),
                 qPrintable(said));
        QCOMPARE(reason.reason, PortProblem::Reason::StaleLock);
        // A window names the file in its own language.
        QCOMPARE(shown, QStringLiteral("stale %1 %2").arg(port, lock.fileName()));
    }
}

void TestReliability::staleLockToldInEveryWindow_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("send") << "send";
    QTest::newRow("receive") << "receive";
    QTest::newRow("auto mode") << "auto";
}

// A lock file left by a crash blocks the port: each window names the file to remove, in its
// pack's words, instead of the driver's text.
void TestReliability::staleLockToldInEveryWindow()
{
    QFETCH(QString, window);
    const qint64 pid = endedProcessId();
    QVERIFY(pid > 0);
    const QString name = QStringLiteral("ncferry-stale-%1").arg(QCoreApplication::applicationPid());
    const QString port = "/dev/" + name;
    QFile lock(writeLockFile(name, pid, "ncferry-cli", QSysInfo::machineHostName()));
    QVERIFY(lock.exists());

    QTemporaryDir dir;
    auto *line = new FakeSerialLine;
    line->setFailOpen(true, QStringLiteral("Permission error while locking the device"));
    QPointer<QWidget> w = transferWindow(window, line, port, dir.path());
    const QString told = toldOnOpen(w);
    lock.remove();
    QCOMPARE(told, QStringLiteral("Port \"%1\" is blocked by the lock file \"%2\", left behind by "
                                  "a program that is no longer running. Remove that file and try "
                                  "again.")
                       .arg(port, lock.fileName()));
    QTRY_VERIFY(w.isNull());
}

void TestReliability::noAccessToldInEveryWindow_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("told");
    const QString join = QStringLiteral(
        "You have no access to port \"%1\". Members of the group \"dialout\" may use it: run  sudo "
        "usermod -aG dialout $USER  in a terminal, then log out and in again.");
    QTest::newRow("send") << "send" << 0660 << join;
    QTest::newRow("receive") << "receive" << 0660 << join;
    QTest::newRow("auto mode") << "auto" << 0660 << join;
    QTest::newRow("no group may use it")
        << "send" << 0600
        << "You have no access to port \"%1\". Ask the administrator to give your user access "
           "to it.";
}

// A port whose device node this user may not open: every window says so, names the node's
// group and the command to join it, and the port list marks the port before it is chosen.
void TestReliability::noAccessToldInEveryWindow()
{
    QFETCH(QString, window);
    QFETCH(int, mode);
    QFETCH(QString, told);
    const group *dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || !dialout || !::getpwnam("nobody"))
        QSKIP("needs root, a dialout group and a nobody user to play a user without access");
    QTemporaryDir dev;
    QVERIFY(dev.isValid());
    ::chmod(QFile::encodeName(dev.path()).constData(), 0755);
    const QString port = dev.filePath("ttyUSB7");
    QVERIFY(writeFile(port, {}));
    const QByteArray node = QFile::encodeName(port);
    QCOMPARE(::chown(node.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(::chmod(node.constData(), mode_t(mode)), 0);

    auto *line = new FakeSerialLine;
    line->setFailOpen(true, QStringLiteral("Permission denied"));
    QString shown, mark;
    {
        AsNobody user;
        QVERIFY(user.ok());
        TComComboBox ports;
        ports.setNoAccessTexts("no access, group %1", "no access");
        ports.setPorts(DetectedPorts::entries({}, dev.path(), QString()));
        const int i = ports.findText("ttyUSB7");
        // The mark leads the tooltip, before what the system says of the port.
        mark =
            i < 0 ? QString() : ports.itemData(i, Qt::ToolTipRole).toString().section('\n', 0, 0);
        shown = toldOnOpen(transferWindow(window, line, port, dev.path()));
    }
    QCOMPARE(shown, told.arg(port));
    QCOMPARE(mark, mode == 0660 ? QStringLiteral("no access, group dialout")
                                : QStringLiteral("no access"));
    // Root itself may open it: nothing is marked.
    QVERIFY(!PortProblem::deviceAccess(port).denied);
}

// The window says the port is missing instead of opening a receive window that fails.
void TestReliability::emptyPortInWindow()
{
    QTemporaryDir base;
    TF_Main w(base.path() + "/");
    w.portList().setPortList({record("")});
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    const int before = int(QApplication::topLevelWidgets().size());
    w.ReadFileDialog(0);
    QVERIFY2(shown.contains("names no port"), qPrintable(shown));
    QCOMPARE(int(QApplication::topLevelWidgets().size()), before);
}

void TestReliability::jpegRegressions_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(NCFERRY_FUZZ_REGRESSIONS "/fuzz_jpeg"));
    for (const QFileInfo &f : dir.entryInfoList(QDir::Files))
        QTest::newRow(qPrintable(f.fileName())) << f.filePath();
    QVERIFY(!dir.isEmpty());
}

// Corrupt pictures the fuzzer found: a null image, without the gigabytes their headers claim.
void TestReliability::jpegRegressions()
{
    QFETCH(QString, path);
    QByteArray bytes = readFile(path);
    bytes.remove(0, 2); // the fuzz target's preview size
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    for (const QSize &target : {QSize(), QSize(64, 64)})
        QVERIFY(JpegImage::decode(bytes, target).isNull());
    getrusage(RUSAGE_SELF, &after);
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < 256 * 1024,
             qPrintable(QStringLiteral("%1 kB").arg(after.ru_maxrss - before.ru_maxrss)));
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
