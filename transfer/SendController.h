#pragma once
// Window-thread side of a send: arms the line's flow gate for the worker, follows CTS
// pacing (RTS/CTS alone), keeps the pacing lights and applies the confirm button's start rule.
// Shared by the send window and the command-line tool. XON and XOFF themselves act in the
// line's reader, so nothing here can delay a pause.
#include "settings/LineSettings.h"
#include "transfer/SerialLine.h"

#include <QObject>
#include <QPointer>

class TransportThread;

class SendController : public QObject
{
    Q_OBJECT
public:
    // Waits of the pacing rules; tests shorten them.
    static constexpr int XonDelayMs = 500;
    static constexpr int CtsDelayMs = 500;

    SendController(SerialLine *line, TransportThread *worker, QObject *parent = nullptr);
    ~SendController() override;

    // Arms the line's gate for these rules; call again after a change.
    void setFlowControl(FlowControl flow);
    FlowControl flowControl() const { return m_flowControl; }
    void setDelays(int xonMs, int ctsMs);
    // The confirm button shows the ready state: CTS changes are then ignored.
    void setReady(bool ready) { m_ready = ready; }
    bool isReady() const { return m_ready; }
    bool ctsLight() const { return m_ctsLight; }
    bool xonLight() const { return m_xonLight; }
    void setXonLight(bool on);

    // The ready-state press: starts the worker if the rule allows. standby = PC standby
    // ticked. Returns whether the worker was resumed.
    bool confirmStart(bool standby);

    enum PauseCause { Xoff, CtsOff };

signals:
    void xonLightChanged(bool on);
    // The machine has paused the send; told after the gate has acted.
    void machinePaused(SendController::PauseCause cause);

private slots:
    void onRxChar(qint64 count);
    void onCtsChanged(bool on);

private:
    void arm();

    // The window may delete its line first.
    QPointer<SerialLine> m_line;
    TransportThread *m_worker;
    FlowControl m_flowControl = FlowControl::None;
    bool m_ready = true;
    bool m_ctsLight = false;
    bool m_xonLight = true;
    int m_xonDelayMs = XonDelayMs;
    int m_ctsDelayMs = CtsDelayMs;
};
