// The main window driven offscreen: captions from a pack, the port-setting menus, the size
// text, sends from the list and the buffer, and what a restart brings back.
#include "PtyPair.h"
#include "TestFiles.h"
#include "WindowHelpers.h"
#include "app/MainWindow.h"
#include "app/QtTranslations.h"
#include "library/FolderTree.h"
#include "library/LibraryEngine.h"
#include "library/LibraryPanes.h"
#include "settings/GeneralSettings.h"
#include "settings/LanguagePack.h"
#include "settings/Option.h"
#include "settings/PortSetting.h"
#include "settings/UnitFunction.h"
#include "transfer/SerialLine.h"
#include "transfer/TransferSettings.h"
#include "transfer/Transport.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace
{

// A pack whose every line says where it stands, so each caption shows its source.
QByteArray numberedPack(const QByteArray &prefix = "S")
{
    QByteArray out("\xEF\xBB\xBF");
    const QStringList headers = LanguagePack::headers();
    for (int s = 0; s < LanguagePack::SectionCount; ++s) {
        out += headers[s].toUtf8() + "\r\n";
        for (int i = 0; i < LanguagePack::lineCount(s); ++i)
            out += prefix + QByteArray::number(s) + "L" + QByteArray::number(i) + "\r\n";
    }
    return out + "[End]\r\n";
}

// Runs `act` on the next modal dialog of type T once it is up.
template <typename T> void whenModal(std::function<void(T *)> act)
{
    QTimer::singleShot(100, [act] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget()))
            act(dialog);
    });
}

const QRect kWork(0, 0, 1920, 1040);

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_base;
    QTemporaryDir m_nc;
    PtyPair m_mill, m_lathe; // the send windows open real lines

    void prepare()
    {
        QVERIFY(QDir(m_base.path()).mkpath("language"));
        QVERIFY(writeFile(m_base.filePath("language/Numbered.ini"), numberedPack()));
        QVERIFY(writeFile(m_base.filePath("language/Other.ini"), numberedPack("X")));
        QVERIFY(writeFile(m_nc.filePath("O1.nc"), "%\nO1\n%\n"));
        QVERIFY(writeFile(m_nc.filePath("O2.nc"), "%\nO2(SECOND)\n%\n"));
    }

    // A store with our pack, three port settings and the NC folder selected.
    std::unique_ptr<TOption> makeOption()
    {
        auto option = std::make_unique<TOption>(m_base.path() + "/", kWork, "Numbered");
        QStringList general = option->getOptionList(TOption::GeneralList);
        general[TOption::LanguageEntry] = "Numbered";
        option->setOptionList(TOption::GeneralList, general);
        option->LoadLanguage();
        option->setOptionList(
            TOption::TransferList,
            {"Mill," + m_mill.slavePath() + ",9600,None,8,1,None,/nc,*.nc,None",
             "\"Lathe 2\"," + m_lathe.slavePath() + ",4800,None,8,1,Xon/Xoff,/nc,*.nc,None",
             "Short,ttyS3,9600"});
        QStringList main = option->getOptionList(TOption::MainList);
        main[0] = m_nc.path();
        option->setOptionList(TOption::MainList, main);
        return option;
    }

    static void waitIdle(TF_Main &w) { QTRY_COMPARE(w.engine()->jobQueue()->pendingJobs(), 0); }

