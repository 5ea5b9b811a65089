#pragma once
// What every fuzz target shares: a Qt application object, a scratch folder of its own, and
// a check that aborts (so libFuzzer keeps the input) with the reason.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace Fuzz
{

inline QTemporaryDir &scratch()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    return dir;
}

inline QString scratchPath(const QString &name)
{
    return scratch().filePath(name);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

[[noreturn]] inline void fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

inline void check(bool ok, const char *what, const QString &detail = QString())
{
    if (!ok)
        fail(what, detail);
}

} // namespace Fuzz
