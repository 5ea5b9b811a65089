#pragma once
// CPU a running process has used, read from /proc, for benchmarks that time a whole program.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

// utime + stime of a running process, in seconds; -1 when it cannot be read.
inline double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold blanks, in brackets.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return -1;
    return (f[11].toLongLong() + f[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}
