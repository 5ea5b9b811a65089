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
    // At most this many updates a second.
    static constexpr int PerSecond = 10;

    Progress() { m_since.start(); }
    // Shows text on the progress line when the last update is old enough and stderr
    // can take it now; otherwise drops it.
    void update(const QString &text, bool force = false);
    // Ends the progress line so that a message can follow.
    void finish();

private:
    QElapsedTimer m_since;
    bool m_shown = false;
    bool m_first = true;
};

} // namespace CliOutput
