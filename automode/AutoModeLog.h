#pragma once
// The auto mode's transfer log of one port setting: "log/<name>.txt" in the data folder, one
// line per event in the NC code page with CR LF. Each line reaches the disk as it is logged,
// so a crash or a power cut loses no more than the line being written; closing the window
// rewrites the file from its list.
#include "automode/SendListEntry.h"

#include <QString>
#include <QStringList>

namespace AutoMode
{

class AutoModeLog
{
public:
    explicit AutoModeLog(const QString &path) : m_path(path) {}
    // log/<port setting name>.txt in folder.
    static QString pathFor(const QString &folder, const QString &settingName);
    // A line for something that went wrong outside a request:
    // "ERROR yyyy-mm-dd hh:nn:ss <text>".
    static QString problemLine(const QString &text, const QDateTime &when);
    // The same with another status ("SUCCESS" for a line that is back).
    static QString noteLine(const QString &status, const QString &text, const QDateTime &when);

    QString path() const { return m_path; }
    // The lines of the file; empty when there is none.
    QStringList load(QString *error = nullptr) const;
    // Adds one line at the end of the file (creating the folder); false with *error.
    bool append(const QString &line, QString *error = nullptr) const;
    // Replaces the file with lines.
    bool rewrite(const QStringList &lines, QString *error = nullptr) const;

private:
    QString m_path;
};

} // namespace AutoMode
