#include "app/MainWindow.h"

#include "app/About.h"
#include "app/QtTranslations.h"
#include "editor/ColorDialogs.h"
#include "editor/Editor.h"
#include "library/DiffView.h"
#include "library/FolderTree.h"
#include "library/JournalWindow.h"
#include "library/LibraryEngine.h"
#include "library/LibraryPanes.h"
#include "library/NotesStore.h"
#include "library/PreviewCache.h"
#include "library/ReviewWindow.h"
#include "library/Viewer.h"
#include "settings/CommaText.h"
#include "settings/GeneralSettings.h"
#include "settings/GeneralSettingsRules.h"
#include "settings/LanguagePack.h"
#include "settings/Option.h"
#include "settings/PortProfile.h"
#include "settings/PortSetting.h"
#include "settings/UnitFunction.h"
#include "settings/WindowPlace.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/TransferSettings.h"
#include "transfer/Transport.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QResizeEvent>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
constexpr int MinFontSize = 1;
constexpr int MaxFontSize = 200;
} // namespace

TF_Main::TF_Main(const QString &baseFolder, QWidget *parent)
    : QMainWindow(parent), m_notes(new NotesStore(baseFolder))
{
    Check = QList<bool>(GeneralSettingsRules::FlagCount, false);
    language = LanguagePack::builtIn(LanguagePack::Main);
    // The notes database is opened before anything else reads notes.
    m_notes->open();
    if (m_notes->creationFailed())
        tellProblem(NotesStore::creationFailedText(), NotesStore::creationFailedCaption());
    m_engine = new LibraryEngine(m_notes, this);
    m_engine->setPreviewCacheFolder(PreviewCache::defaultFolder());
    m_engine->setCommentMode(m_notes->unusable());
    buildPanes();
    buildMenus();
    nameControls();
    setLanguage(language);
    keepPreviewRoom();
}

void TF_Main::nameControls()
{
    const QList<QPair<QObject *, const char *>> controls = {
        {SendToolButton, "SendToolButton"},
        {ReadToolButton, "ReadToolButton"},
        {AutoToolButton, "AutoToolButton"},
        {GeneralToolButton, "GeneralToolButton"},
        {TransferToolButton, "TransferToolButton"},
        {ExitToolButton, "ExitToolButton"},
        {NTransfer, "NTransfer"},
        {NSend, "NSend"},
        {NRead, "NRead"},
        {NAuto, "NAuto"},
        {NSettings, "NSettings"},
        {NGeneralS, "NGeneralS"},
        {NTransferS, "NTransferS"},
        {UHFS, "UHFS"},
        {NAbout, "NAbout"},
        {SendPopup, "SendPopup"},
        {ReadPopup, "ReadPopup"},
        {AutoPopup, "AutoPopup"},
        {PopupString, "PopupString"},
        {SSend, "SSend"},
        {SRead, "SRead"},
        {SAuto, "SAuto"},
        {SEdit, "SEdit"},
        {SNote, "SNote"},
        {NAddBuffer, "NAddBuffer"},
        {ImagePopup, "ImagePopup"},
        {BufferPopup, "BufferPopup"},
        {NView, "NView"},
        {NRemove, "NRemove"},
        {NAllRemove, "NAllRemove"},
        {Splitter1, "Splitter1"},
        {Splitter2, "Splitter2"},
        {LowerSplitter, "LowerSplitter"},
        {ShellTreeView1, "ShellTreeView1"},
        {Panel3, "Panel3"},
        {Previews, "Previews"},
    };
    for (const auto &[control, name] : controls)
        control->setObjectName(QLatin1String(name));
}

TF_Main::~TF_Main()
{
    // The views read the engine while they are torn down (a hidden header asks the model
    // for its size), so they go first and the engine and notes outlive them.
    const QList<QWidget *> views = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(views);
    delete m_engine;
    m_engine = nullptr;
    delete m_notes;
}

