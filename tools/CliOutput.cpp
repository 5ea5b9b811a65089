#include "tools/CliOutput.h"

#include <cstdio>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#endif

namespace CliOutput
{

void say(const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

namespace
{

// Writes without ever blocking: all of it, or nothing when stderr has no room now.
bool writeNow(const QByteArray &bytes)
{
#ifdef Q_OS_UNIX
    pollfd p{STDERR_FILENO, POLLOUT, 0};
    if (::poll(&p, 1, 0) != 1 || !(p.revents & POLLOUT))
        return false;
    // POLLOUT on a pipe promises room for PIPE_BUF bytes; a progress line is far shorter.
    return ::write(STDERR_FILENO, bytes.constData(), size_t(bytes.size())) == bytes.size();
#else
    std::fputs(bytes.constData(), stderr);
    std::fflush(stderr);
    return true;
#endif
}

} // namespace

Progress::Progress()
{
#ifdef Q_OS_UNIX
    m_terminal = ::isatty(STDERR_FILENO) == 1;
#else
    m_terminal = true;
#endif
    m_since.start();
}

void Progress::update(const QString &text, bool force)
{
    const int interval = m_terminal ? 1000 / PerSecond : PlainIntervalMs;
    if (!force && !m_first && m_since.elapsed() < interval)
        return;
    const QByteArray bytes =
        m_terminal ? QByteArray("\r") + text.toLocal8Bit() : text.toLocal8Bit() + '\n';
    if (writeNow(bytes)) {
        m_first = false;
        m_shown = true;
        m_since.restart();
    }
}

void Progress::finish()
{
    if (m_shown && m_terminal)
        writeNow(QByteArray("\n"));
    m_shown = false;
}

} // namespace CliOutput
