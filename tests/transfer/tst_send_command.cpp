// ncferry-cli send, run in-process against a pseudo-terminal that plays the control.
#include "CaptureStderr.h"
#include "LineRateControl.h"
#include "PtyPair.h"
#include "PtyReader.h"
#include "TestFiles.h"
#include "settings/PortSetting.h"
#include "tools/SendCommand.h"

#include <QFile>
#include <QMutex>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace
{

const QByteArray DC2("\x12"), DC4("\x14");

QString record(const QString &port, const QString &flow, const QString &baud = "115200")
{
    return PortSetting::join({"Mill", port, baud, "None", "8", "1", flow, "/nc", "*.nc", "None"});
}

int run(const QStringList &args, QString *err)
{
    return runCapturingStderr([&] { return runSendCommand(args); }, err);
}

} // namespace

class TestSendCommand : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void everyFlowCode_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<bool>("standby");
        QTest::addColumn<bool>("xon"); // the control starts the send with XON
        QTest::newRow("None") << "None" << true << false;
        QTest::newRow("RTS/CTS, line without CTS") << "RTS/CTS" << true << false;
        QTest::newRow("Xon/Xoff standby") << "Xon/Xoff" << true << true;
        QTest::newRow("Xon/Xoff no standby") << "Xon/Xoff" << false << false;
        QTest::newRow("both standby") << "RTS/CTS+Xon/Xoff" << true << true;
        QTest::newRow("both no standby") << "RTS/CTS+Xon/Xoff" << false << false;
    }
    void everyFlowCode()
    {
        QFETCH(QString, flow);
        QFETCH(bool, standby);
        QFETCH(bool, xon);
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString path =
            fixture(m_dir, "O77.nc", "%\r\nO77(CLI TEST)\r\nG0X1.\r\nM30\r\n%\r\nnot sent\r\n");
        PtyReader reader(pty);
        // XON only once the command waits for it: opening the port discards earlier input.
        // While the command runs, its stderr is the capture file.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QFile err("/proc/self/fd/2");
            if (err.open(QIODevice::ReadOnly) && err.readAll().contains("waiting for XON")) {
                pty.send("\x11");
                poll.stop();
            }
        });
        if (xon)
            poll.start(20);
        QStringList args{"--port-setting", record(pty.slavePath(), flow)};
        if (!standby)
            args << "--no-standby";
        QString err;
        QCOMPARE(run(args << path, &err), 0);
        const QByteArray expected =
            QByteArray(xon ? "\n" : "") + DC2 + "%\r\n:77(CLI TEST)\r\nG0X1.\r\nM30\r\n%" + DC4;
        QTRY_COMPARE(reader.bytes(), expected);
        QVERIFY2(err.contains("done: 1 file(s) sent"), qPrintable(err));
        if (flow == "RTS/CTS")
            QVERIFY2(err.contains("no CTS signal"), qPrintable(err));
    }

    // A stop from outside (a logout, kill) says where the send ended; no DC4 follows.
    void signalStopsTheSend()
    {
        PtyPair pty;
        LineSettings s = pty.lineSettings();
        s.baudRate = 9600;
        LineRateControl control(pty, s);
        QByteArray body("%\nO5(LONG)\n");
        while (body.size() < 3000)
            body += "G1X1.5Y2.5\n";
        const QString path = fixture(m_dir, "LONG.nc", body + "%\n");
        std::atomic<bool> over{false};
        std::thread stopper([&] {
            control.waitFor([&] { return over || control.count() > 200; }, 10000);
            if (!over)
                ::kill(::getpid(), SIGTERM);
        });
        QString err;
        const int rc = run({"--port-setting", record(pty.slavePath(), "None", "9600"), path}, &err);
        over = true;
        stopper.join();
        QCOMPARE(rc, 3);
        QVERIFY2(err.contains("stopped by signal 15 in " + path) && err.contains("(DC4)"),
                 qPrintable(err));
        QVERIFY2(err.contains("sent before the stop"), qPrintable(err));
        QTest::qWait(50);
        QVERIFY(!control.written().contains(DC4));
        QVERIFY(control.written().size() < 1000);
    }

    void twoFilesInOrder()
    {
        PtyPair pty;
        PtyReader reader(pty);
        const QString a = fixture(m_dir, "A.nc", "%\nO1\n%\n");
        const QString b = fixture(m_dir, "B.nc", "%\nO2\n%\n");
        QString err;
        QCOMPARE(run({"--port-setting", record(pty.slavePath(), "None"), a, b}, &err), 0);
        QTRY_COMPARE(reader.bytes(), DC2 + "%\n:1\n%" + DC4 + DC2 + "%\n:2\n%" + DC4);
    }

    // Restart after a broken tool: from the block, behind the state the skipped part set.
    void restartFrom()
    {
        PtyPair pty;
        PtyReader reader(pty);
        const QString a = fixture(
            m_dir, "R.nc", "%\nO5(PLATE)\nG90 G54\nT3 M6\nS800 M3\nN10 X1.\nN20 X2.\nM30\n%\n");
        const QString port = record(pty.slavePath(), "None");
        QString err;
        QCOMPARE(run({"--port-setting", port, "--from", "N99", a}, &err), 1);
        QVERIFY2(err.contains("R.nc: the program has no block N99"), qPrintable(err));
        QCOMPARE(run({"--port-setting", port, "--from=X5", a}, &err), 1);
        QVERIFY2(err.contains("--from takes a block (N1500) or a tool (T5)"), qPrintable(err));
        QVERIFY(reader.bytes().isEmpty());
        QCOMPARE(run({"--port-setting", port, "--from", "N20", a}, &err), 0);
        QTRY_COMPARE(reader.bytes(), DC2 +
                                         "%\n:5(PLATE)\n(RESTART AT N20)\nG90 G54\nT3 M6\nS800 "
                                         "M3\nN20 X2.\nM30\n%" +
                                         DC4);
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QString file = fixture(m_dir, "ok.nc", "%\n%\n");
        QTest::newRow("no files") << QStringList{"--port-setting", record("x", "None")} << 1
                                  << "usage";
        QTest::newRow("short record")
            << QStringList{"--port-setting", "A,ttyS0,9600", file} << 1 << "at least 7";
        QTest::newRow("unreadable file")
            << QStringList{"--port-setting", record("x", "None"), m_dir.filePath("none.nc")} << 1
            << "cannot read";
        QTest::newRow("missing port")
            << QStringList{"--port-setting", record("/dev/ncferry-none", "None"), file} << 2
            << "ncferry-none";
        QTest::newRow("unknown option") << QStringList{"--fast", file} << 1 << "unknown option";
    }
    void errors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QString err;
        QCOMPARE(run(args, &err), code);
        QVERIFY2(err.contains(message), qPrintable(err));
        QCOMPARE(err.count('\n') <= 3, true);
    }
};

QTEST_GUILESS_MAIN(TestSendCommand)
#include "tst_send_command.moc"
