// ncferry-cli as a shop runs it, a separate process on a pseudo-terminal: a pulled cable
// mid-send, mid-pause and mid-receive, and a stderr that nobody reads.
#include "PtyPair.h"
#include "TestFiles.h"
#include "library/TransferJournal.h"
#include "settings/PortSetting.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace
{

const QByteArray DC2("\x12"), DC4("\x14"), XON("\x11"), XOFF("\x13");

QString record(const QString &port, const QString &flow)
{
    return PortSetting::join({"Mill", port, QString::number(PtyPair::FastBaud), "None", "8", "1",
                              flow, "/nc", "*.nc", "None"});
}

QByteArray program(int lines)
{
    QByteArray body("%\nO1\n");
    for (int i = 0; i < lines; ++i)
        body += "G1X" + QByteArray::number(i) + "Y-2.5F300\n";
    return body + "M30\n%";
}

// One ncferry-cli process with its stderr on a pipe of our own.
class Cli
{
public:
    // fullStderr: stderr is a small pipe, already full, so any blocking write to it waits.
    explicit Cli(const QStringList &args, bool fullStderr = false)
    {
        if (::pipe(m_err) != 0)
            return;
        if (fullStderr) {
            ::fcntl(m_err[1], F_SETPIPE_SZ, 4096);
            ::fcntl(m_err[1], F_SETFL, O_NONBLOCK);
            const QByteArray junk(4096, '.');
            while (::write(m_err[1], junk.constData(), junk.size()) > 0) {
            }
            ::fcntl(m_err[1], F_SETFL, 0);
        }
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, m_err[1], 2);
        posix_spawn_file_actions_addclose(&fa, m_err[0]);
        const QByteArray exe =
            QFile::encodeName(QCoreApplication::applicationDirPath() + "/ncferry-cli");
        QList<QByteArray> bytes{exe};
        for (const QString &a : args)
            bytes << a.toLocal8Bit();
        std::vector<char *> argv;
        for (QByteArray &b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, exe.constData(), &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(m_err[1]);
        m_err[1] = -1;
    }
    ~Cli()
    {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_err[0] >= 0)
            ::close(m_err[0]);
    }
    bool started() const { return m_pid > 0; }

    // Whether the process holds `path` open, waiting up to timeoutMs for it.
    bool holds(const QString &path, int timeoutMs) const
    {
        QDeadlineTimer deadline(timeoutMs);
        do {
            const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_pid));
            for (const QFileInfo &fd : fds.entryInfoList(QDir::System))
                if (fd.symLinkTarget() == path)
                    return true;
            QThread::msleep(10);
        } while (!deadline.hasExpired());
        return false;
    }

    // CPU seconds used so far (user + system).
    double cpuSeconds() const
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(m_pid));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        return (f.value(11).toLongLong() + f.value(12).toLongLong()) /
               double(::sysconf(_SC_CLK_TCK));
    }
    qint64 rssKb() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_pid));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        return -1;
    }

    // Waits for the exit, reading stderr meanwhile; -1 when it did not end in time.
    int wait(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        ::fcntl(m_err[0], F_SETFL, O_NONBLOCK);
        while (!deadline.hasExpired()) {
            drain();
            int status = 0;
            rusage ru{};
            if (::wait4(m_pid, &status, WNOHANG, &ru) == m_pid) {
                m_exited = true;
                drain();
                m_cpuTotal = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
                             (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            QThread::msleep(5);
        }
        return -1;
    }
    QString err() const { return QString::fromLocal8Bit(m_errText); }
    double cpuTotal() const { return m_cpuTotal; }

private:
    void drain()
    {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(m_err[0], buf, sizeof buf)) > 0)
            m_errText.append(buf, int(n));
    }

    pid_t m_pid = -1;
    int m_err[2] = {-1, -1};
    bool m_exited = false;
    double m_cpuTotal = 0;
    QByteArray m_errText;
};

} // namespace

