#pragma once
// One line as a window or a command holds it: opened, watched, reopened after a loss and
// closed the same way whoever drives it. Widget-free; front ends only listen.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

struct LineSettings;
class SerialLine;

class LineSession : public QObject
{
    Q_OBJECT
public:
    enum class State { Closed, Connecting, Open, Lost, Closing };
    Q_ENUM(State)

    // How often a lost line is tried again where the front end asks for it.
    static constexpr int ReopenIntervalMs = 5000;

    // The line stays its owner's; the session only drives it.
    explicit LineSession(SerialLine *line, QObject *parent = nullptr);
    // A line of its own, of the kind the port name needs (a port, a device server).
    explicit LineSession(const LineSettings &settings, QObject *parent = nullptr);
    ~LineSession() override;

    SerialLine *line() const { return m_line; }
    State state() const { return m_state; }
    // Why the line is closed or lost: empty after a plain close.
    QString reason() const { return m_reason; }
    QString portName() const;
    bool isOpen() const { return m_state == State::Open; }
    // A slow open is under way (a device server's port). A local port opens at once and is
    // only told of on the next turn of the event loop: Connecting, but not this.
    bool isConnecting() const;

    // A window's language pack lines for an open that failed (see PortProblem::openFailure);
    // none: the command line's English.
    void setProblemTexts(const QStringList &texts) { m_problemTexts = texts; }
    // After a loss the line is closed and tried again every `ms`, quietly, until it opens
    // (Lost, then Open); 0 leaves a lost line lost.
    void setReopenInterval(int ms);
    int reopenInterval() const { return m_reopenMs; }

    // Without holding up the caller: Connecting, then Open, or Closed with the reason.
    void open();
    // Blocking (a command line): Open, or Closed with the reason in *why as well.
    bool openNow(QString *why = nullptr);
    // Closing, then Closed; an open under way is cancelled and a reopen given up.
    void close();
    // The same after what is queued has gone out (bounded by the line's drain wait).
    void drainAndClose();

signals:
    void stateChanged(LineSession::State state, const QString &reason);

private:
    void setState(State state, const QString &reason = {});
    void onOpenFinished(bool ok, const QString &error);
    void onLineLost(const QString &message);
    void onAfterClose();
    void tryReopen();
    QString failureText(const QString &error) const;
    template <typename CloseFn> void closeWith(CloseFn closeLine);

    std::unique_ptr<SerialLine> m_ownLine;
    SerialLine *m_line;
    State m_state = State::Closed;
    QString m_reason;
    QStringList m_problemTexts;
    int m_reopenMs = 0;
    QTimer m_reopen;
    bool m_opening = false; // open() asked, its answer not come
    bool m_reopening = false;
};
