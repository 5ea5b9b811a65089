#include "transfer/Rfc2217.h"

namespace Rfc2217
{

QByteArray escapeIac(const QByteArray &bytes)
{
    if (!bytes.contains(char(Telnet::IAC)))
        return bytes;
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        out.append(c);
        if (quint8(c) == Telnet::IAC)
            out.append(c);
    }
    return out;
}

QByteArray subnegotiation(quint8 command, const QByteArray &value)
{
    QByteArray out;
    out.append(char(Telnet::IAC)).append(char(Telnet::SB)).append(char(Telnet::COM_PORT));
    out.append(char(command)).append(escapeIac(value));
    out.append(char(Telnet::IAC)).append(char(Telnet::SE));
    return out;
}

QByteArray negotiation(quint8 verb, quint8 option)
{
    const char bytes[3] = {char(Telnet::IAC), char(verb), char(option)};
    return QByteArray(bytes, 3);
}

bool endsMidPair(const QByteArray &wire, qint64 sent)
{
    qint64 run = 0;
    for (qint64 i = sent - 1; i >= 0 && quint8(wire[i]) == Telnet::IAC; --i)
        ++run;
    return run % 2 == 1;
}

QByteArray settingsCommands(const LineSettings &s)
{
    using namespace ComPort;
    const quint32 baud = quint32(s.baudRate > 0 ? s.baudRate : 9600);
    QByteArray b(4, '\0');
    b[0] = char(baud >> 24);
    b[1] = char(baud >> 16);
    b[2] = char(baud >> 8);
    b[3] = char(baud);
    const quint8 parity = s.parity == LineSettings::Parity::Odd    ? 2
                          : s.parity == LineSettings::Parity::Even ? 3
                                                                   : 1;
    const quint8 stop = s.stopBits == LineSettings::StopBits::Two          ? 2
                        : s.stopBits == LineSettings::StopBits::OneAndHalf ? 3
                                                                           : 1;
    auto one = [](quint8 v) { return QByteArray(1, char(v)); };
    // DTR held off and RTS off unless the handshake drives it, as on a local port; the
    // server's own XON/XOFF is never asked for.
    QByteArray out =
        subnegotiation(SET_BAUDRATE, b) + subnegotiation(SET_DATASIZE, one(quint8(s.dataBits))) +
        subnegotiation(SET_PARITY, one(parity)) + subnegotiation(SET_STOPSIZE, one(stop)) +
        subnegotiation(SET_CONTROL, one(s.hardwareHandshake ? CONTROL_HARDWARE : CONTROL_NO_FLOW)) +
        subnegotiation(SET_CONTROL, one(CONTROL_DTR_OFF));
    if (!s.hardwareHandshake)
        out += subnegotiation(SET_CONTROL, one(CONTROL_RTS_OFF));
    return out + subnegotiation(SET_MODEMSTATE_MASK, one(CTS_STATE | CTS_DELTA));
}

QByteArray opening()
{
    return negotiation(Telnet::WILL, Telnet::BINARY) + negotiation(Telnet::DO, Telnet::BINARY) +
           negotiation(Telnet::WILL, Telnet::COM_PORT);
}

QByteArray purgeBoth()
{
    return subnegotiation(ComPort::PURGE_DATA, QByteArray(1, char(ComPort::PURGE_BOTH)));
}

void Reader::noteOpening()
{
    m_we[Telnet::BINARY] = m_we[Telnet::COM_PORT] = true;
    m_weSaid[Telnet::BINARY] = m_weSaid[Telnet::COM_PORT] = true;
    m_asked[Telnet::BINARY] = true;
}

// Strips Telnet commands from what the server sent (a command may be split across
// reads), answers its negotiation and follows its modem-state notices.
QByteArray Reader::unwrap(const QByteArray &bytes)
{
    QByteArray data;
    data.reserve(bytes.size());
    for (const char ch : bytes) {
        const quint8 c = quint8(ch);
        switch (m_state) {
        case State::Data:
            if (c == Telnet::IAC)
                m_state = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (c == Telnet::IAC) {
                data.append(ch);
                m_state = State::Data;
            } else if (c == Telnet::SB) {
                m_sub.clear();
                m_state = State::Sub;
            } else if (c >= Telnet::WILL) {
                m_verb = c;
                m_state = State::Option;
            } else {
                m_state = State::Data; // NOP, GA and the like carry nothing for us
            }
            break;
        case State::Option:
            answer(m_verb, c);
            m_state = State::Data;
            break;
        case State::Sub:
            if (c == Telnet::IAC)
                m_state = State::SubIac;
            else if (m_sub.size() < 64)
                m_sub.append(ch);
            break;
        case State::SubIac:
            if (c == Telnet::SE) {
                subCommand(m_sub);
                m_state = State::Data;
            } else {
                if (m_sub.size() < 64)
                    m_sub.append(ch); // IAC IAC: a 0xFF in the value
                m_state = State::Sub;
            }
            break;
        }
    }
    return data;
}

// Agrees to BINARY, SGA and COM-PORT-OPTION, refuses the rest; says each thing once,
// so two ends never answer each other for ever.
void Reader::answer(quint8 verb, quint8 option)
{
    const bool wanted =
        option == Telnet::BINARY || option == Telnet::SGA || option == Telnet::COM_PORT;
    switch (verb) {
    case Telnet::DO:
        if (option == Telnet::COM_PORT)
            m_comPortAgreed = true;
        if (wanted != m_we[option] || !m_weSaid[option])
            send(negotiation(wanted ? Telnet::WILL : Telnet::WONT, option));
        m_we[option] = wanted;
        m_weSaid[option] = true;
        break;
    case Telnet::DONT:
        if (option == Telnet::COM_PORT)
            m_comPortRefused = true;
        if (m_we[option])
            send(negotiation(Telnet::WONT, option));
        m_we[option] = false;
        break;
    case Telnet::WILL:
        if (option == Telnet::COM_PORT)
            m_comPortAgreed = true;
        if (wanted ? !m_asked[option] : (m_asked[option] || !m_askedSaid[option]))
            send(negotiation(wanted ? Telnet::DO : Telnet::DONT, option));
        m_asked[option] = wanted;
        m_askedSaid[option] = true;
        break;
    case Telnet::WONT:
        if (m_asked[option])
            send(negotiation(Telnet::DONT, option));
        m_asked[option] = false;
        break;
    }
}

void Reader::subCommand(const QByteArray &sub)
{
    if (sub.size() < 2 || quint8(sub[0]) != Telnet::COM_PORT)
        return;
    // Acknowledgements of our settings are not waited for: servers differ in which
    // they send at all.
    if (quint8(sub[1]) != ComPort::ServerOffset + ComPort::NOTIFY_MODEMSTATE || sub.size() < 3)
        return;
    if (modemState)
        modemState((quint8(sub[2]) & ComPort::CTS_STATE) != 0);
}

} // namespace Rfc2217