class TestCliLine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void pulledCable_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("mid-send") << "send";
        QTest::newRow("mid-paused-send") << "paused";
        QTest::newRow("mid-receive") << "receive";
    }

    // The far end goes: the command ends within 2 s with status 3, says so, burns no CPU on
    // the way out, and a program half received is kept.
    void pulledCable()
    {
        QFETCH(QString, mode);
        PtyPair pty;
        QVERIFY(pty.isValid());
        const bool receive = mode == QLatin1String("receive");
        const QString out = m_dir.filePath(QStringLiteral("O77-%1.nc").arg(mode));
        const QString file = fixture(m_dir, QStringLiteral("big.nc"), program(40000));
        const QString journal = m_dir.filePath(QStringLiteral("journal-%1.db").arg(mode));
        qputenv("NCFERRY_JOURNAL", QFile::encodeName(journal));
        Cli cli(receive
                    ? QStringList{"receive", "--port-setting", record(pty.slavePath(), "None"), out}
                    : QStringList{"send", "--no-standby", "--port-setting",
                                  record(pty.slavePath(), "Xon/Xoff"), file});
        QVERIFY(cli.started());
        if (receive) {
            QVERIFY(cli.holds(pty.slavePath(), 10000));
            QTest::qWait(200); // opening discards what was already waiting
            QVERIFY(pty.send("\x12%\r\n:77 (CUT SHORT)\r\nG1X1.\r\n"));
            QTest::qWait(200);
        } else {
            QByteArray got = pty.readBytes(20000, 5000);
            QVERIFY(got.size() >= 20000);
            if (mode == QLatin1String("paused")) {
                pty.send(XOFF);
                pty.readBytes(INT_MAX, 300);
                QVERIFY(pty.readBytes(1, 200).isEmpty());
            }
        }
        const double cpuAtPull = cli.cpuSeconds();
        QElapsedTimer t;
        t.start();
        pty.hangUp();
        const int status = cli.wait(2000);
        QCOMPARE(status, 3);
        QVERIFY(t.elapsed() < 2000);
        QVERIFY2(
            cli.cpuTotal() - cpuAtPull < 0.2,
            qPrintable(QStringLiteral("%1 s CPU after the pull").arg(cli.cpuTotal() - cpuAtPull)));
        QVERIFY2(cli.err().contains(QStringLiteral("Line lost")), qPrintable(cli.err()));
        if (receive) {
            const auto m =
                QRegularExpression(QStringLiteral("saved in \"([^\"]+)\"")).match(cli.err());
            QVERIFY2(m.hasMatch(), qPrintable(cli.err()));
            QCOMPARE(readFile(m.captured(1)), QByteArray("%\r\nO77(CUTSHORT)\r\nG1X1.\r\n"));
            // Kept as a failed transfer beside OUT, named by port setting, program and time.
            QVERIFY2(m.captured(1).startsWith(m_dir.filePath("failed/Mill-O77-" + mode + "-")),
                     qPrintable(m.captured(1)));
            QVERIFY(!QFile::exists(out));
        }
        // The journal has the failed transfer, written before the command ended.
        QList<JournalRow> rows;
        QString error;
        QVERIFY2(TransferJournal::readRows(journal, QDateTime(), &rows, &error), qPrintable(error));
        QCOMPARE(rows.size(), 1);
        const JournalEntry &e = rows[0].entry;
        QCOMPARE(QStringList({e.portSetting, e.direction, e.result}),
                 QStringList({"Mill", receive ? "receive" : "send", "failed"}));
        QVERIFY2(e.reason.contains("Line lost"), qPrintable(e.reason));
        QVERIFY(e.characters > 0);
        if (!receive)
            QCOMPARE(e.file, file);
        QCOMPARE(
            e.sha256,
            QString::fromLatin1(
                QCryptographicHash::hash(readFile(e.file), QCryptographicHash::Sha256).toHex()));
    }

    // The journal as a shop reads it: rows as CSV, and a row changed by hand found.
    void journalCommand()
    {
        const QString path = m_dir.filePath(QStringLiteral("journal-command.db"));
        {
            TransferJournal journal(path);
            for (const char *result : {"done", "failed", "stored"}) {
                JournalEntry e;
                e.portSetting = QStringLiteral("Mill");
                e.direction = QStringLiteral("send");
                e.result = QString::fromLatin1(result);
                journal.append(e);
            }
        }
        const QString exe = QCoreApplication::applicationDirPath() + "/ncferry-cli";
        QProcess cli;
        cli.start(exe, {"journal", "--csv", "--file", path});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 0);
        const QStringList lines =
            QString::fromLocal8Bit(cli.readAllStandardOutput()).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines[2].contains(",Mill,,send,,0,,failed,"), qPrintable(lines[2]));
        cli.start(exe, {"journal", "--verify", "--file", path});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(cli.readAllStandardOutput().contains("3 rows, the chain is whole"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "edit");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("UPDATE journal SET result = 'done' WHERE id = 2"));
        }
        QSqlDatabase::removeDatabase("edit");
        cli.start(exe, {"journal", "--verify", "--file", path});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 3);
        QVERIFY2(cli.readAllStandardError().contains("row 2 was changed"), "");
        cli.start(exe, {"journal", "--since", "yesterday", "--file", path});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 1);
    }

    // stderr is a full pipe that nobody reads: XOFF still stops the send at once, memory
    // stays flat, and the program arrives whole once the machine lets it go on.
    void stderrNobodyReads()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QByteArray body = program(150000); // about 3 MB
        const QString file = fixture(m_dir, QStringLiteral("huge.nc"), body);
        Cli cli(
            {"send", "--no-standby", "--port-setting", record(pty.slavePath(), "Xon/Xoff"), file},
            true);
        QVERIFY(cli.started());

        QByteArray got = pty.readBytes(400'000, 30000);
        QVERIFY(got.size() >= 400'000);
        const qint64 rssAtXoff = cli.rssKb();
        pty.send(XOFF);
        got += pty.readBytes(INT_MAX, 200);
        const int settled = int(got.size());
        got += pty.readBytes(INT_MAX, 400);
        QCOMPARE(int(got.size()), settled);
        pty.send(XON);
        qint64 rssMax = rssAtXoff;
        while (!got.endsWith(DC4)) {
            const QByteArray more = pty.readBytes(1, 5000);
            if (more.isEmpty())
                break;
            got += more;
            rssMax = qMax(rssMax, cli.rssKb());
        }
        QVERIFY2(rssMax - rssAtXoff < 20 * 1024,
                 qPrintable(
                     QStringLiteral("memory grew from %1 kB to %2 kB").arg(rssAtXoff).arg(rssMax)));
        QCOMPARE(got.at(settled), '\n'); // the LF owed to the XON
        got.remove(settled, 1);
        QByteArray expected = body;
        expected.replace('O', ':');
        QVERIFY(got == DC2 + expected + DC4);
        QCOMPARE(cli.wait(5000), 0); // reading stderr now lets the summary out
        QVERIFY2(cli.err().contains(QStringLiteral("characters/s")), qPrintable(cli.err()));
    }

    // The words every command shares: help and version on stdout with status 0, refusals on
    // stderr with the command's usage line and status 1.
    void sharedWords_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = "usage: ncferry-cli send --port-setting";
        const QString version = QStringLiteral("ncferry-cli " NCFERRY_VERSION "\n");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << "";
        QTest::newRow("send --help") << QStringList{"send", "--help"} << 0 << usage << "";
        QTest::newRow("--help tells the record")
            << QStringList{"--help"} << 0
            << "A record line is one port setting as Option.ini keeps it"
            << "";
        QTest::newRow("--help points to the manual")
            << QStringList{"--help"} << 0 << "The manual page ncferry-cli(1)"
            << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("auto --version") << QStringList{"auto", "--version"} << 0 << version << "";
        QTest::newRow("no command") << QStringList{} << 1 << "" << usage;
        QTest::newRow("unknown command") << QStringList{"fetch"} << 1 << ""
                                         << "unknown command \"fetch\"";
        QTest::newRow("value missing") << QStringList{"send", "O1.nc", "--port-setting"} << 1 << ""
                                       << "ncferry-cli send: --port-setting needs a value\n"
                                          "usage: ncferry-cli send --port-setting";
        QTest::newRow("value after a switch")
            << QStringList{"send", "--no-standby=yes", "--port-setting",
                           record("/dev/null", "None"), "O1.nc"}
            << 1 << ""
            << "usage: ncferry-cli send";
    }
    // The serial port's permission as a shop's user meets it: the port's node belongs to
    // root:dialout as a USB adapter's does. A member of the group sends; someone else is told
    // the group and the command to join it, or to ask the administrator where no group may
    // use the port. Progress to a pipe comes as whole lines, never overwritten with CR.
    void portPermission_data()
    {
        QTest::addColumn<bool>("inGroup");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("in dialout") << true << 0660 << 0 << "characters/s";
        QTest::newRow("not in dialout")
            << false << 0660 << 2
            << "ncferry-cli send: this user has no access to port \"%1\"; members of the group "
               "\"dialout\" may use it: add this user with  sudo usermod -aG dialout $USER  and "
               "log out and in again";
        QTest::newRow("owner only")
            << true << 0600 << 2 << "no access to port \"%1\"; ask the administrator";
    }
    void portPermission()
    {
        QFETCH(bool, inGroup);
        QFETCH(int, mode);
        QFETCH(int, status);
        QFETCH(QString, err);
        const group *dialout = ::getgrnam("dialout");
        const passwd *nobody = ::getpwnam("nobody");
        if (::geteuid() != 0 || !dialout || !nobody)
            QSKIP("needs root, a dialout group and a nobody user to play a user without access");
        const gid_t dialoutGid = dialout->gr_gid;
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QByteArray node = QFile::encodeName(pty.slavePath());
        QCOMPARE(::chown(node.constData(), 0, dialoutGid), 0);
        QCOMPARE(::chmod(node.constData(), mode_t(mode)), 0);
        // The user must reach the program and the file, wherever the build tree lies.
        QTemporaryDir dir(QDir::tempPath() + "/cli-user-XXXXXX");
        QVERIFY(dir.isValid());
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        const QString exe = dir.filePath("ncferry-cli");
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/ncferry-cli", exe));
        const QByteArray body = program(50);
        QVERIFY(writeFile(dir.filePath("O1.nc"), body));
        QProcess cli;
        cli.setChildProcessModifier([=] {
            const gid_t groups[] = {dialoutGid};
            if (::setgroups(inGroup ? 1 : 0, groups) != 0 || ::setgid(gid) != 0 ||
                ::setuid(uid) != 0)
                ::_exit(99);
        });
        QProcessEnvironment env;
        env.insert("PATH", "/usr/bin:/bin");
        env.insert("HOME", dir.path());
        cli.setProcessEnvironment(env);
        cli.start(exe, {"send", "--port-setting", record(pty.slavePath(), "None"),
                        dir.filePath("O1.nc")});
        QVERIFY(cli.waitForStarted(5000));
        QByteArray got;
        if (status == 0)
            got = pty.readBytes(body.size() + 2, 5000);
        QVERIFY(cli.waitForFinished(10000));
        const QString gotErr = QString::fromLocal8Bit(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), status);
        QVERIFY2(gotErr.contains(QString(err).replace("%1", pty.slavePath())), qPrintable(gotErr));
        QVERIFY2(!gotErr.contains(u'\r'), qPrintable(gotErr));
        if (status == 0)
            QVERIFY(got == DC2 + QByteArray(body).replace('O', ':') + DC4);
    }

    void sharedWords()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess cli;
        cli.start(QCoreApplication::applicationDirPath() + "/ncferry-cli", args);
        QVERIFY(cli.waitForFinished(10000));
        const QString gotOut = QString::fromLocal8Bit(cli.readAllStandardOutput());
        const QString gotErr = QString::fromLocal8Bit(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), status);
        QVERIFY2(out.isEmpty() ? gotOut.isEmpty() : gotOut.contains(out), qPrintable(gotOut));
        QVERIFY2(err.isEmpty() ? gotErr.isEmpty() : gotErr.contains(err), qPrintable(gotErr));
    }
};

QTEST_GUILESS_MAIN(TestCliLine)
#include "tst_cli_line.moc"
