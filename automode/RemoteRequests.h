#pragma once
// What a machine can ask for beyond a file by its exact name: several files by wildcard, a
// listing of a folder, and a comparison of the program it holds with the stored one. Pure
// helpers over a folder and text; the request protocol decides when they apply.
#include <QString>
#include <QStringList>

namespace AutoMode
{

// More matches than this are refused, not sent: a control's memory is small.
constexpr int MaxWildcardMatches = 20;
// Comment lines of a listing; the last says how many were left out.
constexpr int MaxListingLines = 200;

// The exact code lines of the forms: bracketed, case as written.
inline constexpr char ListLine[] = "(LIST)";
inline constexpr char CompareLine[] = "(C)";
// "(R=N1500)": the restart point of the name line before it, or empty.
QString RestartOf(const QString &line);

bool IsWildcard(const QString &name);
// File names (extension included) in folder whose name without extension matches
// pattern ("*" any run, "?" one character, never "/" since names hold none), in name order.
// The extension ("*.nc" gives ".nc") must match as written.
QStringList MatchingFiles(const QString &folder, const QString &pattern, const QString &extension);

// Text a control takes inside a comment: upper case; letters, digits, blank, ".", "-", "/"
// kept, everything else "-".
QString IsoComment(const QString &text);

// The comment lines (without brackets) of a listing of files (whole paths): "NAME SIZE
// YYYY-MM-DD" each, the name without extension, at most MaxListingLines, the last then
// "n MORE NOT LISTED".
QStringList ListingLines(const QStringList &paths, const QString &extension);

// The lines of a stored file, whatever its line ends (CR LF or LF), up to its first Ctrl-Z.
QStringList TextLines(const QString &text);

// A returned program against the stored one. Lines that only steer where a program goes
// (path and folder code lines in brackets, the compare line) and line ends do not count.
struct Comparison {
    bool identical = false;
    int storedLine = 0; // 1-based line of the stored file where they part
    QString storedText; // that line, empty when the stored program ended first
};
Comparison CompareLines(const QStringList &returned, const QStringList &stored,
                        const QString &pathCode, const QString &folderCode);

} // namespace AutoMode
