// The colour dialog and the editor window, driven through their controls offscreen.
#include "app/MainWindow.h"
#include "editor/ColorDialogs.h"
#include "editor/ColorText.h"
#include "editor/Editor.h"
#include "editor/LetterColoring.h"
#include "library/LibraryEngine.h"
#include "library/LibraryJobs.h"
#include "library/LibraryPanes.h"
#include "settings/NcText.h"
#include "settings/Option.h"

#include "TestFiles.h"
#include "WindowHelpers.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace
{
QStringList all(const char *name)
{
    return QStringList(26, QLatin1String(name));
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
} // namespace

class TestEditorWindow : public QObject
{
    Q_OBJECT
private slots:
    // Exit returns the swatches to the last OK or default; before either, to the defaults.
    void colourDialogButtons()
    {
        TColorDialogs d;
        const QStringList defaults = ColorText::defaultLetterColors();
        auto run = [&](const QStringList &shown, QPushButton *button) {
            d.setColor(shown);
            d.show();
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY(!d.isVisible());
        };
        run(all("clRed"), named<QPushButton>(&d, "CancelButton"));
        QCOMPARE(d.getColor(), defaults);
        run(all("clAqua"), named<QPushButton>(&d, "OKButton"));
        QCOMPARE(d.getColor(), all("clAqua"));
        run(all("clRed"), named<QPushButton>(&d, "CancelButton"));
        QCOMPARE(d.getColor(), all("clAqua"));
        run(all("clRed"), named<QPushButton>(&d, "defButton"));
        QCOMPARE(d.getColor(), defaults);
        run(all("clLime"), named<QPushButton>(&d, "CancelButton"));
        QCOMPARE(d.getColor(), defaults);
    }

    // A picked colour without a name comes back as "$" text; the close box keeps it.
    void colourDialogSwatchAndCloseBox()
    {
        TColorDialogs d;
        QColor offered;
        d.pickColor = [&](const QColor &initial, QWidget *) {
            offered = initial;
            return QColor(0x12, 0x34, 0x56);
        };
        d.setColor(ColorText::defaultLetterColors());
        d.show();
        QTest::mouseClick(named<QWidget>(&d, "StaticTextN"), Qt::LeftButton);
        QCOMPARE(offered, ColorText::letterColors(ColorText::defaultLetterColors()).at(13));
        d.pickColor = [](const QColor &, QWidget *) { return QColor(); }; // picker cancelled
        QTest::mouseClick(named<QWidget>(&d, "StaticTextA"), Qt::LeftButton);
        d.close();
        const QStringList colors = d.getColor();
        QCOMPARE(colors.at(13), QStringLiteral("$00563412"));
        QCOMPARE(colors.at(0), QStringLiteral("clBlack"));
    }

    void styleCodesRoundTrip_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("all styles") << 0;
        QTest::newRow("no style") << 7;
        QTest::newRow("italic only") << 5;
    }
    void styleCodesRoundTrip()
    {
        QFETCH(int, code);
        TEditor e(nullptr, nullptr);
        const QString colors = all("clNavy").join(u',');
        e.setEditorList({QStringLiteral("16"), QString::number(code), colors});
        QCOMPARE(e.getEditorList(),
                 (QStringList{QStringLiteral("16"), QString::number(code), colors}));
        const QFont f = named<QPlainTextEdit>(&e, "RichEdit1")->font();
        QCOMPARE(f.bold(), !(code & 1));
        QCOMPARE(f.italic(), !(code & 2));
        QCOMPARE(f.underline(), !(code & 4));
        QCOMPARE(f.pointSize(), 16);
        // Toggling a button changes the code.
        named<QToolButton>(&e, "FontStyle1")->click();
        QCOMPARE(e.getFontStyle(), code ^ 1);
    }

    // Shown with its file: loaded unchanged, coloured; typing marks it changed and an
    // upper-case letter sets the typing colour.
    void openTypeAndSave()
    {
        QTemporaryDir dir;
        const QString path = fixture(dir, QStringLiteral("O1.nc"), "%\r\nG01X5.\r\n%\r\n");
        auto *e = new TEditor(nullptr, nullptr);
        e->setFileName(path);
        showActive(e);
        QCOMPARE(named<QPlainTextEdit>(e, "RichEdit1")->toPlainText(),
                 QStringLiteral("%\nG01X5.\n%\n"));
        QVERIFY(!e->isModified());
        QVERIFY(e->windowTitle().endsWith(QStringLiteral("-NC程式編輯器")));
        QTest::keyClicks(named<QPlainTextEdit>(e, "RichEdit1"), QStringLiteral("Y"));
        QVERIFY(e->isModified());
        QCOMPARE(named<QPlainTextEdit>(e, "RichEdit1")->currentCharFormat().foreground().color(),
                 ColorText::letterColors(ColorText::defaultLetterColors()).at(24));
        QVERIFY(e->FSave1Click());
        QVERIFY(!e->isModified());
        QCOMPARE(fileBytes(path), QByteArray("Y%\r\nG01X5.\r\n%\r\n"));
        // A key that deletes text changes it too, and the question comes at closing.
        QTest::keyClick(named<QPlainTextEdit>(e, "RichEdit1"), Qt::Key_Delete);
        QVERIFY(e->isModified());
        int asked = 0;
        e->askQuestion = [&](const QString &text) {
            ++asked;
            [&] { QVERIFY(text.startsWith(path)); }();
            return QMessageBox::No;
        };
        QPointer<TEditor> alive(e);
        e->close();
        QCOMPARE(asked, 1);
        QCOMPARE(fileBytes(path), QByteArray("Y%\r\nG01X5.\r\n%\r\n")); // No writes nothing
        QTRY_VERIFY(alive.isNull());
    }

    // Save on a new document asks for a name; Save as cancelled keeps the changed state, so
    // closing asks, and the question's Cancel keeps the window open.
    void newDocumentSaveAndQuestion()
    {
        QTemporaryDir dir;
        TEditor e(nullptr, nullptr);
        e.setAttribute(Qt::WA_DeleteOnClose, false);
        showActive(&e);
        QTest::keyClicks(named<QPlainTextEdit>(&e, "RichEdit1"), QStringLiteral("N10G01"));
        QVERIFY(e.isModified());
        QString answer;
        int namesAsked = 0;
        e.askSaveName = [&] {
            ++namesAsked;
            return answer;
        };
        QVERIFY(!e.FSave2Click()); // cancelled
        QVERIFY(e.isModified());
        QCOMPARE(e.fileName(), QString());

        QList<QMessageBox::StandardButton> answers{QMessageBox::Cancel, QMessageBox::Yes,
                                                   QMessageBox::Yes};
        QString question;
        e.askQuestion = [&](const QString &text) {
            question = text;
            return answers.takeFirst();
        };
        e.close();
        QVERIFY(e.isVisible());
        // The question names the document even before it has a file.
        QVERIFY2(question.startsWith(QStringLiteral("未命名 的內容已經修改。")),
                 qPrintable(question));
        // Yes, but no name chosen: the text would be lost, so the window stays.
        e.close();
        QVERIFY(e.isVisible());
        QVERIFY(e.isModified());

        answer = dir.filePath(QStringLiteral("new.nc"));
        QVERIFY(e.FSave1Click());
        QCOMPARE(namesAsked, 3);
        QCOMPARE(e.fileName(), answer);
        QVERIFY(!e.isModified());
        QCOMPARE(fileBytes(answer), QByteArray("N10G01"));
        QVERIFY(e.windowTitle().startsWith(QDir::toNativeSeparators(answer)));
        e.close();
        QVERIFY(!e.isVisible());
        QCOMPARE(answers.size(), 1); // not asked: nothing changed
    }

    // Chinese typed into a program: a code page that cannot hold it refuses the save and says
    // which characters and where (the file keeps its bytes); one that can writes them.
    void chineseCommentSavedInItsCodePage()
    {
        QTemporaryDir dir;
        const QString path = fixture(dir, QStringLiteral("O2.nc"), "%\r\nG01X5.\r\n%\r\n");
        TEditor e(nullptr, nullptr);
        e.setAttribute(Qt::WA_DeleteOnClose, false);
        e.setFileName(path);
        showActive(&e);
        QStringList said;
        e.showMessage = [&](const QString &text) { said << text; };
        auto *text = named<QPlainTextEdit>(&e, "RichEdit1");
        text->moveCursor(QTextCursor::End);
        // Typed through an input method: the text arrives without key events.
        text->insertPlainText(QStringLiteral("(粗加工)"));
        NcText::setCodePage(NcText::CodePage::Latin1);
        QVERIFY(!e.FSave1Click());
        QVERIFY(e.isModified());
        QCOMPARE(fileBytes(path), QByteArray("%\r\nG01X5.\r\n%\r\n"));
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains(QStringLiteral("\"粗\" U+7C97 (4:2)")) &&
                     said.first().contains(QStringLiteral("ISO-8859-1")),
                 qPrintable(said.first()));
        int namesAsked = 0;
        e.askSaveName = [&] { return ++namesAsked, dir.filePath("other.nc"); };
        QVERIFY(!e.FSave2Click());
        QCOMPARE(namesAsked, 0);

        NcText::setCodePage(NcText::CodePage::Big5);
        QVERIFY(e.FSave1Click());
        QCOMPARE(fileBytes(path), QByteArray("%\r\nG01X5.\r\n%\r\n(\xB2\xCA\xA5\x5B\xA4\x75)"));
        NcText::setCodePage(NcText::CodePage::Latin1);
    }

    // New asks before it empties the text; Open replaces it and recolours.
    void newAndOpen()
    {
        QTemporaryDir dir;
        const QString other = fixture(dir, QStringLiteral("O2.nc"), "X1\r\n");
        TEditor e(nullptr, nullptr);
        e.setAttribute(Qt::WA_DeleteOnClose, false);
        showActive(&e);
        QTest::keyClicks(named<QPlainTextEdit>(&e, "RichEdit1"), QStringLiteral("abc"));
        e.askQuestion = [](const QString &) { return QMessageBox::Cancel; };
        e.FNewClick();
        QCOMPARE(named<QPlainTextEdit>(&e, "RichEdit1")->toPlainText(), QStringLiteral("abc"));
        e.askQuestion = [](const QString &) { return QMessageBox::No; };
        e.askOpenName = [&] { return other; };
        e.FOpenClick();
        QCOMPARE(named<QPlainTextEdit>(&e, "RichEdit1")->toPlainText(), QStringLiteral("X1\n"));
        QCOMPARE(e.fileName(), other);
        QVERIFY(!e.isModified());
        e.FNewClick();
        QCOMPARE(named<QPlainTextEdit>(&e, "RichEdit1")->toPlainText(), QString());
        QCOMPARE(e.windowTitle(), QStringLiteral("NC程式編輯器"));
    }

    // A file that cannot be read opens as a new document, so saving cannot empty it.
    void unreadableFileIsNotOverwritten()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("gone.nc"));
        TEditor e(nullptr, nullptr);
        e.setAttribute(Qt::WA_DeleteOnClose, false);
        e.setFileName(path);
        BoxCatcher box;
        box.arm();
        e.show();
        QTRY_VERIFY(!box.text.isEmpty());
        QVERIFY(box.text.contains(QStringLiteral("gone.nc")));
        QCOMPARE(e.fileName(), QString());
    }

    // Closing stores option list 3 and window-size slot 3; two windows keep their own sizes.
    void closingStoresOptions()
    {
        QTemporaryDir dir;
        TOption option(dir.path() + u'/', QRect(0, 0, 1920, 1040));
        TEditor a(&option, nullptr), b(&option, nullptr);
        a.setAttribute(Qt::WA_DeleteOnClose, false);
        b.setAttribute(Qt::WA_DeleteOnClose, false);
        QVERIFY(a.setWindowsSize(QStringLiteral("500,400")));
        QVERIFY(b.setWindowsSize(QStringLiteral("640,480")));
        QVERIFY(!a.setWindowsSize(QStringLiteral("wide")));
        a.setEditorList({QStringLiteral("20"), QStringLiteral("6"), all("clRed").join(u',')});
        a.show();
        b.show();
        QCOMPARE(a.getWindowsSize(), QStringLiteral("500,400"));
        QCOMPARE(b.getWindowsSize(), QStringLiteral("640,480"));
        a.close();
        QCOMPARE(option.getOptionList(TOption::EditorList).mid(0, 3),
                 (QStringList{QStringLiteral("20"), QStringLiteral("6"), all("clRed").join(u',')}));
        QCOMPARE(option.getWindowsSize(TOption::EditorSlot), QStringLiteral("500,400"));
        QCOMPARE(TEditor::getDefault().size(), 4);
    }

    // The colour dialog's choice recolours the text, whichever way it was closed.
    void colourSettingsRecolour()
    {
        TColorDialogs d;
        TEditor e(nullptr, &d);
        e.setAttribute(Qt::WA_DeleteOnClose, false);
        named<QPlainTextEdit>(&e, "RichEdit1")->setPlainText(QStringLiteral("G1"));
        QTimer::singleShot(0, &d, [&] {
            d.setColor(all("clFuchsia"));
            d.close();
        });
        e.NColorClick();
        QCOMPARE(e.getColorList(), all("clFuchsia").join(u','));
        const QTextLayout *layout =
            named<QPlainTextEdit>(&e, "RichEdit1")->document()->firstBlock().layout();
        QVERIFY(!layout->formats().isEmpty());
        QCOMPARE(layout->formats().first().format.foreground().color(), QColor(Qt::magenta));
    }

    // The file list's edit entry opens the selected program in a new editor window.
    void editEntryOpensEditor()
    {
        QTemporaryDir base, nc;
        const QString path = fixture(nc, QStringLiteral("O7.nc"), "%\r\nO7\r\n%\r\n");
        TOption option(base.path() + u'/', QRect(0, 0, 1920, 1040), QStringLiteral("none"));
        QStringList main = option.getOptionList(TOption::MainList);
        main[0] = nc.path();
        option.setOptionList(TOption::MainList, main);
        TColorDialogs colors;
        TF_Main w(base.path() + u'/');
        w.setOption(&option);
        w.setColorDialog(&colors);
        w.show();
        QTRY_COMPARE(w.engine()->jobQueue()->pendingJobs(), 0);
        named<FileListPane>(&w, "Panel3")->setCurrentRow(0);
        w.SEditClick();
        QPointer<TEditor> first = qobject_cast<TEditor *>(w.lastEditorWindow());
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->fileName(), path);
        QCOMPARE(named<QPlainTextEdit>(first, "RichEdit1")->toPlainText(),
                 QStringLiteral("%\nO7\n%\n"));
        QCOMPARE(first->dialogFilter(),
                 QStringLiteral(".nc|*.nc|.cnc|*.cnc|.txt|*.txt|.dat|*.dat|.tap|*.tap|*.*|*.*"));
        w.SEditClick();
        QPointer<TEditor> second = qobject_cast<TEditor *>(w.lastEditorWindow());
        QVERIFY(second && second != first); // a window per file opened
        second->close();

        // Closing the program asks about unsaved text; Cancel keeps everything open.
        named<QPlainTextEdit>(first, "RichEdit1")->insertPlainText(QStringLiteral("G00"));
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        first->askQuestion = [&](const QString &) { return answer; };
        w.close();
        QVERIFY(w.isVisible());
        QVERIFY(first && first->isVisible());
        answer = QMessageBox::No;
        w.close();
        QVERIFY(!w.isVisible());
        QTRY_VERIFY(first.isNull());
        QCOMPARE(fileBytes(path), QByteArray("%\r\nO7\r\n%\r\n"));
    }
};

QTEST_MAIN(TestEditorWindow)
#include "tst_editor_window.moc"
