#include "tools/CliArguments.h"

#include <QFile>

bool CliArguments::decode(int argc, const char *const *argv, QStringList *words, QString *error)
{
    words->clear();
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString word = QFile::decodeName(bytes);
        if (QFile::encodeName(word) != bytes) {
            QString shown;
            for (char c : bytes)
                shown += (uchar(c) < 0x20 || uchar(c) >= 0x7F)
                             ? QStringLiteral("\\x%1").arg(uint(uchar(c)), 2, 16, QLatin1Char('0'))
                             : QString(QLatin1Char(c));
            *error = QStringLiteral("\"%1\" is not valid in the system's encoding for file names "
                                    "(UTF-8); a file of that name could not be found or stored "
                                    "exactly. Rename it or use another name.")
                         .arg(shown);
            return false;
        }
        *words << word;
    }
    return true;
}
