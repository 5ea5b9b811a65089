#include "transfer/ReceiveTransport.h"

#include "library/ProgramFiles.h"
#include "settings/LanguagePack.h"
#include "settings/PortSetting.h"
#include "settings/WindowPlace.h"
#include "transfer/ComWidgets.h"
#include "transfer/PortSerialLine.h"
#include "transfer/ReceiveEngine.h"
#include "transfer/ReceivedLinesModel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{

QFrame *toolBar(QWidget *parent, QBoxLayout *content)
{
    auto *bar = new QFrame(parent);
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setLayout(content);
    content->setContentsMargins(6, 3, 6, 3);
    return bar;
}

TElidedLabel *pathLabel(QWidget *parent)
{
    auto *label = new TElidedLabel(parent);
    // Long paths must not force the window wider than the screen.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setSelectable(true);
    return label;
}

} // namespace

TReceiveTransport::TReceiveTransport(SerialLine *line, QWidget *parent)
    : QWidget(parent, Qt::Window), ComPort1(line ? line : new PortSerialLine),
      m_session(new LineSession(ComPort1, this)), m_engine(new ReceiveEngine(ComPort1, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    ComPort1->setParent(this);
    ComPort1->setDiscardNull(false);

    StaticText1 = pathLabel(this);
    StaticText2 = pathLabel(this);
    StaticText3 = new QLabel(this);
    StaticText4 = new QLabel(this);
    StaticText4->setAlignment(Qt::AlignCenter);
    ListBox1 = new QListView(this);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setModel(new ReceivedLinesModel(m_engine, ListBox1));
    m_follow = new QTimer(this);
    m_follow->setSingleShot(true);
    m_follow->setInterval(FollowMs);
    connect(m_follow, &QTimer::timeout, this, &TReceiveTransport::followLastLine);
    ToolButton1 = new QToolButton(this);
    ToolButton1->setIcon(QIcon(QStringLiteral(":/icons/exit.svg")));
    ToolButton1->setIconSize(QSize(64, 64));
    ToolButton1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolButton1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText2->setObjectName(QStringLiteral("StaticText2"));
    StaticText3->setObjectName(QStringLiteral("StaticText3"));
    StaticText4->setObjectName(QStringLiteral("StaticText4"));
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));

    StaticText1->setFullText(LanguagePack::label(caption(SavePathLine)));
    StaticText2->setFullText(LanguagePack::label(caption(PortSettingLine)));
    StaticText3->setText(LanguagePack::label(caption(CharCountLine)));
    StaticText4->setText(LanguagePack::label(caption(ReceivedTextLine)));
    ToolButton1->setText(caption(LeaveLine));

    auto *top = new QHBoxLayout;
    top->addWidget(StaticText1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(StaticText2);
    auto *count = new QHBoxLayout;
    count->addWidget(StaticText3);
    auto *right = new QVBoxLayout;
    right->addWidget(ToolButton1);
    // The caption stays under its picture however tall the window is.
    right->addStretch();

    auto *centre = new QVBoxLayout;
    centre->setContentsMargins(0, 0, 0, 0);
    centre->addWidget(toolBar(this, count));
    centre->addWidget(StaticText4);
    centre->addWidget(ListBox1, 1);

    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->addLayout(centre, 1);
    middle->addWidget(toolBar(this, right));

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(2);
    root->addWidget(toolBar(this, top));
    root->addLayout(middle, 1);
    root->addWidget(toolBar(this, bottom));
    resize(DefaultWidth, DefaultHeight);

    connect(ToolButton1, &QToolButton::clicked, this, &TReceiveTransport::ToolButton1Click);
    connect(m_engine, &ReceiveEngine::linesChanged, this, &TReceiveTransport::onLinesChanged);
    connect(m_engine, &ReceiveEngine::charCountChanged, this, &TReceiveTransport::onCharCount);
    connect(m_engine, &ReceiveEngine::programStored, this, &TReceiveTransport::onStored);
    connect(m_engine, &ReceiveEngine::storeFailed, this, &TReceiveTransport::onStoreFailed);
    connect(m_engine, &ReceiveEngine::finished, this, &QWidget::close);
    connect(m_session, &LineSession::stateChanged, this, &TReceiveTransport::onLineState);
}

TReceiveTransport::~TReceiveTransport()
{
    m_session->disconnect(this);
    m_session->close();
}

bool TReceiveTransport::isConnecting() const
{
    return m_session->isConnecting();
}

