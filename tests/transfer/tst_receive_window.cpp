// The receive window, headless, on a pseudo-terminal.
#include "PtyPair.h"
#include "TestFiles.h"
#include "settings/LanguagePack.h"
#include "settings/PortSetting.h"
#include "transfer/ComWidgets.h"
#include "transfer/PortSerialLine.h"
#include "transfer/ReceiveEngine.h"
#include "transfer/ReceiveFileDialog.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/SerialLine.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace
{

const QStringList Language{"Receive", "Setting", "Cannot open the port", "Path", "Count",
                           "Chars",   "Exit"};

QString record(const QString &port, const QString &ext = QStringLiteral("*.nc"))
{
    return PortSetting::join(
        {"Lathe 1", port, "115200", "None", "8", "1", "None", "/nc", ext, "None"});
}

// Clicks `button` on the next message box that shows up, keeping what it said.
struct BoxWatch {
    QString title;
    QString text;
    QString informative;
    int seen = 0;
};

void answerNextBox(std::shared_ptr<BoxWatch> watch, QMessageBox::StandardButton button)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [watch, button, timer] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            watch->title = box->windowTitle();
            watch->text = box->text();
            watch->informative = box->informativeText();
            ++watch->seen;
            timer->stop();
            timer->deleteLater();
            if (QAbstractButton *b = box->button(button))
                b->click();
            return;
        }
    });
    timer->start();
}

template <typename T> T *child(QWidget &w, const char *name)
{
    return w.findChild<T *>(QString::fromLatin1(name));
}

} // namespace

class TestReceiveWindow : public QObject
{
    Q_OBJECT
private slots:
    void tooShortPortSettingIsRefused();
    void receivesStoresAndCloses();
    void closedBeforeOpeningLeavesPortShut();
    void fileListAddition_data();
    void fileListAddition();
    void failedOpenShowsMessageAndCloses();
    void busyPortToldInPackWords_data();
    void busyPortToldInPackWords();
    void storeErrorOffersRetry();
    void exitWithUnstoredProgramAsks();
    void exitWhileReceivingAsks();
    void lineLostOffersToSave();
    void longPathDoesNotWidenWindow();
    void saveDialog_data();
    void saveDialog();
};

void TestReceiveWindow::tooShortPortSettingIsRefused()
{
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    auto box = std::make_shared<BoxWatch>();
    answerNextBox(box, QMessageBox::Ok);
    QVERIFY(!w.setPortSetting(PortProfile::fromText(QStringLiteral("Lathe,ttyS0,9600,None,8,1"))));
    QCOMPARE(box->seen, 1);
    QVERIFY2(box->text.contains(QStringLiteral("6 fields")), qPrintable(box->text));
    QVERIFY(!w.isVisible());
}

void TestReceiveWindow::closedBeforeOpeningLeavesPortShut()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(pty.slavePath()))));
    w.show();
    w.close();
    QTest::qWait(50);
    QVERIFY(!w.line()->isConnected());
}

void TestReceiveWindow::receivesStoresAndCloses()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("O5.nc"));
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language);
    QCOMPARE(child<QToolButton>(w, "ToolButton1")->text(), QStringLiteral("Exit"));
    QCOMPARE(child<QLabel>(w, "StaticText3")->text(), QStringLiteral("Count:"));
    QCOMPARE(child<QLabel>(w, "StaticText4")->text(), QStringLiteral("Chars:"));
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(pty.slavePath()))));
    QVERIFY(!w.line()->settings().discardNull);
    w.setFileName(target);
    w.setSelectPathExt(dir.path(), QStringLiteral("*.nc"));
    QSignalSpy received(&w, &TReceiveTransport::fileReceived);

    w.show();
    QTRY_VERIFY(w.line()->isConnected());
    QCOMPARE(w.windowTitle(), QStringLiteral("Lathe 1-Receive"));
    QCOMPARE(child<QLabel>(w, "StaticText2")->text(),
             QStringLiteral("Setting:%1,115200,None,8,1 Flow:None").arg(pty.slavePath()));
    QCOMPARE(child<QLabel>(w, "StaticText1")->text(),
             QStringLiteral("Path: ") + QDir::toNativeSeparators(target));

    QVERIFY(pty.send(QByteArray("junk\x12%\r\n:0005 (PIN)\r\nG1 X2.\r\nM30\r\n%\r\n")));
    QTRY_COMPARE(child<QListView>(w, "ListBox1")->model()->rowCount(), 6);
    QVERIFY(pty.send(QByteArray("\x14")));
    QVERIFY(received.wait(3000));
    QElapsedTimer sinceStore;
    sinceStore.start();
    QCOMPARE(received.first().first().toString(), target);
    QCOMPARE(readFile(target), QByteArray("%\r\nO0005(PIN)\r\nG1X2.\r\nM30\r\n%\r\n"));
    auto *list = child<QListView>(w, "ListBox1");
    QCOMPARE(list->model()->rowCount(), 5);
    QCOMPARE(list->model()->index(1, 0).data().toString(), QStringLiteral("O0005(PIN)"));
    QCOMPARE(list->currentIndex().row(), 4);
    QCOMPARE(child<QLabel>(w, "StaticText3")->text(), QStringLiteral("Count: 20"));

    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2000);
    QVERIFY2(sinceStore.elapsed() < 1000, qPrintable(QString::number(sinceStore.elapsed())));
    QVERIFY(!w.line()->isConnected());
}

