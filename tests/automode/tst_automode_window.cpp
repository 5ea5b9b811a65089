// The auto-mode window offscreen, on a pty with the radio adapter simulator behind it.
#include "PtyPair.h"
#include "SendRig.h"
#include "TestFiles.h"
#include "automode/WATransport.h"
#include "tools/sim/RadioAdapterSim.h"
#include "transfer/PortSerialLine.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace AutoMode;
using Sim::RadioAdapterSim;

class TestAutoModeWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void wirelessPanesAndLog();
    void cableShowsOnePane();
    void lostCableIsServedAgain();
    void typeDecidesPanesAndNul_data();
    void typeDecidesPanesAndNul();

private:
    // The window gets a line of its own on the port.
    TWATransport *open(const QString &portName, const QString &type);
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_work;
};

void TestAutoModeWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_work = m_dir->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(m_work));
}

TWATransport *TestAutoModeWindow::open(const QString &portName, const QString &type)
{
    auto *line = new PortSerialLine;
    LineSettings s;
    s.portName = portName;
    line->setSettings(s);
    LinkTimings timings;
    timings.selectPauseMs = 10;
    auto *w = new TWATransport([] { return GeneralValues(); }, line, nullptr, timings);
    w->setLogFolder(m_dir->path());
    w->setLanguage({"AUTO", "Received", "Sent", "Log", "Clear log", "Exit", "no port"});
    w->setPortSetting(PortProfile::fromFields(
        {"LATHE1",
         line->settings().portName.isEmpty() ? QStringLiteral("x") : line->settings().portName,
         "9600", "None", "8", "1", "None", m_work, "*.nc", type}));
    w->show();
    // The line opens from the event loop, as the window never holds it up.
    SendRig::spin([w] { return w->lineOpen(); }, 2000);
    return w;
}

void TestAutoModeWindow::wirelessPanesAndLog()
{
    PtyPair pty;
    RadioAdapterSim adapter(pty.masterFd(), {"", "10.0.0.2", "", "", "", "", "", ""});
    QPointer<TWATransport> w = open(pty.slavePath(), QStringLiteral("Wireless"));
    QVERIFY(w->lineOpen());
    QCOMPARE(w->windowTitle(), QStringLiteral("LATHE1-AUTO"));
    QVERIFY(!w->findChild<QPlainTextEdit *>("ReceiveMemo")->isVisible());
    int panes = 0;
    for (QGroupBox *box : w->findChildren<QGroupBox *>())
        panes += box->isVisible();
    QCOMPARE(panes, 8);
    auto *addr0 = w->findChild<QLabel *>("IPAddr0");
    auto *addr1 = w->findChild<QLabel *>("IPAddr1");
    QCOMPARE(addr1->text(), QStringLiteral("0.0.0.0"));
    // The device query was queued at opening and answered: device 1 turns green.
    QVERIFY(SendRig::spin([&] { return addr1->text() == QLatin1String("10.0.0.2"); }, 5000));
    QVERIFY(addr1->styleSheet().contains("#00ff00"));
    QVERIFY(addr0->styleSheet().contains("#ff0000"));
    QCOMPARE(addr0->text(), QStringLiteral("0.0.0.0"));

    adapter.deviceSends(1, Sim::Machine::punched("%\nO3001(FLANGE)\nM30\n%"));
    QVERIFY(SendRig::spin(
        [&] {
            return !w->logLines().isEmpty() && !w->link()->threadOver() &&
                   w->link()->sendList().isEmpty();
        },
        5000));
    const QString path = m_work + QStringLiteral("/FLANGE.nc");
    const QRegularExpression format(
        "^SUCCESS \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d Device\\[1\\] SAVE:" +
        QRegularExpression::escape(path) + "$");
    QCOMPARE(w->logLines().size(), 1);
    QVERIFY2(format.match(w->logLines().first()).hasMatch(), qPrintable(w->logLines().first()));
    // On disk as soon as logged, before any close.
    const QString logFile = m_dir->filePath(QStringLiteral("log/LATHE1.txt"));
    QCOMPARE(QString::fromLatin1(readFile(logFile)), w->logLines().first() + "\r\n");
    QVERIFY(SendRig::spin(
        [&] {
            return w->findChild<QPlainTextEdit *>("Memo1")->toPlainText().contains("O3001(FLANGE)");
        },
        2000));

    w->close();
    QVERIFY(SendRig::spin([&] { return w.isNull(); }, 2000));
    // Reopened: the previous log is back; cleared and closed: the file is empty.
    QPointer<TWATransport> again = open(pty.slavePath(), QStringLiteral("Wireless"));
    QCOMPARE(again->logLines().size(), 1);
    QVERIFY(format.match(again->logLines().first()).hasMatch());
    QTest::mouseClick(again->findChild<QWidget *>("ToolButtonClsLog"), Qt::LeftButton);
    again->close();
    QVERIFY(SendRig::spin([&] { return again.isNull(); }, 2000));
    QCOMPARE(readFile(logFile), QByteArray());
}