QString TReceiveTransport::caption(int index) const
{
    return LanguagePack::caption(language, LanguagePack::ReceiveFile, index);
}

void TReceiveTransport::setLanguage(const QStringList &lines)
{
    language = lines;
    showCountLabel();
    StaticText4->setText(LanguagePack::label(caption(ReceivedTextLine)));
    ToolButton1->setText(caption(LeaveLine));
}

bool TReceiveTransport::setPortSetting(const PortProfile &profile)
{
    Port = profile;
    if (!Port.isUsable()) {
        tellProblem(Port.problem(), {}, Tell::BeforeShown);
        return false;
    }
    m_flowControl = Port.flowControl();
    ComPort1->setSettings(Port.lineSettings(PortProfile::Use::Receive));
    m_engine->setJournalName(Port.name());
    return true;
}

void TReceiveTransport::setFileName(const QString &path)
{
    m_engine->setFileName(path);
    // "Save to: path", but no blank after a full-width colon.
    const QString head = LanguagePack::label(caption(SavePathLine));
    StaticText1->setFullText(head + (head.endsWith(u':') ? QStringLiteral(" ") : QString()) +
                                 QDir::toNativeSeparators(path),
                             QDir::toNativeSeparators(path));
}

void TReceiveTransport::setSelectPathExt(const QString &path, const QString &ext)
{
    SelectPath = path;
    SelectExt = ext;
}

void TReceiveTransport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    WindowPlace::centre(this);
    FormActivate();
    // After the window is up, so that a failure box has a window to belong to.
    QMetaObject::invokeMethod(this, &TReceiveTransport::openLine, Qt::QueuedConnection);
}

void TReceiveTransport::openLine()
{
    // Closed before the call came: the line stays shut.
    if (!isVisible())
        return;
    // A device server's port may take seconds to answer; the window stays usable meanwhile.
    m_session->setProblemTexts({caption(PortProblemLine), caption(PortProblemLine + 1),
                                caption(PortProblemLine + 2), caption(PortProblemLine + 3),
                                caption(StaleLockLine), caption(NoAccessLine),
                                caption(NoAccessOwnerLine)});
    m_session->open();
}

void TReceiveTransport::showCountLabel()
{
    StaticText3->setText(isConnecting() ? caption(ConnectingLine).arg(ComPort1->settings().portName)
                                        : LanguagePack::label(caption(CharCountLine)));
}

void TReceiveTransport::onLineState(LineSession::State state, const QString &reason)
{
    showCountLabel();
    if (state == LineSession::State::Lost) {
        onLineLost(reason);
        return;
    }
    // A plain close says nothing; an open that failed says why.
    if (state != LineSession::State::Closed || reason.isEmpty())
        return;
    const QString told = caption(PortNotOpenedLine);
    tellProblem(told.isEmpty() ? reason : told, told.isEmpty() ? QString() : reason);
    close();
}

void TReceiveTransport::tellProblem(const QString &text, const QString &detail, Tell how)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("message"), text,
                                QMessageBox::Ok, how == Tell::BeforeShown ? nullptr : this);
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (how == Tell::AndGoOn)
        box->open();
    else
        box->exec();
}

void TReceiveTransport::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TReceiveTransport::FormActivate()
{
    setWindowTitle(PortSetting::caption(Port.fields(), caption(0)));
    StaticText2->setFullText(LanguagePack::label(caption(PortSettingLine)) +
                             PortSetting::summary(Port.fields(), {}).mid(1));
    setFileName(m_engine->fileName());
}

void TReceiveTransport::ToolButton1Click()
{
    close();
}