void TF_Main::tellProblem(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title.isEmpty() ? windowTitle() : title, text,
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

QString TF_Main::caption(int index) const
{
    return LanguagePack::caption(language, LanguagePack::Main, index);
}

void TF_Main::fitToolBar()
{
    const QList<QToolButton *> buttons = {SendToolButton,    ReadToolButton,     AutoToolButton,
                                          GeneralToolButton, TransferToolButton, ExitToolButton};
    const int gap = style()->pixelMetric(QStyle::PM_ToolBarSeparatorExtent) +
                    2 * style()->pixelMetric(QStyle::PM_ToolBarItemSpacing);
    int needed = 2 * style()->pixelMetric(QStyle::PM_ToolBarHandleExtent);
    for (QToolButton *b : buttons) {
        const QFontMetrics fm(b->font());
        // Text under the icon: the wider of the two, the button's frame and its menu arrow.
        const int arrow = b->menu() ? style()->pixelMetric(QStyle::PM_MenuButtonIndicator) : 0;
        needed += qMax(b->iconSize().width(), fm.horizontalAdvance(b->text())) + 16 + arrow + gap;
        b->setToolTip(b->text());
    }
    const Qt::ToolButtonStyle wanted =
        needed <= width() ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly;
    for (QToolButton *b : buttons)
        b->setToolButtonStyle(wanted);
}

void TF_Main::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    fitToolBar();
}

QToolButton *TF_Main::toolButton(const QString &icon)
{
    auto *b = new QToolButton(this);
    b->setIcon(QIcon(icon));
    b->setIconSize(QSize(64, 64));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setMinimumSize(77, 99);
    b->setAutoRaise(true);
    return b;
}

void TF_Main::buildPanes()
{
    ShellTreeView1 = new ShellTreeView(this);
    ShellTreeView1->setMinimumWidth(40);
    Panel3 = new FileListPane(m_engine, this);
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->addWidget(ShellTreeView1);
    Splitter1->addWidget(Panel3);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setChildrenCollapsible(false);
    Panel1 = Splitter1;

    Previews = new PreviewPanes(m_engine, this);
    LowerSplitter = new QSplitter(Qt::Horizontal, this);
    LowerSplitter->addWidget(Previews->sourcePanel());
    LowerSplitter->addWidget(Previews->bufferPanel());
    LowerSplitter->addWidget(Previews->imagePanel());
    LowerSplitter->setStretchFactor(2, 1);
    LowerSplitter->setChildrenCollapsible(false);
    Panel2 = LowerSplitter;

    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->addWidget(Panel1);
    Splitter2->addWidget(Panel2);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setChildrenCollapsible(false);
    Splitter2->installEventFilter(this);
    setCentralWidget(Splitter2);

    connect(ShellTreeView1, &ShellTreeView::selectionChangedTo, this,
            [this] { ShellTreeView1Change(); });
    // Notes are kept by path: they go where their folder goes.
    ShellTreeView1->folderChanged = [this](const QString &oldPath, const QString &newPath) {
        if (m_notes->unusable() || !m_notes->isOpen())
            return;
        const bool ok = newPath.isEmpty() ? m_notes->removeFolderNotes(oldPath)
                                          : m_notes->moveFolderNotes(oldPath, newPath);
        if (!ok)
            tellProblem(m_notes->lastError());
    };
    connect(Panel3, &FileListPane::patternChosen, this, [this] { ExtComboBoxSelect(); });
    connect(Panel3, &FileListPane::fontSizeChosen, this, [this] { FontComboBoxSelect(); });
    // Only digits can be typed; the settings keep the size in use, never a half-typed one.
    Panel3->setFontSizeRange(MinFontSize, MaxFontSize);
    connect(Panel3, &FileListPane::currentRowChanged, this, [this] { StringGrid1Click(); });
    connect(Panel3, &FileListPane::rowDoubleClicked, this, [this] { StringGrid1DblClick(); });
    connect(Panel3, &FileListPane::noteStoreFailed, this,
            [this](const QString &message) { tellProblem(message, caption(EditNoteLine)); });
    connect(m_engine, &LibraryEngine::notesUnavailable, this,
            [this](const QString &message) { statusBar()->showMessage(message, 10000); });
    connect(Previews, &PreviewPanes::pictureDoubleClicked, this, [this] { PopupClick(2); });
}

