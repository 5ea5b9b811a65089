#pragma once
// What the command-line tool prints on stderr. Messages are written whole; progress is
// rate-limited and dropped rather than waited for, so a stderr that nobody reads (a full
// pipe, a terminal stopped with Ctrl-S) never holds up a transfer or grows memory.
#include <QElapsedTimer>
#include <QString>

namespace CliOutput
{

// One message line (a newline is added), blocking.
void say(const QString &text);

class Progress
{
public:
    // At most this many updates a second on a terminal; a file or pipe gets whole lines, at
    // most one a second, since overwriting with CR only runs together there.
    static constexpr int PerSecond = 10;
    static constexpr int PlainIntervalMs = 1000;

    Progress();
    // Shows text on the progress line when the last update is old enough and stderr
    // can take it now; otherwise drops it.
    void update(const QString &text, bool force = false);
    // Ends the progress line so that a message can follow.
    void finish();

private:
    QElapsedTimer m_since;
    bool m_shown = false;
    bool m_first = true;
    bool m_terminal = false;
};

} // namespace CliOutput
