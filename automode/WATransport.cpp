#include "automode/WATransport.h"

#include "settings/Defaults.h"
#include "settings/LanguagePack.h"
#include "settings/NcText.h"
#include "settings/Option.h"
#include "settings/ProgramFolders.h"
#include "settings/UnitFunction.h"
#include "transfer/ComWidgets.h"
#include "transfer/PortSerialLine.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace AutoMode;

namespace
{

constexpr int LayoutWidth = 720;
constexpr int LayoutHeight = 413;

QLabel *header(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Box);
    return label;
}

// Lines of the sent pane kept before the oldest go.
constexpr int SentLinesKept = 2000;

QPlainTextEdit *pane(QWidget *parent, bool wrap = false)
{
    auto *memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    memo->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return memo;
}

void setPresent(QLabel *label, bool present)
{
    label->setStyleSheet(present ? QStringLiteral("background-color: #00ff00; color: black;")
                                 : QStringLiteral("background-color: #ff0000; color: white;"));
}

QToolButton *bigButton(QWidget *parent, const QString &icon)
{
    auto *b = new QToolButton(parent);
    b->setIcon(QIcon(icon));
    b->setIconSize(QSize(64, 64));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return b;
}

} // namespace

TWATransport::TWATransport(GeneralValuesSource values, SerialLine *line, QWidget *parent,
                           const LinkTimings &timings)
    : QWidget(parent, Qt::Window), ComPort1(line ? line : new PortSerialLine),
      m_session(new LineSession(ComPort1, this)), m_values(std::move(values)), m_timings(timings),
      m_logFolder(GetProgramFolders().data)
{
    setObjectName(QStringLiteral("WATransport"));
    setWindowTitle(QStringLiteral("WATransport"));
    setAttribute(Qt::WA_DeleteOnClose);
    ComPort1->setParent(this);

    auto *receivePanel = new QWidget(this);
    ReceiveText = header(receivePanel);
    ReceiveMemo = pane(receivePanel);
    IPGridPanel = new QWidget(receivePanel);
    auto *grid = new QGridLayout(IPGridPanel);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int n = 0; n < AutoLink::DeviceCount; ++n) {
        GroupBox[n] = new QGroupBox(QStringLiteral("Device[%1]").arg(n), IPGridPanel);
        IPAddr[n] = header(GroupBox[n]);
        IPAddr[n]->setText(QStringLiteral("0.0.0.0"));
        setPresent(IPAddr[n], false);
        Memo[n] = pane(GroupBox[n]);
        auto *box = new QVBoxLayout(GroupBox[n]);
        box->setContentsMargins(2, 2, 2, 2);
        box->addWidget(IPAddr[n]);
        box->addWidget(Memo[n], 1);
        grid->addWidget(GroupBox[n], n / 4, n % 4);
        GroupBox[n]->setObjectName(QStringLiteral("GroupBox%1").arg(n + 1));
        IPAddr[n]->setObjectName(QStringLiteral("IPAddr%1").arg(n));
        Memo[n]->setObjectName(QStringLiteral("Memo%1").arg(n));
    }
    for (int c = 0; c < 4; ++c)
        grid->setColumnStretch(c, 1);
    grid->setRowStretch(0, 1);
    grid->setRowStretch(1, 1);
    auto *receiveLayout = new QVBoxLayout(receivePanel);
    receiveLayout->setContentsMargins(0, 0, 0, 0);
    receiveLayout->addWidget(ReceiveText);
    receiveLayout->addWidget(ReceiveMemo, 1);
    receiveLayout->addWidget(IPGridPanel, 1);
    IPGridPanel->hide();

    SendStatusPanel = new QWidget(this);
    auto *sendPanel = new QWidget(SendStatusPanel);
    SendText = header(sendPanel);
    SendMemo = pane(sendPanel);
    SendMemo->setMaximumBlockCount(SentLinesKept);
    auto *sendLayout = new QVBoxLayout(sendPanel);
    sendLayout->setContentsMargins(0, 0, 0, 0);
    sendLayout->addWidget(SendText);
    sendLayout->addWidget(SendMemo, 1);
    auto *logPanel = new QWidget(SendStatusPanel);
    LogText = header(logPanel);
    LogListBox = new QListWidget(logPanel);
    // A log line is read whole ("SUCCESS 2026-12-10 10:05:31 Device[2] READ:..."): wrapped
    // at the pane's width, never cut.
    LogListBox->setWordWrap(true);
    LogListBox->setTextElideMode(Qt::ElideNone);
    LogListBox->setResizeMode(QListView::Adjust);
    auto *logLayout = new QVBoxLayout(logPanel);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(LogText);
    logLayout->addWidget(LogListBox, 1);
    Splitter1 = new QSplitter(Qt::Horizontal, SendStatusPanel);
    Splitter1->addWidget(sendPanel);
    Splitter1->addWidget(logPanel);
    Splitter1->setStretchFactor(1, 1);
    auto *lower = new QVBoxLayout(SendStatusPanel);
    lower->setContentsMargins(0, 0, 0, 0);
    lower->addWidget(Splitter1);

    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->addWidget(receivePanel);
    Splitter2->addWidget(SendStatusPanel);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setSizes({LayoutHeight - 200, 200});
    Splitter1->setSizes({300, LayoutWidth - 300});

    ToolButtonClsLog = bigButton(this, QStringLiteral(":/icons/delete.svg"));
    ToolButtonClose = bigButton(this, QStringLiteral(":/icons/exit.svg"));
    auto *tools = new QVBoxLayout;
    tools->addWidget(ToolButtonClsLog);
    tools->addWidget(ToolButtonClose);
    tools->addStretch(1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel0 = new TElidedLabel(StatusBar1);
    StatusPanel1 = new TElidedLabel(StatusBar1);
    StatusPanel0->setMinimumWidth(350);
    StatusPanel1->setMinimumWidth(200);
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1, 1);

    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->addWidget(Splitter2, 1);
    middle->addLayout(tools);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(2, 2, 2, 0);
    root->addLayout(middle, 1);
    root->addWidget(StatusBar1);

    ReceiveMemo->setObjectName(QStringLiteral("ReceiveMemo"));
    IPGridPanel->setObjectName(QStringLiteral("IPGridPanel"));
    SendMemo->setObjectName(QStringLiteral("SendMemo"));
    LogListBox->setObjectName(QStringLiteral("LogListBox"));
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    ToolButtonClsLog->setObjectName(QStringLiteral("ToolButtonClsLog"));
    ToolButtonClose->setObjectName(QStringLiteral("ToolButtonClose"));
    setLanguage({});
    resize(LayoutWidth, LayoutHeight);

    m_paneTimer = new QTimer(this);
    m_paneTimer->setSingleShot(true);
    m_paneTimer->setInterval(PaneRefreshMs);
    connect(m_paneTimer, &QTimer::timeout, this, &TWATransport::refreshPanes);
    connect(ToolButtonClsLog, &QToolButton::clicked, this, &TWATransport::ToolButtonClsLogClick);
    connect(ToolButtonClose, &QToolButton::clicked, this, &QWidget::close);
    // A replugged cable or a device server back on is served again, as ncferry-cli auto
    // serves it.
    m_session->setReopenInterval(LineSession::ReopenIntervalMs);
    connect(m_session, &LineSession::stateChanged, this, &TWATransport::onLineState);
}