void TestAutoModeWindow::cableShowsOnePane()
{
    PtyPair pty;
    QPointer<TWATransport> w = open(pty.slavePath(), QStringLiteral("None"));
    QVERIFY(w->findChild<QPlainTextEdit *>("ReceiveMemo")->isVisible());
    QVERIFY(!w->findChild<QWidget *>("IPGridPanel")->isVisible());
    QVERIFY(w->link()->sendList().isEmpty()); // no device query on a cable
    pty.send("\x12%\n:77\nG0X1\n%\x14");
    QVERIFY(SendRig::spin([&] { return w->logLines().size() == 1; }, 3000));
    QVERIFY(w->logLines().first().contains(" Device SAVE:"));

    // A narrow log pane wraps the line instead of cutting it.
    auto *log = w->findChild<QListWidget *>("LogListBox");
    log->resize(160, log->height());
    QTRY_VERIFY(log->visualItemRect(log->item(0)).height() >= 2 * log->fontMetrics().height());
    QVERIFY(log->visualItemRect(log->item(0)).width() <= log->viewport()->width());

    // The sent pane keeps what went to the machine when the next entry starts.
    auto *sent = w->findChild<QPlainTextEdit *>("SendMemo");
    emit w->link()->shown(QStringLiteral("%\nO1234\nM30\n%"));
    emit w->link()->sendPaneCleared();
    emit w->link()->shown(QStringLiteral("%\nO5678\n%"));
    QVERIFY2(sent->toPlainText().contains("O1234") && sent->toPlainText().endsWith("O5678\n%"),
             qPrintable(sent->toPlainText()));
    // A long program: the pane follows it to its last line, as it goes out piece by piece.
    QString piece;
    for (int i = 1; i <= 60; ++i)
        piece += QStringLiteral("\nN%1G01X%1.").arg(i * 10);
    emit w->link()->sendPaneCleared();
    emit w->link()->shown(QStringLiteral("%\nO4321") + piece.left(piece.size() / 2));
    emit w->link()->shown(piece.mid(piece.size() / 2) + QStringLiteral("\nM30\n%"));
    QTRY_COMPARE(sent->verticalScrollBar()->value(), sent->verticalScrollBar()->maximum());
    QVERIFY(sent->verticalScrollBar()->maximum() > 0);
    delete w;
}

// The cable is pulled and put back: the window stays, logs the loss and the return, and
// stores what the machine punches after it.
void TestAutoModeWindow::lostCableIsServedAgain()
{
    const QString port = m_dir->filePath("ttyUSB0");
    auto first = std::make_unique<PtyPair>();
    QVERIFY(QFile::link(first->slavePath(), port));
    QPointer<TWATransport> w = open(port, QStringLiteral("None"));
    QVERIFY(w->lineOpen());
    w->lineSession()->setReopenInterval(50);
    // Unplugged: the name leads nowhere before the pty's number is free for another test.
    QVERIFY(QFile::remove(port));
    QVERIFY(QFile::link(m_dir->filePath("unplugged"), port));
    first->hangUp();
    QVERIFY(SendRig::spin([&] { return w->logLines().size() == 1; }, 3000));
    QVERIFY2(w->logLines().first().startsWith("ERROR ") && w->logLines().first().contains(port),
             qPrintable(w->logLines().first()));
    first.reset();
    QTest::qWait(200);
    QVERIFY(!w.isNull() && w->isVisible());
    QCOMPARE(w->logLines().size(), 1);

    PtyPair second;
    QVERIFY(QFile::remove(port));
    QVERIFY(QFile::link(second.slavePath(), port));
    QVERIFY(SendRig::spin([&] { return w->logLines().size() == 2; }, 3000));
    QVERIFY2(w->logLines().last().startsWith("SUCCESS ") &&
                 w->logLines().last().contains(
                     QStringLiteral("the line \"%1\" is open again").arg(port)),
             qPrintable(w->logLines().last()));
    second.send("\x12%\n:78\nG0X2\n%\x14");
    QVERIFY(SendRig::spin([&] { return w->logLines().size() == 3; }, 3000));
    QVERIFY2(w->logLines().last().contains(" Device SAVE:"), qPrintable(w->logLines().last()));
    delete w;
}

void TestAutoModeWindow::typeDecidesPanesAndNul_data()
{
    QTest::addColumn<QStringList>("type"); // empty: the record ends before its type
    QTest::addColumn<bool>("radio");
    QTest::newRow("None") << QStringList{"None"} << false;
    QTest::newRow("other text") << QStringList{"UHF"} << true;
    QTest::newRow("empty text") << QStringList{""} << true;
    // The panes follow the link: a record without a type runs on a cable.
    QTest::newRow("no type field") << QStringList{} << false;
}

void TestAutoModeWindow::typeDecidesPanesAndNul()
{
    QFETCH(QStringList, type);
    QFETCH(bool, radio);
    PtyPair pty;
    auto *line = new PortSerialLine;
    QPointer<TWATransport> w = new TWATransport([] { return GeneralValues(); }, line);
    w->setLogFolder(m_dir->path());
    QVERIFY(w->setPortSetting(PortProfile::fromFields(
        QStringList{"LATHE1", pty.slavePath(), "9600", "None", "8", "1", "None", m_work, "*.nc"} +
        type)));
    w->show();
    QVERIFY(SendRig::spin([&] { return w->lineOpen(); }, 2000));
    QCOMPARE(w->link()->isRadio(), radio);
    QCOMPARE(line->discardNull(), !radio);
    QCOMPARE(w->findChild<QPlainTextEdit *>("ReceiveMemo")->isVisible(), !radio);
    QCOMPARE(w->findChild<QWidget *>("IPGridPanel")->isVisible(), radio);
    // Only "Wireless" asks the adapter for its devices.
    QVERIFY(w->link()->sendList().isEmpty());
    QVERIFY(!w->link()->threadOver());
    delete w;
}

QTEST_MAIN(TestAutoModeWindow)
#include "tst_automode_window.moc"
