#pragma once
// The send window: lists the programs, lets the user start, pause and leave, and shows
// the echo, the progress and the pacing lights of one send.
#include "settings/PortProfile.h"
#include "transfer/LineSession.h"

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QSplitter;
class QToolButton;
class SendController;
class SerialLine;
class TComLed;
class TElidedLabel;
class TransportThread;

class TTransport : public QWidget
{
    Q_OBJECT
public:
    enum ButtonState { Ready, Running, Paused, Unknown };
    // What the send is doing, as the status line tells it.
    enum SendState {
        Idle,
        Sending,
        WaitingMachine,
        PausedByXoff,
        PausedByCts,
        PausedByUser,
        BetweenFiles
    };
    // Lines of echo the window keeps; older ones scroll away for good.
    static constexpr int EchoMaxLines = 10000;

    // Without a line the window makes its own on the real port.
    // Like every transfer window it owns its serial line (one given here becomes its child)
    // and deletes itself when closed.
    explicit TTransport(SerialLine *line = nullptr, QWidget *parent = nullptr);
    ~TTransport() override;

    void setLanguage(const QStringList &lines);
    // False (after telling the user) when the record cannot be applied.
    bool setPortSetting(const PortProfile &profile);
    void setFile(const QString &path);
    void setFileList(const QStringList &paths);
    // Sends every file from a block or a tool ("N1500", "T5") instead of from its start (empty:
    // from the start again); false with *why when it is no such point or a file lacks it.
    // Only before the send is confirmed.
    bool setRestartPoint(const QString &point, QString *why);
    QString restartPoint() const { return m_restart; }

    ::FlowControl FlowControl() const { return m_flowControl; }
    ButtonState buttonState() const;
    SendState sendState() const { return m_state; }
    // Started and not yet ended: closing now would cut a program short.
    bool isSending() const;
    // The line is still being connected (a device server's port).
    bool isConnecting() const;
    LineSession *lineSession() const { return m_session; }
    SerialLine *comPort() const { return ComPort1; }
    TransportThread *worker() const { return Thread1; }
    SendController *controller() const { return m_controller; }

public slots:
    void ToolButton1Click();
    void ToolButton2Click();
    // "Send from block…": asks for the N-number or tool.
    void FromBlockButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void applyUpdates();

private:
    void FormActivate();
    void openLine();
    void onLineState(LineSession::State state, const QString &reason);
    QString caption(int index) const;
    void setButtonState(ButtonState state);
    void setButtonCaption(const QString &text);
    void showStatus(const QString &text, bool error);
    void setSendState(SendState state);
    void refreshStatus();
    void onMachinePaused(int cause);
    bool appendEcho(const QString &text, bool reset);
    void tellOpenFailure(const QString &error);
    // A problem told in the window's one style: a warning over the window, the detail under
    // the text.
    void tellProblem(const QString &text, const QString &detail = {},
                     const QString &title = QStringLiteral("message"));

    // Pack lines used in more than one place, or away from their controls.
    enum CaptionLine {
        TitleLine = 0,
        PortSettingLine = 1, // before the port setting's summary
        PortNotOpenedLine = 2,
        // The start button's captions, which tell its state too; the worker waits for a
        // press of the continue caption between files.
        StartLine = 3,
        ContinueLine = 4,
        PauseLine = 5,
        // The status line, from here in this order.
        WaitingXonLine = 10,
        WaitingCtsLine,
        PausedByXoffLine,
        PausedByCtsLine,
        BetweenFilesLine,
        PausedByUserLine,
        NoDataLine,
        FileFailedLine,
        StopSendingLine, // the question before a close during a send
        PortProblemLine, // four: what an open that failed tells
        // The status while the line is being connected.
        ConnectingLine = 23,
        // A port blocked by a lock file its program left behind.
        StaleLockLine,
        // A port this user may not open: with a group to join, then without.
        NoAccessLine
    };

    // Controls, found by these names.
    QToolButton *ToolButton1 = nullptr;
    QToolButton *ToolButton2 = nullptr;
    QToolButton *FromBlockButton = nullptr;
    QLabel *StaticText1 = nullptr;
    QLabel *StaticText2 = nullptr;
    TElidedLabel *StaticText3 = nullptr;
    QListWidget *ListBox1 = nullptr;
    QListWidget *ListBox2 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    TComLed *ComLed1 = nullptr;
    TComLed *ComLed2 = nullptr;
    // Says why the send is held or stopped: a write the line does not take, a file
    // that cannot be read.
    QLabel *StatusLabel = nullptr;

    SerialLine *ComPort1;
    LineSession *m_session = nullptr;
    TransportThread *Thread1;
    SendController *m_controller;
    QSplitter *m_splitter = nullptr;
    PortProfile Port;
    QStringList language;
    QStringList m_files;
    QString m_restart;
    ::FlowControl m_flowControl = ::FlowControl::None;
    bool m_shownOnce = false;
    bool m_closing = false;
    bool m_confirmed = false;
    bool m_finished = false;
    SendState m_state = Idle;
    bool m_noData = false;
    QString m_failure;
    // Told while nothing else holds the status line: a USB adapter that passes an XOFF late.
    QString m_notice;
};
