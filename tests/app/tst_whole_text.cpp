// Every window and dialog at its default size, in each shipped pack and at font sizes 9, 12
// and 20: no caption, header, menu entry, label or short value may be cut or elided.
#include "FakeSerialLine.h"
#include "app/Startup.h"
#include "automode/WATransport.h"
#include "editor/Editor.h"
#include "library/DiffView.h"
#include "library/FolderTree.h"
#include "library/JournalWindow.h"
#include "library/ReviewWindow.h"
#include "settings/LanguagePack.h"
#include "settings/PortSetting.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/Transport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace
{

QString plain(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("&(?=[^&])")));
    return text;
}

QString describe(const QWidget *w, const QString &text, int needed, int room)
{
    return QStringLiteral("%1 %2 \"%3\": needs %4 px, has %5")
        .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), text)
        .arg(needed)
        .arg(room);
}

int widest(const QFontMetrics &fm, const QString &text)
{
    int w = 0;
    for (const QString &line : text.split(u'\n'))
        w = qMax(w, fm.horizontalAdvance(line));
    return w;
}

// What of `window` (its shown controls) cannot show its whole text.
QStringList cutIn(QWidget *window)
{
    QStringList cut;
    QList<QWidget *> all = window->findChildren<QWidget *>();
    all.prepend(window);
    for (QWidget *w : std::as_const(all)) {
        if (!w->isVisibleTo(window) || w->window() != window || w->width() <= 0)
            continue;
        const QFontMetrics fm = w->fontMetrics();
        if (auto *label = qobject_cast<QLabel *>(w)) {
            // Shortened on purpose, the whole text in its tooltip (paths, line settings).
            if (label->inherits("TElidedLabel") || label->wordWrap() || label->text().isEmpty() ||
                !label->pixmap().isNull() || Qt::mightBeRichText(label->text()))
                continue;
            const int needed = widest(fm, label->text());
            if (needed > label->contentsRect().width())
                cut << describe(w, label->text(), needed, label->contentsRect().width());
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            auto *tool = qobject_cast<QToolButton *>(w);
            if (button->text().isEmpty() ||
                (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                continue;
            // A push button's hint has a least width of its own; its text is what must fit.
            const int needed =
                qobject_cast<QPushButton *>(w)
                    ? fm.horizontalAdvance(plain(button->text())) +
                          2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4
                    : button->sizeHint().width();
            if (needed > button->width())
                cut << describe(w, plain(button->text()), needed, button->width());
        } else if (auto *box = qobject_cast<QGroupBox *>(w)) {
            if (box->minimumSizeHint().width() > box->width())
                cut << describe(w, box->title(), box->minimumSizeHint().width(), box->width());
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            if (combo->isEditable() || combo->currentText().isEmpty())
                continue;
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QSize text(fm.horizontalAdvance(combo->currentText()), fm.height());
            // Less a pixel or two the style rounds away between its hint and its drawing.
            const int needed = combo->style()
                                   ->sizeFromContents(QStyle::CT_ComboBox, &option, text, combo)
                                   .width() -
                               2;
            if (needed > combo->width())
                cut << describe(w, combo->currentText(), needed, combo->width());
        } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            // Short values (program numbers, codes) are read whole; paths may scroll.
            if (edit->maxLength() > 8 || edit->text().isEmpty())
                continue;
            const int needed = fm.horizontalAdvance(edit->text()) + 8;
            if (needed > edit->contentsRect().width())
                cut << describe(w, edit->text(), needed, edit->contentsRect().width());
        } else if (auto *header = qobject_cast<QHeaderView *>(w)) {
            if (header->orientation() != Qt::Horizontal || !header->model())
                continue;
            const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin);
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i))
                    continue;
                const QString text = header->model()->headerData(i, Qt::Horizontal).toString();
                const int needed = QFontMetrics(header->font()).horizontalAdvance(text) + margin;
                if (!text.isEmpty() && needed > header->sectionSize(i))
                    cut << describe(w, text, needed, header->sectionSize(i));
            }
        } else if (auto *tabs = qobject_cast<QTabBar *>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                const int needed = fm.horizontalAdvance(plain(tabs->tabText(i))) + 8;
                if (needed > tabs->tabRect(i).width())
                    cut << describe(w, tabs->tabText(i), needed, tabs->tabRect(i).width());
            }
        }
    }
    return cut;
}

// A popup menu shown as the user would see it.
QStringList cutInMenu(QMenu *menu)
{
    QStringList cut;
    menu->popup(QPoint(0, 0));
    QTest::qWait(20);
    const QFontMetrics fm(menu->font());
    for (QAction *a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible() || a->text().isEmpty())
            continue;
        const int needed = fm.horizontalAdvance(plain(a->text()));
        if (needed > menu->actionGeometry(a).width())
            cut << QStringLiteral("menu %1 \"%2\": needs %3 px, has %4")
                       .arg(menu->objectName(), plain(a->text()))
                       .arg(needed)
                       .arg(menu->actionGeometry(a).width());
        if (a->menu())
            cut << cutInMenu(a->menu());
    }
    menu->hide();
    return cut;
}

