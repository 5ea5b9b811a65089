// The general settings dialog driven as a user would: flags, defaults, the path, folder and
// extension lists, cancel and the close box, with the option store receiving the result.
#include "WindowHelpers.h"
#include "settings/Defaults.h"
#include "settings/GeneralSettings.h"
#include "settings/LanguagePack.h"
#include "settings/NcText.h"
#include "settings/Option.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace
{

QStringList generalList()
{
    return {"0",    "English", "/usr/bin/ed", "20",       "/usr/bin/feh", "9990",
            "9991", "P",       "F",           "/nc,/cam", "F01,F02"};
}

QStringList texts(const QTableWidget *grid, int column)
{
    QStringList out;
    for (int r = 0; r < grid->rowCount(); ++r)
        out << (grid->item(r, column) ? grid->item(r, column)->text() : QString());
    return out;
}

} // namespace

class TestGeneralSettingsWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString base() const { return m_dir.path() + u'/'; }

    std::unique_ptr<TGeneralSettings> makeDialog()
    {
        auto w = std::make_unique<TGeneralSettings>(base());
        w->setFolderChooser([](const QString &, const QString &) { return QString(); });
        w->setProgramChooser([](const QString &) { return QString(); });
        return w;
    }

    // Types into the folder grid as a user does: select, type, Enter.
    static void typeInto(QTableWidget *grid, int row, const QString &text)
    {
        grid->setFocus();
        grid->setCurrentCell(row, 1);
        QTest::keyClick(grid, Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor && grid->isAncestorOf(editor));
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Delete);
        else
            QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The view commits on Return through a queued call.
        QTRY_COMPARE(QApplication::focusWidget(), grid);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("language/Folder.ini")));
        for (const char *name : {"English.ini", "Deutsch.ini", ".hidden.ini", "notes.txt"}) {
            QFile f(m_dir.filePath(QStringLiteral("language/") + QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }

    void languageListFromFolder()
    {
        auto w = makeDialog();
        QStringList items;
        for (int i = 0; i < named<QComboBox>(w, "LanguageComboBox")->count(); ++i)
            items << named<QComboBox>(w, "LanguageComboBox")->itemText(i);
        items.sort();
        QCOMPARE(items, (QStringList{"Deutsch", "English"}));
        // A name with no pack is kept as typed.
        QVERIFY(
            w->setGeneralList(QStringList(generalList()).replaceInStrings("English", "Klingon")));
        QCOMPARE(w->getGeneralList().value(1), QStringLiteral("Klingon"));
    }

    void captionSuffixes()
    {
        auto w = makeDialog();
        QStringList lines = LanguagePack::builtIn(LanguagePack::General);
        lines[3] = QStringLiteral("Custom extension");
        lines[21] = QStringLiteral("Request");
        lines[22] = QStringLiteral("Path");
        w->setLanguage(lines);
        QStringList labels;
        for (QLabel *l : w->findChildren<QLabel *>())
            labels << l->text();
        QVERIFY2(labels.contains(QStringLiteral("Request(Oxxxx):")), qPrintable(labels.join('|')));
        QVERIFY(labels.contains(QStringLiteral("Custom extension:")));
        QVERIFY(labels.contains(QStringLiteral("Path:")));
    }

    void checkFlags_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QList<bool>>("second");  // editor, note, source, image radios
        QTest::addColumn<QList<bool>>("checked"); // cover, note, error, save-ok boxes
        QTest::newRow("5") << "5" << QList<bool>{true, false, true, false}
                           << QList<bool>{false, false, false, false};
        QTest::newRow("240") << "240" << QList<bool>{false, false, false, false}
                             << QList<bool>{true, true, true, true};
        QTest::newRow("10+64") << "74" << QList<bool>{false, true, false, true}
                               << QList<bool>{false, false, true, false};
    }
    void checkFlags()
    {
        QFETCH(QString, flags);
        QFETCH(QList<bool>, second);
        QFETCH(QList<bool>, checked);
        auto w = makeDialog();
        QStringList list = generalList();
        list[0] = flags;
        QVERIFY(w->setGeneralList(list));
        const QList<QRadioButton *> pairs[] = {{named<QRadioButton>(w, "EditorRadioButton1"),
                                                named<QRadioButton>(w, "EditorRadioButton2")},
                                               {named<QRadioButton>(w, "NoteRadioButton1"),
                                                named<QRadioButton>(w, "NoteRadioButton2")},
                                               {named<QRadioButton>(w, "SourceRadioButton1"),
                                                named<QRadioButton>(w, "SourceRadioButton2")},
                                               {named<QRadioButton>(w, "ImageRadioButton1"),
                                                named<QRadioButton>(w, "ImageRadioButton2")}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(pairs[i][1]->isChecked(), second[i]);
            QCOMPARE(pairs[i][0]->isChecked(), !second[i]);
        }
        const QCheckBox *boxes[] = {
            named<QCheckBox>(w, "CoverCheckBox"), named<QCheckBox>(w, "NoteCheckBox"),
            named<QCheckBox>(w, "ErrorMsgCheckBox"), named<QCheckBox>(w, "SaveOKCheckBox")};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(boxes[i]->isChecked(), checked[i]);
        // Companions follow their choice.
        QCOMPARE(named<QLineEdit>(w, "EditorEdit")->isEnabled(), second[0]);
        QCOMPARE(named<QPushButton>(w, "EditorButton")->isEnabled(), second[0]);
        QCOMPARE(named<QLineEdit>(w, "SourceEdit")->isEnabled(), second[2]);
        QCOMPARE(named<QLineEdit>(w, "ImageEdit")->isEnabled(), second[3]);
        QCOMPARE(named<QPushButton>(w, "ImageButton")->isEnabled(), second[3]);
        QCOMPARE(w->getCheck(), flags);
        QCOMPARE(w->getGeneralList(), list);
    }

    void companionsFollowClicks()
    {
        auto w = makeDialog();
        QVERIFY(w->setGeneralList(generalList()));
        w->show();
        QVERIFY(!named<QLineEdit>(w, "EditorEdit")->isEnabled());
        // On its caption, as a user clicks: a wide button's middle may lie past its text.
        auto *external = named<QRadioButton>(w, "EditorRadioButton2");
        QTest::mouseClick(external, Qt::LeftButton, {}, QPoint(10, external->height() / 2));
        QVERIFY(named<QLineEdit>(w, "EditorEdit")->isEnabled());
        QCOMPARE(w->getCheck(), QStringLiteral("1"));
    }

    void badFlagsChangeNothing()
    {
        auto w = makeDialog();
        QVERIFY(w->setGeneralList(generalList()));
        QStringList bad = generalList();
        bad[0] = QStringLiteral("five");
        bad[6] = QStringLiteral("1234");
        QVERIFY(!w->setGeneralList(bad));
        QVERIFY(w->errorText().contains(QStringLiteral("five")));
        QCOMPARE(w->getGeneralList(), generalList());
    }

    void defaultThenOk()
    {
        QTemporaryDir dir;
        TOption option(dir.path() + u'/', QRect(0, 0, 1280, 800), QStringLiteral("English"));
        auto w = makeDialog();
        w->setOption(&option);
        QStringList list = generalList();
        list[0] = QStringLiteral("15");
        QVERIFY(w->setGeneralList(list));
        named<QLineEdit>(w, "NameEdit")->setText(QStringLiteral("Q"));
        w->show();
        QTest::mouseClick(named<QPushButton>(w, "DefaultButton"), Qt::LeftButton);
        QVERIFY(w->isVisible());
        QTest::mouseClick(named<QPushButton>(w, "OKButton"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->closeReason(), TGeneralSettings::ClosedByOk);
        const QStringList stored = option.getOptionList(TOption::GeneralList);
        QCOMPARE(stored, Defaults::generalSettingsButtonList(Defaults::userLanguageName()));
        QCOMPARE(stored.value(0), QStringLiteral("240"));
        QCOMPARE(stored.value(7), QStringLiteral("Y"));
        QCOMPARE(texts(named<QTableWidget>(w, "PathStringGrid"), 0), (QStringList{"1", ""}));
        QCOMPARE(w->nameCode(), QStringLiteral("Q"));
    }

    void getDefaultEndsWithSize()
    {
        const QStringList d = TGeneralSettings::getDefault();
        QCOMPARE(d.size(), 12);
        QCOMPARE(d.value(0), QStringLiteral("0"));
        QCOMPARE(d.value(7), QStringLiteral("P"));
        QCOMPARE(d.last(), QStringLiteral("600,550"));
        QCOMPARE(TGeneralSettings::getWindowsSizeDefault(), QStringLiteral("600,550"));
    }

    void pathList()
    {
        auto w = makeDialog();
        const QString text = QStringLiteral("C:\\NC,\"D:\\My CAM\"");
        w->setPathList(text);
        QCOMPARE(texts(named<QTableWidget>(w, "PathStringGrid"), 0), (QStringList{"1", "2", ""}));
        QCOMPARE(texts(named<QTableWidget>(w, "PathStringGrid"), 1),
                 (QStringList{"C:\\NC", "D:\\My CAM", ""}));
        QCOMPARE(w->getPathList(), text);

        QString prompt, start;
        QString answer;
        w->setFolderChooser([&](const QString &p, const QString &s) {
            prompt = p;
            start = s;
            return answer;
        });
        // Cancelled chooser: nothing changes.
        w->PathStringGridDblClick(1, 1);
        QCOMPARE(start, QStringLiteral("D:\\My CAM"));
        QCOMPARE(prompt, LanguagePack::builtIn(LanguagePack::General).at(32));
        QCOMPARE(w->getPathList(), text);
        // A folder chosen on the new-entry row adds an entry and a new empty row.
        answer = QStringLiteral("/srv/new parts");
        showActive(w.get());
        named<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
        QCoreApplication::processEvents();
        const QPoint cell =
            named<QTableWidget>(w, "PathStringGrid")
                ->visualItemRect(named<QTableWidget>(w, "PathStringGrid")->item(2, 1))
                .center();
        QTest::mousePress(named<QTableWidget>(w, "PathStringGrid")->viewport(), Qt::LeftButton, {},
                          cell);
        QTest::mouseRelease(named<QTableWidget>(w, "PathStringGrid")->viewport(), Qt::LeftButton,
                            {}, cell);
        QTest::mouseDClick(named<QTableWidget>(w, "PathStringGrid")->viewport(), Qt::LeftButton, {},
                           cell);
        QCOMPARE(named<QTableWidget>(w, "PathStringGrid")->rowCount(), 4);
        QCOMPARE(texts(named<QTableWidget>(w, "PathStringGrid"), 0),
                 (QStringList{"1", "2", "3", ""}));
        QCOMPARE(w->getPathList(), text + QStringLiteral(",\"/srv/new parts\""));
    }

    void extensionList()
    {
        auto w = makeDialog();
        w->setExtList({"*.NC", "*.tap", "*.*"});
        w->show();
        QCOMPARE(named<QListWidget>(w, "ExtListBox")->count(), 2);

        QTest::keyClicks(named<QLineEdit>(w, "ExtEdit"), QStringLiteral("nc"));
        QTest::mouseClick(named<QPushButton>(w, "AddButton"), Qt::LeftButton);
        QCOMPARE(named<QListWidget>(w, "ExtListBox")->count(), 2);
        QVERIFY(named<QLineEdit>(w, "ExtEdit")->text().isEmpty());

        QTest::keyClicks(named<QLineEdit>(w, "ExtEdit"), QStringLiteral("Dat"));
        QTest::keyClick(named<QLineEdit>(w, "ExtEdit"), Qt::Key_Return);
        QCOMPARE(w->getExtList(), (QStringList{"*.NC", "*.tap", "*.Dat", "*.*"}));

        // A key outside letters and digits is dropped with the message.
        BoxCatcher box;
        QTest::keyClicks(named<QLineEdit>(w, "ExtEdit"), QStringLiteral("ab"));
        box.arm();
        QTest::keyClick(named<QLineEdit>(w, "ExtEdit"), '.');
        QCOMPARE(box.title, QStringLiteral("message"));
        QCOMPARE(box.text, LanguagePack::builtIn(LanguagePack::General).at(33));
        QCOMPARE(named<QLineEdit>(w, "ExtEdit")->text(), QStringLiteral("ab"));
        QTest::keyClick(named<QLineEdit>(w, "ExtEdit"), Qt::Key_Backspace);
        QCOMPARE(named<QLineEdit>(w, "ExtEdit")->text(), QStringLiteral("a"));

        named<QListWidget>(w, "ExtListBox")->setCurrentRow(0);
        QTest::mouseClick(named<QPushButton>(w, "UPButton"), Qt::LeftButton);
        QCOMPARE(w->getExtList().first(), QStringLiteral("*.NC"));
        QTest::mouseClick(named<QPushButton>(w, "DownButton"), Qt::LeftButton);
        QCOMPARE(w->getExtList(), (QStringList{"*.tap", "*.NC", "*.Dat", "*.*"}));
        QCOMPARE(named<QListWidget>(w, "ExtListBox")->currentRow(), 1);
        named<QListWidget>(w, "ExtListBox")->setCurrentRow(2);
        QTest::mouseClick(named<QPushButton>(w, "DownButton"), Qt::LeftButton);
        QCOMPARE(named<QListWidget>(w, "ExtListBox")->currentRow(), 2);
        QTest::mouseClick(named<QPushButton>(w, "DelButton"), Qt::LeftButton);
        QCOMPARE(w->getExtList(), (QStringList{"*.tap", "*.NC", "*.*"}));
    }

    void folderListTrailingRow()
    {
        auto w = makeDialog();
        w->setFolderList(QStringLiteral("F01"));
        showActive(w.get());
        named<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
        named<QTabWidget>(w, "DataPageControl")->setCurrentIndex(1);
        typeInto(named<QTableWidget>(w, "FolderStringGrid"), 1, QStringLiteral("F02"));
        QCOMPARE(texts(named<QTableWidget>(w, "FolderStringGrid"), 0), (QStringList{"1", "2", ""}));
        QCOMPARE(w->getFolderList(), QStringLiteral("F01,F02"));
        typeInto(named<QTableWidget>(w, "FolderStringGrid"), 1, QString());
        QCOMPARE(texts(named<QTableWidget>(w, "FolderStringGrid"), 0), (QStringList{"1", ""}));
        QCOMPARE(w->getFolderList(), QStringLiteral("F01"));
        // Numbers in column 0 are not editable.
        QVERIFY(!(named<QTableWidget>(w, "FolderStringGrid")->item(0, 0)->flags() &
                  Qt::ItemIsEditable));
    }

    void deleteGridRows()
    {
        auto w = makeDialog();
        w->setFolderList(QStringLiteral("A,B,C"));
        named<QTableWidget>(w, "FolderStringGrid")->setCurrentCell(3, 1);
        w->deleteGridRow(named<QTableWidget>(w, "FolderStringGrid"));
        QCOMPARE(w->getFolderList(), QStringLiteral("A,B,C"));
        named<QTableWidget>(w, "FolderStringGrid")->setCurrentCell(1, 1);
        w->deleteGridRow(named<QTableWidget>(w, "FolderStringGrid"));
        QCOMPARE(texts(named<QTableWidget>(w, "FolderStringGrid"), 1), (QStringList{"A", "C", ""}));
        QCOMPARE(texts(named<QTableWidget>(w, "FolderStringGrid"), 0), (QStringList{"1", "2", ""}));
        QCOMPARE(w->getFolderList(), QStringLiteral("A,C"));
    }

    void cancelRestores()
    {
        QTemporaryDir dir;
        TOption option(dir.path() + u'/', QRect(0, 0, 1280, 800), QStringLiteral("English"));
        auto w = makeDialog();
        w->setOption(&option);
        QVERIFY(w->setGeneralList(generalList()));
        w->setExtList({"*.nc", "*.*"});
        w->show();
        named<QLineEdit>(w, "ReadEdit")->setText(QStringLiteral("1111"));
        named<QLineEdit>(w, "PathEdit")->setText(QStringLiteral("Q"));
        named<QCheckBox>(w, "CoverCheckBox")->setChecked(true);
        w->setFolderChooser([](const QString &, const QString &) { return QStringLiteral("/x"); });
        w->PathStringGridDblClick(0, 1);
        named<QTableWidget>(w, "FolderStringGrid")->setCurrentCell(0, 1);
        w->deleteGridRow(named<QTableWidget>(w, "FolderStringGrid"));
        QTest::keyClicks(named<QLineEdit>(w, "ExtEdit"), QStringLiteral("tap"));
        QTest::mouseClick(named<QPushButton>(w, "AddButton"), Qt::LeftButton);
        QVERIFY(w->getGeneralList() != generalList());

        QTest::mouseClick(named<QPushButton>(w, "CancelButton"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->closeReason(), TGeneralSettings::ClosedByCancel);
        QCOMPARE(w->getGeneralList(), generalList());
        QCOMPARE(texts(named<QTableWidget>(w, "PathStringGrid"), 1),
                 (QStringList{"/nc", "/cam", ""}));
        QCOMPARE(option.getOptionList(TOption::GeneralList), generalList());
        QCOMPARE(w->getExtList(), (QStringList{"*.nc", "*.tap", "*.*"}));
    }

    // The NC code page: OK stores the choice in NCFerry.ini and puts it to use; Cancel keeps
    // the stored one; "by the language" follows the pack again.
    void codePageChoice()
    {
        QTemporaryDir dir;
        const QString base = dir.path() + u'/';
        TOption option(base, QRect(0, 0, 1280, 800), QStringLiteral("繁體中文"));
        QCOMPARE(NcText::codePage(), NcText::CodePage::Big5);
        auto w = makeDialog();
        w->setOption(&option);
        QVERIFY(w->setGeneralList(option.getOptionList(TOption::GeneralList)));
        auto *box = named<QComboBox>(w, "CodePageComboBox");
        auto choose = [&](const QString &shown, const char *button) {
            showActive(w.get());
            QCOMPARE(box->currentIndex(), box->findData(option.codePageName()));
            box->setCurrentIndex(box->findText(shown));
            QVERIFY(box->currentIndex() >= 0);
            QTest::mouseClick(named<QPushButton>(w, button), Qt::LeftButton);
        };
        choose(QStringLiteral("UTF-8"), "OKButton");
        QCOMPARE(NcText::storedName(base), QStringLiteral("UTF-8"));
        QCOMPARE(NcText::codePage(), NcText::CodePage::Utf8);
        choose(QStringLiteral("GBK (CP936)"), "CancelButton");
        QCOMPARE(NcText::storedName(base), QStringLiteral("UTF-8"));
        QCOMPARE(NcText::codePage(), NcText::CodePage::Utf8);
        choose(box->itemText(0), "OKButton");
        QCOMPARE(NcText::storedName(base), QString());
        QCOMPARE(NcText::codePage(), NcText::CodePage::Big5);
        NcText::setCodePage(NcText::CodePage::Latin1);
    }

    void closeBoxStores()
    {
        QTemporaryDir dir;
        TOption option(dir.path() + u'/', QRect(0, 0, 1280, 800), QStringLiteral("English"));
        auto w = makeDialog();
        w->setOption(&option);
        QVERIFY(w->setGeneralList(generalList()));
        showActive(w.get());
        named<QLineEdit>(w, "ReadEdit")->setText(QStringLiteral("8888"));
        // On its box, as a user clicks it: a check box as wide as its page takes no click at
        // its middle, past the end of its text.
        auto *saveOk = named<QCheckBox>(w, "SaveOKCheckBox");
        QTest::mouseClick(saveOk, Qt::LeftButton, {}, QPoint(8, saveOk->height() / 2));
        // A folder entry still being typed when the window closes is kept.
        named<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
        named<QTabWidget>(w, "DataPageControl")->setCurrentIndex(1);
        named<QTableWidget>(w, "FolderStringGrid")->setFocus();
        named<QTableWidget>(w, "FolderStringGrid")->setCurrentCell(2, 1);
        QTest::keyClick(named<QTableWidget>(w, "FolderStringGrid"), Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor && named<QTableWidget>(w, "FolderStringGrid")->isAncestorOf(editor));
        QTest::keyClicks(editor, QStringLiteral("F09"));
        QVERIFY(w->close());
        QCOMPARE(w->closeReason(), TGeneralSettings::ClosedByCloseBox);
        const QStringList stored = option.getOptionList(TOption::GeneralList);
        QCOMPARE(stored.value(6), QStringLiteral("8888"));
        QCOMPARE(stored.value(0), QStringLiteral("128"));
        QCOMPARE(stored.value(10), QStringLiteral("F01,F02,F09"));
    }

    void programChooser()
    {
        auto w = makeDialog();
        QStringList list = generalList();
        list[0] = QStringLiteral("9");
        QVERIFY(w->setGeneralList(list));
        QString start;
        QString answer;
        w->setProgramChooser([&](const QString &s) {
            start = s;
            return answer;
        });
        w->show();
        QTest::mouseClick(named<QPushButton>(w, "EditorButton"), Qt::LeftButton);
        QCOMPARE(start, QStringLiteral("/usr/bin/ed"));
        QCOMPARE(named<QLineEdit>(w, "EditorEdit")->text(), QStringLiteral("/usr/bin/ed"));
        answer = QStringLiteral("/opt/view/bin/view");
        QTest::mouseClick(named<QPushButton>(w, "ImageButton"), Qt::LeftButton);
        QCOMPARE(named<QLineEdit>(w, "ImageEdit")->text(), answer);
        QCOMPARE(w->getGeneralList().value(4), answer);
    }
};

QTEST_MAIN(TestGeneralSettingsWindow)
#include "tst_generalsettings_window.moc"
