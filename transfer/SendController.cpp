#include "transfer/SendController.h"

#include "transfer/LineControl.h"
#include "transfer/SerialLine.h"
#include "transfer/TransportThread.h"

SendController::SendController(SerialLine *line, TransportThread *worker, QObject *parent)
    : QObject(parent), m_line(line), m_worker(worker)
{
    connect(line, &SerialLine::rxChar, this, &SendController::onRxChar);
    connect(line, &SerialLine::ctsChanged, this, &SendController::onCtsChanged);
    arm();
}

SendController::~SendController()
{
    if (m_line)
        m_line->disarmFlowGate();
}

void SendController::arm()
{
    FlowGateRules rules;
    // XOFF pauses under every code; XON answers only where the machine paces with it.
    rules.xoffPauses = true;
    rules.xonResumes = usesXon(m_flowControl);
    rules.xonDelayMs = m_xonDelayMs;
    rules.lfAfterXon = true;
    m_line->armFlowGate(m_worker->pauseGate(), rules);
}

void SendController::setFlowControl(FlowControl flow)
{
    m_flowControl = flow;
    arm();
}

void SendController::setDelays(int xonMs, int ctsMs)
{
    m_xonDelayMs = xonMs;
    m_ctsDelayMs = ctsMs;
    arm();
}

void SendController::setXonLight(bool on)
{
    if (m_xonLight == on)
        return;
    m_xonLight = on;
    emit xonLightChanged(on);
}

bool SendController::confirmStart(bool standby)
{
    bool start;
    if (m_flowControl == FlowControl::RtsCts)
        start = m_ctsLight;
    else if (usesXon(m_flowControl) && standby)
        start = false;
    else
        start = true;
    m_worker->begin();
    if (start && m_worker->isPaused())
        m_worker->resumeWorker();
    setXonLight(false);
    m_ready = false;
    return start;
}

void SendController::onRxChar(qint64 count)
{
    // The gate has already acted on these bytes; only the lights are left to us.
    const QByteArray bytes = m_line->read(count);
    const bool xonResumes = usesXon(m_flowControl);
    if (xonResumes && bytes.contains(LineControl::XON))
        setXonLight(true);
    // Only the last flow byte of the batch tells the state the gate was left in.
    const qsizetype xoff = bytes.lastIndexOf(LineControl::XOFF);
    if (xoff >= 0 && xoff > (xonResumes ? bytes.lastIndexOf(LineControl::XON) : -1))
        emit machinePaused(Xoff);
}

void SendController::onCtsChanged(bool on)
{
    m_ctsLight = on;
    if (m_flowControl != FlowControl::RtsCts || m_ready)
        return;
    if (on) {
        if (m_worker->isPaused() || m_worker->pauseGate()->hasPendingActions())
            m_worker->pauseGate()->scheduleResume(m_ctsDelayMs, false);
    } else {
        m_worker->pauseWorker();
        emit machinePaused(CtsOff);
    }
}
