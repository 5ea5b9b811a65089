// Takes the pictures in docs/screenshots: run under Xvfb, one screen size and one language
// pack per run. Not a test: it asserts nothing, it only poses the windows.
//   xvfb-run -a -s "-screen 0 1280x800x24" build/bin/ncferry_screenshots English OUT [all]
#include "FakeSerialLine.h"
#include "PtyPair.h"
#include "app/Startup.h"
#include "automode/WATransport.h"
#include "editor/ColorDialogs.h"
#include "editor/Editor.h"
#include "library/DiffView.h"
#include "library/FolderTree.h"
#include "library/JournalWindow.h"
#include "library/LibraryPanes.h"
#include "library/ProgramStore.h"
#include "library/ReviewWindow.h"
#include "library/Viewer.h"
#include "settings/LanguagePack.h"
#include "settings/NcText.h"
#include "transfer/ComWidgets.h"
#include "transfer/DetectedPorts.h"
#include "transfer/NetworkSerialLine.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/TransferSettings.h"
#include "transfer/Transport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSerialPort>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>

namespace
{

QString g_out;
QString g_suffix;

void settle(int ms = 300)
{
    QTest::qWait(ms);
}

void shot(const QString &name)
{
    settle();
    const QPixmap root = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = g_out + u'/' + name + g_suffix + QStringLiteral(".png");
    root.save(path);
    qInfo("%s", qPrintable(path));
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray program(int number, int lines)
{
    QByteArray body = "%\nO" + QByteArray::number(number).rightJustified(4, '0') + "(BRACKET)\n";
    for (int i = 0; i < lines; ++i)
        body += "N" + QByteArray::number(i * 10 + 10) + "G01X" + QByteArray::number(i % 97) +
                ".5Y-2.5F300\n";
    return body + "M30\n%\n";
}

} // namespace

int main(int argc, char *argv[])
{
    // A clean demo library: the folder tree opens on a home of its own, not on the machine's
    // /tmp with whatever other programs left there.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    const QString language = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("English");
    g_out = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(".");
    const bool all = argc > 3;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    g_suffix = QStringLiteral("-%1-%2x%3")
                   .arg(language == QStringLiteral("English")    ? QStringLiteral("en")
                        : language == QStringLiteral("简体中文") ? QStringLiteral("zh-CN")
                                                                 : QStringLiteral("zh-TW"))
                   .arg(screen.width())
                   .arg(screen.height());

    QTemporaryDir base;
    QDir(base.path()).mkpath(QStringLiteral("language"));
    const QString packs = QCoreApplication::applicationDirPath() + QStringLiteral("/language/");
    for (const QString &name : QDir(packs).entryList({QStringLiteral("*.ini")}))
        QFile::copy(packs + name, base.filePath(QStringLiteral("language/") + name));
    QDir(home.path()).mkpath(QStringLiteral("NC/Lathe 1"));
    QDir(home.path()).mkpath(QStringLiteral("NC/Mill 2"));
    QDir(home.path()).mkpath(QStringLiteral("NC/粗加工"));
    QDir nc(home.filePath(QStringLiteral("NC")));
    write(nc.filePath(QStringLiteral("O0001.nc")), program(1, 40));
    write(nc.filePath(QStringLiteral("O0002.nc")), program(2, 12));
    write(nc.filePath(QStringLiteral("FLANGE-OP10.nc")), program(1234, 400));
    write(nc.filePath(QStringLiteral("BIG-MOULD.nc")), program(5678, 30000));

    LongLivedWindows windows(base.path() + u'/',
                             QGuiApplication::primaryScreen()->availableGeometry());
    TOption &option = windows.option;
    QStringList general = option.getOptionList(TOption::GeneralList);
    general[TOption::LanguageEntry] = language;
    option.setOptionList(TOption::GeneralList, general);
    QStringList main = option.getOptionList(TOption::MainList);
    main[0] = nc.path();
    option.setOptionList(TOption::MainList, main);
    option.setOptionList(
        TOption::TransferList,
        {QStringLiteral("Mill,/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0,"
                        "9600,Even,7,2,Xon/Xoff,/nc,*.nc,None"),
         QStringLiteral("Lathe,ttyUSB0,4800,None,8,1,RTS/CTS+Xon/Xoff,/nc,*.nc,None")});
    option.LoadLanguage();
    TF_Main &w = windows.main;
    w.resize(screen.size());
    w.show();
    settle(300);
    w.move(0, 0);
    w.resize(screen.size() - QSize(2, 30));
    settle(800);
    w.findChild<FileListPane *>(QStringLiteral("Panel3"))->setCurrentRow(1);
    shot(QStringLiteral("main-window"));
    if (auto *tree = w.findChild<ShellTreeView *>()) {
        if (auto *popup = tree->findChild<QMenu *>(QStringLiteral("TreePopup"))) {
            // As a right click opens it.
            const QPoint at = tree->visualRect(tree->currentIndex()).center();
            QContextMenuEvent click(QContextMenuEvent::Mouse, at,
                                    tree->viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree->viewport(), &click);
            shot(QStringLiteral("folder-popup"));
            popup->hide();
        }
    }
    if (!all)
        return 0;

    // Send: waiting for the machine's XON, then paused by its XOFF, then between files.
    const QString record = option.getOptionList(TOption::TransferList).value(0);
    auto *line = new FakeSerialLine(64, 300);
    auto *send = new TTransport(line);
    send->setLanguage(option.getLanguageList(LanguagePack::TransferFile));
    send->setPortSetting(PortProfile::fromText(record));
    send->setFileList(
        {nc.filePath(QStringLiteral("FLANGE-OP10.nc")), nc.filePath(QStringLiteral("O0002.nc"))});
    send->show();
    settle();
    send->findChild<QToolButton *>(QStringLiteral("ToolButton1"))->click();
    shot(QStringLiteral("send-waiting-xon"));
    line->inject("\x11");
    settle(1500);
    line->inject("\x13");
    shot(QStringLiteral("send-paused-xoff"));
    delete send; // closing would ask first: the send is in progress
    settle();
    line = new FakeSerialLine(4096, 200000);
    send = new TTransport(line);
    send->setLanguage(option.getLanguageList(LanguagePack::TransferFile));
    send->setPortSetting(PortProfile::fromText(record));
    send->setFileList(
        {nc.filePath(QStringLiteral("O0001.nc")), nc.filePath(QStringLiteral("O0002.nc"))});
    send->show();
    settle();
    send->findChild<QCheckBox *>(QStringLiteral("CheckBox1"))->setChecked(false);
    send->findChild<QToolButton *>(QStringLiteral("ToolButton1"))->click();
    settle(1000);
    shot(QStringLiteral("send-between-files"));
    send->findChild<QToolButton *>(QStringLiteral("ToolButton1"))->click();
    settle(500);

    // A port held by another program: the message, then the window it belongs to.
    {
        PtyPair pty;
        QSerialPort holder(pty.slavePath());
        holder.open(QIODevice::ReadWrite);
        const QString busy =
            QStringLiteral("Mill,%1,9600,None,8,1,Xon/Xoff,/nc,*.nc,None").arg(pty.slavePath());
        QTimer::singleShot(800, [] {
            shot(QStringLiteral("send-port-busy"));
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        auto *busySend = new TTransport;
        busySend->setLanguage(option.getLanguageList(LanguagePack::TransferFile));
        busySend->setPortSetting(PortProfile::fromText(busy));
        busySend->setFileList({nc.filePath(QStringLiteral("O0001.nc"))});
        busySend->show();
        settle(1200);
    }

    // A device server's port that has not answered yet: the window says so and stays usable.
    {
        QTcpServer silent;
        if (!silent.listen(QHostAddress::LocalHost, 4001))
            silent.listen(QHostAddress::LocalHost, 0);
        auto *connecting = new TTransport(new NetworkSerialLine);
        connecting->setLanguage(option.getLanguageList(LanguagePack::TransferFile));
        connecting->setPortSetting(PortProfile::fromText(
            QStringLiteral("Mill,rfc2217://127.0.0.1:%1,9600,Even,7,2,Xon/Xoff,/nc,*.nc,None")
                .arg(silent.serverPort())));
        connecting->setFileList({nc.filePath(QStringLiteral("FLANGE-OP10.nc"))});
        connecting->show();
        settle(800);
        shot(QStringLiteral("send-connecting"));
        delete connecting; // the open is given up

        auto *autoMode =
            new TWATransport([] { return AutoMode::GeneralValues(); }, new NetworkSerialLine);
        autoMode->setLogFolder(base.path());
        autoMode->setLanguage(option.getLanguageList(LanguagePack::AutoMode));
        autoMode->setPortSetting(PortProfile::fromFields(
            {QStringLiteral("Lathe"),
             QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort()),
             QStringLiteral("9600"), QStringLiteral("None"), QStringLiteral("8"),
             QStringLiteral("1"), QStringLiteral("None"), nc.path(), QStringLiteral("*.nc"),
             QStringLiteral("None")}));
        autoMode->show();
        settle(800);
        shot(QStringLiteral("auto-mode-connecting"));
        delete autoMode;
    }

    // Auto mode on a cable: the machine asks for a program, gets it, then sends one back.
    {
        auto *autoLine = new FakeSerialLine(4096, 200000);
        AutoMode::GeneralValues values;
        values.pathList = {nc.path()};
        auto *autoMode = new TWATransport([values] { return values; }, autoLine);
        autoMode->setLogFolder(base.path());
        autoMode->setLanguage(option.getLanguageList(LanguagePack::AutoMode));
        autoMode->setPortSetting(PortProfile::fromFields(
            {QStringLiteral("Lathe"), QStringLiteral("ttyUSB0"), QStringLiteral("9600"),
             QStringLiteral("None"), QStringLiteral("8"), QStringLiteral("1"),
             QStringLiteral("None"), nc.path(), QStringLiteral("*.nc"), QStringLiteral("None")}));
        autoMode->show();
        settle(800);
        autoLine->inject("\x12%\nO9999\n(P1)\n(N=O0002)\n%\x14");
        settle(1500);
        autoLine->inject("\x12%\nO0020(SHAFT-OP20)\nN10G28U0W0\nN20T0303\nN30G00X42.Z2.\n"
                         "N40G01Z-35.F0.15\nM30\n%\x14");
        settle(1500);
        autoLine->inject("\x12%\nO9999\n(P1)\n(N=O0001)\n%\x14");
        settle(2000);
        shot(QStringLiteral("auto-mode"));
        delete autoMode;
    }

    // The built-in editor on a program with a Chinese comment, in a code page that holds it.
    {
        const bool holds =
            NcText::unencodable(QStringLiteral("(粗加工)"), NcText::codePage()).isEmpty();
        if (!holds)
            option.setCodePageName(NcText::settingName(NcText::CodePage::Utf8));
        const QString text =
            QStringLiteral("%\nO0010(粗加工)\nN10G21G90G54\nN20T0101M06\nN30S1200M03\n"
                           "N40G00X52.Z2.M08\nN50G01Z-20.F0.2\nN60X56.Z-24.\nN70G00X100.Z100.M09\n"
                           "N80M05\nM30\n%\n");
        const QString path = nc.filePath(QStringLiteral("O0010.nc"));
        write(path, NcText::toBytes(text));
        auto *editor = new TEditor(&option, &windows.colors);
        editor->setFileName(path);
        editor->setPathExt(nc.path() + u'/', QStringLiteral("*.nc"), 0);
        editor->setExtList({QStringLiteral("*.nc")});
        editor->setLanguage(option.getLanguageList(LanguagePack::Editor));
        editor->setEditorList(option.getOptionList(TOption::EditorList));
        if (!editor->setWindowsSize(option.getWindowsSize(TOption::EditorSlot)))
            editor->setWindowsSize(TEditor::getWindowsSizeDefault());
        editor->show();
        settle(800);
        shot(QStringLiteral("editor"));
        QTimer::singleShot(800, [] {
            shot(QStringLiteral("color-dialog"));
            if (QWidget *d = QApplication::activeModalWidget())
                d->close();
        });
        editor->NColorClick();
        delete editor; // nothing was changed: nothing to ask
        if (!holds)
            option.setCodePageName(QString());
    }

    // The picture viewer on a photo of the set-up, as shops keep them beside the program.
    {
        QImage photo(1600, 1000, QImage::Format_RGB32);
        QPainter p(&photo);
        QLinearGradient sky(0, 0, 0, photo.height());
        sky.setColorAt(0, QColor(70, 78, 88));
        sky.setColorAt(1, QColor(28, 30, 34));
        p.fillRect(photo.rect(), sky);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(150, 155, 160));
        p.drawRect(200, 620, 1200, 120); // the vice jaws
        p.setBrush(QColor(196, 200, 205));
        p.drawEllipse(QPoint(800, 470), 300, 300); // the flange
        p.setBrush(QColor(60, 62, 66));
        p.drawEllipse(QPoint(800, 470), 110, 110);
        for (int i = 0; i < 6; ++i) {
            const double a = i * 3.14159265 / 3;
            p.drawEllipse(QPointF(800 + 210 * std::cos(a), 470 + 210 * std::sin(a)), 28, 28);
        }
        p.setPen(QColor(255, 210, 60));
        QFont f = p.font();
        f.setPixelSize(48);
        p.setFont(f);
        p.drawText(QRect(0, 820, photo.width(), 120), Qt::AlignCenter,
                   QStringLiteral("FLANGE-OP10  G54"));
        p.end();
        const QString picture = nc.filePath(QStringLiteral("FLANGE-OP10.jpg"));
        photo.save(picture, "JPEG", 85);
        TViewer &viewer = windows.viewer;
        viewer.setLanguage(option.getLanguageList(LanguagePack::Viewer));
        if (viewer.setImageFile(picture)) {
            QTimer::singleShot(800, [&viewer] {
                shot(QStringLiteral("image-viewer"));
                viewer.accept();
            });
            viewer.exec();
        }
    }

    // Receive: a program arriving.
    auto *rxLine = new FakeSerialLine;
    auto *receive = new TReceiveTransport(rxLine);
    receive->setLanguage(option.getLanguageList(LanguagePack::ReceiveFile));
    receive->setPortSetting(
        PortProfile::fromText(option.getOptionList(TOption::TransferList).value(1)));
    // A shop's deep job folder: shortened in the middle, the file name stays in sight.
    receive->setFileName(
        nc.filePath(QStringLiteral("Customers/Hydraulik Werke/2026/Order 4711 shaft "
                                   "and flange/Lathe 1/O0003.nc")));
    receive->show();
    settle();
    QByteArray arriving = "\x12%\n:0003(SHAFT)\n";
    for (int i = 0; i < 30; ++i)
        arriving +=
            "N" + QByteArray::number(i * 10 + 10) + "G01Z-" + QByteArray::number(i) + ".F120\n";
    rxLine->inject(arriving);
    shot(QStringLiteral("receive-window"));
    delete receive; // closing would ask first: the program is in progress

    // A program compared with its backup, after an operator's edits at the control.
    {
        const QString flange = nc.filePath(QStringLiteral("FLANGE-OP10.nc"));
        QFile f(flange);
        QByteArray edited;
        if (f.open(QIODevice::ReadOnly))
            edited = f.readAll();
        f.close();
        edited.replace("N30G01X2.5Y-2.5F300\n", "N30G01X2.5Y-2.5F250\n");
        edited.replace("N70G01X6.5Y-2.5F300\n", "N70G01X6.5Y-2.5F300\nN75G04P500\n");
        edited.replace("N120G01X11.5Y-2.5F300\n", "");
        ProgramStore().store(flange, edited);
        auto *compare = new TCompareWindow;
        compare->setLanguage(option.getLanguageList(LanguagePack::Main));
        compare->loadFiles(ProgramStore::backupsOf(flange).value(0), flange);
        compare->show();
        settle();
        shot(QStringLiteral("compare-backup"));
        delete compare;
    }

    // The journal after part of a shift: sends, an auto-mode request and returns, a pulled cable.
    {
        const QString path = base.filePath(TransferJournal::FileName);
        {
            TransferJournal journal(path);
            const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-3 * 3600);
            const struct {
                int minutes;
                const char *port, *device, *direction, *file, *result, *reason;
            } rows[] = {
                {0, "Mill", "", "send", "O0001.nc", "done", ""},
                {12, "Lathe", "", "receive", "O0002.nc", "stored", ""},
                {25, "Radio", "02", "request", "FLANGE-OP10.nc", "sent", ""},
                {61, "Radio", "02", "return", "FLANGE-OP10.nc", "stored",
                 "old program kept as \"backup/FLANGE-OP10~1.nc\""},
                {64, "Radio", "04", "return", "O0002.nc", "identical", "identical"},
                {90, "Mill", "", "send", "BIG-MOULD.nc", "failed",
                 "Line lost: port \"/dev/ttyUSB0\" is gone (cable or adapter pulled?)."},
                {97, "Mill", "", "send", "BIG-MOULD.nc", "done", ""},
            };
            for (const auto &r : rows) {
                JournalEntry e;
                e.time = start.addSecs(r.minutes * 60);
                e.portSetting = QString::fromLatin1(r.port);
                e.device = QString::fromLatin1(r.device);
                e.direction = QString::fromLatin1(r.direction);
                e.file = nc.filePath(QString::fromLatin1(r.file));
                e.characters = QFileInfo(e.file).size();
                e.result = QString::fromLatin1(r.result);
                e.reason = QString::fromLatin1(r.reason);
                e.user = QStringLiteral("operator");
                journal.append(e);
            }
        }
        auto *journalWindow = new TJournalWindow(path);
        journalWindow->setLanguage(option.getLanguageList(LanguagePack::Main));
        journalWindow->refresh();
        journalWindow->show();
        settle();
        shot(QStringLiteral("journal"));
        delete journalWindow;
    }

