#pragma once
// The receive window: shows one program arriving from a machine and closes when stored.
#include "settings/PortProfile.h"
#include "transfer/LineSession.h"
#include "transfer/ReceiveFileList.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QListView;
class QTimer;
class QMessageBox;
class QToolButton;
class ReceiveEngine;
class SerialLine;
class TElidedLabel;

class TReceiveTransport : public QWidget
{
    Q_OBJECT
public:
    // Default client area.
    static constexpr int DefaultWidth = 494;
    static constexpr int DefaultHeight = 307;
    // How often the list catches up with the last line while a program arrives.
    static constexpr int FollowMs = 40;

    // Without a line the window makes its own on the real port.
    // Like every transfer window it owns its serial line (one given here becomes its child)
    // and deletes itself when closed.
    explicit TReceiveTransport(SerialLine *line = nullptr, QWidget *parent = nullptr);
    ~TReceiveTransport() override;

    void setLanguage(const QStringList &lines);
    // Shows a message and returns false when the record cannot be applied; the window
    // must then not be shown.
    bool setPortSetting(const PortProfile &profile);
    void setFileName(const QString &path);
    void setSelectPathExt(const QString &path, const QString &ext);
    void setFileListHooks(const ReceiveFileList::Hooks &hooks) { m_hooks = hooks; }

    ReceiveEngine *engine() const { return m_engine; }
    SerialLine *line() const { return ComPort1; }
    // The line is still being connected (a device server's port).
    bool isConnecting() const;
    LineSession *lineSession() const { return m_session; }
    ::FlowControl FlowControl() const { return m_flowControl; }

signals:
    void fileReceived(const QString &path);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void ToolButton1Click();
    void FormActivate();

private:
    void openLine();
    void onLineState(LineSession::State state, const QString &reason);
    // The count's place tells of a line still being connected.
    void showCountLabel();
    void onLinesChanged(int firstRow);
    void followLastLine();
    void onLineLost(const QString &message);
    void savePartialAs();
    // Keeps what arrived of a program cut short as a failed transfer; its path, or empty.
    QString keepFailed(const QString &why);
    bool m_failureKept = false;
    QString m_failedCopy;
    void onCharCount(qint64 count);
    void onStored(const QString &path);
    void onStoreFailed(const QString &message);
    void saveElsewhere();
    // A problem told in the window's one style: a warning titled "message", the detail under
    // the text. Told from a line event, the window goes on meanwhile; before the window is
    // shown, the box has no parent.
    enum class Tell { AndWait, AndGoOn, BeforeShown };
    void tellProblem(const QString &text, const QString &detail = {}, Tell how = Tell::AndWait);
    QString caption(int index) const;
    // Pack lines used in more than one place, or away from their controls.
    enum CaptionLine {
        PortSettingLine = 1, // before the port setting's summary
        PortNotOpenedLine = 2,
        SavePathLine = 3,
        CharCountLine = 4,
        ReceivedTextLine = 5,
        LeaveLine = 6,
        CloseReceivingLine = 7, // the question before a close while a program arrives
        PortProblemLine = 8,    // four: what an open that failed tells
        // The questions about received data, after the port problems.
        UnstoredLine = 12,
        KeptLinesLine,
        SaveAsLine,
        SaveLinesLine,
        KeptProgramLine,
        SaveProgramLine,
        ConnectingLine,
        StaleLockLine,
        NoAccessLine,     // with a group to join
        NoAccessOwnerLine // without one
    };

    SerialLine *ComPort1;
    LineSession *m_session;
    ReceiveEngine *m_engine;
    PortProfile Port;
    QStringList language;
    ::FlowControl m_flowControl = ::FlowControl::None;
    QString SelectPath;
    QString SelectExt;
    ReceiveFileList::Hooks m_hooks;
    bool m_shownOnce = false;

    TElidedLabel *StaticText1;
    TElidedLabel *StaticText2;
    QLabel *StaticText3;
    QLabel *StaticText4;
    QListView *ListBox1;
    QTimer *m_follow;
    QToolButton *ToolButton1;
    QMessageBox *m_storeError = nullptr;
};
