// Exact bytes of a send over a real pseudo-terminal, the test playing the machine control.
#include "PtyPair.h"
#include "SendRig.h"
#include "TestFiles.h"
#include "transfer/PortSerialLine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
const QByteArray DC2("\x12"), DC4("\x14"), XON("\x11"), XOFF("\x13");
}

class TestSendPty : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString file(const QString &name, const QByteArray &bytes)
    {
        return fixture(m_dir, name, bytes);
    }

    struct Line {
        PtyPair pty;
        PortSerialLine line;
        explicit Line(int flow)
        {
            LineSettings s;
            s.portName = pty.slavePath();
            s.hardwareHandshake = usesCts(FlowControl(flow));
            s.discardNull = true;
            // Fast enough that the pacing is not what a byte-exact test waits for.
            s.baudRate = PtyPair::FastBaud;
            line.setSettings(s);
        }
    };

private slots:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain program")
            << QByteArray("%\nO1000\nG0X1.\nM30\n%\n") << QByteArray("%\n:1000\nG0X1.\nM30\n%");
        QTest::newRow("O in comments, o and : kept")
            << QByteArray("%\nO12(OP ONE o)\n:5\n%") << QByteArray("%\n:12(:P :NE o)\n:5\n%");
        QTest::newRow("line before first %")
            << QByteArray("HEADER\n%\nO1\n%\nTRAILER\n") << QByteArray("HEADER\n%\n:1\n%");
        QTest::newRow("no %") << QByteArray("O1\nG1X2\n") << QByteArray(":1\nG1X2\n");
        QTest::newRow("one %") << QByteArray("%\nO1\nM30\n") << QByteArray("%\n:1\nM30\n");
        QTest::newRow("ctrl-z ends the file")
            << QByteArray("%\nO1\n\x1aG1X2\n%\n") << QByteArray("%\n:1\n");
        QTest::newRow("CR LF kept")
            << QByteArray("%\r\nO7\r\nM30\r\n%\r\n") << QByteArray("%\r\n:7\r\nM30\r\n%");
        QTest::newRow("high bytes unchanged")
            << QByteArray("%\n(\xe9\xff\x80)\n%") << QByteArray("%\n(\xe9\xff\x80)\n%");
        QTest::newRow("empty file") << QByteArray() << QByteArray();
    }

    void framing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        Line l(0);
        QVERIFY(l.pty.isValid());
        QString error;
        QVERIFY2(l.line.open(&error), qPrintable(error));
        SendRig rig(&l.line);
        rig.worker.setFileListBox({file(QStringLiteral("p.nc"), content)});
        QVERIFY(rig.ctl.confirmStart(true));
        QByteArray got;
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 5000,
                              [&] { got += l.pty.readAvailable(); }));
        got += l.pty.readBytes(expected.size() + 2 - got.size(), 500);
        QCOMPARE(got, DC2 + expected + DC4);
        QVERIFY(!l.line.isConnected());
    }

    void twoFilesPauseBetween()
    {
        Line l(0);
        QString error;
        QVERIFY2(l.line.open(&error), qPrintable(error));
        SendRig rig(&l.line);
        rig.worker.setPauseString(QStringLiteral("running"));
        rig.worker.setFileListBox({file(QStringLiteral("a.nc"), "%\nO1\n%\n"),
                                   file(QStringLiteral("b.nc"), "%\nO2\n%\n")});
        rig.ctl.confirmStart(true);
        QByteArray got;
        const QByteArray first = DC2 + "%\n:1\n%" + DC4;
        QVERIFY(SendRig::spin(
            [&] {
                return got.size() >= first.size() && rig.worker.isPaused() &&
                       rig.has(SendUpdate::PauseCaption);
            },
            3000, [&] { got += l.pty.readAvailable(); }));
        QCOMPARE(got, first);
        QVERIFY(rig.has(SendUpdate::PauseCaption));
        QCOMPARE(rig.updates.last().text, QStringLiteral("running"));
        // Nothing of the second file goes out while paused.
        QTest::qWait(100);
        QCOMPARE(l.pty.readAvailable(), QByteArray());
        rig.worker.resumeWorker();
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 3000,
                              [&] { got += l.pty.readAvailable(); }));
        got += l.pty.readAvailable();
        QCOMPARE(got, first + DC2 + "%\n:2\n%" + DC4);
    }

    void standbyWaitsForXon()
    {
        Line l(2);
        QString error;
        QVERIFY2(l.line.open(&error), qPrintable(error));
        SendRig rig(&l.line);
        rig.ctl.setFlowControl(FlowControl::XonXoff);
        rig.ctl.setDelays(200, 200);
        rig.worker.setFileListBox({file(QStringLiteral("x.nc"), "%\nO5\n%\n")});
        QVERIFY(!rig.ctl.confirmStart(true));
        QVERIFY(!rig.ctl.xonLight());
        QTest::qWait(150);
        QCOMPARE(l.pty.readAvailable(), QByteArray());

        QElapsedTimer clock;
        QVERIFY(l.pty.send(XON));
        clock.start();
        QByteArray got;
        QVERIFY(SendRig::spin([&] { return !got.isEmpty(); }, 3000,
                              [&] { got += l.pty.readAvailable(); }));
        // One LF after the delay, then the program.
        QVERIFY2(clock.elapsed() >= 180, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(rig.ctl.xonLight());
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 3000,
                              [&] { got += l.pty.readAvailable(); }));
        got += l.pty.readAvailable();
        QCOMPARE(got, QByteArray("\n") + DC2 + "%\n:5\n%" + DC4);
    }

    void standbyOffStartsAtOnce()
    {
        Line l(2);
        QString error;
        QVERIFY2(l.line.open(&error), qPrintable(error));
        SendRig rig(&l.line);
        rig.ctl.setFlowControl(FlowControl::XonXoff);
        rig.worker.setFileListBox({file(QStringLiteral("y.nc"), "%\nO6\n%\n")});
        QVERIFY(rig.ctl.confirmStart(false));
        QByteArray got;
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 3000,
                              [&] { got += l.pty.readAvailable(); }));
        got += l.pty.readAvailable();
        QCOMPARE(got, DC2 + "%\n:6\n%" + DC4);
    }

    // XOFF holds the send (any flow code); only resuming continues it, and every byte
    // arrives once and in order.
    void xoffPausesUntilResumed()
    {
        Line l(0);
        QString error;
        QVERIFY2(l.line.open(&error), qPrintable(error));
        SendRig rig(&l.line);
        QByteArray body("%\nO1\n");
        for (int i = 0; i < 3000; ++i)
            body += "G1X" + QByteArray::number(i) + "\n";
        body += "%";
        rig.worker.setFileListBox({file(QStringLiteral("big.nc"), body)});
        rig.ctl.confirmStart(true);
        QByteArray got;
        QVERIFY(SendRig::spin([&] { return got.size() > 200; }, 3000,
                              [&] { got += l.pty.readAvailable(); }));
        QVERIFY(l.pty.send(XOFF));
        QVERIFY(SendRig::spin([&] { return rig.worker.isPaused(); }, 2000,
                              [&] { got += l.pty.readAvailable(); }));
        QTest::qWait(50);
        got += l.pty.readAvailable();
        const int atPause = got.size();
        QVERIFY(atPause < body.size());
        QTest::qWait(150);
        QCOMPARE(l.pty.readAvailable().size(), 0);
        rig.worker.resumeWorker();
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 10000,
                              [&] { got += l.pty.readAvailable(); }));
        got += l.pty.readAvailable();
        QByteArray expected = body;
        expected.replace('O', ':');
        QCOMPARE(got, DC2 + expected + DC4);
    }

    void nulFromControlIsDiscarded()
    {
        Line l(2);
        QString error;
        QVERIFY2(l.line.open(&error), qPrintable(error));
        QSignalSpy rx(&l.line, &SerialLine::rxChar);
        QVERIFY(l.pty.send(QByteArray("A\0B", 3)));
        QVERIFY(rx.wait(2000));
        QTRY_COMPARE(l.line.bytesWaiting(), qint64(2));
        QCOMPARE(l.line.read(10), QByteArray("AB"));
    }

    void openFailures()
    {
        PortSerialLine line;
        LineSettings s;
        s.portName = QStringLiteral("/dev/ncferry-no-such-port");
        line.setSettings(s);
        QString error;
        QVERIFY(!line.open(&error));
        QVERIFY(!line.isConnected());
        QVERIFY(error.contains(QStringLiteral("ncferry-no-such-port")));
        QCOMPARE(line.write("x"), qint64(-1));

        // A port open in one window cannot be opened by another.
        Line l(0);
        QVERIFY(l.line.open(&error));
        PortSerialLine second;
        LineSettings s2;
        s2.portName = l.pty.slavePath();
        second.setSettings(s2);
        QVERIFY(!second.open(&error));
        QVERIFY(error.contains(QStringLiteral("in use")));
        QSignalSpy closed(&l.line, &SerialLine::afterClose);
        l.line.close();
        QCOMPARE(closed.count(), 1);
        QVERIFY(second.open(&error));
    }

    void writeBasics()
    {
        Line l(0);
        QString error;
        QVERIFY(l.line.open(&error));
        QCOMPARE(l.line.write(QByteArray()), qint64(0));
        QCOMPARE(l.line.write("O"), qint64(1));
        QCOMPARE(l.line.write("\x12"), qint64(1));
        QCOMPARE(l.pty.readBytes(2, 1000), QByteArray("O\x12"));
    }
};

QTEST_GUILESS_MAIN(TestSendPty)
#include "tst_send_pty.moc"
