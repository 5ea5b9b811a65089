#pragma once
// GUI-thread side of a send: the machine's XON/XOFF and CTS pacing, and the start rule
// of the confirm button. Shared by the send window and the command-line tool.
#include <QByteArray>
#include <QObject>
#include <QQueue>
#include <QTimer>

class SerialLine;
class TransportThread;

class SendController : public QObject
{
    Q_OBJECT
public:
    static constexpr char XON = 0x11;
    static constexpr char XOFF = 0x13;
    // Waits of the pacing rules; tests shorten them.
    static constexpr int XonDelayMs = 500;
    static constexpr int CtsDelayMs = 500;

    SendController(SerialLine *line, TransportThread *worker, QObject *parent = nullptr);

    void setFlowControl(int code) { m_flowControl = code; }
    int flowControl() const { return m_flowControl; }
    void setDelays(int xonMs, int ctsMs)
    {
        m_xonDelayMs = xonMs;
        m_ctsDelayMs = ctsMs;
    }
    // The confirm button shows the ready state: CTS changes are then ignored.
    void setReady(bool ready) { m_ready = ready; }
    bool isReady() const { return m_ready; }
    bool ctsLight() const { return m_ctsLight; }
    bool xonLight() const { return m_xonLight; }
    void setXonLight(bool on);

    // The ready-state press: starts the worker if the rule allows. standby = PC standby
    // ticked. Returns whether the worker was resumed.
    bool confirmStart(bool standby);

signals:
    void xonLightChanged(bool on);

private slots:
    void onRxChar(qint64 count);
    void onCtsChanged(bool on);
    void process();

private:
    struct Event {
        enum Kind { Byte, Cts } kind;
        bool ctsOn;
        char byte;
    };
    void waitThen(int ms, int action);

    SerialLine *m_line;
    TransportThread *m_worker;
    int m_flowControl = 0;
    bool m_ready = true;
    bool m_ctsLight = false;
    bool m_xonLight = true;
    int m_xonDelayMs = XonDelayMs;
    int m_ctsDelayMs = CtsDelayMs;
    QQueue<Event> m_events;
    QTimer m_delay;
    int m_pendingAction = 0;
};