void TestReceiveWindow::fileListAddition_data()
{
    QTest::addColumn<bool>("otherFolder");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("added");
    QTest::newRow("shown folder and filter") << false << "*.nc" << false << true;
    QTest::newRow("other folder") << true << "*.nc" << false << false;
    QTest::newRow("other filter") << false << "*.*" << false << false;
    QTest::newRow("name already listed") << false << "*.nc" << true << false;
}

void TestReceiveWindow::fileListAddition()
{
    QFETCH(bool, otherFolder);
    QFETCH(QString, filter);
    QFETCH(bool, listed);
    QFETCH(bool, added);

    PtyPair pty;
    QTemporaryDir dir;
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language);
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(pty.slavePath()))));
    w.setFileName(dir.filePath(QStringLiteral("O6.nc")));
    w.setSelectPathExt(otherFolder ? dir.filePath(QStringLiteral("sub")) : dir.path(), filter);
    QStringList rows;
    ReceiveFileList::Hooks hooks;
    hooks.isListed = [listed](const QString &name) {
        return listed && name == QLatin1String("O6.nc");
    };
    hooks.noteOf = [](const QString &) { return QStringLiteral("PIN"); };
    hooks.addFileData = [&rows](const QString &row) { rows << row; };
    w.setFileListHooks(hooks);
    QSignalSpy received(&w, &TReceiveTransport::fileReceived);
    w.show();
    QTRY_VERIFY(w.line()->isConnected());
    QVERIFY(pty.send(QByteArray("\x12%\nO6(PIN)\n%\x14")));
    QVERIFY(received.wait(3000));
    QCOMPARE(rows.size(), added ? 1 : 0);
    if (added)
        QVERIFY2(rows.first().startsWith(QStringLiteral("O6.nc,")) &&
                     rows.first().endsWith(QStringLiteral(",15,PIN")),
                 qPrintable(rows.first()));
}

void TestReceiveWindow::failedOpenShowsMessageAndCloses()
{
    QTemporaryDir dir;
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language);
    QVERIFY(w.setPortSetting(
        PortProfile::fromText(record(dir.filePath(QStringLiteral("no-such-port"))))));
    w.setFileName(dir.filePath(QStringLiteral("O7.nc")));
    auto box = std::make_shared<BoxWatch>();
    answerNextBox(box, QMessageBox::Ok);
    w.show();
    QTRY_COMPARE(box->seen, 1);
    QCOMPARE(box->title, QStringLiteral("message"));
    QCOMPARE(box->text, QStringLiteral("Cannot open the port"));
    QVERIFY2(box->informative.contains(QStringLiteral("no-such-port")),
             qPrintable(box->informative));
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("O7.nc"))));
}

// The driver's "Permission error while locking the device" says nothing a user can act on.
void TestReceiveWindow::busyPortToldInPackWords_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("expected");
    const QString self = QCoreApplication::applicationName();
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QTest::newRow("locked by a program") << "program"
                                         << "held PORT " + self + " " + pid;
    QTest::newRow("open in another window") << "window"
                                            << "here PORT";
    QTest::newRow("a folder") << "folder"
                              << "folder PORT";
}

void TestReceiveWindow::busyPortToldInPackWords()
{
    QFETCH(QString, holder);
    QFETCH(QString, expected);
    PtyPair pty;
    QTemporaryDir dir;
    const QString port = holder == "folder" ? dir.path() : pty.slavePath();
    QSerialPort program(port);
    PortSerialLine window;
    if (holder == "program") {
        QVERIFY(program.open(QIODevice::ReadWrite));
    } else if (holder == "window") {
        LineSettings settings;
        settings.portName = port;
        window.setSettings(settings);
        QString error;
        QVERIFY2(window.open(&error), qPrintable(error));
    }
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language +
                  QStringList{"Discard?", "held %1 %2 %3", "elsewhere %1", "here %1", "folder %1"});
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(port))));
    w.setFileName(dir.filePath(QStringLiteral("O8.nc")));
    auto box = std::make_shared<BoxWatch>();
    answerNextBox(box, QMessageBox::Ok);
    w.show();
    QTRY_COMPARE(box->seen, 1);
    QCOMPARE(box->text, QStringLiteral("Cannot open the port"));
    QCOMPARE(box->informative, QString(expected).replace("PORT", port));
    QTRY_VERIFY(!w.isVisible());
}