void TF_Main::buildMenus()
{
    auto *bar = addToolBar(QStringLiteral("ToolBar2"));
    bar->setObjectName(QStringLiteral("ToolBar2"));
    bar->setMovable(false);
    bar->setIconSize(QSize(64, 64));
    SendToolButton = toolButton(QStringLiteral(":/icons/send.svg"));
    ReadToolButton = toolButton(QStringLiteral(":/icons/receive.svg"));
    AutoToolButton = toolButton(QStringLiteral(":/icons/automode.svg"));
    GeneralToolButton = toolButton(QStringLiteral(":/icons/settings.svg"));
    TransferToolButton = toolButton(QStringLiteral(":/icons/portsettings.svg"));
    ExitToolButton = toolButton(QStringLiteral(":/icons/exit.svg"));
    SendPopup = new QMenu(this);
    ReadPopup = new QMenu(this);
    AutoPopup = new QMenu(this);
    const QList<QPair<QToolButton *, QMenu *>> drops = {
        {SendToolButton, SendPopup}, {ReadToolButton, ReadPopup}, {AutoToolButton, AutoPopup}};
    for (int i = 0; i < drops.size(); ++i) {
        drops[i].first->setMenu(drops[i].second);
        drops[i].first->setPopupMode(QToolButton::MenuButtonPopup);
        connect(drops[i].first, &QToolButton::clicked, this, [this, i] { ToolButtonClick(i + 1); });
    }
    const QList<QToolButton *> order = {SendToolButton,    ReadToolButton,     AutoToolButton,
                                        GeneralToolButton, TransferToolButton, ExitToolButton};
    for (int i = 0; i < order.size(); ++i) {
        if (i > 0)
            bar->addSeparator();
        bar->addWidget(order[i]);
    }
    connect(GeneralToolButton, &QToolButton::clicked, this, [this] {
        GeneralSettingsClick();
        settleToolButtons();
    });
    connect(TransferToolButton, &QToolButton::clicked, this, [this] {
        TransferSettingsClick();
        settleToolButtons();
    });
    connect(ExitToolButton, &QToolButton::clicked, this, &TF_Main::ExitToolButtonClick);

    NTransfer = menuBar()->addMenu(QString());
    NSend = NTransfer->addMenu(QString());
    NRead = NTransfer->addMenu(QString());
    NAuto = NTransfer->addMenu(QString());
    NTransfer->addSeparator();
    NJournal = NTransfer->addAction(QString(), this, &TF_Main::openJournal);
    NReview = NTransfer->addAction(QString(), this, &TF_Main::openReview);
    NSettings = menuBar()->addMenu(QString());
    NGeneralS = NSettings->addAction(QString(), this, &TF_Main::GeneralSettingsClick);
    NTransferS = NSettings->addAction(QString(), this, &TF_Main::TransferSettingsClick);
    UHFS =
        NSettings->addAction(QStringLiteral("UHF RS232 Adapter Setup"), this, &TF_Main::UHFSClick);
    NAbout = menuBar()->addAction(QString(), this, &TF_Main::NAboutClick);

    PopupString = new QMenu(this);
    SEdit = PopupString->addAction(QString(), this, &TF_Main::SEditClick);
    SNote = PopupString->addAction(QString(), this, &TF_Main::SNoteClick);
    SNote->setShortcut(QKeySequence(Qt::Key_F2));
    SNote->setShortcutContext(Qt::WidgetShortcut);
    NAddBuffer = PopupString->addAction(QString(), this, &TF_Main::StringGrid1DblClick);
    SCompare = new CompareMenu(PopupString);
    SCompare->program = [this] { return m_engine->fullPath(Panel3->currentRow()); };
    PopupString->addMenu(SCompare);
    PopupString->addSeparator();
    SSend = PopupString->addMenu(QString());
    SRead = PopupString->addMenu(QString());
    SAuto = PopupString->addMenu(QString());
    connect(Panel3, &FileListPane::menuRequested, this,
            [this](const QPoint &at) { PopupString->popup(at); });

    ImagePopup = new QMenu(this);
    NView = ImagePopup->addAction(QString(), this, [this] { PopupClick(2); });
    connect(Previews, &PreviewPanes::pictureMenuRequested, this,
            [this](const QPoint &at) { ImagePopup->popup(at); });
    BufferPopup = new QMenu(this);
    NRemove = BufferPopup->addAction(QString(), this, [this] { PopupClick(0); });
    NAllRemove = BufferPopup->addAction(QString(), this, [this] { PopupClick(1); });
    connect(Previews, &PreviewPanes::bufferMenuRequested, this,
            [this](const QPoint &at) { BufferPopup->popup(at); });
}

