#pragma once
// The Telnet COM-PORT-OPTION (RFC 2217) as a client speaks it: the bytes of its commands and
// a reader that takes Telnet apart from what a server sends. No sockets here.
#include "settings/LineSettings.h"

#include <QByteArray>

#include <functional>

namespace Rfc2217
{

// Telnet (RFC 854) and its COM-PORT-OPTION (RFC 2217).
namespace Telnet
{
constexpr quint8 IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr quint8 BINARY = 0, ECHO_ = 1, SGA = 3, COM_PORT = 44;
} // namespace Telnet

namespace ComPort
{
constexpr quint8 SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                 SET_CONTROL = 5, SET_MODEMSTATE_MASK = 11, PURGE_DATA = 12;
// A server's answer carries the client's code plus this.
constexpr quint8 ServerOffset = 100;
constexpr quint8 NOTIFY_MODEMSTATE = 7;
constexpr quint8 CTS_STATE = 0x10, CTS_DELTA = 0x01;
constexpr quint8 CONTROL_NO_FLOW = 1, CONTROL_HARDWARE = 3, CONTROL_DTR_OFF = 9,
                 CONTROL_RTS_OFF = 12;
constexpr quint8 PURGE_BOTH = 3;
} // namespace ComPort

// Data as it goes on the wire: every 0xFF doubled.
QByteArray escapeIac(const QByteArray &bytes);
QByteArray subnegotiation(quint8 command, const QByteArray &value);
QByteArray negotiation(quint8 verb, quint8 option);
// True when the first `sent` wire bytes end between the two bytes of an escaped 0xFF.
bool endsMidPair(const QByteArray &wire, qint64 sent);
// What a client says first: BINARY both ways and COM-PORT-OPTION.
QByteArray opening();
// The commands that set a port to these settings and ask for CTS notices.
QByteArray settingsCommands(const LineSettings &s);
QByteArray purgeBoth();

// Takes Telnet apart from what a server sends (a command may be split across reads),
// answers its negotiation through `reply` and reports CTS from its modem-state notices.
class Reader
{
public:
    std::function<void(const QByteArray &)> reply;
    std::function<void(bool cts)> modemState;

    // After opening() went out.
    void noteOpening();
    // The data bytes among `bytes`.
    QByteArray unwrap(const QByteArray &bytes);
    bool comPortAgreed() const { return m_comPortAgreed; }
    bool comPortRefused() const { return m_comPortRefused; }

private:
    void answer(quint8 verb, quint8 option);
    void subCommand(const QByteArray &sub);
    void send(const QByteArray &bytes)
    {
        if (reply)
            reply(bytes);
    }

    enum class State { Data, Iac, Option, Sub, SubIac };
    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_we[256] = {};
    bool m_weSaid[256] = {};
    bool m_asked[256] = {};
    bool m_askedSaid[256] = {};
    bool m_comPortAgreed = false;
    bool m_comPortRefused = false;
};

} // namespace Rfc2217
