#pragma once
// Small fixtures shared by the tests: files written into temporary folders.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Writes name into dir and returns its path; a fixture that cannot be written ends the test
// program, since every later check would be meaningless.
inline QString fixture(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    if (!writeFile(path, bytes))
        qFatal("cannot write fixture %s", qPrintable(path));
    return path;
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