private slots:
    void initTestCase() { prepare(); }

    void captionsFromPack()
    {
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        QCOMPARE(w.windowTitle(),
                 "S0L0 Ver" + GetFileVersion(QCoreApplication::applicationFilePath()));
        QVERIFY(w.windowTitle().endsWith(" Ver0.1"));
        QCOMPARE(named<QToolButton>(&w, "SendToolButton")->text(), QStringLiteral("S0L3"));
        QCOMPARE(named<QToolButton>(&w, "ExitToolButton")->text(), QStringLiteral("S0L28"));
        QCOMPARE(named<QMenu>(&w, "NTransfer")->title(), QStringLiteral("S0L1(&T)"));
        QCOMPARE(named<QMenu>(&w, "NSettings")->title(), QStringLiteral("S0L2(&S)"));
        QCOMPARE(named<QMenu>(&w, "NRead")->title(), QStringLiteral("S0L4(&R)"));
        QCOMPARE(named<QAction>(&w, "NGeneralS")->text(), QStringLiteral("S0L6(&G)"));
        QCOMPARE(named<QAction>(&w, "NAbout")->text(), QStringLiteral("S0L22..."));
        QCOMPARE(named<QAction>(&w, "SNote")->text(), QStringLiteral("S0L17(&N)"));
        QCOMPARE(named<QAction>(&w, "NAllRemove")->text(), QStringLiteral("S0L21(&A)"));
        QCOMPARE(named<QAction>(&w, "UHFS")->text(), QStringLiteral("UHF RS232 Adapter Setup"));
        QCOMPARE(named<QLabel>(&w, "SourceStaticText")->text(), QStringLiteral("S0L13"));
        QCOMPARE(
            named<QTableView>(&w, "StringGrid1")->model()->headerData(3, Qt::Horizontal).toString(),
            QStringLiteral("S0L11"));
    }

    void portSettingMenus()
    {
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        const QList<QMenu *> menus = {named<QMenu>(&w, "NSend"),     named<QMenu>(&w, "NRead"),
                                      named<QMenu>(&w, "NAuto"),     named<QMenu>(&w, "SendPopup"),
                                      named<QMenu>(&w, "ReadPopup"), named<QMenu>(&w, "AutoPopup"),
                                      named<QMenu>(&w, "SSend"),     named<QMenu>(&w, "SRead"),
                                      named<QMenu>(&w, "SAuto")};
        for (QMenu *m : menus) {
            const QList<QAction *> entries = m->actions();
            QCOMPARE(entries.size(), 3);
            QCOMPARE(entries[0]->text(), QStringLiteral("Mill(&1)"));
            QCOMPARE(entries[1]->text(), QStringLiteral("Lathe 2(&2)"));
            QCOMPARE(entries[2]->text(), QStringLiteral("Short(&3)"));
            for (int i = 0; i < 3; ++i)
                QCOMPARE(entries[i]->data().toInt(), i);
        }
        // After the port settings change, the menus follow.
        w.portList().setPortList({"One,ttyS1,9600,None,8,1,None,/nc,*.nc,None"});
        w.MenuItemUpdate();
        QCOMPARE(named<QMenu>(&w, "SSend")->actions().size(), 1);
        QCOMPARE(named<QMenu>(&w, "NRead")->actions().first()->text(), QStringLiteral("One(&1)"));
        // An empty list is one empty record: one entry "(&1)".
        w.portList().setPortList({});
        w.MenuItemUpdate();
        QCOMPARE(named<QMenu>(&w, "NSend")->actions().size(), 1);
        QCOMPARE(named<QMenu>(&w, "NSend")->actions().first()->text(), QStringLiteral("(&1)"));
    }

    void windowSizeText()
    {
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString text = "900,640,210,260,300,220,90,91,92,93,94";
        w.setWindowsSize(text);
        QTRY_COMPARE(w.getWindowsSize(), text);
        // A short or broken text changes nothing and does not crash.
        w.setWindowsSize("800,600,1");
        w.setWindowsSize("a,b,c,d,e,f,g,h,i,j,k");
        QCOMPARE(w.getWindowsSize(), text);
    }

    // A tall list saved on a large screen, shown on a small one: the list gives way, and the
    // preview keeps room for its lines, up to half of the panes.
    void previewKeepsRoomWhenSmall()
    {
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto previewHasRoom = [&w] {
            const QList<int> panes = named<QSplitter>(&w, "Splitter2")->sizes();
            const int room =
                qMin(11 * QFontMetrics(w.font()).lineSpacing(), (panes[0] + panes[1]) / 2);
            return panes[1] >= room - 1;
        };
        w.setWindowsSize("780,580,210,400,300,220,90,91,92,93,94");
        QTRY_VERIFY(previewHasRoom());
        w.resize(640, 448);
        QTRY_VERIFY(previewHasRoom());
        // Growing again, the list takes back the height it was given as room allows.
        const QList<int> small = named<QSplitter>(&w, "Splitter2")->sizes();
        w.resize(780, 580);
        QTRY_VERIFY(named<QSplitter>(&w, "Splitter2")->sizes().value(0) > small[0]);
        QVERIFY(previewHasRoom());
        QVERIFY(named<QSplitter>(&w, "Splitter2")->sizes().value(0) <= 400);
    }

    void sendFromListAndBuffer()
    {
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        waitIdle(w);
        QCOMPARE(w.engine()->fileList().rowCount(), 2);
        QCOMPARE(w.currentFolder(), m_nc.path());

        // The buffer goes whole, in order, whatever row is selected; it is empty after.
        named<FileListPane>(&w, "Panel3")->setCurrentRow(1);
        w.StringGrid1DblClick();
        named<FileListPane>(&w, "Panel3")->setCurrentRow(0);
        w.StringGrid1DblClick();
        w.StringGrid1DblClick();
        QCOMPARE(w.engine()->buffer().entries().size(), 3);
        const QString second = w.engine()->fullPath(1);
        const QString first = w.engine()->fullPath(0);

        w.SendFileDialog(0);
        auto *send = qobject_cast<TTransport *>(w.lastTransferWindow());
        QVERIFY(send);
        QCOMPARE(named<QListWidget>(send, "ListBox2")->count(), 3);
        QCOMPARE(named<QListWidget>(send, "ListBox2")->item(0)->text(), second);
        QCOMPARE(named<QListWidget>(send, "ListBox2")->item(1)->text(), first);
        QVERIFY(w.engine()->buffer().isEmpty());
        QCOMPARE(named<QListWidget>(&w, "BufferString")->count(), 1);
        send->close();

        // Empty buffer: the selected file.
        named<FileListPane>(&w, "Panel3")->setCurrentRow(1);
        w.SendFileDialog(1);
        auto *single = qobject_cast<TTransport *>(w.lastTransferWindow());
        QVERIFY(single && single != send);
        QCOMPARE(named<QListWidget>(single, "ListBox2")->count(), 1);
        QCOMPARE(named<QListWidget>(single, "ListBox2")->item(0)->text(), second);
        single->close();
    }

    void nothingToSendOpensNothing()
    {
        QTemporaryDir empty;
        auto option = makeOption();
        QStringList main = option->getOptionList(TOption::MainList);
        main[0] = empty.path();
        option->setOptionList(TOption::MainList, main);
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        waitIdle(w);
        QVERIFY(w.engine()->fileList().isEmpty());
        w.SendFileDialog(0);
        QVERIFY(!w.lastTransferWindow());
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("S0L29"));
    }

    // A send that has started (here waiting for the lathe's XON) is not ended unasked.
    void closingDuringSendAsks()
    {
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        waitIdle(w);
        named<FileListPane>(&w, "Panel3")->setCurrentRow(0);
        w.SendFileDialog(1);
        QPointer<TTransport> send = qobject_cast<TTransport *>(w.lastTransferWindow());
        QVERIFY(send);
        QTRY_VERIFY(send->comPort()->isConnected());
        QVERIFY(!send->isSending());
        QTest::mouseClick(named<QToolButton>(send, "ToolButton1"), Qt::LeftButton);
        QVERIFY(send->isSending());

        BoxAnswer no;
        no.arm(QMessageBox::No);
        QVERIFY(!w.close());
        QVERIFY(no.asked);
        QCOMPARE(no.text, QStringLiteral("S0L30"));
        QVERIFY(send && send->isSending() && w.isVisible());
        BoxAnswer yes;
        yes.arm(QMessageBox::Yes);
        QVERIFY(w.close());
        QVERIFY(yes.asked);
        delete send; // the event loop that would end it with the program is not running
    }

    // The settings dialogs opened from the main window: what they change reaches it.
    void settingsDialogsReachTheWindow()
    {
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        TGeneralSettings general(m_base.path() + "/");
        TTransferSettings transfer(&w.portList());
        general.setOption(option.get());
        transfer.setOption(option.get());
        w.setGeneralSettings(&general);
        w.setTransferSettings(&transfer);
        w.setOption(option.get());
        w.show();
        waitIdle(w);
        QCOMPARE(named<QMenu>(&w, "NSend")->actions().size(), 3);

        whenModal<TTransferSettings>([](TTransferSettings *d) {
            named<QToolButton>(d, "AddButton")->click();
            named<QToolButton>(d, "OKButton")
                ->click(); // Cancel and the close box would drop the edits
        });
        w.TransferSettingsClick();
        QCOMPARE(named<QMenu>(&w, "NSend")->actions().size(), 4);
        QCOMPARE(named<QMenu>(&w, "SAuto")->actions().size(), 4);
        QCOMPARE(option->getOptionList(TOption::TransferList).size(), 4);

        named<QComboBox>(&w, "ExtComboBox")->setCurrentText("*.TAP");
        whenModal<TGeneralSettings>([](TGeneralSettings *d) {
            named<QComboBox>(d, "LanguageComboBox")->setCurrentText("Other");
            named<QPushButton>(d, "OKButton")->click();
        });
        named<QToolButton>(&w, "TransferToolButton")->setFocus();
        w.GeneralSettingsClick();
        QCOMPARE(option->getOptionList(TOption::GeneralList).value(TOption::LanguageEntry),
                 QStringLiteral("Other"));
        QCOMPARE(named<QToolButton>(&w, "SendToolButton")->text(), QStringLiteral("X0L3"));
        QCOMPARE(named<QAction>(&w, "NAbout")->text(), QStringLiteral("X0L22..."));
        // The pattern in use is kept when still offered, letter case aside.
        QCOMPARE(named<QComboBox>(&w, "ExtComboBox")->currentText().toLower(),
                 QStringLiteral("*.tap"));
    }

    // Whatever a user types into every field of the main window and the two settings
    // dialogs, the file written is read back at the next start without a damage message.
    void everyFieldTypedReadsBackUndamaged()
    {
        QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkpath("language"));
        QVERIFY(writeFile(base.filePath("language/Numbered.ini"), numberedPack()));
        const QString junk = QStringLiteral("a,\"b c\"=x;%");
        {
            TOption option(base.path() + "/", kWork, "Numbered");
            TF_Main w(base.path() + "/");
            TGeneralSettings general(base.path() + "/");
            TTransferSettings transfer(&w.portList());
            general.setOption(&option);
            transfer.setOption(&option);
            w.setGeneralSettings(&general);
            w.setTransferSettings(&transfer);
            w.setOption(&option);
            w.show();
            waitIdle(w);
            QLineEdit *font = named<QComboBox>(&w, "FontComboBox")->lineEdit();
            font->selectAll();
            QTest::keyClicks(font, "abc");
            QVERIFY(!font->text().contains('a'));
            font->selectAll();
            QTest::keyClicks(font, "0"); // not a size: never applied, never stored
            QTest::keyClick(font, Qt::Key_Return);
            named<QComboBox>(&w, "ExtComboBox")->setEditText(junk);

            whenModal<TGeneralSettings>([junk](TGeneralSettings *d) {
                // The extension box answers a rejected key with a message of its own.
                for (QLineEdit *edit :
                     {named<QLineEdit>(d, "EditorEdit"), named<QLineEdit>(d, "SourceEdit"),
                      named<QLineEdit>(d, "ImageEdit"), named<QLineEdit>(d, "ErrorMsgEdit"),
                      named<QLineEdit>(d, "ReadEdit"), named<QLineEdit>(d, "PathEdit"),
                      named<QLineEdit>(d, "FolderEdit"), named<QLineEdit>(d, "NameEdit")}) {
                    edit->selectAll();
                    QTest::keyClicks(edit, junk);
                }
                QVERIFY(!named<QLineEdit>(d, "SourceEdit")->text().contains('a'));
                named<QLineEdit>(d, "SourceEdit")->clear();
                named<QComboBox>(d, "LanguageComboBox")->setEditText(QString());
                named<QPushButton>(d, "OKButton")->click();
            });
            w.GeneralSettingsClick();
            whenModal<TTransferSettings>([junk](TTransferSettings *d) {
                for (int column = 0; column < PortSetting::FieldCount; ++column) {
                    d->StringGrid1SelectCell(column, 0);
                    auto *edit = qobject_cast<QLineEdit *>(d->editorFor(column));
                    if (auto *combo = qobject_cast<QComboBox *>(d->editorFor(column)))
                        edit = combo->lineEdit();
                    if (!edit)
                        continue;
                    edit->selectAll();
                    QTest::keyClicks(edit, junk);
                }
                named<QToolButton>(d, "OKButton")->click();
            });
            w.TransferSettingsClick();
            QVERIFY(PortSetting::split(w.portList().getPort(0)).contains(junk));
            w.close();
        }
        TOption option(base.path() + "/", kWork, "Numbered");
        QVERIFY2(option.damageMessage().isEmpty(), qPrintable(option.damageMessage()));
        QVERIFY(option.getOptionList(TOption::MainList).value(3).toInt() > 0);
    }

    // Qt's own buttons and choosers follow the Chinese packs, and go back to English.
    void qtTranslationsFollowThePack()
    {
        const QString cancel = QStringLiteral("Cancel");
        QVERIFY(QtTranslations::apply(QStringLiteral("繁體中文")));
        const QString tw = QCoreApplication::translate("QPlatformTheme", "Cancel");
        QVERIFY(QtTranslations::apply(QStringLiteral("简体中文")));
        const QString cn = QCoreApplication::translate("QPlatformTheme", "Cancel");
        QVERIFY(QtTranslations::apply(QStringLiteral("English")));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
        QVERIFY2(tw != cancel && cn != cancel, qPrintable(tw + " " + cn));
    }

    void restartRestoresTheWindow()
    {
        QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkpath("language"));
        QVERIFY(writeFile(base.filePath("language/Numbered.ini"), numberedPack()));
        const QString sizeText = "1000,700,250,280,320,260,120,150,70,200,40";
        {
            TOption option(base.path() + "/", kWork, "Numbered");
            TF_Main w(base.path() + "/");
            w.setOption(&option);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(named<ShellTreeView>(&w, "ShellTreeView1")->selectPath(m_nc.path()));
            named<QComboBox>(&w, "ExtComboBox")->addItem("*.eia");
            named<QComboBox>(&w, "ExtComboBox")->setCurrentText("*.eia");
            named<QComboBox>(&w, "FontComboBox")->setCurrentText("14");
            w.setWindowsSize(sizeText);
            QTRY_COMPARE(w.getWindowsSize(), sizeText);
            w.close();
            QVERIFY(QFile::exists(base.filePath("Option.ini")));
        }
        TOption option(base.path() + "/", kWork, "Numbered");
        QVERIFY(option.damageMessage().isEmpty());
        TF_Main w(base.path() + "/");
        w.setOption(&option);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.currentFolder(), m_nc.path());
        // ... and in sight, not only selected.
        auto *tree = named<ShellTreeView>(&w, "ShellTreeView1");
        QTRY_VERIFY(
            tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()).center()));
        QCOMPARE(named<QComboBox>(&w, "ExtComboBox")->currentText(), QStringLiteral("*.eia"));
        QCOMPARE(named<QComboBox>(&w, "ExtComboBox")
                     ->itemText(named<QComboBox>(&w, "ExtComboBox")->count() - 1),
                 QStringLiteral("*.eia"));
        QCOMPARE(named<QComboBox>(&w, "FontComboBox")->currentText(), QStringLiteral("14"));
        QCOMPARE(w.font().pointSize(), 14);
        QTRY_COMPARE(w.getWindowsSize(), sizeText);
    }

    // The list's Compare menu, captioned from the pack, offers the selected program's backups.
    void compareOffersTheSelectedProgramsBackups()
    {
        QVERIFY(QDir(m_nc.path()).mkpath("backup"));
        QVERIFY(writeFile(m_nc.filePath("backup/O2~1.nc"), "%\nO2\n%\n"));
        QVERIFY(writeFile(m_nc.filePath("backup/O2~2.nc"), "%\nO2(OLD)\n%\n"));
        auto option = makeOption();
        TF_Main w(m_base.path() + "/");
        w.setOption(option.get());
        w.show();
        waitIdle(w);
        auto *menu = named<QMenu>(&w, "SCompare");
        QCOMPARE(menu->title(), QStringLiteral("S0L37(&C)"));
        const int row = w.engine()->fullPath(0).endsWith("O2.nc") ? 0 : 1;
        named<FileListPane>(&w, "Panel3")->setCurrentRow(row);
        emit menu->aboutToShow();
        QStringList texts;
        for (const QAction *a : menu->actions())
            if (!a->isSeparator())
                texts << a->text().section(u' ', 0, 0);
        QCOMPARE(texts, (QStringList{"O2~2.nc", "O2~1.nc", "S0L38..."}));
        QVERIFY(QDir(m_nc.filePath("backup")).removeRecursively());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