void TestReceiveWindow::storeErrorOffersRetry()
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString target = folder + QStringLiteral("/O8.nc");
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language);
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(pty.slavePath()))));
    w.setFileName(target);
    QSignalSpy received(&w, &TReceiveTransport::fileReceived);
    w.show();
    QTRY_VERIFY(w.line()->isConnected());

    auto box = std::make_shared<BoxWatch>();
    // The box stays until answered; make the folder first so that Retry succeeds.
    QSignalSpy failed(w.engine(), &ReceiveEngine::storeFailed);
    QVERIFY(pty.send(QByteArray("\x12%\nO8\n%\x14")));
    QVERIFY(failed.wait(3000));
    QVERIFY(w.isVisible());
    QVERIFY(QDir().mkpath(folder));
    answerNextBox(box, QMessageBox::Retry);
    QVERIFY(received.wait(3000));
    QCOMPARE(box->seen, 1);
    QVERIFY2(box->text.contains(QDir::toNativeSeparators(target)), qPrintable(box->text));
    QCOMPARE(readFile(target), QByteArray("%\r\nO8\r\n%\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2000);
}

void TestReceiveWindow::exitWithUnstoredProgramAsks()
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("missing/O9.nc"));
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language);
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(pty.slavePath()))));
    w.setFileName(target);
    w.show();
    QTRY_VERIFY(w.line()->isConnected());
    QSignalSpy failed(w.engine(), &ReceiveEngine::storeFailed);
    QVERIFY(pty.send(QByteArray("\x12%\nO9\n%\x14")));
    QVERIFY(failed.wait(3000));
    auto errorBox = std::make_shared<BoxWatch>();
    answerNextBox(errorBox, QMessageBox::Cancel);
    QTRY_COMPARE(errorBox->seen, 1);
    QTRY_VERIFY(!QApplication::activeModalWidget());

    auto *exit = child<QToolButton>(w, "ToolButton1");
    auto no = std::make_shared<BoxWatch>();
    answerNextBox(no, QMessageBox::No);
    exit->click();
    QCOMPARE(no->seen, 1);
    QVERIFY2(no->text.contains(QDir::toNativeSeparators(target)), qPrintable(no->text));
    QVERIFY(w.isVisible());
    QVERIFY(w.engine()->hasUnstoredProgram());

    auto yes = std::make_shared<BoxWatch>();
    answerNextBox(yes, QMessageBox::Yes);
    exit->click();
    QCOMPARE(yes->seen, 1);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.line()->isConnected());
}

// Halfway through a program Exit asks first; No keeps receiving, and the program is stored.
void TestReceiveWindow::exitWhileReceivingAsks()
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("O8.nc"));
    QPointer<TReceiveTransport> w = new TReceiveTransport;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setLanguage(Language);
    w->engine()->setCloseDelay(10);
    QVERIFY(w->setPortSetting(PortProfile::fromText(record(pty.slavePath()))));
    w->setFileName(target);
    w->show();
    QTRY_VERIFY(w->line()->isConnected());
    auto *exit = child<QToolButton>(*w, "ToolButton1");
    QVERIFY(pty.send(QByteArray("\x12%\nO8\nG1X")));
    QTRY_COMPARE(w->engine()->lineCount(), 3);
    auto no = std::make_shared<BoxWatch>();
    answerNextBox(no, QMessageBox::No);
    exit->click();
    QCOMPARE(no->seen, 1);
    QCOMPARE(no->text, LanguagePack::builtIn(LanguagePack::ReceiveFile).at(7));
    QVERIFY(w && w->isVisible());
    QVERIFY(pty.send(QByteArray("1.\n%\x14")));
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readFile(target), QByteArray("%\r\nO8\r\nG1X1.\r\n%\r\n"));
}

