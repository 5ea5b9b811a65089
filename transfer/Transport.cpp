#include "transfer/Transport.h"

#include "settings/LanguagePack.h"
#include "settings/PortSetting.h"
#include "settings/WindowPlace.h"
#include "transfer/ComWidgets.h"
#include "transfer/PortSerialLine.h"
#include "transfer/ProgramRestart.h"
#include "transfer/SendController.h"
#include "transfer/TransportThread.h"
#include "transfer/UsbLatency.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{

QToolButton *bigButton(QWidget *parent, const QString &icon)
{
    auto *b = new QToolButton(parent);
    b->setIcon(QIcon(icon));
    b->setIconSize(QSize(64, 64));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    b->setMinimumWidth(96);
    return b;
}

QFrame *divider(QWidget *parent)
{
    auto *f = new QFrame(parent);
    f->setFrameShape(QFrame::VLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

} // namespace

QString TTransport::caption(int index) const
{
    return LanguagePack::caption(language, LanguagePack::TransferFile, index);
}

TTransport::TTransport(SerialLine *line, QWidget *parent)
    : QWidget(parent, Qt::Window), ComPort1(line ? line : new PortSerialLine),
      Thread1(new TransportThread(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    ComPort1->setParent(this);
    language = LanguagePack::builtIn(LanguagePack::TransferFile);

    // The CTS light is bound before the controller so it changes before the handler runs.
    ComLed1 = new TComLed(this);
    ComLed1->setComPort(ComPort1);
    ComLed2 = new TComLed(this);
    ComLed2->setState(TComLed::lsOn);

    Thread1->setComPort(ComPort1);
    m_controller = new SendController(ComPort1, Thread1, this);
    connect(m_controller, &SendController::xonLightChanged, this,
            [this](bool on) { ComLed2->setState(on ? TComLed::lsOn : TComLed::lsOff); });
    connect(Thread1, &TransportThread::updatesPending, this, &TTransport::applyUpdates,
            Qt::QueuedConnection);
    connect(m_controller, &SendController::machinePaused, this,
            [this](SendController::PauseCause cause) { onMachinePaused(cause); });
    // The worker closes the line after the last file, on its own thread.
    connect(
        ComPort1, &SerialLine::afterClose, this,
        [this] {
            m_finished = true;
            close();
        },
        Qt::QueuedConnection);
    m_session = new LineSession(ComPort1, this);
    connect(m_session, &LineSession::stateChanged, this, &TTransport::onLineState);

    ToolButton1 = bigButton(this, QStringLiteral(":/icons/confirm.svg"));
    ToolButton2 = bigButton(this, QStringLiteral(":/icons/exit.svg"));
    connect(ToolButton1, &QToolButton::clicked, this, &TTransport::ToolButton1Click);
    connect(ToolButton2, &QToolButton::clicked, this, &TTransport::ToolButton2Click);
    FromBlockButton = new QToolButton(this);
    FromBlockButton->setText(QStringLiteral("Send from block…"));
    FromBlockButton->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(FromBlockButton, &QToolButton::clicked, this, &TTransport::FromBlockButtonClick);

    StaticText1 = new QLabel(this);
    StaticText1->setAlignment(Qt::AlignCenter);
    StaticText2 = new QLabel(this);
    StaticText2->setAlignment(Qt::AlignCenter);
    ListBox2 = new QListWidget(this);
    ListBox1 = new QListWidget(this);
    ListBox1->setUniformItemSizes(true);
    // Fixed pitch at the window's own size (a bare family name would bring its own size).
    QFont mono = font();
    mono.setFamilies({QStringLiteral("Monospace")});
    mono.setStyleHint(QFont::TypeWriter);
    ListBox1->setFont(mono);

    auto *upper = new QWidget(this);
    auto *ul = new QVBoxLayout(upper);
    ul->setContentsMargins(0, 0, 0, 0);
    ul->addWidget(StaticText1);
    ul->addWidget(ListBox2);
    auto *lower = new QWidget(this);
    auto *ll = new QVBoxLayout(lower);
    ll->setContentsMargins(0, 0, 0, 0);
    ll->addWidget(StaticText2);
    ll->addWidget(ListBox1);
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->addWidget(upper);
    m_splitter->addWidget(lower);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 3);
    m_splitter->setChildrenCollapsible(false);

    auto *tools = new QVBoxLayout;
    tools->addWidget(ToolButton1);
    tools->addWidget(ToolButton2);
    tools->addWidget(FromBlockButton);
    tools->addStretch();

    auto *top = new QHBoxLayout;
    top->addWidget(m_splitter, 1);
    top->addLayout(tools);

    CheckBox1 = new QCheckBox(this);
    CheckBox1->setChecked(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setTextVisible(true);
    StatusLabel = new QLabel(this);
    StatusLabel->setWordWrap(true);
    // Two lines are kept for it, shown or not, so the controls never move.
    QFont bold = StatusLabel->font();
    bold.setBold(true);
    StatusLabel->setMinimumHeight(2 * QFontMetrics(bold).lineSpacing());
    QSizePolicy keep = StatusLabel->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    StatusLabel->setSizePolicy(keep);
    StatusLabel->hide();

    StaticText3 = new TElidedLabel(this);
    StaticText3->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label1 = new QLabel(QStringLiteral("CTS"), this);
    Label2 = new QLabel(QStringLiteral("XonXoff"), this);
    auto *status = new QHBoxLayout;
    status->addWidget(StaticText3, 1);
    status->addWidget(divider(this));
    status->addWidget(Label1);
    status->addWidget(ComLed1);
    status->addWidget(divider(this));
    status->addWidget(Label2);
    status->addWidget(ComLed2);

    auto *root = new QVBoxLayout(this);
    root->addLayout(top, 1);
    root->addWidget(CheckBox1);
    root->addWidget(StatusLabel);
    root->addWidget(ProgressBar1);
    root->addLayout(status);

    // Tests and tools find the controls by these names.
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton2->setObjectName(QStringLiteral("ToolButton2"));
    FromBlockButton->setObjectName(QStringLiteral("FromBlockButton"));
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText2->setObjectName(QStringLiteral("StaticText2"));
    StaticText3->setObjectName(QStringLiteral("StaticText3"));
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    ComLed1->setObjectName(QStringLiteral("ComLed1"));
    ComLed2->setObjectName(QStringLiteral("ComLed2"));
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    resize(573, 408);
    setLanguage(language);
}

TTransport::~TTransport()
{
    Thread1->stopWorker();
    m_session->disconnect(this);
    m_session->close();
    Thread1->join();
}

void TTransport::setLanguage(const QStringList &lines)
{
    language = lines;
    StaticText1->setText(caption(6));
    StaticText2->setText(caption(7));
    CheckBox1->setText(caption(8));
    ToolButton2->setText(caption(9));
    // Between files the worker waits for a press of this caption (or the machine's XON).
    Thread1->setPauseString(caption(ContinueLine));
    refreshStatus();
    // Captions come before the window is shown, while the button is still ready.
    if (!m_shownOnce)
        setButtonState(Ready);
}

bool TTransport::setPortSetting(const PortProfile &profile)
{
    Port = profile;
    if (!Port.isUsable()) {
        tellProblem(Port.problem(), {}, caption(TitleLine));
        return false;
    }
    m_flowControl = Port.flowControl();
    ComPort1->setSettings(Port.lineSettings(PortProfile::Use::Send));
    m_controller->setFlowControl(m_flowControl);

    const bool cts = usesCts(m_flowControl);
    const bool xon = usesXon(m_flowControl);
    if (m_flowControl == ::FlowControl::None) {
        CheckBox1->setChecked(false);
        CheckBox1->setEnabled(false);
    } else {
        CheckBox1->setEnabled(true);
    }
    Label1->setEnabled(cts);
    ComLed1->setEnabled(cts);
    Label2->setEnabled(xon);
    ComLed2->setEnabled(xon);
    return true;
}

void TTransport::setFile(const QString &path)
{
    setFileList({path});
}

void TTransport::setFileList(const QStringList &paths)
{
    m_files = paths;
    ListBox2->clear();
    ListBox2->addItems(paths);
}

void TTransport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    WindowPlace::centre(this);
    Thread1->setFileListBox(m_files);
    Thread1->setJournalName(Port.name());
    // Also shown before the first activation (some desktops activate late or never).
    setWindowTitle(PortSetting::caption(Port.fields(), caption(TitleLine)));
    StaticText3->setFullText(LanguagePack::label(caption(PortSettingLine)) +
                             PortSetting::summary(Port.fields(), {}).mid(1));
    // After the window is up, so that a failure box has a window to belong to (shown
    // earlier, it left the window behind the main window) and no event loop runs inside
    // the show.
    QMetaObject::invokeMethod(this, &TTransport::openLine, Qt::QueuedConnection);
}

void TTransport::openLine()
{
    // Closed before the call came: the line stays shut.
    if (m_closing)
        return;
    // A device server's port may take seconds to answer; the window stays usable meanwhile.
    m_session->setProblemTexts({caption(PortProblemLine), caption(PortProblemLine + 1),
                                caption(PortProblemLine + 2), caption(PortProblemLine + 3),
                                caption(StaleLockLine), caption(NoAccessLine),
                                caption(NoAccessLine + 1)});
    m_session->open();
}

bool TTransport::isConnecting() const
{
    return m_session->isConnecting();
}

void TTransport::onLineState(LineSession::State state, const QString &reason)
{
    if (m_closing)
        return;
    ToolButton1->setEnabled(!isConnecting());
    refreshStatus();
    switch (state) {
    case LineSession::State::Open:
        m_notice = UsbLatency::warning(ComPort1->settings());
        refreshStatus();
        // Waiting at its gate from now on, so an XON before the first press starts it.
        Thread1->begin();
        break;
    case LineSession::State::Closed:
        if (!reason.isEmpty())
            tellOpenFailure(reason);
        break;
    case LineSession::State::Lost: // the send worker tells which file it cut
    case LineSession::State::Connecting:
    case LineSession::State::Closing:
        break;
    }
}

void TTransport::tellOpenFailure(const QString &reason)
{
    tellProblem(caption(PortNotOpenedLine), reason);
    close();
}

void TTransport::tellProblem(const QString &text, const QString &detail, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.exec();
}

void TTransport::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TTransport::FormActivate()
{
    setWindowTitle(PortSetting::caption(Port.fields(), caption(TitleLine)));
    StaticText3->setFullText(LanguagePack::label(caption(PortSettingLine)) +
                             PortSetting::summary(Port.fields(), {}).mid(1));
    setButtonState(Ready);
    Thread1->setPauseString(caption(ContinueLine));
}

bool TTransport::isSending() const
{
    return m_confirmed && !m_finished && m_failure.isEmpty() && Thread1->isRunning() &&
           ComPort1->isConnected();
}

void TTransport::closeEvent(QCloseEvent *event)
{
    if (!m_closing && isSending()) {
        QMessageBox box(QMessageBox::Question, windowTitle(), caption(StopSendingLine),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    m_closing = true;
    Thread1->stopWorker();
    m_session->close();
    event->accept();
}

TTransport::ButtonState TTransport::buttonState() const
{
    const QString shown = ToolButton1->text();
    if (shown == caption(StartLine))
        return Ready;
    if (shown == caption(PauseLine))
        return Running;
    if (shown == caption(ContinueLine))
        return Paused;
    return Unknown;
}

void TTransport::setButtonCaption(const QString &text)
{
    ToolButton1->setText(text);
    m_controller->setReady(buttonState() == Ready);
}

void TTransport::setButtonState(ButtonState state)
{
    const int lines[] = {StartLine, PauseLine, ContinueLine};
    if (state != Unknown)
        setButtonCaption(caption(lines[state]));
}

void TTransport::ToolButton1Click()
{
    if (isConnecting())
        return;
    switch (buttonState()) {
    case Ready: {
        const bool started = m_controller->confirmStart(CheckBox1->isChecked());
        m_confirmed = true;
        FromBlockButton->setEnabled(false);
        setButtonState(Running);
        setSendState(started || !Thread1->isPaused() ? Sending : WaitingMachine);
        break;
    }
    case Running:
        if (!Thread1->isPaused())
            Thread1->pauseWorker();
        setButtonState(Paused);
        setSendState(PausedByUser);
        break;
    case Paused:
        if (Thread1->isPaused())
            Thread1->resumeWorker();
        setButtonState(Running);
        setSendState(Sending);
        break;
    case Unknown:
        break;
    }
}

bool TTransport::setRestartPoint(const QString &point, QString *why)
{
    if (m_confirmed) {
        *why = QStringLiteral("The send has begun; the block can only be chosen before it.");
        return false;
    }
    const QString wanted = point.trimmed();
    if (!wanted.isEmpty()) {
        // Every file is checked now: a block missing in the third file would otherwise stop
        // the send after two were sent.
        for (const QString &path : m_files) {
            QFile f(path);
            QByteArray out;
            QString problem;
            if (!f.open(QIODevice::ReadOnly))
                problem = f.errorString();
            else if (!ProgramRestart::FromPoint(wanted, f.readAll(), &out, &problem))
                problem[0] = problem[0].toUpper();
            if (!problem.isEmpty()) {
                *why = QStringLiteral("%1: %2.").arg(QFileInfo(path).fileName(), problem);
                return false;
            }
        }
    }
    m_restart = wanted.isEmpty() ? QString() : ProgramRestart::Parse(wanted).text;
    if (m_restart.isEmpty()) {
        Thread1->setSendFilter({});
        FromBlockButton->setText(QStringLiteral("Send from block…"));
    } else {
        const QString at = m_restart;
        Thread1->setSendFilter([at](const QByteArray &in, QByteArray *out, QString *problem) {
            return ProgramRestart::FromPoint(at, in, out, problem);
        });
        FromBlockButton->setText(QStringLiteral("From %1…").arg(at));
    }
    return true;
}

void TTransport::FromBlockButtonClick()
{
    bool ok = false;
    const QString point = QInputDialog::getText(
        this, QStringLiteral("Send from block"),
        QStringLiteral("Block (N1500) or tool (T5) to start at; empty: from the start"),
        QLineEdit::Normal, m_restart, &ok);
    QString why;
    if (ok && !setRestartPoint(point, &why))
        tellProblem(why);
}

void TTransport::ToolButton2Click()
{
    // The close asks first during a send, and stops the worker once it is answered.
    close();
}

void TTransport::showStatus(const QString &text, bool error)
{
    StatusLabel->setText(text);
    StatusLabel->setStyleSheet(error ? QStringLiteral("color: #b00000; font-weight: bold;")
                                     : QStringLiteral("color: #8a5a00; font-weight: bold;"));
    StatusLabel->setVisible(!text.isEmpty());
}

void TTransport::setSendState(SendState state)
{
    m_state = state;
    refreshStatus();
}

// A failure outranks a line that takes no data, which outranks the send's state.
void TTransport::refreshStatus()
{
    if (!m_failure.isEmpty()) {
        showStatus(m_failure, true);
        return;
    }
    if (m_noData) {
        showStatus(caption(NoDataLine), false);
        return;
    }
    if (isConnecting()) {
        showStatus(caption(ConnectingLine).arg(ComPort1->settings().portName), false);
        return;
    }
    int text = -1;
    switch (m_state) {
    case WaitingMachine:
        text = m_flowControl == ::FlowControl::RtsCts ? WaitingCtsLine : WaitingXonLine;
        break;
    case PausedByXoff:
        text = PausedByXoffLine;
        break;
    case PausedByCts:
        text = PausedByCtsLine;
        break;
    case BetweenFiles:
        text = BetweenFilesLine;
        break;
    case PausedByUser:
        text = PausedByUserLine;
        break;
    case Idle:
    case Sending:
        break;
    }
    showStatus(text < 0 ? m_notice : caption(text), false);
}

void TTransport::onMachinePaused(int cause)
{
    if (m_state != Sending && m_state != WaitingMachine)
        return;
    setSendState(cause == SendController::Xoff ? PausedByXoff : PausedByCts);
    // Without XON pacing nothing but a press continues after an XOFF: offer it.
    const bool xonResumes = usesXon(m_flowControl);
    if (cause == SendController::Xoff && !xonResumes && buttonState() == Running)
        setButtonState(Paused);
}

void TTransport::applyUpdates()
{
    const QVector<SendUpdate> updates = Thread1->takeUpdates();
    bool scroll = false;
    for (const SendUpdate &u : updates) {
        switch (u.kind) {
        case SendUpdate::PauseCaption:
            setButtonCaption(u.text);
            setSendState(BetweenFiles);
            break;
        case SendUpdate::Resumed:
            // A resume the window did not make (XON, CTS): the button follows it.
            if (Thread1->isPaused() || m_state == Idle || m_state == Sending)
                break;
            if (buttonState() == Paused)
                setButtonState(Running);
            setSendState(Sending);
            break;
        case SendUpdate::FileDone:
            ProgressBar1->setValue(ProgressBar1->maximum());
            break;
        case SendUpdate::ProgressMax:
            ProgressBar1->setMaximum(int(qMin<qint64>(u.value, INT_MAX)));
            ProgressBar1->setValue(0);
            break;
        case SendUpdate::SelectFile:
            ListBox2->setCurrentRow(int(u.value));
            break;
        case SendUpdate::EchoStart:
            ListBox1->clear();
            ListBox1->addItem(QString());
            break;
        case SendUpdate::Sent:
            ProgressBar1->setValue(
                int(qMin<qint64>(ProgressBar1->value() + u.value, ProgressBar1->maximum())));
            scroll |= appendEcho(u.text, u.reset);
            break;
        case SendUpdate::Waiting:
            m_noData = u.value != 0;
            refreshStatus();
            break;
        case SendUpdate::FileFailed:
            m_failure = caption(FileFailedLine).arg(m_files.value(int(u.value)), u.text);
            refreshStatus();
            if (QListWidgetItem *item = ListBox2->item(int(u.value)))
                item->setForeground(QColor(176, 0, 0));
            break;
        case SendUpdate::Finished:
            break;
        }
    }
    if (scroll && ListBox1->count() > 0) {
        ListBox1->setCurrentRow(ListBox1->count() - 1);
    }
}

bool TTransport::appendEcho(const QString &text, bool reset)
{
    if (reset) {
        ListBox1->clear();
        ListBox1->addItem(QString());
    }
    if (text.isEmpty())
        return false;
    const QStringList parts = text.split(QLatin1Char('\n'));
    if (QListWidgetItem *last = ListBox1->item(ListBox1->count() - 1))
        last->setText(last->text() + parts.first());
    if (parts.size() == 1)
        return false;
    ListBox1->addItems(parts.mid(1));
    // The echo follows the line; its oldest lines go so that a long program does not
    // grow the window without bound.
    const int excess = ListBox1->count() - EchoMaxLines;
    for (int i = 0; i < excess; ++i)
        delete ListBox1->takeItem(0);
    return true;
}
