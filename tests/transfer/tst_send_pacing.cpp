// Pacing of a send on the in-memory line: XOFF latency, CTS handshake, write time-outs
// that must never lose a byte, and failures reported to the window.
#include "FakeSerialLine.h"
#include "SendRig.h"
#include "TestFiles.h"
#include "settings/NcText.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(NcText::CodePage)

namespace
{
const QByteArray DC2("\x12"), DC4("\x14");

QByteArray program(int lines)
{
    QByteArray body("%\nO1\n");
    for (int i = 0; i < lines; ++i)
        body += "G1X" + QByteArray::number(i) + "Y-2.5\n";
    return body + "M30\n%";
}

QByteArray onWire(QByteArray body)
{
    body.replace('O', ':');
    return DC2 + body + DC4;
}
} // namespace

class TestSendPacing : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString file(const QString &name, const QByteArray &bytes)
    {
        return fixture(m_dir, name, bytes);
    }

    static void openLine(FakeSerialLine &line, bool handshake)
    {
        LineSettings s;
        s.hardwareHandshake = handshake;
        line.setSettings(s);
        QString error;
        QVERIFY(line.open(&error));
    }

private slots:
    // The driver queue holds a kilobyte; XOFF must still stop the text within the pacing lead.
    void xoffObeyedWithinTheLead_data()
    {
        QTest::addColumn<int>("flow");
        QTest::newRow("code 0") << 0;
        QTest::newRow("code 2") << 2;
    }
    void xoffObeyedWithinTheLead()
    {
        QFETCH(int, flow);
        FakeSerialLine line(1024, 9600 / 10.0);
        openLine(line, false);
        SendRig rig(&line);
        rig.ctl.setFlowControl(FlowControl(flow));
        const QByteArray body = program(200);
        rig.worker.setFileListBox({file(QStringLiteral("x.nc"), body)});
        QVERIFY(rig.ctl.confirmStart(false));
        QVERIFY(SendRig::spin([&] { return line.wire().size() >= 60; }, 3000));
        line.inject("\x13");
        const int atXoff = line.wire().size();
        QVERIFY(rig.worker.isPaused());
        // The worker may be inside a write that passed the gate just before the XOFF: wait
        // until the queue is empty and the wire has not grown for a while.
        int last = -1;
        QElapsedTimer still;
        QVERIFY(SendRig::spin(
            [&] {
                const int now = line.wire().size();
                if (now != last || line.outputQueued() > 0) {
                    last = now;
                    still.restart();
                }
                return still.elapsed() >= 100;
            },
            3000));
        const int after = line.wire().size() - atXoff;
        QVERIFY2(after <= line.paceLead() + 1,
                 qPrintable(QStringLiteral("%1 characters followed the XOFF").arg(after)));
        QTest::qWait(60);
        QCOMPARE(line.wire().size(), atXoff + after);
        rig.worker.resumeWorker();
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 10000));
        QCOMPARE(line.wire(), onWire(body));
    }

    // Code 3 does not pause on CTS drop: writes time out, and the rest must be kept and
    // retried instead of dropped.
    void timedOutWriteKeepsTheRest()
    {
        FakeSerialLine line(8, 20000);
        line.setWriteTimeouts(20, 1);
        openLine(line, true);
        line.setCts(true);
        SendRig rig(&line);
        rig.ctl.setFlowControl(FlowControl::RtsCtsXonXoff);
        const QByteArray body = program(40);
        rig.worker.setFileListBox({file(QStringLiteral("t.nc"), body)});
        QVERIFY(rig.ctl.confirmStart(false));
        QVERIFY(SendRig::spin([&] { return line.wire().size() >= 30; }, 3000));
        line.setCts(false);
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Waiting); }, 3000));
        const int held = line.wire().size();
        QTest::qWait(150); // several write time-outs
        QCOMPARE(line.wire().size(), held);
        QVERIFY(!rig.has(SendUpdate::Finished));
        line.setCts(true);
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 5000));
        QCOMPARE(line.wire(), onWire(body));
        // Waiting is shown, then cleared.
        int waitingOn = -1, waitingOff = -1;
        for (int i = 0; i < rig.updates.size(); ++i) {
            if (rig.updates[i].kind == SendUpdate::Waiting)
                (rig.updates[i].value ? waitingOn : waitingOff) = i;
        }
        QVERIFY(waitingOn >= 0);
        QVERIFY(waitingOff > waitingOn);
    }

    void ctsPacingWithCode1()
    {
        FakeSerialLine line(16, 20000);
        openLine(line, true);
        SendRig rig(&line);
        rig.ctl.setFlowControl(FlowControl::RtsCts);
        const QByteArray body = program(300);
        rig.worker.setFileListBox({file(QStringLiteral("c.nc"), body)});

        // CTS rising while the button is ready is ignored, and the light is only learnt
        // from a change, so confirm does not start yet.
        QVERIFY(!rig.ctl.confirmStart(true));
        QTest::qWait(80);
        QCOMPARE(line.wire().size(), 0);
        QVERIFY(rig.worker.isPaused());

        line.setCts(true); // not ready any more: resume after the delay
        QVERIFY(SendRig::spin([&] { return line.wire().size() > 100; }, 3000));
        line.setCts(false);
        QVERIFY(rig.worker.isPaused());
        // CTS off holds the driver queue; the character being written completes.
        QTest::qWait(20);
        const int held = line.wire().size();
        const qint64 queued = line.outputQueued();
        QVERIFY(queued <= line.paceLead() + 1);
        QTest::qWait(100);
        QCOMPARE(line.wire().size(), held);
        QCOMPARE(line.outputQueued(), queued);
        line.setCts(true);
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 10000));
        QCOMPARE(line.wire(), onWire(body));
    }

    void ctsIgnoredInReadyState()
    {
        FakeSerialLine line(16, 20000);
        openLine(line, true);
        SendRig rig(&line);
        rig.ctl.setFlowControl(FlowControl::RtsCts);
        rig.worker.setFileListBox({file(QStringLiteral("r.nc"), program(3))});
        rig.ctl.setReady(true);
        line.setCts(true);
        QTest::qWait(120);
        QVERIFY(rig.worker.isPaused());
        QCOMPARE(line.wire().size(), 0);
        // The light is now on, so the press starts at once.
        QVERIFY(rig.ctl.confirmStart(true));
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 3000));
    }

    void xonIgnoredWithCode0AndCode1()
    {
        for (int flow : {0, 1}) {
            FakeSerialLine line(64, 20000);
            openLine(line, false);
            SendRig rig(&line);
            rig.ctl.setFlowControl(FlowControl(flow));
            rig.worker.setFileListBox({file(QStringLiteral("n.nc"), program(2))});
            line.inject("\x11");
            QTest::qWait(120);
            QCOMPARE(line.wire(), QByteArray());
            QVERIFY(rig.worker.isPaused());
        }
    }

    void xonSendsLfAndResumesWithCode3()
    {
        FakeSerialLine line(64, 20000);
        openLine(line, true);
        line.setCts(true);
        SendRig rig(&line);
        rig.ctl.setFlowControl(FlowControl::RtsCtsXonXoff);
        rig.worker.setFileListBox(
            {file(QStringLiteral("a.nc"), "%\nO1\n%"), file(QStringLiteral("b.nc"), "%\nO2\n%")});
        QVERIFY(!rig.ctl.confirmStart(true));
        QVERIFY(!rig.ctl.xonLight());
        line.inject("\x11");
        QVERIFY(rig.ctl.xonLight());
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::PauseCaption); }, 3000));
        QVERIFY(SendRig::spin([&] { return line.outputQueued() == 0; }, 3000));
        QCOMPARE(line.wire(), QByteArray("\n") + DC2 + "%\n:1\n%" + DC4);
        // The next XON continues with the second file.
        line.inject("\x11");
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 3000));
        QCOMPARE(line.wire(),
                 QByteArray("\n") + DC2 + "%\n:1\n%" + DC4 + "\n" + DC2 + "%\n:2\n%" + DC4);
    }

    void unreadableFileIsReported()
    {
        FakeSerialLine line(64, 20000);
        openLine(line, false);
        SendRig rig(&line);
        const QString missing = m_dir.filePath(QStringLiteral("gone.nc"));
        rig.worker.setFileListBox({file(QStringLiteral("ok.nc"), "%\nO1\n%"), missing});
        rig.worker.setPauseString(QStringLiteral("wait"));
        rig.ctl.confirmStart(false);
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::PauseCaption); }, 3000));
        rig.worker.resumeWorker();
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::FileFailed); }, 3000));
        const SendUpdate &failed = rig.updates.last();
        QCOMPARE(failed.kind, SendUpdate::FileFailed);
        QCOMPARE(failed.value, qint64(1));
        QVERIFY(!failed.text.isEmpty());
        QVERIFY(!rig.has(SendUpdate::Finished));
        // The line stays open for the user to leave.
        QVERIFY(line.isConnected());
        QVERIFY(SendRig::spin([&] { return line.outputQueued() == 0; }, 3000));
        QCOMPARE(line.wire(), DC2 + "%\n:1\n%" + DC4);
    }

    void lineClosedUnderTheWorker()
    {
        FakeSerialLine line(16, 2000);
        openLine(line, false);
        SendRig rig(&line);
        rig.worker.setFileListBox({file(QStringLiteral("l.nc"), program(200))});
        rig.ctl.confirmStart(false);
        QVERIFY(SendRig::spin([&] { return line.wire().size() > 20; }, 3000));
        line.close();
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::FileFailed); }, 3000));
        QVERIFY(rig.worker.wait(2000));

        // Stopping first (the exit button) ends quietly.
        FakeSerialLine line2(16, 2000);
        openLine(line2, false);
        SendRig rig2(&line2);
        rig2.worker.setFileListBox({file(QStringLiteral("l2.nc"), program(200))});
        rig2.ctl.confirmStart(false);
        QVERIFY(SendRig::spin([&] { return line2.wire().size() > 20; }, 3000));
        rig2.worker.stopWorker();
        line2.close();
        QVERIFY(rig2.worker.wait(2000));
        QTest::qWait(20);
        QVERIFY(!rig2.has(SendUpdate::FileFailed));
    }

    // The echo shows what was sent in the NC code page: a double-byte comment whole, never
    // split into two halves that show as boxes.
    void echoAndProgress_data()
    {
        QTest::addColumn<NcText::CodePage>("page");
        QTest::addColumn<QString>("comment");
        QTest::newRow("latin-1") << NcText::CodePage::Latin1 << QStringLiteral("(TAB\tX)");
        QTest::newRow("big5") << NcText::CodePage::Big5 << QStringLiteral("(\u7C97\u52A0\u5DE5 A)");
        QTest::newRow("gbk") << NcText::CodePage::Gbk << QStringLiteral("(\u7C97\u52A0\u5DE5)");
        QTest::newRow("utf-8") << NcText::CodePage::Utf8 << QStringLiteral("(\u7C97\u52A0\u5DE5)");
    }
    void echoAndProgress()
    {
        QFETCH(NcText::CodePage, page);
        QFETCH(QString, comment);
        const NcText::CodePage before = NcText::codePage();
        NcText::setCodePage(page);
        auto restore = qScopeGuard([&] { NcText::setCodePage(before); });
        FakeSerialLine line(64, 50000);
        openLine(line, false);
        SendRig rig(&line);
        const QByteArray body =
            "%\r\nO12 " + NcText::toBytes(comment) + "\r\n\r\nM30\r\n%\r\nafter";
        rig.worker.setFileListBox({file(QStringLiteral("e.nc"), body)});
        rig.ctl.confirmStart(false);
        QVERIFY(SendRig::spin([&] { return rig.has(SendUpdate::Finished); }, 3000));
        QStringList echo;
        qint64 max = -1, steps = 0;
        for (const SendUpdate &u : rig.updates) {
            if (u.kind == SendUpdate::EchoStart)
                echo = QStringList{QString()};
            else if (u.kind == SendUpdate::ProgressMax)
                max = u.value;
            else if (u.kind == SendUpdate::Sent) {
                QVERIFY(!u.reset);
                steps += u.value;
                const QStringList parts = u.text.split(QLatin1Char('\n'));
                echo.last() += parts.first();
                echo += parts.mid(1);
            }
        }
        // Blanks and control characters are not echoed.
        QString shown = comment;
        shown.remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
        QCOMPARE(echo, (QStringList{QStringLiteral("%"), QStringLiteral(":12") + shown, QString(),
                                    QStringLiteral("M30"), QStringLiteral("%")}));
        QCOMPARE(max, qint64(body.size()));
        QCOMPARE(steps, qint64(body.indexOf("after") - 2)); // stops after the second %
    }
};

QTEST_GUILESS_MAIN(TestSendPacing)
#include "tst_send_pacing.moc"