void TF_Main::setLanguage(const QStringList &lines)
{
    language = lines;
    ShellTreeView1->setFolderTexts(caption(25), caption(26));
    ShellTreeView1->setPopupTexts(caption(23) + QStringLiteral("(&N)"),
                                  caption(24) + QStringLiteral("(&D)"),
                                  caption(27) + QStringLiteral("(&M)"));
    ShellTreeView1->setMountPointText(caption(MountPointLine));
    const QString title = caption(0) + QStringLiteral(" Ver") +
                          GetFileVersion(QCoreApplication::applicationFilePath());
    setWindowTitle(title);
    QApplication::setApplicationDisplayName(QString());
    SendToolButton->setText(caption(SendLine));
    ReadToolButton->setText(caption(ReadLine));
    AutoToolButton->setText(caption(AutoLine));
    GeneralToolButton->setText(caption(GeneralSettingsLine));
    TransferToolButton->setText(caption(TransferSettingsLine));
    ExitToolButton->setText(caption(28));
    fitToolBar();
    NTransfer->setTitle(caption(1) + QStringLiteral("(&T)"));
    NSettings->setTitle(caption(2) + QStringLiteral("(&S)"));
    NSend->setTitle(caption(SendLine) + QStringLiteral("(&S)"));
    NRead->setTitle(caption(ReadLine) + QStringLiteral("(&R)"));
    NAuto->setTitle(caption(AutoLine) + QStringLiteral("(&A)"));
    NGeneralS->setText(caption(GeneralSettingsLine) + QStringLiteral("(&G)"));
    NTransferS->setText(caption(TransferSettingsLine) + QStringLiteral("(&T)"));
    NAbout->setText(caption(22) + QStringLiteral("..."));
    NJournal->setText(caption(TJournalWindow::TitleLine) + QStringLiteral("(&J)..."));
    NReview->setText(caption(TReviewWindow::TitleLine) + QStringLiteral("(&V)..."));
    if (m_journalWindow)
        m_journalWindow->setLanguage(language);
    if (m_reviewWindow)
        m_reviewWindow->setLanguage(language);
    m_engine->setPlainCaptions(language.mid(8, 5));
    Previews->setCaptions(caption(13), caption(14), caption(15));
    SEdit->setText(caption(16) + QStringLiteral("(&E)"));
    SNote->setText(caption(EditNoteLine) + QStringLiteral("(&N)"));
    NAddBuffer->setText(caption(18) + QStringLiteral("(&B)"));
    SCompare->setLanguage(language);
    SSend->setTitle(caption(SendLine) + QStringLiteral("(&S)"));
    SRead->setTitle(caption(ReadLine) + QStringLiteral("(&R)"));
    SAuto->setTitle(caption(AutoLine) + QStringLiteral("(&A)"));
    NView->setText(caption(19) + QStringLiteral("(&V)"));
    NRemove->setText(caption(20) + QStringLiteral("(&R)"));
    NAllRemove->setText(caption(21) + QStringLiteral("(&A)"));
}