void TReceiveTransport::closeEvent(QCloseEvent *event)
{
    if (m_engine->hasUnstoredProgram()) {
        const auto answer =
            QMessageBox::question(this, QStringLiteral("message"),
                                  caption(UnstoredLine)
                                      .arg(m_engine->lineCount())
                                      .arg(QDir::toNativeSeparators(m_engine->fileName())),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    } else if (m_engine->status() == ReceiveEngine::Receiving && m_engine->hasUnsavedData() &&
               !ComPort1->isLost()) {
        QMessageBox box(QMessageBox::Question, windowTitle(), caption(CloseReceivingLine),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        keepFailed(QStringLiteral("the receive window was closed before the end of program"));
    }
    if (m_storeError)
        m_storeError->hide();
    m_session->close();
    event->accept();
}

void TReceiveTransport::onLinesChanged(int)
{
    // The list model has the rows already; following the last one once a frame is enough.
    if (!m_follow->isActive())
        m_follow->start();
}

void TReceiveTransport::followLastLine()
{
    const int rows = ListBox1->model()->rowCount();
    if (rows > 0)
        ListBox1->setCurrentIndex(ListBox1->model()->index(rows - 1, 0));
}

QString TReceiveTransport::keepFailed(const QString &why)
{
    // Whatever the user answers next, what arrived is kept first: beside the file it was
    // meant for, else in the port setting's work folder.
    const QString target = m_engine->fileName();
    QString kept;
    for (const QString &folder :
         {target.isEmpty() ? QString() : QFileInfo(target).absolutePath(), Port.workFolder()}) {
        QString error;
        // Only into a folder that is there: a missing one is not made as a side effect.
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            continue;
        kept = ProgramFiles::FailedPath(folder, Port.name(), QFileInfo(target).fileName(), &error);
        if (!kept.isEmpty() && m_engine->savePartial(kept, &error))
            break;
        if (!kept.isEmpty())
            QFile::remove(kept);
        kept.clear();
    }
    m_engine->journalFailure(why, kept);
    return kept;
}

void TReceiveTransport::onLineLost(const QString &message)
{
    QString kept;
    if (m_engine->status() == ReceiveEngine::Receiving && m_engine->hasUnsavedData())
        kept = keepFailed(message);
    if (!m_engine->hasUnsavedData()) {
        tellProblem(message, {}, Tell::AndGoOn);
        return;
    }
    auto *box = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("message"),
        message + QLatin1Char('\n') + caption(KeptLinesLine).arg(m_engine->keptLineCount()) +
            (kept.isEmpty() ? QString()
                            : QStringLiteral("\nThey are kept as a failed transfer "
                                             "in \"%1\".")
                                  .arg(QDir::toNativeSeparators(kept))),
        QMessageBox::Discard, this);
    QPushButton *save = box->addButton(caption(SaveAsLine), QMessageBox::AcceptRole);
    box->setDefaultButton(save);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, save] {
        if (box->clickedButton() == save)
            savePartialAs();
    });
    box->open();
}

void TReceiveTransport::savePartialAs()
{
    const QString path =
        QFileDialog::getSaveFileName(this, caption(SaveLinesLine), m_engine->fileName());
    if (path.isEmpty())
        return;
    QString error;
    if (!m_engine->savePartial(path, &error)) {
        tellProblem(error);
        savePartialAs();
        return;
    }
    emit fileReceived(path);
}

void TReceiveTransport::onCharCount(qint64 count)
{
    StaticText3->setText(LanguagePack::labelled(caption(CharCountLine), QString::number(count)));
}

void TReceiveTransport::onStored(const QString &path)
{
    if (m_storeError)
        m_storeError->hide();
    followLastLine();
    emit fileReceived(path);
    ReceiveFileList::offer(m_hooks, path, SelectPath, SelectExt, Port.extensionPattern());
}

void TReceiveTransport::onStoreFailed(const QString &message)
{
    // The first failure keeps the program as a failed transfer too: the window may be closed
    // or the PC lose power before the user decides.
    if (!m_failureKept) {
        m_failureKept = true;
        m_failedCopy = keepFailed(message);
    }
    QString text = message + QLatin1Char('\n') + caption(KeptProgramLine);
    if (!m_failedCopy.isEmpty())
        text += QStringLiteral("\nA copy is kept as a failed transfer in \"%1\".")
                    .arg(QDir::toNativeSeparators(m_failedCopy));
    if (!m_storeError) {
        m_storeError = new QMessageBox(QMessageBox::Warning, QStringLiteral("message"), text,
                                       QMessageBox::Retry | QMessageBox::Cancel, this);
        m_storeError->addButton(caption(SaveAsLine), QMessageBox::AcceptRole);
        connect(m_storeError, &QMessageBox::finished, this, [this] {
            QAbstractButton *clicked = m_storeError->clickedButton();
            if (clicked == m_storeError->button(QMessageBox::Retry))
                m_engine->retryStore();
            else if (clicked && m_storeError->buttonRole(clicked) == QMessageBox::AcceptRole)
                saveElsewhere();
        });
    }
    m_storeError->setText(text);
    if (!m_storeError->isVisible())
        m_storeError->open();
}

void TReceiveTransport::saveElsewhere()
{
    const QString path =
        QFileDialog::getSaveFileName(this, caption(SaveProgramLine), m_engine->fileName());
    if (path.isEmpty())
        return;
    setFileName(path);
    m_engine->retryStore();
}