QStringList cutInMenus(QWidget *window)
{
    QStringList cut;
    for (QMenu *menu : window->findChildren<QMenu *>())
        if (!menu->parentWidget() || !qobject_cast<QMenu *>(menu->parentWidget()))
            cut << cutInMenu(menu);
    return cut;
}

QString packFolder()
{
    return QStringLiteral(NCFERRY_LANGUAGE_DIR);
}

} // namespace

class TestWholeText : public QObject
{
    Q_OBJECT
private slots:
    void everyWindow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("fontSize");
        for (const QString &language :
             {QStringLiteral("English"), QStringLiteral("繁體中文"), QStringLiteral("简体中文")})
            for (int size : {9, 12, 20})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(language).arg(size)))
                    << language << size;
    }

    void everyWindow()
    {
        QFETCH(QString, language);
        QFETCH(int, fontSize);
        QTemporaryDir base;
        QDir(base.path()).mkpath(QStringLiteral("language"));
        for (const QString &name : QDir(packFolder()).entryList({QStringLiteral("*.ini")}))
            QFile::copy(packFolder() + u'/' + name, base.filePath("language/" + name));
        const QRect area(0, 0, 1280, 800);
        LongLivedWindows windows(base.path() + u'/', area);
        TOption &option = windows.option;
        QStringList general = option.getOptionList(TOption::GeneralList);
        general[TOption::LanguageEntry] = language;
        option.setOptionList(TOption::GeneralList, general);
        QStringList main = option.getOptionList(TOption::MainList);
        main[TOption::FolderEntry] = base.path();
        main[TOption::FontEntry] = QString::number(fontSize);
        option.setOptionList(TOption::MainList, main);
        option.setOptionList(
            TOption::TransferList,
            {QStringLiteral("Mill,ttyS0,9600,Even,7,2,RTS/CTS+Xon/Xoff,%1,*.nc,None")
                 .arg(base.path())});
        option.LoadLanguage();
        QStringList cut;
        auto check = [&](const QString &what, const QStringList &found) {
            for (const QString &f : found)
                cut << what + u':' + u' ' + f;
        };

        TF_Main &w = windows.main;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(50);
        check(QStringLiteral("main window"), cutIn(&w));
        check(QStringLiteral("main window menus"), cutInMenus(&w));
        check(QStringLiteral("folder tree popup"),
              cutInMenu(w.findChild<ShellTreeView *>()->findChild<QMenu *>("TreePopup")));

        auto inspectModal = [&](const QString &what) {
            QTimer::singleShot(100, [&, what] {
                QWidget *d = QApplication::activeModalWidget();
                if (!d)
                    return;
                // With room for the frame a desktop puts around it.
                if (d->width() + 16 > area.width() || d->height() + 48 > area.height())
                    cut << QStringLiteral("%1: %2 x %3 px does not fit a %4 x %5 screen")
                               .arg(what)
                               .arg(d->width())
                               .arg(d->height())
                               .arg(area.width())
                               .arg(area.height());
                // A page scrolls only where its screen has no more room.
                const QSize screen = d->screen()->availableGeometry().size();
                for (QScrollArea *a : d->findChildren<QScrollArea *>()) {
                    const bool across = a->horizontalScrollBar()->isVisibleTo(d) &&
                                        d->width() + 16 < screen.width();
                    const bool down = a->verticalScrollBar()->isVisibleTo(d) &&
                                      d->height() + 48 < screen.height();
                    if (across || down)
                        cut << QStringLiteral("%1: a page scrolls in a %2 x %3 px dialog")
                                   .arg(what)
                                   .arg(d->width())
                                   .arg(d->height());
                }
                for (QTabWidget *tabs : d->findChildren<QTabWidget *>())
                    for (int i = 0; i < tabs->count(); ++i) {
                        tabs->setCurrentIndex(i);
                        QTest::qWait(10);
                        check(what, cutIn(d));
                    }
                check(what, cutIn(d));
                d->close();
            });
        };
        inspectModal(QStringLiteral("general settings"));
        w.GeneralSettingsClick();
        inspectModal(QStringLiteral("port settings"));
        w.TransferSettingsClick();

        auto *editor = new TEditor(&option, nullptr);
        editor->setLanguage(option.getLanguageList(LanguagePack::Editor));
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor));
        check(QStringLiteral("editor"), cutIn(editor));
        check(QStringLiteral("editor menus"), cutInMenus(editor));
        editor->askQuestion = [](const QString &) { return QMessageBox::No; };
        editor->close();

        const QString record = option.getOptionList(TOption::TransferList).value(0);
        auto *send = new TTransport(new FakeSerialLine);
        send->setLanguage(option.getLanguageList(LanguagePack::TransferFile));
        send->setPortSetting(PortProfile::fromText(record));
        send->show();
        QVERIFY(QTest::qWaitForWindowExposed(send));
        check(QStringLiteral("send"), cutIn(send));
        delete send;

        auto *receive = new TReceiveTransport(new FakeSerialLine);
        receive->setLanguage(option.getLanguageList(LanguagePack::ReceiveFile));
        receive->setPortSetting(PortProfile::fromText(record));
        receive->setFileName(base.filePath(QStringLiteral("O0001.nc")));
        receive->show();
        QVERIFY(QTest::qWaitForWindowExposed(receive));
        check(QStringLiteral("receive"), cutIn(receive));
        delete receive;

        auto *autoMode =
            new TWATransport([] { return AutoMode::GeneralValues(); }, new FakeSerialLine);
        autoMode->setLogFolder(base.path());
        autoMode->setLanguage(option.getLanguageList(LanguagePack::AutoMode));
        autoMode->setPortSetting(PortProfile::fromText(record));
        autoMode->show();
        QVERIFY(QTest::qWaitForWindowExposed(autoMode));
        check(QStringLiteral("auto mode"), cutIn(autoMode));
        delete autoMode;

        // The compare window over two small programs with every kind of row.
        QFile left(base.filePath(QStringLiteral("O0001.nc")));
        QFile right(base.filePath(QStringLiteral("O0002.nc")));
        QVERIFY(left.open(QIODevice::WriteOnly) && right.open(QIODevice::WriteOnly));
        left.write("%\nO0001(FLANGE)\nN10 G0 X0\nN20 G1 X5 F100\nN30 M01\nM30\n%\n");
        right.write("%\nO0001(FLANGE)\nN10 G0 X0\nN20 G1 X6 F120\nN25 G4 P1\nM30\n%\n");
        left.close();
        right.close();
        auto *compare = new TCompareWindow;
        compare->setLanguage(option.getLanguageList(LanguagePack::Main));
        QVERIFY(compare->loadFiles(left.fileName(), right.fileName()));
        compare->show();
        QVERIFY(QTest::qWaitForWindowExposed(compare));
        check(QStringLiteral("compare"), cutIn(compare));
        delete compare;

        // The journal window over a journal with one row of each kind of transfer.
        const QString journalPath = base.filePath(TransferJournal::FileName);
        {
            TransferJournal journal(journalPath);
            for (const char *direction : {"send", "receive", "request", "return"}) {
                JournalEntry e;
                e.portSetting = QStringLiteral("Mill");
                e.direction = QString::fromLatin1(direction);
                e.file = base.filePath(QStringLiteral("O0001.nc"));
                e.result = QStringLiteral("failed");
                e.reason = QStringLiteral("Line lost");
                journal.append(e);
            }
        }
        auto *journalWindow = new TJournalWindow(journalPath);
        journalWindow->setLanguage(option.getLanguageList(LanguagePack::Main));
        journalWindow->refresh();
        journalWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(journalWindow));
        QCOMPARE(journalWindow->model()->rowCount(), 4);
        check(QStringLiteral("journal"), cutIn(journalWindow));
        delete journalWindow;

        // The review window with one returned program held beside the stored one.
        const QString approved = base.filePath(QStringLiteral("O0001.nc"));
        QFile program(approved);
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write("%\r\nO0001\r\nN10G00X0\r\nM30\r\n%\r\n");
        program.close();
        QCOMPARE(ReviewQueue::hold(approved, "%\r\nO0001\r\nN10G00X1.\r\nM30\r\n%\r\n",
                                   {QStringLiteral("Mill"), QStringLiteral("00")})
                     .outcome,
                 ReviewQueue::Hold::Held);
        auto *review = new TReviewWindow;
        review->setLanguage(option.getLanguageList(LanguagePack::Main));
        review->setFolders({base.path()});
        review->refresh();
        review->show();
        QVERIFY(QTest::qWaitForWindowExposed(review));
        QTRY_VERIFY(review->diffView()->model()->rowCount() > 0);
        check(QStringLiteral("review"), cutIn(review));
        delete review;

        for (const QString &c : std::as_const(cut))
            qWarning("%s", qPrintable(c));
        QVERIFY2(cut.isEmpty(), qPrintable(QStringLiteral("%1 cut (above)").arg(cut.size())));
    }
};

QTEST_MAIN(TestWholeText)
#include "tst_whole_text.moc"
