// The send window driven as a user would: captions, pacing controls, the confirm-button
// states, activation, failed opening and closing after the last file.
#include "FakeSerialLine.h"
#include "TestFiles.h"
#include "WindowHelpers.h"
#include "settings/LanguagePack.h"
#include "transfer/ComWidgets.h"
#include "transfer/SendController.h"
#include "transfer/Transport.h"
#include "transfer/TransportThread.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace
{
const QStringList kLines = {
    "Send",    "Protocol", "Cannot open the port", "Confirm", "Resume", "Pause", "Files", "Content",
    "Standby", "Leave"};

QString record(const QString &flow)
{
    return QStringLiteral("\"Mill 1\",ttyS9,9600,None,8,1,%1,/nc,*.nc,None").arg(flow);
}

} // namespace

class TestTransportWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString file(const QString &name, const QByteArray &bytes)
    {
        return fixture(m_dir, name, bytes);
    }

    TTransport *makeWindow(FakeSerialLine **lineOut, const QString &flow = "None")
    {
        auto *line = new FakeSerialLine(64, 50000);
        auto *w = new TTransport(line);
        w->controller()->setDelays(20, 20);
        w->setLanguage(kLines);
        if (!w->setPortSetting(PortProfile::fromText(record(flow))))
            return nullptr;
        *lineOut = line;
        return w;
    }

