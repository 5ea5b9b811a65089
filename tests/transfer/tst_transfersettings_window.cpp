// The port settings dialog driven as a user would: in-place editors, add, delete with its
// question, cancel and the close box, with the option store receiving the result.
#include "WindowHelpers.h"
#include "automode/AutoLink.h"
#include "settings/LanguagePack.h"
#include "settings/Option.h"
#include "settings/PortSetting.h"
#include "transfer/ComWidgets.h"
#include "transfer/DetectedPorts.h"
#include "transfer/PortList.h"
#include "transfer/TransferSettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace
{

// Answers the next question box with the given button and remembers what it asked.
struct QuestionCatcher {
    QString text;
    bool asked = false;
    void arm(QMessageBox::StandardButton answer)
    {
        QTimer::singleShot(50, [this, answer] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                asked = true;
                text = box->text();
                box->button(answer)->click();
            }
        });
    }
};

QString record(int i)
{
    return QStringLiteral("Mill%1,ttyS%1,9600,None,8,1,None,/nc/m%1,*.nc,None").arg(i);
}

QStringList records(int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << record(i);
    return out;
}

} // namespace

class TestTransferSettingsWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    std::unique_ptr<TTransferSettings> makeDialog(const QStringList &lines,
                                                  PortList *list = nullptr)
    {
        auto w = std::make_unique<TTransferSettings>(list);
        w->setFolderChooser([](const QString &, const QString &) { return QString(); });
        w->setLanguage(QStringList{"Ports", "OK", "Add", "Delete", "Leave", "Name", "Port", "Baud",
                                   "Parity", "Data", "Stop", "Flow", "Folder", "Ext", "Type",
                                   "Delete this port setting?"});
        w->setExtData(QStringLiteral("*.nc,*.tap,*.*"));
        w->setPortList(lines);
        return w;
    }

    static void clickCell(TTransferSettings *w, int row, int column)
    {
        QTableWidget *grid = named<QTableWidget>(w, "StringGrid1");
        const QPoint at = grid->visualRect(grid->model()->index(row, column)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    }

    static void answeredClick(TTransferSettings *, QAbstractButton *button,
                              QMessageBox::StandardButton answer, QuestionCatcher *q)
    {
        q->arm(answer);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(q->asked);
    }

private slots:
    // Each port setting's answer delay and hold for review live in NCFerry.ini, by name; only
    // OK writes them, and a renamed port setting keeps them.
    void answerDelayInProgramSettings()
    {
        QTemporaryDir settings;
        auto w = makeDialog(records(2));
        w->setSettingsFolder(settings.path());
        auto *delay = named<QDoubleSpinBox>(w.get(), "DelaySpinBox");
        auto *hold = named<QCheckBox>(w.get(), "HoldCheckBox");
        clickCell(w.get(), 1, 2);
        delay->setValue(2.5);
        hold->click();
        clickCell(w.get(), 0, 2);
        QCOMPARE(delay->value(), 0.0);
        QVERIFY(!hold->isChecked());
        w->reject();
        QVERIFY(!QFileInfo::exists(settings.filePath("NCFerry.ini")));
        w = makeDialog(records(2));
        w->setSettingsFolder(settings.path());
        delay = named<QDoubleSpinBox>(w.get(), "DelaySpinBox");
        clickCell(w.get(), 1, 2);
        delay->setValue(2.5);
        named<QCheckBox>(w.get(), "HoldCheckBox")->click();
        w->accept();
        const QString first = PortSetting::split(records(2).at(0)).at(PortSetting::Name);
        const QString second = PortSetting::split(records(2).at(1)).at(PortSetting::Name);
        QCOMPARE(AutoMode::AnswerDelaySeconds(settings.path(), second), 2.5);
        QCOMPARE(AutoMode::RequestOptionsFor(settings.path(), second).answerDelayMs, 2500);
        QVERIFY(AutoMode::RequestOptionsFor(settings.path(), second).holdForReview);
        QVERIFY(!AutoMode::RequestOptionsFor(settings.path(), first).holdForReview);
        w = makeDialog(records(2));
        w->setSettingsFolder(settings.path());
        clickCell(w.get(), 1, 0);
        QCOMPARE(named<QDoubleSpinBox>(w.get(), "DelaySpinBox")->value(), 2.5);
        QVERIFY(named<QCheckBox>(w.get(), "HoldCheckBox")->isChecked());
        QTest::keyClicks(named<QLineEdit>(w.get(), "Edit1"), "B");
        w->accept();
        QCOMPARE(w->getPortName().at(1), second + "B");
        QVERIFY(AutoMode::HoldsForReview(settings.path(), second + "B"));
        QCOMPARE(AutoMode::AnswerDelaySeconds(settings.path(), second + "B"), 2.5);
    }

    void emptyAndLongLines()
    {
        auto w = makeDialog({});
        QCOMPARE(named<QTableWidget>(w, "StringGrid1")->rowCount(), 1);
        QCOMPARE(w->getPortName(), QStringList{QString()});
        QCOMPARE(w->getPortList(), QStringList{QString(9, u',')});
        w->setPortList({record(1) + QStringLiteral(",extra,more")});
        QCOMPARE(w->getPortList(), QStringList{record(1)});
        QCOMPARE(named<QTableWidget>(w, "StringGrid1")->columnCount(), 10);
        QCOMPARE(named<QTableWidget>(w, "StringGrid1")->item(0, 7)->text(),
                 QStringLiteral("/nc/m1"));
    }

    void addAndDelete_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("deleteRow"); // -1: add instead
        QTest::addColumn<QStringList>("names");
        QTest::newRow("add to fresh list")
            << QStringList{PortSetting::defaultLine()} << -1 << QStringList{"NewName", "NewName2"};
        QTest::newRow("delete single row") << records(1) << 0 << QStringList{""};
        QTest::newRow("delete first of three") << records(3) << 0 << QStringList{"Mill1", "Mill2"};
        QTest::newRow("delete last of three") << records(3) << 2 << QStringList{"Mill0", "Mill1"};
    }
    void addAndDelete()
    {
        QFETCH(QStringList, before);
        QFETCH(int, deleteRow);
        QFETCH(QStringList, names);
        auto w = makeDialog(before);
        showActive(w.get());
        if (deleteRow < 0) {
            QTest::mouseClick(named<QToolButton>(w, "AddButton"), Qt::LeftButton);
        } else {
            clickCell(w.get(), deleteRow, 3);
            QuestionCatcher q;
            answeredClick(w.get(), named<QToolButton>(w, "delButton"), QMessageBox::Yes, &q);
            QCOMPARE(q.text, QStringLiteral("Delete this port setting?"));
            QCOMPARE(named<QTableWidget>(w, "StringGrid1")->currentRow(), 0);
        }
        QCOMPARE(w->getPortName(), names);
        QCOMPARE(named<QTableWidget>(w, "StringGrid1")->rowCount(), names.size());
        for (int r = 0; r < names.size(); ++r)
            QCOMPARE(named<QTableWidget>(w, "StringGrid1")->item(r, 0)->text(), names[r]);
        // No editor is left over the grid after a button.
        QVERIFY(!named<QLineEdit>(w, "Edit1")->isVisible());
        QVERIFY(!named<QComboBox>(w, "ParityComboBox")->isVisible());
    }

    void deleteAnsweredNo()
    {
        auto w = makeDialog(records(2));
        showActive(w.get());
        clickCell(w.get(), 1, 0);
        QuestionCatcher q;
        answeredClick(w.get(), named<QToolButton>(w, "delButton"), QMessageBox::No, &q);
        QCOMPARE(w->getPortList(), records(2));
    }

    void deleteThenAddFillsSameRow()
    {
        auto w = makeDialog({PortSetting::defaultLine()});
        showActive(w.get());
        QuestionCatcher q;
        answeredClick(w.get(), named<QToolButton>(w, "delButton"), QMessageBox::Yes, &q);
        QCOMPARE(w->getPortList(), QStringList{QString(9, u',')});
        QTest::mouseClick(named<QToolButton>(w, "AddButton"), Qt::LeftButton);
        QCOMPARE(w->getPortList(), QStringList{PortSetting::defaultLine()});
    }

    void typedTextIsStored_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::newRow("baud rate not listed") << 2 << "250000";
        QTest::newRow("parity") << 3 << "Mark";
        QTest::newRow("flow control") << 6 << "RTS/CTS";
        QTest::newRow("extension") << 8 << "*.iso";
        QTest::newRow("type") << 9 << "Radio 2";
    }
    void typedTextIsStored()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        auto w = makeDialog(records(2));
        showActive(w.get());
        clickCell(w.get(), 1, column);
        auto *combo = qobject_cast<QComboBox *>(QApplication::focusWidget()->parentWidget());
        if (!combo)
            combo = qobject_cast<QComboBox *>(QApplication::focusWidget());
        QVERIFY(combo && combo->isVisible());
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), typed);
        // Leaving the cell for another one keeps what was typed.
        clickCell(w.get(), 0, 0);
        QVERIFY(!combo->isVisible());
        QCOMPARE(PortSetting::split(w->getPort(1)).value(column), typed);
        QCOMPARE(named<QTableWidget>(w, "StringGrid1")->item(1, column)->text(), typed);
        QCOMPARE(w->getPort(0), record(0));
    }

    void nameEditedWithEnter()
    {
        auto w = makeDialog(records(2));
        showActive(w.get());
        clickCell(w.get(), 0, 0);
        QVERIFY(named<QLineEdit>(w, "Edit1")->isVisible());
        QCOMPARE(named<QLineEdit>(w, "Edit1")->text(), QStringLiteral("Mill0"));
        named<QLineEdit>(w, "Edit1")->selectAll();
        QTest::keyClicks(named<QLineEdit>(w, "Edit1"), QStringLiteral("Lathe, left"));
        QTest::keyClick(named<QLineEdit>(w, "Edit1"), Qt::Key_Return);
        QVERIFY(w->isVisible());
        QVERIFY(!named<QLineEdit>(w, "Edit1")->isVisible());
        QCOMPARE(w->getPortName(), (QStringList{"Lathe, left", "Mill1"}));
        QVERIFY(w->getPort(0).startsWith(QStringLiteral("\"Lathe, left\",ttyS0,")));
    }

    void portNotPresentIsKept()
    {
        auto w = makeDialog({QStringLiteral("M,ttyGONE9,9600,None,8,1,None,/nc,*.nc,None")});
        showActive(w.get());
        const int present = named<TComComboBox>(w, "PortComboBox")->count();
        clickCell(w.get(), 0, 1);
        QVERIFY(named<TComComboBox>(w, "PortComboBox")->isVisible());
        QCOMPARE(named<TComComboBox>(w, "PortComboBox")->currentText(), QStringLiteral("ttyGONE9"));
        clickCell(w.get(), 0, 2);
        QCOMPARE(PortSetting::split(w->getPort(0)).value(1), QStringLiteral("ttyGONE9"));
        QCOMPARE(named<TComComboBox>(w, "PortComboBox")->count(), present);
    }

    void workFolder()
    {
        auto w = makeDialog(records(1));
        int asked = 0;
        QString prompt, start, answer;
        w->setFolderChooser([&](const QString &p, const QString &s) {
            ++asked;
            prompt = p;
            start = s;
            return answer;
        });
        w->StringGrid1DblClick(0, 3);
        QCOMPARE(asked, 0);
        w->StringGrid1DblClick(0, 7);
        QCOMPARE(asked, 1);
        // Its own line titles the chooser, not a column header.
        QCOMPARE(prompt, LanguagePack::builtIn(LanguagePack::Transfer).at(19));
        QCOMPARE(start, QStringLiteral("/nc/m0"));
        QCOMPARE(w->getPortList(), records(1));
        answer = QStringLiteral("/srv/nc files");
        w->StringGrid1DblClick(0, 7);
        QCOMPARE(PortSetting::split(w->getPort(0)).value(7), answer);
    }

    void cancelRestoresAndStores()
    {
        QTemporaryDir dir;
        TOption option(dir.path() + u'/', QRect(0, 0, 1280, 800), QStringLiteral("English"));
        option.setOptionList(TOption::TransferList, records(2));
        auto w = makeDialog(option.getOptionList(TOption::TransferList));
        w->setOption(&option);
        showActive(w.get());
        QTest::mouseClick(named<QToolButton>(w, "AddButton"), Qt::LeftButton);
        clickCell(w.get(), 0, 0);
        QTest::keyClicks(named<QLineEdit>(w, "Edit1"), QStringLiteral("X"));
        QCOMPARE(w->getPortName().size(), 3);
        QTest::mouseClick(named<QToolButton>(w, "CancelButton"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->getPortList(), records(2));
        QCOMPARE(option.getOptionList(TOption::TransferList), records(2));
    }

    // The close box leaves as Cancel does: the list as opened, in the store and the menus.
    void closeBoxCancelsEdits()
    {
        QTemporaryDir dir;
        TOption option(dir.path() + u'/', QRect(0, 0, 1280, 800), QStringLiteral("English"));
        PortList shared;
        auto w = makeDialog(records(1), &shared);
        w->setOption(&option);
        QVERIFY(w->setWindowsSize(QStringLiteral("900,420,100,90,80,81,81,81,81,150,81,81")));
        showActive(w.get());
        clickCell(w.get(), 0, 4);
        QVERIFY(named<QComboBox>(w, "DataComboBox")->isVisible());
        named<QComboBox>(w, "DataComboBox")->lineEdit()->selectAll();
        QTest::keyClicks(named<QComboBox>(w, "DataComboBox")->lineEdit(), QStringLiteral("7"));
        QTest::mouseClick(named<QToolButton>(w, "AddButton"), Qt::LeftButton);
        QCOMPARE(shared.getPortList().size(), 2);
        QVERIFY(w->close());
        QCOMPARE(option.getOptionList(TOption::TransferList), records(1));
        QCOMPARE(shared.getPortList(), records(1));
        QCOMPARE(option.getWindowsSize(TOption::TransferSlot).section(u',', 2),
                 QStringLiteral("100,90,80,81,81,81,81,150,81,81"));
    }

    void windowsSize()
    {
        auto w = makeDialog(records(1));
        const QString size = QStringLiteral("900,420,100,90,80,81,81,81,81,150,81,81");
        QVERIFY(w->setWindowsSize(size));
        QCOMPARE(w->getWindowsSize(), size);
        named<QTableWidget>(w, "StringGrid1")->horizontalHeader()->resizeSection(3, 140);
        QCOMPARE(named<QTableWidget>(w, "StringGrid1")->columnWidth(3), 140);
        QCOMPARE(w->getWindowsSize(), QStringLiteral("900,420,100,90,80,140,81,81,81,150,81,81"));
        QVERIFY(!w->setWindowsSize(QStringLiteral("900,420,81")));
        QVERIFY(!w->windowsSizeError().isEmpty());
        QCOMPARE(w->getWindowsSize(), QStringLiteral("900,420,100,90,80,140,81,81,81,150,81,81"));
        const QStringList d = w->getDefault();
        QCOMPARE(d.size(), 2);
        QCOMPARE(d.value(0), PortSetting::defaultLine());
        QCOMPARE(d.value(1), w->getWindowsSizeDefault());
        QVERIFY(d.value(1).endsWith(QStringLiteral(",81,81,81,81,81,81,81,81,81,81")));
    }

    void editorItems()
    {
        auto w = makeDialog(records(1));
        QCOMPARE(named<QComboBox>(w, "ExtComboBox")->count(), 2);
        QCOMPARE(named<QComboBox>(w, "ExtComboBox")->itemText(1), QStringLiteral("*.tap"));
        QCOMPARE(named<QComboBox>(w, "BaudComboBox")->count(), 8);
        QCOMPARE(named<TComComboBox>(w, "PortComboBox")->isEditable(), true);
        QStringList present;
        for (int i = 0; i < named<TComComboBox>(w, "PortComboBox")->count(); ++i)
            present << named<TComComboBox>(w, "PortComboBox")->itemText(i);
        QCOMPARE(present, TComComboBox::presentPorts());
    }

    // A typed port (a pseudo-terminal, a by-id path) is stored as typed, blanks around it
    // dropped; a listed one shows its description as the tooltip.
    void typedPortIsStored_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("by-id path") << "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0"
                                    << "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0";
        QTest::newRow("pty") << "/dev/pts/7"
                             << "/dev/pts/7";
        QTest::newRow("name with blanks") << "  ttyUSB3 "
                                          << "ttyUSB3";
        QTest::newRow("device server") << "rfc2217://dnc-box.shop.example:4001"
                                       << "rfc2217://dnc-box.shop.example:4001";
    }
    void typedPortIsStored()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        auto w = makeDialog(records(1));
        named<TComComboBox>(w, "PortComboBox")
            ->setPorts({{"ttyUSB0", "FT232R USB UART", "FT232R USB UART\nManufacturer: FTDI", {}}});
        showActive(w.get());
        clickCell(w.get(), 0, 1);
        auto *port = named<TComComboBox>(w, "PortComboBox");
        auto *grid = named<QTableWidget>(w, "StringGrid1");
        QVERIFY(port->isVisible());
        port->lineEdit()->selectAll();
        QTest::keyClicks(port->lineEdit(), typed);
        // A long name widens its column as it is typed, without closing the editor.
        QVERIFY(port->isVisible());
        if (typed.contains("://")) {
            QVERIFY(grid->horizontalHeader()->sectionSize(1) >
                    port->fontMetrics().horizontalAdvance(stored));
            QVERIFY(grid->horizontalHeaderItem(1)->toolTip().contains("tcp://host:port"));
        }
        clickCell(w.get(), 0, 2);
        QCOMPARE(PortSetting::split(w->getPort(0)).value(1), stored);
        clickCell(w.get(), 0, 1);
        QCOMPARE(named<TComComboBox>(w, "PortComboBox")->currentText(), stored);
        named<TComComboBox>(w, "PortComboBox")->setCurrentIndex(0);
        QCOMPARE(PortSetting::split(w->getPort(0)).value(1), QStringLiteral("ttyUSB0"));
        QVERIFY(named<TComComboBox>(w, "PortComboBox")
                    ->toolTip()
                    .contains(QStringLiteral("Manufacturer: FTDI")));
    }

    // Detected ports: names sorted as text, USB device nodes Qt missed, then by-id links
    // described as the device they point to.
    // A by-id name and its description are read whole in the list, not cut at the cell.
    void portListShowsLongNamesWhole()
    {
        auto w = makeDialog({QStringLiteral("M,ttyS0,9600,None,8,1,None,/nc,*.nc,None")});
        showActive(w.get());
        clickCell(w.get(), 0, 1);
        auto *port = named<TComComboBox>(w, "PortComboBox");
        port->setPorts({{QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-"
                                        "port0"),
                         QStringLiteral("FT232R USB UART"),
                         {},
                         {}}});
        port->showPopup();
        QAbstractItemView *list = port->view();
        QVERIFY(QTest::qWaitForWindowExposed(list->window()));
        QVERIFY2(list->viewport()->width() >= list->sizeHintForColumn(0),
                 qPrintable(QStringLiteral("list %1 px, line %2 px")
                                .arg(list->viewport()->width())
                                .arg(list->sizeHintForColumn(0))));
        QVERIFY(list->window()->width() > port->width());
        port->hidePopup();
    }

    void detectedPorts()
    {
        QTemporaryDir dev;
        QVERIFY(QDir(dev.path()).mkpath("serial/by-id"));
        for (const char *node : {"ttyUSB0", "ttyACM1", "ttyS0", "random"})
            QVERIFY(QFile(dev.filePath(node)).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(dev.filePath("ttyUSB0"),
                            dev.filePath("serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0")));
        const QList<PortFacts> facts = {
            {"ttyUSB0", dev.filePath("ttyUSB0"), "FT232R USB UART", "FTDI", "A1B2"},
            {"ttyS10", "/dev/ttyS10", {}, {}, {}},
            {"ttyS0", dev.filePath("ttyS0"), {}, {}, {}}};
        const QList<DetectedPort> ports =
            DetectedPorts::entries(facts, dev.path(), dev.filePath("serial/by-id"));
        QStringList names;
        for (const DetectedPort &p : ports)
            names << p.name;
        QCOMPARE(names,
                 (QStringList{"ttyACM1", "ttyS0", "ttyS10", "ttyUSB0",
                              dev.filePath("serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0")}));
        QCOMPARE(ports.last().description, QStringLiteral("FT232R USB UART"));
        QVERIFY(ports.last().toolTip.contains(QStringLiteral("Serial number: A1B2")));
        QVERIFY(ports.last().toolTip.contains(QStringLiteral("Manufacturer: FTDI")));
        QCOMPARE(DetectedPorts::entries(facts, QString(), QString()).size(), 3);
    }
};

QTEST_MAIN(TestTransferSettingsWindow)
#include "tst_transfersettings_window.moc"
