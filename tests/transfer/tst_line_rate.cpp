// Sends against a control that takes characters only at the line's own rate, as a real
// UART does: what follows an XOFF on the wire, the rate the line is fed at, and that a send
// is over only once the machine has the program.
#include "LineRateControl.h"
#include "PtyPair.h"
#include "SendRig.h"
#include "TestFiles.h"
#include "XoffCheck.h"
#include "transfer/LinePacer.h"
#include "transfer/PortSerialLine.h"
#include "transfer/UsbLatency.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace
{
const QByteArray DC2("\x12"), DC4("\x14");

QByteArray program(int chars)
{
    QByteArray body("%\nO1(PACE)\n");
    for (int i = 0; body.size() < chars; ++i)
        body += "N" + QByteArray::number(i) + "G1X" + QByteArray::number(i % 97) + ".5\n";
    return body + "M30\n%";
}

QByteArray onWire(QByteArray body)
{
    body.replace('O', ':');
    return DC2 + body + DC4;
}

// The pty's line at `baud`, 8N1.
LineSettings at(const PtyPair &pty, int baud)
{
    LineSettings s = pty.lineSettings();
    s.baudRate = baud;
    return s;
}

bool opened(PortSerialLine &line, const LineSettings &s)
{
    QString error;
    line.setSettings(s);
    return line.open(&error);
}
} // namespace

class TestLineRate : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString file(const QString &name, const QByteArray &bytes)
    {
        return fixture(m_dir, name, bytes);
    }