void TF_Main::setMenuItemData(const QStringList &names, QMenu *menu, void (TF_Main::*handler)(int))
{
    menu->clear();
    for (int i = 0; i < names.size(); ++i) {
        QAction *entry = menu->addAction(names[i] + QStringLiteral("(&%1)").arg(i + 1));
        entry->setData(i);
        // After the menu and its tool button have finished: a window or a file dialog opened
        // inside the menu's own loop left the button drawn pressed once it closed.
        connect(
            entry, &QAction::triggered, this,
            [this, handler, i] {
                (this->*handler)(i);
                settleToolButtons();
            },
            Qt::QueuedConnection);
    }
}

void TF_Main::MenuItemUpdate()
{
    const QStringList names = m_portList.getPortName();
    for (QMenu *m : {NSend, SendPopup, SSend})
        setMenuItemData(names, m, &TF_Main::SendFileDialog);
    for (QMenu *m : {NRead, ReadPopup, SRead})
        setMenuItemData(names, m, &TF_Main::ReadFileDialog);
    for (QMenu *m : {NAuto, AutoPopup, SAuto})
        setMenuItemData(names, m, &TF_Main::AutoModeDialog);
}

void TF_Main::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    UpdateOption();
    WindowPlace::centre(this);
}

void TF_Main::applyCheck()
{
    Check = QList<bool>(GeneralSettingsRules::FlagCount, false);
    IntToFlags(General.value(TOption::CheckEntry), Check);
    // Without a usable notes database the notes come from the files' comments.
    m_engine->setCommentMode(Check[GeneralSettingsRules::NoteFromComment] || m_notes->unusable());
}

void TF_Main::UpdateOption()
{
    if (!m_option)
        return;
    const QStringList main = m_option->getOptionList(TOption::MainList);
    General = m_option->getOptionList(TOption::GeneralList);
    setWindowsSize(m_option->getWindowsSize(TOption::MainSlot));
    applyCheck();
    setLanguage(m_option->getLanguageList(LanguagePack::Main));
    QtTranslations::apply(
        m_option->getOptionList(TOption::GeneralList).value(TOption::LanguageEntry));
    if (m_general) {
        m_general->setLanguage(m_option->getLanguageList(LanguagePack::General));
        m_general->setGeneralList(General);
        m_general->setExtList(CommaText::read(main.value(TOption::ExtListEntry)));
    }
    m_portList.setPortList(m_option->getOptionList(TOption::TransferList));
    MenuItemUpdate();

    if (!ShellTreeView1->selectPath(main.value(TOption::FolderEntry)))
        ShellTreeView1->setCurrentIndex(ShellTreeView1->rootIndex_());
    ShellTreeView1->scrollTo(ShellTreeView1->currentIndex(), QAbstractItemView::PositionAtTop);
    // Again once the tree has its size and its rows are laid out: on the first show the
    // scroll above lands before either, and the saved folder stayed out of sight.
    QTimer::singleShot(0, ShellTreeView1, [tree = ShellTreeView1] {
        tree->scrollTo(tree->currentIndex(), QAbstractItemView::PositionAtTop);
    });
    ShellTreeView1->expand(ShellTreeView1->currentIndex());
    ShellTreeView1->setFocus();

    Panel3->setPatterns(CommaText::read(main.value(TOption::ExtListEntry)));
    Panel3->setPattern(main.value(TOption::ExtEntry));
    Panel3->setFontSizeText(main.value(TOption::FontEntry));
    ExtComboBoxSelect();
    FontComboBoxSelect();
}

QStringList TF_Main::getOption() const
{
    // A size the box would refuse is never stored: the size in use stands in.
    QString size = Panel3->fontSizeText().trimmed();
    const int points = size.toInt();
    if (!Panel3->fontSizeAcceptable() || points < MinFontSize || points > MaxFontSize)
        size = QString::number(font().pointSize());
    return {QDir::toNativeSeparators(ShellTreeView1->Path()), CommaText::write(extItems()),
            Panel3->pattern(), size};
}