TWATransport::~TWATransport()
{
    delete m_link;
    m_session->disconnect(this);
    m_session->close();
}

bool TWATransport::lineOpen() const
{
    return m_session->isOpen();
}

bool TWATransport::isConnecting() const
{
    return m_session->isConnecting();
}

QString TWATransport::caption(int index) const
{
    return LanguagePack::caption(language, LanguagePack::AutoMode, index);
}

void TWATransport::setLanguage(const QStringList &list)
{
    language = list;
    ReceiveText->setText(caption(1));
    SendText->setText(caption(2));
    LogText->setText(caption(3));
    ToolButtonClsLog->setText(caption(4));
    ToolButtonClose->setText(caption(5));
}

bool TWATransport::setPortSetting(const PortProfile &profile)
{
    Port = profile;
    m_openError = Port.problem();
    ComPort1->setSettings(Port.lineSettings(PortProfile::Use::AutoMode));
    ReceiveMemo->setVisible(!Port.isRadio());
    IPGridPanel->setVisible(Port.isRadio());

    m_log = AutoModeLog(AutoModeLog::pathFor(m_logFolder, Port.name()));
    LogListBox->clear();
    LogListBox->addItems(m_log.load());

    delete m_link;
    m_link = new AutoLink(ComPort1, Port, m_values,
                          WithProgramSettings(m_timings, GetProgramFolders().settings), this);
    m_link->setFallbackFolder(GetProgramFolders().data);
    m_link->setRequestOptions(RequestOptionsFor(GetProgramFolders().settings, Port.name()));
    connect(m_link, &AutoLink::logEvent, this,
            [this](const LogEvent &e) { addLogLine(LogLine(e, QDateTime::currentDateTime())); });
    connect(m_link, &AutoLink::problem, this, [this](const QString &text) {
        addLogLine(AutoModeLog::problemLine(text, QDateTime::currentDateTime()));
    });
    connect(m_link, &AutoLink::resolved, this, [this](const QString &text) {
        addLogLine(
            AutoModeLog::noteLine(QStringLiteral("SUCCESS"), text, QDateTime::currentDateTime()));
    });
    // What went to the machines stays readable after the next entry starts: a blank line
    // parts the programs, and only the oldest lines beyond the pane's bound go.
    connect(m_link, &AutoLink::sendPaneCleared, this, [this] {
        if (!SendMemo->document()->isEmpty()) {
            SendMemo->moveCursor(QTextCursor::End);
            SendMemo->insertPlainText(QStringLiteral("\n\n"));
        }
    });
    connect(m_link, &AutoLink::shown, this, [this](const QString &text) {
        SendMemo->moveCursor(QTextCursor::End);
        SendMemo->insertPlainText(text);
        // A program goes out in pieces: the newest lines stay in sight, not one piece behind.
        SendMemo->verticalScrollBar()->setValue(SendMemo->verticalScrollBar()->maximum());
    });
    connect(m_link, &AutoLink::bufferChanged, this, [this](int device) {
        m_dirty |= 1 << (device + 1);
        if (!m_paneTimer->isActive())
            m_paneTimer->start();
    });
    connect(m_link, &AutoLink::addressListed, this, &TWATransport::onAddress);

    m_served = false;
    m_session->close();
    if (m_openError.isEmpty()) {
        // A device server's port may take seconds to answer: the other auto-mode windows
        // go on serving their machines meanwhile.
        m_session->setProblemTexts({caption(PortProblemLine), caption(PortProblemLine + 1),
                                    caption(PortProblemLine + 2), caption(PortProblemLine + 3),
                                    caption(StaleLockLine), caption(NoAccessLine),
                                    caption(NoAccessLine + 1)});
        m_session->open();
    }
    showLineState();
    return Port.isUsable();
}

