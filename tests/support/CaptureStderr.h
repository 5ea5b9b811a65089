#pragma once
// Runs a command function with the process's stderr caught, as a user would see it.
#include <QString>
#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <unistd.h>

inline int runCapturingStderr(const std::function<int()> &command, QString *err)
{
    QTemporaryFile capture;
    if (!capture.open())
        return -100;
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(capture.handle(), 2);
    const int code = command();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    capture.seek(0);
    *err = QString::fromLocal8Bit(capture.readAll());
    return code;
}