void TF_Main::closeEvent(QCloseEvent *event)
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    // A send in progress would be cut short: one question for all of them.
    for (QWidget *w : windows) {
        auto *send = qobject_cast<TTransport *>(w);
        if (!send || !send->isVisible() || !send->isSending())
            continue;
        QMessageBox box(QMessageBox::Question, windowTitle(), caption(StopSendsLine),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        break;
    }
    // Editors with unsaved text and receive windows with a program arriving ask first; a
    // No there keeps the program running.
    for (QWidget *w : windows) {
        auto *receive = qobject_cast<TReceiveTransport *>(w);
        if (receive && receive->isVisible() && !receive->close()) {
            event->ignore();
            return;
        }
        auto *editor = qobject_cast<TEditor *>(w);
        if (editor && editor->isVisible() && !editor->close()) {
            event->ignore();
            return;
        }
    }
    if (m_option) {
        m_option->setOptionList(TOption::MainList, getOption());
        m_option->setWindowsSize(TOption::MainSlot, getWindowsSize());
        if (!m_option->SaveOption())
            tellProblem(m_option->saveError());
    }
    event->accept();
    // Transfer windows end with the program.
    QTimer::singleShot(0, qApp, &QApplication::quit);
}

QString TF_Main::currentFolder() const
{
    return ShellTreeView1->Path();
}

void TF_Main::ShellTreeView1Change()
{
    m_engine->startListing(ShellTreeView1->Path(), Panel3->pattern(),
                           ShellTreeView1->selectedDepth() == 0);
}

void TF_Main::ExtComboBoxSelect()
{
    ShellTreeView1Change();
}

void TF_Main::FontComboBoxSelect()
{
    bool ok = false;
    const int points = Panel3->fontSizeText().trimmed().toInt(&ok);
    if (!ok || points < MinFontSize || points > MaxFontSize) {
        tellProblem(caption(FontSizeLine).arg(Panel3->fontSizeText()));
        return;
    }
    QFont f = font();
    f.setPointSize(points);
    setFont(f);
    // Menus, drop-down lists and the other windows are windows of their own and inherit
    // nothing from this one: the size is the program's.
    QApplication::setFont(f);
    fitToolBar();
    const int height = Panel3->fontBoxHeight();
    Panel3->setRowHeight(height);
    Previews->setRowHeight(height);
    keepPreviewRoom();
}

// However small the window, the preview keeps room for its header and several lines, up to
// half of the panes' height: the list above gives way first, and never vanishes.
void TF_Main::keepPreviewRoom()
{
    const int lines = 11 * QFontMetrics(font()).lineSpacing();
    Panel2->setMinimumHeight(qMin(lines, Splitter2->height() / 2));
}

bool TF_Main::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Splitter2 && event->type() == QEvent::Resize)
        keepPreviewRoom();
    return QMainWindow::eventFilter(watched, event);
}

void TF_Main::StringGrid1Click()
{
    // Pictures are decoded at the reduced scale that still fills the pane.
    PreviewOptions preview;
    preview.limitLines = Check.value(GeneralSettingsRules::LimitedPreview);
    preview.lineCount = General.value(TOption::SourceEntry);
    preview.pictureSize = Previews->pictureSize();
    m_engine->setPreviewOptions(preview);
    m_engine->StringGrid1Click(Panel3->currentRow());
}

void TF_Main::StringGrid1DblClick()
{
    m_engine->StringGrid1DblClick(Panel3->currentRow());
}

