#include "transfer/SendController.h"

#include "transfer/SerialLine.h"
#include "transfer/TransportThread.h"

namespace {
enum Action { None = 0, LfAndResume, Resume };
}

SendController::SendController(SerialLine *line, TransportThread *worker, QObject *parent)
    : QObject(parent), m_line(line), m_worker(worker)
{
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, [this] {
        const int action = m_pendingAction;
        m_pendingAction = None;
        if (action == LfAndResume && m_line->isConnected())
            m_line->write(QByteArray(1, '\n'));
        if (action == LfAndResume || action == Resume) {
            if (m_worker->isPaused())
                m_worker->resumeWorker();
        }
        process();
    });
    connect(line, &SerialLine::rxChar, this, &SendController::onRxChar);
    connect(line, &SerialLine::ctsChanged, this, &SendController::onCtsChanged);
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
    if (m_flowControl == 1)
        start = m_ctsLight;
    else if ((m_flowControl == 2 || m_flowControl == 3) && standby)
        start = false;
    else
        start = true;
    if (start && m_worker->isPaused())
        m_worker->resumeWorker();
    setXonLight(false);
    m_ready = false;
    return start;
}

void SendController::onRxChar(qint64 count)
{
    const QByteArray bytes = m_line->read(count);
    for (char c : bytes)
        m_events.enqueue(Event{Event::Byte, false, c});
    process();
}

void SendController::onCtsChanged(bool on)
{
    m_ctsLight = on;
    m_events.enqueue(Event{Event::Cts, on, 0});
    process();
}

void SendController::waitThen(int ms, int action)
{
    m_pendingAction = action;
    m_delay.start(ms);
}

// Events wait behind a running delay, as line events wait behind a sleeping handler.
void SendController::process()
{
    while (!m_delay.isActive() && !m_events.isEmpty()) {
        const Event e = m_events.dequeue();
        if (e.kind == Event::Byte) {
            if ((m_flowControl == 2 || m_flowControl == 3) && e.byte == XON) {
                setXonLight(true);
                waitThen(m_xonDelayMs, LfAndResume);
            } else if (e.byte == XOFF) {
                if (!m_worker->isPaused())
                    m_worker->pauseWorker();
            }
        } else if (m_flowControl == 1 && !m_ready) {
            if (e.ctsOn) {
                if (m_worker->isPaused())
                    waitThen(m_ctsDelayMs, Resume);
            } else if (!m_worker->isPaused()) {
                m_worker->pauseWorker();
            }
        }
    }
}
