#pragma once
// The auto-mode window: the operator's view of one line run by its machines. It owns the
// line and the link while open, shows what arrives (one pane, or one per radio device with
// its address), what is sent, and the transfer log, which it keeps per port setting.
#include "automode/AutoLink.h"
#include "automode/AutoModeLog.h"
#include "transfer/LineSession.h"

#include <QStringList>
#include <QWidget>

#include <array>

class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QToolButton;
class SerialLine;
class TElidedLabel;
class TOption;

class TWATransport : public QWidget
{
    Q_OBJECT
public:
    // How often the receive panes catch up with their buffers.
    static constexpr int PaneRefreshMs = 50;
    // How much of a program being received its pane shows: the end of it.
    static constexpr int PaneTailBytes = 64 * 1024;

    // values: read at every handling. Without a line the window makes its own on the port.
    // Like every transfer window it owns its serial line (one given here becomes its child)
    // and deletes itself when closed.
    explicit TWATransport(AutoMode::GeneralValuesSource values, SerialLine *line = nullptr,
                          QWidget *parent = nullptr, const AutoMode::LinkTimings &timings = {});
    ~TWATransport() override;

    // Where the log folder lives (the program's folder unless set); before setPortSetting.
    void setLogFolder(const QString &folder) { m_logFolder = folder; }
    // The option store that keeps the window size; may be null.
    void setOption(TOption *option) { m_option = option; }
    void setLanguage(const QStringList &list);
    // Loads the log, opens the line and, on a "Wireless" line, asks for the devices. False
    // when the record cannot be applied: showing the window then says so and closes it.
    bool setPortSetting(const PortProfile &profile);
    void setWindowsSize(const QString &text);
    QString getWindowsSize() const;
    static QString getWindowsSizeDefault();
    void getDefault() {}

    void AddLog(const QString &status, const QString &device, const QString &kind,
                const QString &path);
    // A line of its own (something that went wrong outside a request).
    void addLogLine(const QString &line);
    QStringList logLines() const;
    QString logPath() const { return m_log.path(); }
    AutoMode::AutoLink *link() const { return m_link; }
    bool lineOpen() const;
    // The line is still being connected (a device server's port); the window serves nothing
    // yet, but the program goes on.
    bool isConnecting() const;
    // Opens, watches and, after a loss, reopens the line.
    LineSession *lineSession() const { return m_session; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void ToolButtonClsLogClick();
    void FormActivate();

private:
    void failedOpen();
    // A problem told in the window's one style: a warning titled "message", the detail under
    // the text.
    void tellProblem(const QString &text, const QString &detail = {});
    void onLineState(LineSession::State state, const QString &reason);
    // Path and extension, or that the line is still being connected.
    void showLineState();
    void refreshPanes();
    void onAddress(int n, const QString &text, bool present);
    QString caption(int index) const;
    // Pack lines used in more than one place, or away from their controls.
    enum CaptionLine {
        TitleLine = 0,
        PortNotOpenedLine = 6,
        PortProblemLine = 7, // four: what an open that failed tells
        // The status while the line is being connected.
        ConnectingLine = 11,
        // A port blocked by a lock file its program left behind.
        StaleLockLine,
        // A port this user may not open: with a group to join, then without.
        NoAccessLine
    };

    SerialLine *ComPort1;
    LineSession *m_session;
    AutoMode::GeneralValuesSource m_values;
    AutoMode::LinkTimings m_timings;
    AutoMode::AutoLink *m_link = nullptr;
    AutoMode::AutoModeLog m_log{QString()};
    QString m_logFolder;
    TOption *m_option = nullptr;
    PortProfile Port;
    QStringList language;
    bool m_served = false; // the link started on the first open; a reopen finds it going
    bool m_shown = false;
    bool m_logWriteFailed = false;
    QString m_openError;
    int m_dirty = 0; // bit n+1: device n's pane, bit 0: the cable pane

    QLabel *ReceiveText, *SendText, *LogText;
    QPlainTextEdit *ReceiveMemo, *SendMemo;
    QWidget *IPGridPanel;
    std::array<QGroupBox *, 8> GroupBox{};
    std::array<QLabel *, 8> IPAddr{};
    std::array<QPlainTextEdit *, 8> Memo{};
    QListWidget *LogListBox;
    QSplitter *Splitter1, *Splitter2;
    QWidget *SendStatusPanel;
    QStatusBar *StatusBar1;
    TElidedLabel *StatusPanel0, *StatusPanel1;
    QToolButton *ToolButtonClsLog, *ToolButtonClose;
    QTimer *m_paneTimer;
};
