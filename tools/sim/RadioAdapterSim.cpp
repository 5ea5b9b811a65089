#include "tools/sim/RadioAdapterSim.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace Sim
{

RadioAdapterSim::RadioAdapterSim(int fd, const QStringList &addresses, bool answers)
    : m_fd(fd), m_addresses(addresses), m_answers(answers)
{
    while (m_addresses.size() < DeviceCount)
        m_addresses << QString();
    m_thread = std::thread([this] { run(); });
}

RadioAdapterSim::~RadioAdapterSim()
{
    m_stop = true;
    m_thread.join();
}

QByteArray RadioAdapterSim::addressBytes(const QString &address)
{
    QByteArray out;
    for (const QString &part : address.split(u'.'))
        out += char(part.toInt());
    return out.size() == 4 ? out : QByteArray();
}

QString RadioAdapterSim::listingLine(int n, const QString &address)
{
    // Number and name take the first 26 characters; the address starts at the 27th.
    return QStringLiteral("%1 %2").arg(n, 3).arg(QStringLiteral("RF-NODE-%1").arg(n), -22) +
           (address.isEmpty() ? QStringLiteral("0.0.0.0") : address);
}

bool RadioAdapterSim::writePc(const QByteArray &bytes)
{
    QMutexLocker lock(&m_writeMutex);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (m_stop) {
            return false; // nobody reads any more: the simulator is being ended
        } else {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
    return true;
}

bool RadioAdapterSim::deviceSends(int n, const QByteArray &bytes)
{
    const QByteArray address = addressBytes(m_addresses.value(n));
    if (address.isEmpty())
        return false;
    QMutexLocker lock(&m_mutex);
    if (m_command || m_xoff.at(n) || !m_pending.at(n).isEmpty()) {
        m_pending[n] += address + bytes;
        return true;
    }
    // One write: the address and its data stay together.
    return writePc(address + bytes);
}

bool RadioAdapterSim::rawToPc(const QByteArray &bytes)
{
    return writePc(bytes);
}

void RadioAdapterSim::setBabble(const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    m_babble = bytes;
}

void RadioAdapterSim::setDeviceSink(std::function<void(int, const QByteArray &)> sink)
{
    QMutexLocker lock(&m_mutex);
    m_sink = std::move(sink);
}

QByteArray RadioAdapterSim::fromPc() const
{
    QMutexLocker lock(&m_mutex);
    return m_fromPc;
}

QByteArray RadioAdapterSim::toDevice(int n) const
{
    QMutexLocker lock(&m_mutex);
    return m_toDevice.at(n);
}

bool RadioAdapterSim::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

void RadioAdapterSim::run()
{
    char buf[4096];
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                QThread::msleep(20); // the PC side is closed: wait for it to come back
            continue;
        }
        {
            QMutexLocker lock(&m_mutex);
            m_fromPc.append(buf, int(n));
        }
        for (ssize_t i = 0; i < n; ++i)
            take(buf[i]);
    }
}

void RadioAdapterSim::flushPendingLocked()
{
    // Under m_mutex, so that no new device data overtakes what was held.
    for (int d = 0; d < DeviceCount; ++d) {
        if (m_xoff.at(d) || m_pending.at(d).isEmpty())
            continue;
        writePc(m_pending.at(d));
        m_pending[d].clear();
    }
}

void RadioAdapterSim::deliver(const QByteArray &bytes)
{
    std::function<void(int, const QByteArray &)> sink;
    {
        QMutexLocker lock(&m_mutex);
        for (int d = 0; d < DeviceCount; ++d) {
            if (!(m_mask.load() & (1 << d)) || m_addresses.at(d).isEmpty())
                continue;
            m_toDevice[d] += bytes;
            for (const char c : bytes)
                if (c == Machine::XOFF || c == Machine::XON)
                    m_xoff[d] = c == Machine::XOFF;
        }
        if (!m_command)
            flushPendingLocked();
        sink = m_sink;
    }
    if (sink)
        for (int d = 0; d < DeviceCount; ++d)
            if ((m_mask.load() & (1 << d)) && !m_addresses.at(d).isEmpty())
                sink(d, bytes);
}

void RadioAdapterSim::take(char c)
{
    if (m_command) {
        if (c == '\r' || c == '\n') {
            if (!m_commandLine.isEmpty())
                execute(m_commandLine);
            m_commandLine.clear();
        } else {
            m_commandLine += c;
        }
        return;
    }
    if (m_answers && c == '+') {
        if (++m_plus == 3) {
            m_plus = 0;
            QMutexLocker lock(&m_mutex);
            m_command = true;
            const QByteArray babble = m_babble;
            lock.unlock();
            if (!babble.isEmpty())
                writePc(babble);
            else
                writePc(QByteArray("\r\nOK\r\n") + Prompt);
        }
        return;
    }
    QByteArray out(m_plus, '+');
    m_plus = 0;
    out += c;
    deliver(out);
}

void RadioAdapterSim::execute(const QByteArray &line)
{
    const QByteArray cmd = line.trimmed().toUpper();
    QByteArray answer = line + "\r\n";
    if (cmd == "EX") {
        QMutexLocker lock(&m_mutex);
        m_command = false;
        if (!m_mute)
            writePc(answer + "OK\r\n");
        flushPendingLocked();
        return;
    }
    if (cmd == "AS 1") {
        answer += "OK\r\n";
    } else if (cmd == "SHOW") {
        answer += "RF CABLE DEVICE TABLE\r\n"
                  "No. Name                  Address\r\n"
                  "--- --------------------- ---------------\r\n";
        for (int n = 0; n < DeviceCount; ++n)
            answer += listingLine(n, m_addresses.at(n)).toLatin1() + "\r\n";
    } else if (cmd.startsWith("PM ")) {
        bool ok = false;
        const int mask = cmd.mid(3).trimmed().toInt(&ok, 16);
        if (ok && mask >= 0 && mask <= 0xFF) {
            m_mask = mask;
            answer += "OK\r\n";
        } else {
            answer += "ERROR\r\n";
        }
    } else {
        answer += "ERROR\r\n";
    }
    if (!m_mute)
        writePc(answer + Prompt);
}

namespace Machine
{

QByteArray requestProgram(const QStringList &codeLines, const QString &number)
{
    QByteArray text = "%\n:" + number.toLatin1() + '\n';
    for (const QString &line : codeLines)
        text += line.toLatin1() + '\n';
    return DC2 + text + "M30\n%" + DC4;
}

QByteArray punched(const QByteArray &text)
{
    QByteArray out = text;
    out.replace("\r\n", "\n");
    out.replace('O', ':');
    return DC2 + out + DC4;
}

QList<QByteArray> programsIn(const QByteArray &stream)
{
    QList<QByteArray> out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype start = stream.indexOf(DC2, from);
        if (start < 0)
            break;
        const qsizetype end = stream.indexOf(DC4, start);
        if (end < 0)
            break;
        QByteArray program = stream.mid(start + 1, end - start - 1);
        program.replace(':', 'O');
        out << program;
        from = end + 1;
    }
    return out;
}

} // namespace Machine

} // namespace Sim