    // A program the machine returned after edits at the control, held for review.
    {
        const QString program = nc.filePath(QStringLiteral("O0002.nc"));
        QFile f(program);
        QByteArray edited;
        if (f.open(QIODevice::ReadOnly))
            edited = f.readAll();
        f.close();
        edited.replace("N40G01X3.5Y-2.5F300\n", "N40G01X3.5Y-2.5F220\n");
        edited.replace("N90G01X8.5Y-2.5F300\n", "N90G01X8.5Y-2.5F300\nN95M01\n");
        ReviewQueue::hold(program, edited, {QStringLiteral("Radio"), QStringLiteral("02")});
        auto *review = new TReviewWindow;
        review->setLanguage(option.getLanguageList(LanguagePack::Main));
        review->setFolders({nc.path()});
        review->refresh();
        review->show();
        settle(800);
        shot(QStringLiteral("review"));
        delete review;
    }

    // Port settings with the port list open: detected ports and their descriptions.
    QTimer::singleShot(600, [&] {
        auto *d = qobject_cast<TTransferSettings *>(QApplication::activeModalWidget());
        if (!d)
            return;
        d->findChild<TComComboBox *>(QStringLiteral("PortComboBox"))
            ->setPorts({{QStringLiteral("ttyS0"), QStringLiteral("16550A UART"), {}, {}},
                        {QStringLiteral("ttyUSB0"),
                         QStringLiteral("FT232R USB UART"),
                         QStringLiteral("FT232R USB UART\nManufacturer: FTDI\nSerial number: A1B2"),
                         {}},
                        {QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0"),
                         QStringLiteral("FT232R USB UART"),
                         {},
                         {}}});
        d->StringGrid1SelectCell(1, 0);
        d->findChild<TComComboBox *>(QStringLiteral("PortComboBox"))->showPopup();
        shot(QStringLiteral("port-settings-ports"));
        d->findChild<TComComboBox *>(QStringLiteral("PortComboBox"))->hidePopup();
        d->StringGrid1SelectCell(6, 1);
        if (auto *flow = qobject_cast<QComboBox *>(d->editorFor(6)))
            flow->showPopup();
        shot(QStringLiteral("port-settings-flow"));
        if (auto *flow = qobject_cast<QComboBox *>(d->editorFor(6)))
            flow->hidePopup();
        // A machine behind a device server, and what the port column takes.
        d->StringGrid1SelectCell(1, 0);
        d->findChild<TComComboBox *>(QStringLiteral("PortComboBox"))
            ->setEditText(QStringLiteral("rfc2217://dnc-box:4001"));
        shot(QStringLiteral("port-settings-network"));
        // The first machine's returns held for review.
        d->StringGrid1SelectCell(0, 0);
        d->FalseVisble();
        d->findChild<QCheckBox *>(QStringLiteral("HoldCheckBox"))->setChecked(true);
        shot(QStringLiteral("port-settings-review"));
        d->reject();
    });
    w.TransferSettingsClick();
    QTimer::singleShot(600, [&] {
        if (QWidget *d = QApplication::activeModalWidget()) {
            shot(QStringLiteral("general-settings"));
            if (auto *pages = d->findChild<QTabWidget *>(QStringLiteral("PageControl1"))) {
                pages->setCurrentIndex(1);
                shot(QStringLiteral("general-settings-transfer"));
            }
            d->close();
        }
    });
    w.GeneralSettingsClick();

    // At font size 20 the general page is taller than the screen: it scrolls, the dialog fits.
    w.findChild<FileListPane *>(QStringLiteral("Panel3"))->setFontSizeText(QStringLiteral("20"));
    w.FontComboBoxSelect();
    settle();
    QTimer::singleShot(600, [&] {
        if (QWidget *d = QApplication::activeModalWidget()) {
            shot(QStringLiteral("general-settings-20pt"));
            if (auto *pages = d->findChild<QTabWidget *>(QStringLiteral("PageControl1")))
                if (auto *area = qobject_cast<QScrollArea *>(pages->currentWidget())) {
                    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
                    shot(QStringLiteral("general-settings-20pt-end"));
                }
            d->close();
        }
    });
    w.GeneralSettingsClick();
    return 0;
}
