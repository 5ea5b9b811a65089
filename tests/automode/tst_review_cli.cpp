// ncferry-cli review, run in-process over programs the auto mode held: list finds them in the
// port settings' folders, accept stores with a backup, reject moves to failed/, and a
// decision that cannot be carried out fails and changes nothing.
#include "TestFiles.h"
#include "library/ReviewQueue.h"
#include "tools/CliCommand.h"
#include "tools/ReviewCommand.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace
{

// What a user sees of a command: its status, stdout and stderr.
struct Run {
    int status = -100;
    QString out, err;
};

Run run(const QStringList &args)
{
    Run r;
    QTemporaryFile out, err;
    if (!out.open() || !err.open())
        return r;
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1), savedErr = ::dup(2);
    ::dup2(out.handle(), 1);
    ::dup2(err.handle(), 2);
    r.status = runReviewCommand(args);
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    out.seek(0);
    err.seek(0);
    r.out = QString::fromLocal8Bit(out.readAll());
    r.err = QString::fromLocal8Bit(err.readAll());
    return r;
}

const QByteArray A = "%\r\nO1000\r\nN10G0X1.\r\nN20G1Z-2.\r\nM30\r\n%\r\n";
const QByteArray B = "%\r\nO1000\r\nN10G0X1.5\r\nN20G1Z-2.\r\nM30\r\n%\r\n";
const QByteArray C = "%\r\nO1000\r\nN10G0X1.\r\nN20G1Z-3.\r\nN30M9\r\nM30\r\n%\r\n";
const QByteArray D = "%\r\nO2000\r\nG0X0.\r\nM30\r\n%\r\n";

} // namespace

class TestReviewCli : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void listShowAcceptReject();
    void refusals_data();
    void refusals();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work, m_nc, m_options;
    QString m_b, m_c, m_d; // held copies
};

void TestReviewCli::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_work = m_dir->filePath("work");
    m_nc = m_dir->filePath("NC");
    QVERIFY(QDir().mkpath(m_work) && QDir().mkpath(m_nc + "/LATHE"));
    m_options = fixture(*m_dir, "Option.ini",
                        "\xEF\xBB\xBF[General]\r\nCheck=240\r\nATRead=9999\r\nPathList=\"" +
                            m_nc.toUtf8() + "\"\r\n[Transfer]\r\nLATHE1,ttyS0,9600,None,8,1,None," +
                            m_work.toUtf8() + ",*.nc,None\r\n");
    fixture(*m_dir, "work/O1000.nc", A);
    m_b = ReviewQueue::hold(m_work + "/O1000.nc", B, {"LATHE1", "04"}).heldPath;
    m_c = ReviewQueue::hold(m_work + "/O1000.nc", C, {"LATHE1", "04"}).heldPath;
    // A return for a program not stored yet, in a folder below the path list's.
    m_d = ReviewQueue::hold(m_nc + "/LATHE/O2000.nc", D, {"LATHE1", "00"}).heldPath;
    QVERIFY(!m_b.isEmpty() && !m_c.isEmpty() && !m_d.isEmpty());
}

void TestReviewCli::listShowAcceptReject()
{
    Run r = run({"list", "--options", m_options});
    QCOMPARE(r.status, int(Cli::Ok));
    QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0).split(u'\t').mid(1),
             QStringList({"LATHE1", "Device[2]", m_work + "/O1000.nc", m_b}));
    QCOMPARE(lines.at(2).split(u'\t').mid(1),
             QStringList({"LATHE1", "cable", m_nc + "/LATHE/O2000.nc", m_d}));
    // A folder given lists that folder and the folders below it only.
    r = run({"list", m_nc});
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts).size(), 1);
    r = run({"list", m_work + "/review/"});
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts).size(), 2);

    r = run({"show", m_c});
    QCOMPARE(r.status, int(Cli::Ok));
    QVERIFY2(r.out.contains("N20G1Z-2.") && r.out.contains("N20G1Z-3.") && r.out.contains("N30M9"),
             qPrintable(r.out));
    QVERIFY2(!r.out.contains("N10G0X1.5"), qPrintable(r.out));

    r = run({"accept", m_b});
    QCOMPARE(r.status, int(Cli::Ok));
    QCOMPARE(readFile(m_work + "/O1000.nc"), B);
    QCOMPARE(readFile(m_work + "/backup/O1000~1.nc"), A);
    QVERIFY2(r.err.contains("backup/O1000~1.nc"), qPrintable(r.err));

    r = run({"reject", m_c});
    QCOMPARE(r.status, int(Cli::Ok));
    QCOMPARE(readFile(m_work + "/O1000.nc"), B);
    const QStringList failed = QDir(m_work + "/failed").entryList(QDir::Files);
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed.first().startsWith("LATHE1-O1000-"), qPrintable(failed.first()));
    QCOMPARE(readFile(m_work + "/failed/" + failed.first()), C);
    QVERIFY2(r.err.contains(failed.first()), qPrintable(r.err));

    // Decided already: said, and nothing else changes.
    r = run({"accept", m_c});
    QCOMPARE(r.status, int(Cli::UsageError));
    QCOMPARE(readFile(m_work + "/O1000.nc"), B);

    r = run({"list", "--options", m_options});
    lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith(m_d));
}

void TestReviewCli::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("no command") << QStringList{} << 1 << "list, show, accept or reject";
    QTest::newRow("unknown command") << QStringList{"approve"} << 1 << "\"approve\"";
    QTest::newRow("list without folder") << QStringList{"list"} << 1 << "FOLDER or --options";
    QTest::newRow("list of no folder") << QStringList{"list", "{W}/none"} << 1 << "is not a folder";
    QTest::newRow("accept without program") << QStringList{"accept"} << 1 << "held program";
    QTest::newRow("stored program is not held")
        << QStringList{"reject", "{W}/O1000.nc"} << 1 << "not a program held for review";
    // The backup cannot be made: the stored program is not replaced.
    QTest::newRow("backup folder blocked") << QStringList{"accept", "{B}"} << 3 << "backup";
}

void TestReviewCli::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    args.replaceInStrings("{W}", m_work);
    args.replaceInStrings("{B}", m_b);
    fixture(*m_dir, "work/backup", "a file where the backup folder goes");
    const Run r = run(args);
    QCOMPARE(r.status, status);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QCOMPARE(readFile(m_work + "/O1000.nc"), A);
    QCOMPARE(readFile(m_b), B);
    QCOMPARE(ReviewQueue::list(m_work).size(), 2);
}

QTEST_GUILESS_MAIN(TestReviewCli)
#include "tst_review_cli.moc"