void TWATransport::onLineState(LineSession::State state, const QString &reason)
{
    showLineState();
    switch (state) {
    case LineSession::State::Open:
        if (!m_served) {
            m_served = true;
            if (m_link)
                m_link->start(); // a "Wireless" line asks for its devices first
        } else {
            addLogLine(AutoModeLog::noteLine(
                QStringLiteral("SUCCESS"),
                QStringLiteral("the line \"%1\" is open again").arg(m_session->portName()),
                QDateTime::currentDateTime()));
        }
        break;
    case LineSession::State::Lost:
        // Told once; the window stays and its line is tried again.
        addLogLine(AutoModeLog::problemLine(reason, QDateTime::currentDateTime()));
        break;
    case LineSession::State::Closed:
        if (reason.isEmpty())
            break;
        m_openError = reason;
        // Before the window is shown, showing it tells.
        if (m_shown)
            failedOpen();
        break;
    case LineSession::State::Connecting:
    case LineSession::State::Closing:
        break;
    }
}

void TWATransport::setWindowsSize(const QString &text)
{
    const QStringList parts = text.split(u',');
    QList<int> v;
    for (const QString &p : parts)
        v << p.trimmed().toInt();
    if (v.size() < 4 || v[0] <= 0 || v[1] <= 0)
        return;
    resize(v[0], v[1]);
    const int lowerHeight = qBound(0, v[2], v[1]);
    Splitter2->setSizes({qMax(0, v[1] - lowerHeight), lowerHeight});
    Splitter1->setSizes({qMax(0, v[3]), qMax(0, v[0] - v[3])});
}

