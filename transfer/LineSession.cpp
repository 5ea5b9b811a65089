#include "transfer/LineSession.h"

#include "transfer/PortProblem.h"
#include "transfer/SerialLine.h"
#include "transfer/SerialLineFactory.h"

LineSession::LineSession(SerialLine *line, QObject *parent) : QObject(parent), m_line(line)
{
    m_reopen.setSingleShot(false);
    connect(&m_reopen, &QTimer::timeout, this, &LineSession::tryReopen);
    connect(m_line, &SerialLine::openFinished, this, &LineSession::onOpenFinished);
    connect(m_line, &SerialLine::lineLost, this, &LineSession::onLineLost);
    // A send worker closes the line on its own thread once the last file is out.
    connect(m_line, &SerialLine::afterClose, this, &LineSession::onAfterClose);
    if (m_line->isConnected())
        m_state = State::Open;
}

LineSession::LineSession(const LineSettings &settings, QObject *parent)
    : LineSession(makeSerialLine(settings.portName), parent)
{
    m_ownLine.reset(m_line);
    m_line->setSettings(settings);
}

LineSession::~LineSession()
{
    // A line going with its session tells it nothing more.
    if (m_ownLine) {
        disconnect(m_line, nullptr, this, nullptr);
        m_ownLine.reset();
    }
}

QString LineSession::portName() const
{
    return m_line->settings().portName;
}

bool LineSession::isConnecting() const
{
    return m_state == State::Connecting && m_line->isOpening();
}

void LineSession::setReopenInterval(int ms)
{
    m_reopenMs = qMax(0, ms);
    m_reopen.setInterval(m_reopenMs);
    if (m_reopenMs == 0)
        m_reopen.stop();
}

void LineSession::open()
{
    if (m_state == State::Open || m_state == State::Connecting)
        return;
    m_reopen.stop();
    m_reopening = false;
    m_opening = true;
    // A device server may take seconds to answer; a local port opens at once and is told
    // on the next turn of the event loop. Connecting once the line has begun, so that
    // those who look see whether it is slow.
    m_line->openAsync();
    if (m_opening)
        setState(State::Connecting);
}

bool LineSession::openNow(QString *why)
{
    if (m_state == State::Open)
        return true;
    m_reopen.stop();
    m_reopening = false;
    m_opening = false;
    QString error;
    if (m_line->open(&error)) {
        setState(State::Open);
        return true;
    }
    const QString text = failureText(error);
    if (why)
        *why = text;
    setState(State::Closed, text);
    return false;
}

template <typename CloseFn> void LineSession::closeWith(CloseFn closeLine)
{
    m_reopen.stop();
    m_reopening = false;
    m_opening = false;
    if (m_state == State::Closed)
        return;
    setState(State::Closing);
    closeLine();
    setState(State::Closed);
}

void LineSession::close()
{
    closeWith([this] { m_line->close(); });
}

void LineSession::drainAndClose()
{
    closeWith([this] { m_line->drainAndClose(); });
}

void LineSession::onOpenFinished(bool ok, const QString &error)
{
    if (m_reopening) {
        m_reopening = false;
        // A failed retry says nothing: the loss was told, the next try follows.
        if (ok && m_state == State::Lost) {
            m_reopen.stop();
            setState(State::Open);
        }
        return;
    }
    // Closed before the open ended: nothing to tell.
    if (!m_opening)
        return;
    m_opening = false;
    if (ok)
        setState(State::Open);
    else
        setState(State::Closed, failureText(error));
}

void LineSession::onLineLost(const QString &message)
{
    if (m_state == State::Closing || m_state == State::Closed)
        return;
    setState(State::Lost, message);
    if (m_reopenMs > 0 && m_state == State::Lost) {
        // The old descriptor or socket goes; a replugged adapter comes back as a new one.
        m_line->close();
        m_reopen.start();
    }
}

void LineSession::onAfterClose()
{
    // A lost line being put away for its reopen stays lost; a queued notice from before a
    // reopen finds the line open and is old news.
    if ((m_state == State::Open || m_state == State::Connecting) && !m_line->isConnected() &&
        !m_line->isOpening())
        setState(State::Closed);
}

void LineSession::tryReopen()
{
    if (m_reopening || m_state != State::Lost)
        return;
    m_reopening = true;
    m_line->openAsync();
}

QString LineSession::failureText(const QString &error) const
{
    const QString port = portName();
    return m_problemTexts.isEmpty() ? PortProblem::openFailure(port, error)
                                    : PortProblem::openFailure(port, error, m_problemTexts);
}

void LineSession::setState(State state, const QString &reason)
{
    if (state == m_state && reason == m_reason)
        return;
    m_state = state;
    m_reason = reason;
    emit stateChanged(state, reason);
}