void TF_Main::PopupClick(int tag)
{
    if (tag == 0 || tag == 1) {
        m_engine->PopupClick(tag, Previews->bufferSelectedRow());
        return;
    }
    const QString picture = m_engine->picturePathForView(Panel3->currentRow());
    if (picture.isEmpty())
        return;
    if (Check.value(GeneralSettingsRules::ExternalViewer)) {
        const QString viewer = General.value(TOption::ViewerEntry);
        if (QFileInfo(viewer).isFile())
            QProcess::startDetached(viewer, {QDir::toNativeSeparators(picture)});
        return;
    }
    if (!m_viewer)
        return;
    m_viewer->setLanguage(m_option ? m_option->getLanguageList(LanguagePack::Viewer)
                                   : LanguagePack::builtIn(LanguagePack::Viewer));
    if (!m_viewer->setImageFile(picture)) {
        tellProblem(m_viewer->errorText());
        return;
    }
    m_viewer->exec();
}

void TF_Main::SEditClick()
{
    const QString path = m_engine->fullPath(Panel3->currentRow());
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    if (Check.value(GeneralSettingsRules::ExternalEditor)) {
        QProcess::startDetached(General.value(TOption::EditorEntry),
                                {QDir::toNativeSeparators(path)});
        return;
    }
    // A window of its own per file, owned by no other window.
    auto *editor = new TEditor(m_option, m_colors);
    editor->setFileName(path);
    const QString pattern = Panel3->pattern();
    const QStringList items = extItems();
    int index = -1;
    for (int i = 0; i < items.size() && index < 0; ++i)
        if (items.at(i).compare(pattern, Qt::CaseInsensitive) == 0)
            index = i;
    QString folder = currentFolder();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    editor->setPathExt(folder, pattern, index);
    editor->setExtList(items);
    if (m_option) {
        editor->setLanguage(m_option->getLanguageList(LanguagePack::Editor));
        editor->setEditorList(m_option->getOptionList(TOption::EditorList));
        if (!editor->setWindowsSize(m_option->getWindowsSize(TOption::EditorSlot)))
            editor->setWindowsSize(TEditor::getWindowsSizeDefault());
    }
    m_lastEditor = editor;
    editor->show();
}

void TF_Main::SNoteClick()
{
    if (!Check.value(GeneralSettingsRules::NoteFromComment))
        Panel3->openNoteEditor();
}

bool TF_Main::addFileData(const QString &row)
{
    return m_engine->addFileData(row);
}

QStringList TF_Main::extItems() const
{
    return Panel3->patterns();
}

void TF_Main::GeneralSettingsClick()
{
    if (!m_general || !m_option)
        return;
    const QString remembered = Panel3->pattern();
    m_general->setLanguage(m_option->getLanguageList(LanguagePack::General));
    if (!m_general->setGeneralList(m_option->getOptionList(TOption::GeneralList))) {
        tellProblem(m_general->errorText());
        return;
    }
    m_general->setExtList(extItems());
    m_general->exec();

    m_option->LoadLanguage();
    if (!m_option->languageMessage().isEmpty())
        tellProblem(m_option->languageMessage());
    setLanguage(m_option->getLanguageList(LanguagePack::Main));
    QtTranslations::apply(
        m_option->getOptionList(TOption::GeneralList).value(TOption::LanguageEntry));
    const QStringList items = m_general->getExtList();
    Panel3->setPatterns(items);
    General = m_option->getOptionList(TOption::GeneralList);
    applyCheck();
    const int kept = GeneralSettingsRules::keptExtension(items, remembered);
    Panel3->setPatternIndex(kept < 0 ? 0 : kept);
    ExtComboBoxSelect();
}

void TF_Main::TransferSettingsClick()
{
    if (!m_transfer || !m_option)
        return;
    m_transfer->setPortList(m_option->getOptionList(TOption::TransferList));
    m_transfer->setExtData(CommaText::write(extItems()));
    m_transfer->setLanguage(m_option->getLanguageList(LanguagePack::Transfer));
    if (!m_transfer->setWindowsSize(m_option->getWindowsSize(TOption::TransferSlot))) {
        tellProblem(m_transfer->windowsSizeError());
        return;
    }
    m_transfer->exec();
    MenuItemUpdate();
}