QString TWATransport::getWindowsSize() const
{
    const QList<int> rows = Splitter2->sizes();
    const QList<int> cols = Splitter1->sizes();
    return QStringLiteral("%1,%2,%3,%4")
        .arg(width())
        .arg(height())
        .arg(rows.value(1))
        .arg(cols.value(0));
}

QString TWATransport::getWindowsSizeDefault()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return Defaults::autoModeSize(screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1040));
}

void TWATransport::AddLog(const QString &status, const QString &device, const QString &kind,
                          const QString &path)
{
    addLogLine(LogLine(LogEvent{status, device, kind, path}, QDateTime::currentDateTime()));
}

void TWATransport::addLogLine(const QString &line)
{
    LogListBox->addItem(line);
    LogListBox->scrollToBottom();
    // On disk at once: a crash or a power cut must not take the shift's log with it.
    QString why;
    if (m_log.append(line, &why)) {
        m_logWriteFailed = false;
    } else if (!m_logWriteFailed) {
        m_logWriteFailed = true;
        LogListBox->addItem(AutoModeLog::problemLine(why, QDateTime::currentDateTime()));
    }
}

QStringList TWATransport::logLines() const
{
    QStringList out;
    for (int i = 0; i < LogListBox->count(); ++i)
        out << LogListBox->item(i)->text();
    return out;
}

void TWATransport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2,
             area.y() + (area.height() - frameGeometry().height()) / 2);
    }
    FormActivate();
    if (m_session->state() == LineSession::State::Closed)
        QMetaObject::invokeMethod(this, &TWATransport::failedOpen, Qt::QueuedConnection);
}

void TWATransport::failedOpen()
{
    const QString told = caption(PortNotOpenedLine);
    tellProblem(told.isEmpty() ? m_openError : told, told.isEmpty() ? QString() : m_openError);
    close();
}

void TWATransport::tellProblem(const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("message"), text, QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.exec();
}

void TWATransport::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TWATransport::FormActivate()
{
    setWindowTitle(
        Port.name() + u'-' +
        (caption(TitleLine).isEmpty() ? QStringLiteral("WATransport") : caption(TitleLine)));
    StatusPanel0->setFullText(
        Port.field(PortSetting::Port) + u'(' + Port.field(PortSetting::BaudRate) + u',' +
        Port.field(PortSetting::Parity).left(1) + u',' + Port.field(PortSetting::DataBits) + u',' +
        Port.field(PortSetting::StopBits) + u')' + Port.field(PortSetting::FlowControl));
    showLineState();
}

void TWATransport::showLineState()
{
    StatusPanel1->setFullText(isConnecting()
                                  ? caption(ConnectingLine).arg(Port.field(PortSetting::Port))
                                  : QStringLiteral("Path=") + Port.workFolder() +
                                        QStringLiteral(" Ext=") + Port.extension());
}

void TWATransport::ToolButtonClsLogClick()
{
    LogListBox->clear();
}

void TWATransport::closeEvent(QCloseEvent *event)
{
    if (!Port.fields().isEmpty()) {
        QString why;
        if (!m_log.rewrite(logLines(), &why)) {
            tellProblem(why);
            event->ignore();
            return;
        }
    }
    if (m_option)
        m_option->setWindowsSize(TOption::AutoModeSlot, getWindowsSize());
    if (m_link)
        m_link->stop();
    m_session->close();
    event->accept();
}

void TWATransport::refreshPanes()
{
    if (!m_link)
        return;
    const int dirty = m_dirty;
    m_dirty = 0;
    auto show = [](QPlainTextEdit *memo, const QByteArray &bytes) {
        // The tail only: a long program shown whole at every refresh would cost its size
        // many times over in memory and time.
        memo->setPlainText(NcText::fromBytes(bytes.right(PaneTailBytes)).remove(u'\r'));
        memo->moveCursor(QTextCursor::End);
    };
    if (dirty & 1)
        show(ReceiveMemo, m_link->cableBuffer());
    for (int n = 0; n < AutoLink::DeviceCount; ++n)
        if (dirty & (1 << (n + 1)))
            show(Memo[n], m_link->deviceBuffer(n));
}

void TWATransport::onAddress(int n, const QString &text, bool present)
{
    IPAddr[n]->setText(text);
    setPresent(IPAddr[n], present);
}
