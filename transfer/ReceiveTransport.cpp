#include "transfer/ReceiveTransport.h"

#include "settings/LanguagePack.h"

#include "transfer/PortSerialLine.h"
#include "settings/PortSetting.h"
#include "transfer/ReceiveEngine.h"
#include "transfer/ReceivedLinesModel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <iterator>

namespace
{

// Texts the window shows until a language pack gives its own.
const char *const BuiltInLines[] = {"",           "傳輸設定", "",    "儲存路徑",
                                    "接收字元數", "接受字元", "離開"};

QFrame *toolBar(QWidget *parent, QBoxLayout *content)
{
    auto *bar = new QFrame(parent);
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setLayout(content);
    content->setContentsMargins(6, 3, 6, 3);
    return bar;
}

QLabel *pathLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    // Long paths must not force the window wider than the screen.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

TReceiveTransport::TReceiveTransport(SerialLine *line, QWidget *parent)
    : QWidget(parent, Qt::Window), ComPort1(line ? line : new PortSerialLine),
      m_engine(new ReceiveEngine(ComPort1, this))
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

    StaticText1->setText(QString::fromUtf8(BuiltInLines[3]) + QLatin1Char(':'));
    StaticText2->setText(QString::fromUtf8(BuiltInLines[1]) + QLatin1Char(':'));
    StaticText3->setText(QString::fromUtf8(BuiltInLines[4]) + QLatin1Char(':'));
    StaticText4->setText(QString::fromUtf8(BuiltInLines[5]) + QLatin1Char(':'));
    ToolButton1->setText(QString::fromUtf8(BuiltInLines[6]));

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
    connect(ComPort1, &SerialLine::lineLost, this, &TReceiveTransport::onLineLost);
}

TReceiveTransport::~TReceiveTransport()
{
    ComPort1->close();
}

QString TReceiveTransport::lang(int index) const
{
    if (index < language.size())
        return language[index];
    if (index < int(std::size(BuiltInLines)))
        return QString::fromUtf8(BuiltInLines[index]);
    return LanguagePack::builtIn(LanguagePack::ReceiveFile).value(index);
}

void TReceiveTransport::setLanguage(const QStringList &lines)
{
    language = lines;
    StaticText3->setText(lang(4) + QLatin1Char(':'));
    StaticText4->setText(lang(5) + QLatin1Char(':'));
    ToolButton1->setText(lang(6));
}

bool TReceiveTransport::setPortSetting(const QString &line)
{
    Port = PortSetting::split(line);
    LineSettings settings;
    QString error;
    if (!PortSetting::toLineSettings(Port, &settings, &m_flowControl, &error)) {
        QMessageBox::warning(nullptr, QStringLiteral("message"), error);
        return false;
    }
    settings.discardNull = false;
    ComPort1->setSettings(settings);
    return true;
}

void TReceiveTransport::setFileName(const QString &path)
{
    m_engine->setFileName(path);
    StaticText1->setText(lang(3) + QStringLiteral(": ") + QDir::toNativeSeparators(path));
    StaticText1->setToolTip(QDir::toNativeSeparators(path));
}

void TReceiveTransport::setSelectPathExt(const QString &path, const QString &ext)
{
    SelectPath = path;
    SelectExt = ext;
}

void TReceiveTransport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_opened)
        return;
    m_opened = true;
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2,
             area.y() + (area.height() - frameGeometry().height()) / 2);
    }
    FormActivate();
    // After the window is up, so that a failure box has a window to belong to.
    QMetaObject::invokeMethod(this, &TReceiveTransport::openLine, Qt::QueuedConnection);
}

void TReceiveTransport::openLine()
{
    QString error;
    if (ComPort1->open(&error))
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("message"),
                    lang(2).isEmpty() ? error : lang(2), QMessageBox::Ok, this);
    if (!lang(2).isEmpty())
        box.setInformativeText(error);
    box.exec();
    close();
}

void TReceiveTransport::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TReceiveTransport::FormActivate()
{
    setWindowTitle(PortSetting::caption(Port, lang(0)));
    StaticText2->setText(PortSetting::summary(Port, lang(1)));
    StaticText2->setToolTip(StaticText2->text());
    setFileName(m_engine->fileName());
}

void TReceiveTransport::ToolButton1Click()
{
    close();
}

void TReceiveTransport::closeEvent(QCloseEvent *event)
{
    if (m_engine->hasUnstoredProgram()) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("message"),
            tr("The received program (%n line(s)) has not been stored in \"%1\".\n"
               "Leave and discard it?",
               nullptr, m_engine->lineCount())
                .arg(QDir::toNativeSeparators(m_engine->fileName())),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    } else if (m_engine->status() == ReceiveEngine::Receiving && m_engine->hasUnsavedData() &&
               !ComPort1->isLost()) {
        QMessageBox box(QMessageBox::Question, windowTitle(), lang(7),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    if (m_storeError)
        m_storeError->hide();
    ComPort1->close();
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

void TReceiveTransport::onLineLost(const QString &message)
{
    if (!m_engine->hasUnsavedData()) {
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("message"), message,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    auto *box = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("message"),
        message + QLatin1Char('\n') +
            tr("%n line(s) of the program had arrived. Save them under a name of your "
               "choice, or they are lost when this window closes.",
               nullptr, m_engine->keptLineCount()),
        QMessageBox::Discard, this);
    QPushButton *save = box->addButton(tr("Save As..."), QMessageBox::AcceptRole);
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
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the received lines"),
                                                      m_engine->fileName());
    if (path.isEmpty())
        return;
    QString error;
    if (!m_engine->savePartial(path, &error)) {
        QMessageBox::warning(this, QStringLiteral("message"), error);
        savePartialAs();
        return;
    }
    emit fileReceived(path);
}

void TReceiveTransport::onCharCount(qint64 count)
{
    StaticText3->setText(lang(4) + QLatin1Char(':') + QString::number(count));
}

void TReceiveTransport::onStored(const QString &path)
{
    if (m_storeError)
        m_storeError->hide();
    followLastLine();
    emit fileReceived(path);
    ReceiveFileList::offer(m_hooks, path, SelectPath, SelectExt,
                           Port.value(PortSetting::Extension));
}

void TReceiveTransport::onStoreFailed(const QString &message)
{
    const QString text =
        message + QLatin1Char('\n') +
        tr("The received program is kept. Retry when the cause is fixed, or save it "
           "under another name.");
    if (!m_storeError) {
        m_storeError = new QMessageBox(QMessageBox::Warning, QStringLiteral("message"), text,
                                       QMessageBox::Retry | QMessageBox::Cancel, this);
        m_storeError->addButton(tr("Save As..."), QMessageBox::AcceptRole);
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
        QFileDialog::getSaveFileName(this, tr("Save the received program"), m_engine->fileName());
    if (path.isEmpty())
        return;
    setFileName(path);
    m_engine->retryStore();
}
