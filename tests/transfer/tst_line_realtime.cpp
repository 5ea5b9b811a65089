// The line's real-time duties without the window thread: XOFF obeyed by the reader while the
// window thread is busy, closing that never waits on a blocked write, settings applied while
// another thread closes the line.
#include "PtyPair.h"
#include "SendRig.h"
#include "TestFiles.h"
#include "transfer/PortSerialLine.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace
{

const QByteArray DC2("\x12"), DC4("\x14"), XON("\x11"), XOFF("\x13");

QByteArray program(int lines)
{
    QByteArray body("%\nO1\n");
    for (int i = 0; i < lines; ++i)
        body += "G1X" + QByteArray::number(i) + "Y-2.5F300\n";
    return body + "M30\n%";
}

struct PtyLine {
    PtyPair pty;
    PortSerialLine line;
    bool opened = false;
    PtyLine()
    {
        line.setSettings(pty.lineSettings());
        QString error;
        opened = line.open(&error);
    }
};

// What the machine saw: every byte, and whether the line fell quiet after each XOFF and
// started again with the LF that an XON is owed.
struct Machine {
    QByteArray got;
    int quietFailures = 0;
    int missingLf = 0;
    QList<int> lfAt;
    std::atomic<bool> done{false};
};

} // namespace

class TestLineRealtime : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // The window thread is held busy for a second at a time while the machine pauses and
    // resumes the send five times: the reader alone must obey.
    void xoffObeyedWhileWindowThreadIsBusy()
    {
        PtyLine l;
        QVERIFY(l.opened);
        SendRig rig(&l.line);
        rig.ctl.setFlowControl(FlowControl::XonXoff);
        rig.ctl.setDelays(50, 50);
        const QByteArray body = program(12000);
        rig.worker.setFileListBox({fixture(m_dir, QStringLiteral("big.nc"), body)});
        constexpr int Pauses = 5;

        Machine m;
        const std::shared_ptr<PauseGate> gate = rig.worker.pauseGate();
        std::thread machine([&] {
            for (int p = 0; p < Pauses; ++p) {
                // Bytes sent since the XON: the send runs again when the XOFF goes.
                const qint64 target = m.got.size() + 20000;
                while (m.got.size() < target && !m.got.contains(DC4))
                    m.got += l.pty.readBytes(1, 50);
                l.pty.send(XOFF);
                // A character that passed the gate just before the XOFF may still be on its
                // way (the worker descheduled, the kernel late): once the worker is back at
                // the gate it has been written, and the machine must get exactly what was
                // written by then (DC2, the characters, one LF per XON) and no byte more.
                QDeadlineTimer deadline(10000);
                while (gate->xoffSamples().size() <= size_t(p) && !deadline.hasExpired())
                    m.got += l.pty.readBytes(INT_MAX, 5);
                const qint64 written = 1 + gate->written() + p;
                while (m.got.size() < written && !deadline.hasExpired())
                    m.got += l.pty.readBytes(written - m.got.size(), 50);
                const int settled = int(m.got.size());
                m.got += l.pty.readBytes(INT_MAX, 300);
                if (m.got.size() != written)
                    ++m.quietFailures;
                l.pty.send(XON);
                m.got += l.pty.readBytes(1, 3000);
                if (m.got.size() <= settled || m.got.at(settled) != '\n')
                    ++m.missingLf;
                else
                    m.lfAt << settled;
            }
            while (!m.got.endsWith(DC4))
                m.got += l.pty.readBytes(1, 5000);
            m.done = true;
        });
        rig.ctl.confirmStart(false);
        while (!m.done)
            QThread::msleep(1000); // a listing, a preview, a dialog: anything but events
        machine.join();
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 5000));

        QCOMPARE(m.quietFailures, 0);
        QCOMPARE(m.missingLf, 0);
        const auto samples = rig.worker.pauseGate()->xoffSamples();
        QCOMPARE(int(samples.size()), Pauses);
        for (const auto &s : samples)
            QVERIFY2(
                s.writtenAfter <= 1,
                qPrintable(
                    QStringLiteral("%1 characters after the gate closed").arg(s.writtenAfter)));
        QByteArray exact = m.got;
        for (int i = int(m.lfAt.size()) - 1; i >= 0; --i)
            exact.remove(m.lfAt[i], 1);
        QByteArray expected = body;
        expected.replace('O', ':');
        QCOMPARE(exact, DC2 + expected + DC4);
    }

    // A write blocked by a machine that takes nothing must not hold up the close.
    void closeDoesNotWaitForABlockedWrite()
    {
        PtyLine l;
        QVERIFY(l.opened);
        std::atomic<qint64> result{0};
        std::thread writer([&] {
            qint64 n = 0;
            while (n >= 0 && l.line.isConnected())
                n = l.line.write(QByteArray(4096, 'x'));
            result = n;
        });
        QTest::qWait(300); // the pty's buffer is full long before this
        QElapsedTimer t;
        t.start();
        l.line.close();
        const qint64 ms = t.elapsed();
        writer.join();
        QVERIFY2(ms < 100, qPrintable(QStringLiteral("close took %1 ms").arg(ms)));
        QVERIFY(!l.line.isConnected());
    }

    // The adapter is pulled: the line says so once, and its port name is free for the
    // adapter's return while the window still shows what happened.
    void pulledCableMarksTheLineLost()
    {
        PtyLine l;
        QVERIFY(l.opened);
        const QString port = l.pty.slavePath();
        QSignalSpy lost(&l.line, &SerialLine::lineLost);
        l.pty.hangUp();
        QVERIFY(lost.wait(2000));
        QVERIFY(l.line.isLost());
        QVERIFY2(lost.first().first().toString().contains(port),
                 qPrintable(lost.first().first().toString()));
        QCOMPARE(l.line.write("x"), qint64(-1));
        PortSerialLine again;
        LineSettings s;
        s.portName = port;
        again.setSettings(s);
        QString error;
        QVERIFY(!again.open(&error));
        QVERIFY2(!error.contains(QStringLiteral("in use")), qPrintable(error));
        QTest::qWait(50);
        QCOMPARE(lost.count(), 1);
    }

    // The send worker closes its line after the last file while the window thread may be
    // changing the settings (the receive window switching NUL handling, a dialog).
    void settingsWhileAnotherThreadCloses()
    {
        PtyLine l;
        QVERIFY(l.opened);
        for (int round = 0; round < 30; ++round) {
            QString error;
            QVERIFY2(l.line.open(&error), qPrintable(error));
            std::thread closer([&] {
                QThread::usleep(200 * (round % 5));
                l.line.drainAndClose();
            });
            for (int i = 0; i < 20; ++i) {
                LineSettings s = l.line.settings();
                s.baudRate = i % 2 ? 9600 : 115200;
                QVERIFY(l.line.setSettings(s, &error));
                l.line.setDiscardNull(i % 3 == 0);
            }
            closer.join();
            QVERIFY(!l.line.isConnected());
        }
    }
};

QTEST_GUILESS_MAIN(TestLineRealtime)
#include "tst_line_realtime.moc"