private slots:
    // The window thread does not run while the machine pauses and resumes the send: the
    // line's reader and the worker do it all.
    void xoffObeyedOnTheWire_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("bound");
        QTest::newRow("9600") << 9600 << 10;
        QTest::newRow("38400") << 38400 << 10;
        QTest::newRow("115200") << 115200 << 32;
    }
    void xoffObeyedOnTheWire()
    {
        QFETCH(int, baud);
        QFETCH(int, bound);
        PtyPair pty;
        PortSerialLine line;
        QVERIFY(opened(line, at(pty, baud)));
        const int pauses = 4;
        const qint64 every = baud / 50; // a fifth of a second of line time
        const QByteArray body = program(int(every * (pauses + 1)));
        LineRateControl control(pty, at(pty, baud), {every, 30, pauses});
        SendRig rig(&line);
        rig.ctl.setDelays(5, 5);
        rig.ctl.setFlowControl(FlowControl::XonXoff);
        rig.worker.setFileListBox({file(QStringLiteral("x.nc"), body)});
        QVERIFY(rig.ctl.confirmStart(false));
        QVERIFY(
            control.waitFor([&] { return control.count() >= body.size() + 2 + pauses; }, 20000));
        // Each XON is answered by one LF between the program's characters.
        QByteArray got = control.written();
        QCOMPARE(got.count('\n'), body.count('\n') + pauses);
        QCOMPARE(got.replace('\n', QByteArray()), onWire(body).replace('\n', QByteArray()));
        QCOMPARE(int(control.afterXoff().size()), pauses);
        checkAfterXoff(control.afterXoff(), bound);
    }

    // Fed at the line's rate, not faster (a backlog the machine would get after an XOFF)
    // and not far slower (the benchmark holds the figure: a loaded test machine wakes late);
    // "finished" comes once the machine has every character.
    void pacedAtTheLineRateAndFinishedWhenCarried()
    {
        PtyPair pty;
        PortSerialLine line;
        const LineSettings s = at(pty, 19200);
        QVERIFY(opened(line, s));
        const QByteArray body = program(1500);
        LineRateControl control(pty, s);
        SendRig rig(&line);
        rig.worker.setFileListBox({file(QStringLiteral("r.nc"), body)});
        QVERIFY(rig.ctl.confirmStart(false));
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 10000));
        const auto finishedAt = LineRateControl::Clock::now();
        const qint64 all = onWire(body).size();
        // The control's own reader may be behind on a loaded machine.
        QVERIFY(control.waitFor([&] { return control.written().size() >= all; }, 2000));
        QCOMPARE(control.written(), onWire(body));
        // Seen here a little after the worker said so, never before the line carried it all.
        const double early =
            std::chrono::duration<double, std::milli>(control.lastCarriedAt() - finishedAt).count();
        QVERIFY2(early <= 1.0, qPrintable(QStringLiteral("finished %1 ms early").arg(early)));
        const double seconds =
            std::chrono::duration<double>(control.lastCarriedAt() - control.firstStartedAt())
                .count();
        const double share = all / seconds / control.charsPerSecond();
        QVERIFY2(share > 0.5 && share <= 1.0001,
                 qPrintable(QStringLiteral("%1 of the line rate").arg(share)));
    }

    // A program cut short or rewritten on disk while it goes out is not sent as a whole one.
    void fileChangedWhileSentFails_data()
    {
        QTest::addColumn<bool>("truncate");
        QTest::newRow("cut short") << true;
        QTest::newRow("rewritten") << false;
    }
    void fileChangedWhileSentFails()
    {
        QFETCH(bool, truncate);
        PtyPair pty;
        PortSerialLine line;
        const LineSettings s = at(pty, 115200);
        QVERIFY(opened(line, s));
        const QByteArray body = program(3000);
        const QString path = file(QStringLiteral("cut.nc"), body);
        LineRateControl control(pty, s);
        SendRig rig(&line);
        rig.worker.setFileListBox({path});
        QVERIFY(rig.ctl.confirmStart(false));
        QVERIFY(control.waitFor([&] { return control.count() > 300; }, 5000));
        QFile f(path);
        if (truncate) {
            QVERIFY(f.resize(1000));
        } else {
            QThread::msleep(5); // a modification time of its own
            QVERIFY(f.open(QIODevice::ReadWrite));
            QCOMPARE(f.write(QByteArray(body.size(), 'G')), qint64(body.size()));
            f.close();
        }
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::FileFailed); }, 10000));
        QString why;
        for (const SendUpdate &u : rig.updates)
            if (u.kind == SendUpdate::FileFailed)
                why = u.text;
        QVERIFY2(why.contains(QLatin1String("cut.nc")) && why.contains(QLatin1String("DC4")),
                 qPrintable(why));
        QVERIFY(!rig.has(SendUpdate::Finished));
        QTest::qWait(100);
        QVERIFY(!control.written().contains(DC4));
    }

    void usbLatencyTimer_data()
    {
        QTest::addColumn<QByteArray>("timer");
        QTest::addColumn<bool>("warned");
        QTest::newRow("FTDI default") << QByteArray("16\n") << true;
        QTest::newRow("lowered") << QByteArray("1\n") << false;
        QTest::newRow("no timer") << QByteArray() << false;
    }
    void usbLatencyTimer()
    {
        QFETCH(QByteArray, timer);
        QFETCH(bool, warned);
        QTemporaryDir sys;
        if (!timer.isEmpty()) {
            QVERIFY(QDir().mkpath(sys.filePath(QStringLiteral("class/tty/ttyUSB7/device"))));
            QFile f(sys.filePath(QStringLiteral("class/tty/ttyUSB7/device/latency_timer")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(timer);
        }
        LineSettings s;
        s.portName = QStringLiteral("ttyUSB7");
        s.baudRate = 115200;
        const QString text = UsbLatency::warning(s, sys.path());
        QCOMPARE(!text.isEmpty(), warned);
        if (warned) {
            // 16 ms at 11,520 characters a second.
            QVERIFY2(text.contains(QLatin1String("16 ms")) && text.contains(QLatin1String("184")) &&
                         text.contains(QLatin1String("/sys/bus/usb-serial/devices/ttyUSB7/"
                                                     "latency_timer")),
                     qPrintable(text));
        }
    }

    // The wait a closing network line gives its server runs its time, or ends at the wake
    // that comes with a close or a loss from another thread.
    void timedWaitEndsAtTheWake()
    {
        LinePacer pacer;
        std::atomic<bool> closing{false};
        const auto cancelled = [&closing] { return closing.load(); };
        QElapsedTimer took;
        took.start();
        QVERIFY(!pacer.awaitCancelled(std::chrono::milliseconds(30), cancelled));
        QVERIFY2(took.elapsed() >= 30, qPrintable(QString::number(took.elapsed())));
        std::thread closer([&] {
            QThread::msleep(50);
            closing = true;
            pacer.wake();
        });
        took.restart();
        QVERIFY(pacer.awaitCancelled(std::chrono::seconds(60), cancelled));
        closer.join();
        QVERIFY2(took.elapsed() < 30000, qPrintable(QString::number(took.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestLineRate)
#include "tst_line_rate.moc"
