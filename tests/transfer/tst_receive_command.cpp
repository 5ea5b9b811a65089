// ncferry-cli receive, run in-process against a pseudo-terminal.
#include "CaptureStderr.h"
#include "PtyPair.h"
#include "TestFiles.h"
#include "settings/PortSetting.h"
#include "tools/ReceiveCommand.h"
#include "transfer/PortSerialLine.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace
{

QString record(const QString &port)
{
    return PortSetting::join(
        {"Mill", port, "115200", "None", "8", "1", "None", "/nc", "*.nc", "None"});
}

int run(const QStringList &args, QString *err)
{
    return runCapturingStderr([&] { return runReceiveCommand(args); }, err);
}

} // namespace

class TestReceiveCommand : public QObject
{
    Q_OBJECT
private slots:
    void receivesProgram();
    void errors_data();
    void errors();
    void busyPort();
    void silenceTimesOut();
    void unwritableTargetRescuesProgram();
};

void TestReceiveCommand::receivesProgram()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("O42.nc"));
    QTimer::singleShot(100,
                       [&] { pty.send(QByteArray("\x12%\r\n:42 (CLI)\r\nM30\r\n%\r\n\x14")); });
    QString err;
    QCOMPARE(run({"--port-setting", record(pty.slavePath()), "--timeout", "5", out}, &err),
             int(Cli::Ok));
    QCOMPARE(readFile(out), QByteArray("%\r\nO42(CLI)\r\nM30\r\n%\r\n"));
    QVERIFY2(err.contains(QStringLiteral("received 13 characters in 4 lines")), qPrintable(err));
}

void TestReceiveCommand::errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");

    const QString out = QDir::tempPath() + QStringLiteral("/ncferry-tst-O1.nc");
    QTest::newRow("no port setting")
        << QStringList{out} << int(Cli::UsageError) << "--port-setting is missing";
    QTest::newRow("no output file") << QStringList{"--port-setting", record("ttyS0")}
                                    << int(Cli::UsageError) << "OUT is missing";
    QTest::newRow("record too short")
        << QStringList{"--port-setting", "Mill,ttyS0,9600,None,8,1", out} << int(Cli::UsageError)
        << "has 6 fields";
    QTest::newRow("unknown option")
        << QStringList{"--speed", "9600", out} << int(Cli::UsageError) << "unknown option";
    QTest::newRow("timeout not a number")
        << QStringList{"--port-setting", record("ttyS0"), "--timeout", "soon", out}
        << int(Cli::UsageError) << "whole number of seconds";
    QTest::newRow("port missing") << QStringList{"--port-setting",
                                                 record("/dev/ncferry-no-such-port"), out}
                                  << int(Cli::PortError) << "ncferry-no-such-port";
    QTest::newRow("output folder missing")
        << QStringList{"--port-setting", record("ttyS0"),
                       QDir::tempPath() + QStringLiteral("/ncferry-no-such-folder/O1.nc")}
        << int(Cli::Failed) << "cannot write";
    QTest::newRow("output is a folder")
        << QStringList{"--port-setting", record("ttyS0"), QDir::tempPath()} << int(Cli::Failed)
        << "it is a folder";
}

void TestReceiveCommand::errors()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, says);
    QString err;
    QCOMPARE(run(args, &err), code);
    QVERIFY2(err.startsWith(QStringLiteral("ncferry-cli receive: ")), qPrintable(err));
    QVERIFY2(err.contains(says), qPrintable(err));
}

void TestReceiveCommand::busyPort()
{
    PtyPair pty;
    PortSerialLine holder;
    LineSettings s;
    s.portName = pty.slavePath();
    holder.setSettings(s);
    QString error;
    QVERIFY2(holder.open(&error), qPrintable(error));
    QTemporaryDir dir;
    QString err;
    QCOMPARE(run({"--port-setting", record(pty.slavePath()), dir.filePath("O1.nc")}, &err),
             int(Cli::PortError));
    QVERIFY2(err.contains(QStringLiteral("in use")), qPrintable(err));
}

void TestReceiveCommand::silenceTimesOut()
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("O2.nc"));
    // Started but never ended: what arrived goes to a rescue file, not to OUT.
    QTimer::singleShot(100, [&] { pty.send(QByteArray("\x12%\nG1\n")); });
    QString err;
    QCOMPARE(run({"--port-setting", record(pty.slavePath()), "--timeout", "1", out}, &err),
             int(Cli::TimedOut));
    QVERIFY2(err.contains(QStringLiteral("timed out")), qPrintable(err));
    const QRegularExpression saved(QStringLiteral("3 characters that had arrived \\(2 lines\\) "
                                                  "were saved in \"([^\"]+)\""));
    const auto m = saved.match(err);
    QVERIFY2(m.hasMatch(), qPrintable(err));
    QCOMPARE(readFile(m.captured(1)), QByteArray("%\r\nG1\r\n"));
    QFile::remove(m.captured(1));
    QVERIFY(!QFile::exists(out));
}

void TestReceiveCommand::unwritableTargetRescuesProgram()
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("gone"));
    QVERIFY(QDir().mkpath(folder));
    const QString out = folder + QStringLiteral("/O3.nc");
    // The folder disappears while the machine is punching.
    QTimer::singleShot(100, [&] {
        QDir(folder).removeRecursively();
        pty.send(QByteArray("\x12%\nO3\n%\x14"));
    });
    QString err;
    QCOMPARE(run({"--port-setting", record(pty.slavePath()), "--timeout", "5", out}, &err),
             int(Cli::Failed));
    const auto match =
        QRegularExpression(QStringLiteral("saved in \"([^\"]+)\" instead")).match(err);
    QVERIFY2(match.hasMatch(), qPrintable(err));
    const QString rescued = match.captured(1);
    QCOMPARE(readFile(rescued), QByteArray("%\r\nO3\r\n%\r\n"));
    QFile::remove(rescued);
}

QTEST_GUILESS_MAIN(TestReceiveCommand)
#include "tst_receive_command.moc"
