#pragma once
// Restarting an NC program in its middle, after a broken tool: the program from a block
// (N-number) or from the first call of a tool, behind a short header that sets the control
// back into the state the skipped part left it in. The header holds only words found in the
// skipped part: nothing the program does not say is invented.
#include <QString>
#include <QStringList>

namespace ProgramRestart
{

struct Point {
    enum Kind { Block, Tool };
    Kind kind = Block;
    int number = -1;
    QString text; // as the user wrote it, upper case: "N1500", "T5"

    bool isValid() const { return number >= 0; }
};

// "N1500", "n1500", "T5", "T05" (blanks around allowed); an invalid Point otherwise.
Point Parse(const QString &text);

// The tool a T word calls: "T5" and "T05" call 5, a four-digit "T0505" (tool and offset on a
// lathe) calls 5 as well.
int ToolOf(const QString &digits);

struct Result {
    bool found = false;
    QString text;       // the program to send: its head, the restart header, the rest
    int lineNumber{};   // 1-based line of the restart block in the original
    QStringList header; // the header lines, for the log and the tests
};

// program: the whole text as read (line ends kept). The head is everything up to and
// including the program line ("O..." or ":..."), or the leading "%" line when there is none.
Result Apply(const QString &program, const Point &at);

// A program file's bytes (NC code page, up to its first Ctrl-Z) from the point; false with
// *why when the point is not valid or the program does not have it.
bool FromPoint(const QString &point, const QByteArray &content, QByteArray *out, QString *why);

} // namespace ProgramRestart