private slots:
    void captionsFromLanguage()
    {
        FakeSerialLine *line;
        QPointer<TTransport> w = makeWindow(&line);
        QVERIFY(w);
        QCOMPARE(named<QLabel>(w, "StaticText1")->text(), QStringLiteral("Files"));
        QCOMPARE(named<QLabel>(w, "StaticText2")->text(), QStringLiteral("Content"));
        QCOMPARE(named<QCheckBox>(w, "CheckBox1")->text(), QStringLiteral("Standby"));
        QCOMPARE(named<QToolButton>(w, "ToolButton2")->text(), QStringLiteral("Leave"));
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(),
                 QStringLiteral("Confirm")); // before any activation
        w->setFileList({"/a/O1.nc", "/a/O2.nc"});
        QCOMPARE(named<QListWidget>(w, "ListBox2")->count(), 2);
        showActive(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Mill 1-Send"));
        QCOMPARE(named<QLabel>(w, "StaticText3")->text(),
                 QStringLiteral("Protocol:ttyS9,9600,None,8,1 Flow:None"));
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Confirm"));
        QVERIFY(line->isConnected());
        QVERIFY(line->settings().discardNull);
        delete w;
    }

    void pacingControls_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<bool>("checkEnabled");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("cts");
        QTest::addColumn<bool>("xon");
        QTest::newRow("0") << "None" << false << false << false << false;
        QTest::newRow("1") << "RTS/CTS" << true << true << true << false;
        QTest::newRow("2") << "Xon/Xoff" << true << true << false << true;
        QTest::newRow("3") << "RTS/CTS+Xon/Xoff" << true << true << true << true;
    }
    void pacingControls()
    {
        QFETCH(QString, flow);
        QFETCH(bool, checkEnabled);
        QFETCH(bool, checked);
        QFETCH(bool, cts);
        QFETCH(bool, xon);
        FakeSerialLine *line;
        std::unique_ptr<TTransport> w(makeWindow(&line, flow));
        QVERIFY(w);
        QCOMPARE(named<QCheckBox>(w, "CheckBox1")->isEnabled(), checkEnabled);
        QCOMPARE(named<QCheckBox>(w, "CheckBox1")->isChecked(), checked);
        QCOMPARE(named<QLabel>(w, "Label1")->isEnabled(), cts);
        QCOMPARE(named<TComLed>(w, "ComLed1")->isEnabled(), cts);
        QCOMPARE(named<QLabel>(w, "Label2")->isEnabled(), xon);
        QCOMPARE(named<TComLed>(w, "ComLed2")->isEnabled(), xon);
        QCOMPARE(line->settings().hardwareHandshake, flow.startsWith("RTS"));
        QVERIFY(named<TComLed>(w, "ComLed2")->isOn());
        QVERIFY(!named<TComLed>(w, "ComLed1")->isOn());
    }

    void confirmButtonStates()
    {
        FakeSerialLine *line;
        QPointer<TTransport> w = makeWindow(&line);
        QByteArray body("%\nO1\n");
        for (int i = 0; i < 400; ++i)
            body += "G1X1\n";
        body += "%\n(tail)\n";
        w->setFileList({file("a.nc", body), file("b.nc", "%\nO2\n%\n")});
        showActive(w);
        QVERIFY(w->worker()->isPaused());
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Pause"));
        QVERIFY(!named<TComLed>(w, "ComLed2")->isOn());
        QVERIFY(!w->worker()->isPaused());
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Resume"));
        QVERIFY(w->worker()->isPaused());
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Pause"));
        QVERIFY(!w->worker()->isPaused());

        // Between files the worker waits, the button offers to continue and says so; the
        // bar is full although the text after the second "%" was not sent.
        QTRY_COMPARE_WITH_TIMEOUT(w->sendState(), TTransport::BetweenFiles, 5000);
        QVERIFY(w->worker()->isPaused());
        QCOMPARE(named<QListWidget>(w, "ListBox2")->currentRow(), 0);
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Resume"));
        QVERIFY(named<QLabel>(w, "StatusLabel")->isVisible());
        QCOMPARE(named<QProgressBar>(w, "ProgressBar1")->maximum(), int(body.size()));
        QCOMPARE(named<QProgressBar>(w, "ProgressBar1")->value(), int(body.size()));
        QCOMPARE(named<QListWidget>(w, "ListBox1")->item(0)->text(), QStringLiteral("%"));
        QCOMPARE(named<QListWidget>(w, "ListBox1")->item(1)->text(), QStringLiteral(":1"));
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Pause"));
        // After the last file the line closes and the window with it.
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 5000);
    }

    // "Send from block…" after a broken tool: checked against every file, then the send
    // goes out from the block, behind the state the skipped part set.
    void sendFromBlock()
    {
        FakeSerialLine *line;
        QPointer<TTransport> w = makeWindow(&line);
        w->setFileList({file("r.nc", "%\nO5\nG91\nT4 M6\nN10 X1.\nN20 X2.\nM30\n%\n"),
                        file("s.nc", "%\nO6\nN20 Y1.\n%\n")});
        showActive(w);
        QString why;
        QVERIFY(!w->setRestartPoint("N30", &why));
        QCOMPARE(why, QStringLiteral("r.nc: The program has no block N30."));
        QVERIFY(!w->setRestartPoint("G1", &why));
        QVERIFY(w->setRestartPoint(" n20 ", &why));
        QCOMPARE(named<QToolButton>(w, "FromBlockButton")->text(), QStringLiteral("From N20…"));
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QVERIFY(!named<QToolButton>(w, "FromBlockButton")->isEnabled());
        // Between the files the window is still there, and so is its line.
        QTRY_COMPARE_WITH_TIMEOUT(w->sendState(), TTransport::BetweenFiles, 5000);
        QCOMPARE(line->wire(),
                 QByteArray("\x12%\n:5\n(RESTART AT N20)\nG91\nT4 M6\nN20 X2.\nM30\n%\x14"));
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 5000);
    }

    // What the status line says through the pacing events, and what a press then does.
    // Steps: press, xon, xoff, cts1, cts0; each expects a state and the button's caption.
    void sendStatesReadable_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<bool>("standby");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<QStringList>("buttons");
        using T = TTransport;
        QTest::newRow("standby waits for XON")
            << "Xon/Xoff" << true << QStringList{"press", "xon", "xoff", "xon"}
            << QList<int>{T::WaitingMachine, T::Sending, T::PausedByXoff, T::Sending}
            << QStringList{"Pause", "Pause", "Pause", "Pause"};
        QTest::newRow("XOFF without XON pacing")
            << "None" << false << QStringList{"press", "xoff", "xon", "press"}
            << QList<int>{T::Sending, T::PausedByXoff, T::PausedByXoff, T::Sending}
            << QStringList{"Pause", "Resume", "Resume", "Pause"};
        QTest::newRow("CTS paces")
            << "RTS/CTS" << true << QStringList{"press", "cts1", "cts0", "cts1"}
            << QList<int>{T::WaitingMachine, T::Sending, T::PausedByCts, T::Sending}
            << QStringList{"Pause", "Pause", "Pause", "Pause"};
        QTest::newRow("user pause outranks XOFF")
            << "Xon/Xoff" << false << QStringList{"press", "press", "xoff", "press"}
            << QList<int>{T::Sending, T::PausedByUser, T::PausedByUser, T::Sending}
            << QStringList{"Pause", "Resume", "Resume", "Pause"};
    }
    void sendStatesReadable()
    {
        QFETCH(QString, flow);
        QFETCH(bool, standby);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, states);
        QFETCH(QStringList, buttons);
        FakeSerialLine *line;
        std::unique_ptr<TTransport> w(makeWindow(&line, flow));
        QByteArray body("%\n");
        for (int i = 0; i < 20000; ++i)
            body += "G1X1.\n";
        w->setFileList({file("states.nc", body + "%")});
        showActive(w.get());
        named<QCheckBox>(w, "CheckBox1")->setChecked(standby);
        const int controlsAt = named<QProgressBar>(w, "ProgressBar1")->y();
        const QStringList &texts = LanguagePack::builtIn(LanguagePack::TransferFile);
        const QMap<int, int> textOf = {{TTransport::PausedByXoff, 12},
                                       {TTransport::PausedByCts, 13},
                                       {TTransport::PausedByUser, 15}};
        for (int k = 0; k < steps.size(); ++k) {
            const QString &step = steps[k];
            if (step == "press")
                QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
            else if (step == "xon" || step == "xoff")
                line->inject(step == "xon" ? "\x11" : "\x13");
            else
                line->setCts(step == "cts1");
            const auto state = TTransport::SendState(states[k]);
            QTRY_COMPARE(w->sendState(), state);
            QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), buttons[k]);
            QCOMPARE(w->worker()->isPaused(), state != TTransport::Sending);
            QCOMPARE(named<QLabel>(w, "StatusLabel")->isVisible(), state != TTransport::Sending);
            if (state == TTransport::WaitingMachine)
                QCOMPARE(named<QLabel>(w, "StatusLabel")->text(),
                         texts.at(flow == "RTS/CTS" ? 11 : 10));
            else if (textOf.contains(state))
                QCOMPARE(named<QLabel>(w, "StatusLabel")->text(), texts.at(textOf[state]));
            if (state == TTransport::Sending) {
                const qsizetype sent = line->wire().size();
                QTRY_VERIFY(line->wire().size() > sent);
            }
            QCOMPARE(named<QProgressBar>(w, "ProgressBar1")->y(), controlsAt);
        }
        QVERIFY(w->isSending());
    }

    // Closing during a send asks; No keeps the send going, and a finished or failed send
    // closes without a question.
    void closeDuringSendAsks()
    {
        FakeSerialLine *line;
        QPointer<TTransport> w = makeWindow(&line);
        QByteArray body("%\n");
        for (int i = 0; i < 20000; ++i)
            body += "G1X1.\n";
        w->setFileList({file("close.nc", body + "%")});
        showActive(w);
        QVERIFY(!w->isSending());
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QVERIFY(w->isSending());
        BoxAnswer answer;
        answer.arm(QMessageBox::No);
        QTest::mouseClick(named<QToolButton>(w, "ToolButton2"), Qt::LeftButton);
        QVERIFY(answer.asked);
        QCOMPARE(answer.text, LanguagePack::builtIn(LanguagePack::TransferFile).at(18));
        QVERIFY(w && w->isVisible());
        const qsizetype sent = line->wire().size();
        QTRY_VERIFY(line->wire().size() > sent);
        answer = BoxAnswer();
        answer.arm(QMessageBox::Yes);
        w->close();
        QVERIFY(answer.asked);
        QTRY_VERIFY(w.isNull());
    }

    void activationResetsToReadyWithoutPausing()
    {
        FakeSerialLine *line;
        QPointer<TTransport> w = makeWindow(&line, "RTS/CTS");
        QByteArray wire;
        line->setMirror(&wire);
        w->setFileList({file("c.nc", "%\nO3\n%\n")});
        showActive(w);
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"),
                          Qt::LeftButton); // CTS light off: no start
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Pause"));
        QVERIFY(w->worker()->isPaused());

        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        showActive(w);
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Confirm"));
        // Ready again: a CTS rise is ignored, but it lights the CTS light.
        line->setCts(true);
        QVERIFY(named<TComLed>(w, "ComLed1")->isOn());
        QTest::qWait(60);
        QVERIFY(w->worker()->isPaused());
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton); // light on: start
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 5000);
        QCOMPARE(wire, QByteArray("\x12%\n:3\n%\x14"));
    }

    void unknownCaptionDoesNothing()
    {
        FakeSerialLine *line;
        std::unique_ptr<TTransport> w(makeWindow(&line));
        w->setFileList({file("d.nc", "%\n%\n")});
        showActive(w.get());
        named<QToolButton>(w, "ToolButton1")->setText(QStringLiteral("something else"));
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QCOMPARE(named<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("something else"));
        QVERIFY(w->worker()->isPaused());
    }

    void failedOpenShowsMessageAndCloses()
    {
        auto *line = new FakeSerialLine;
        line->setFailOpen(true);
        QPointer<TTransport> w = new TTransport(line);
        w->setLanguage(kLines);
        QVERIFY(w->setPortSetting(PortProfile::fromText(record("None"))));
        BoxCatcher box;
        box.arm();
        w->show();
        QTRY_COMPARE(box.title, QStringLiteral("message"));
        QCOMPARE(box.text, QStringLiteral("Cannot open the port"));
        QTRY_VERIFY(w.isNull());
    }

    void shortRecordRefused()
    {
        auto *w = new TTransport(new FakeSerialLine);
        BoxCatcher box;
        box.arm();
        QVERIFY(!w->setPortSetting(PortProfile::fromText(QStringLiteral("A,COM1,9600"))));
        QVERIFY(box.text.contains(QStringLiteral("at least 7")));
        delete w;
    }

    // A long device path is shortened in the status line rather than widening the window, at
    // any font size; the whole name is in its tooltip.
    void longPortNameKeepsWindowWidth()
    {
        const QString port =
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        QPointer<TTransport> w = new TTransport(new FakeSerialLine);
        w->setLanguage(kLines);
        QVERIFY(w->setPortSetting(PortProfile::fromText(
            QStringLiteral("\"Mill 1\",%1,9600,None,8,1,None,/nc,*.nc,None").arg(port))));
        w->show();
        QVERIFY(named<QLabel>(w, "StaticText3")->toolTip().contains(port));
        for (const int scale : {1, 2}) {
            QFont font = w->font();
            font.setPointSize(QApplication::font().pointSize() * scale);
            w->setFont(font);
            w->layout()->activate();
            QVERIFY2(w->minimumSizeHint().width() <= 573,
                     qPrintable(QString::number(w->minimumSizeHint().width())));
        }
        delete w;
    }

    void portListSortedAsText()
    {
        QCOMPARE(TComComboBox::sortedPortNames({"COM2", " COM10 ", "COM1", "COM2"}),
                 (QStringList{"COM1", "COM10", "COM2"}));
        TComLed led;
        FakeSerialLine line;
        led.setComPort(&line);
        QVERIFY(!led.isOn());
        line.setCts(true);
        QVERIFY(led.isOn());
        led.setEnabled(false);
        line.setCts(false);
        QVERIFY(!led.isOn()); // a disabled light still follows its signal
    }

    void fileFailureShownInWindow()
    {
        FakeSerialLine *line;
        QPointer<TTransport> w = makeWindow(&line);
        const QString missing = m_dir.filePath("missing.nc");
        w->setFileList({missing});
        showActive(w);
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QTRY_VERIFY(named<QLabel>(w, "StatusLabel")->isVisible());
        QVERIFY(named<QLabel>(w, "StatusLabel")->text().contains(missing));
        QVERIFY(line->isConnected());
        QTest::mouseClick(named<QToolButton>(w, "ToolButton2"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
    }

    // The machine holds CTS low with the driver queue full: Exit does not wait for it.
    void exitWithCtsHeldLowIsPrompt()
    {
        auto *line = new FakeSerialLine(1024, 960);
        QPointer<TTransport> w = new TTransport(line);
        w->setLanguage(kLines);
        QVERIFY(w->setPortSetting(PortProfile::fromText(record("RTS/CTS+Xon/Xoff"))));
        w->setFileList({file("short.nc", QByteArray("%\nO5\n") + QByteArray(300, 'G') + "\n%")});
        showActive(w);
        named<QCheckBox>(w, "CheckBox1")->setChecked(false);
        QVERIFY(!line->cts());
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QTRY_VERIFY(line->outputQueued() > 0);
        QTest::qWait(50);
        QVERIFY(w);
        // The send is in progress: Exit asks, and the time counts from the answer.
        QElapsedTimer t;
        QTimer::singleShot(50, [&t] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            t.start();
            box->button(QMessageBox::Yes)->click();
        });
        QTest::mouseClick(named<QToolButton>(w, "ToolButton2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 1000);
        QVERIFY(t.isValid());
        QVERIFY2(t.elapsed() < 100, qPrintable(QString::number(t.elapsed())));
    }

    void lineLostEndsTheSend_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::newRow("sending") << false;
        QTest::newRow("paused by XOFF") << true;
    }
    void lineLostEndsTheSend()
    {
        QFETCH(bool, paused);
        FakeSerialLine *line;
        QPointer<TTransport> w = makeWindow(&line);
        QByteArray body("%\n");
        for (int i = 0; i < 3000; ++i)
            body += "G1X1.\n";
        w->setFileList({file("long.nc", body + "%")});
        showActive(w);
        QTest::mouseClick(named<QToolButton>(w, "ToolButton1"), Qt::LeftButton);
        QTRY_VERIFY(line->wire().size() > 100);
        if (paused) {
            line->inject("\x13");
            QTRY_VERIFY(w->worker()->isPaused());
        }
        line->pull();
        // The failure replaces whatever state the line was in.
        QTRY_VERIFY(named<QLabel>(w, "StatusLabel")->text().contains(QStringLiteral("Line lost")));
        QVERIFY(named<QLabel>(w, "StatusLabel")->isVisible());
        QVERIFY2(named<QLabel>(w, "StatusLabel")->text().contains(QStringLiteral("Line lost")),
                 qPrintable(named<QLabel>(w, "StatusLabel")->text()));
        QVERIFY(w->worker()->wait(1000));
        QTest::mouseClick(named<QToolButton>(w, "ToolButton2"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
    }
};

QTEST_MAIN(TestTransportWindow)
#include "tst_transport_window.moc"