void TestReceiveWindow::longPathDoesNotWidenWindow()
{
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language);
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(QStringLiteral("ttyS0")))));
    w.setFileName(QStringLiteral("/very/long/folder/").repeated(30) + QStringLiteral("O1.nc"));
    QVERIFY2(w.minimumSizeHint().width() <= TReceiveTransport::DefaultWidth,
             qPrintable(QString::number(w.minimumSizeHint().width())));
    QFont big = w.font();
    big.setPointSize(big.pointSize() * 2);
    w.setFont(big);
    w.resize(TReceiveTransport::DefaultWidth, TReceiveTransport::DefaultHeight);
    QVERIFY2(w.minimumSizeHint().width() <= TReceiveTransport::DefaultWidth,
             qPrintable(QString::number(w.minimumSizeHint().width())));
    // The list keeps room for lines at the default size even with a large font.
    auto *list = child<QListView>(w, "ListBox1");
    w.layout()->activate();
    QVERIFY2(list->height() >= 3 * QFontMetrics(big).height(),
             qPrintable(QString::number(list->height())));

    // Shortened in the middle, the file name stays in sight; a mouse selection would pick
    // characters not shown, so the whole text is copied from the menu instead.
    w.show();
    auto *path = child<TElidedLabel>(w, "StaticText1");
    QVERIFY(path->isElided());
    QCOMPARE(path->textInteractionFlags(), Qt::NoTextInteraction);
    QVERIFY(path->toolTip().endsWith(QStringLiteral("O1.nc")));
    QGuiApplication::clipboard()->clear();
    QTimer::singleShot(0, [] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            menu->actions().value(0)->trigger();
            menu->close();
        }
    });
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(4, 4),
                                path->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(path, &menuEvent);
    QCOMPARE(QGuiApplication::clipboard()->text(), path->text());
    w.setFileName(QStringLiteral("/nc/O1.nc"));
    QVERIFY(!path->isElided());
    QCOMPARE(path->textInteractionFlags(), Qt::TextSelectableByMouse);
}

// The cable is pulled halfway through a program: what arrived is offered for saving.
void TestReceiveWindow::lineLostOffersToSave()
{
    PtyPair pty;
    QTemporaryDir dir;
    TReceiveTransport w;
    w.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack
    w.setLanguage(Language);
    QVERIFY(w.setPortSetting(PortProfile::fromText(record(pty.slavePath()))));
    w.setFileName(dir.filePath(QStringLiteral("O9.nc")));
    w.show();
    QTRY_VERIFY(w.line()->isConnected());
    QVERIFY(pty.send(QByteArray("\x12%\r\nO9\r\nG1X1.\r\n")));
    QTRY_COMPARE(w.engine()->lineCount(), 4);
    auto box = std::make_shared<BoxWatch>();
    answerNextBox(box, QMessageBox::Discard);
    pty.hangUp();
    QTRY_COMPARE(box->seen, 1);
    QVERIFY2(box->text.contains(QStringLiteral("Line lost")) &&
                 box->text.contains(QStringLiteral("Save")),
             qPrintable(box->text));
    QVERIFY(w.isVisible());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("O9.nc"))));
    // Discard leaves the window's lines; what arrived is kept as a failed transfer all the
    // same, named in the message.
    const QStringList failed = QDir(dir.filePath("failed")).entryList(QDir::Files);
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed[0].startsWith(PortSetting::split(record(pty.slavePath()))[0] + "-O9-"),
             qPrintable(failed[0]));
    QVERIFY2(box->text.contains(failed[0]), qPrintable(box->text));
    QCOMPARE(readFile(dir.filePath("failed/" + failed[0])), QByteArray("%\r\nO9\r\nG1X1.\r\n"));
}

void TestReceiveWindow::saveDialog_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("no item selected gives the first type") << -1 << ".nc (*.nc)"
                                                           << "nc";
    QTest::newRow("third item") << 2 << ".txt (*.txt)"
                                << "txt";
    QTest::newRow("last item keeps its text") << 5 << "*.* (*.*)"
                                              << "";
    QTest::newRow("index past the end") << 9 << ".nc (*.nc)"
                                        << "nc";
}

void TestReceiveWindow::saveDialog()
{
    QFETCH(int, selected);
    QFETCH(QString, filter);
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    QFileDialog dialog;
    configureReceiveSaveDialog(dialog, {"*.nc", "*.cnc", "*.txt", "*.dat", "*.tap", "*.*"},
                               selected, dir.path());
    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(!dialog.testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(dialog.nameFilters().size(), 6);
    QCOMPARE(dialog.selectedNameFilter(), filter);
    QCOMPARE(dialog.defaultSuffix(), suffix);
    QCOMPARE(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
    emit dialog.filterSelected(QStringLiteral(".tap (*.tap)"));
    QCOMPARE(dialog.defaultSuffix(), QStringLiteral("tap"));
}

QTEST_MAIN(TestReceiveWindow)
#include "tst_receive_window.moc"
