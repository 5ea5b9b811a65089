#include "tools/OptionRecords.h"

#include "settings/PortSetting.h"
#include "settings/TextFile.h"

#include <QDir>
#include <QStringList>

bool OptionRecords::recordNamed(const QString &optionsPath, const QString &name, QString *record,
                                QString *error)
{
    QStringList lines;
    QString why;
    if (!TextFile::readLines(optionsPath, &lines, &why)) {
        *error = QStringLiteral("the options file %1").arg(why);
        return false;
    }
    const QString shown = QDir::toNativeSeparators(optionsPath);
    const int at = TextFile::indexOfLine(lines, QStringLiteral("[Transfer]"));
    if (at < 0) {
        *error = QStringLiteral("the options file \"%1\" has no [Transfer] section").arg(shown);
        return false;
    }
    QStringList names;
    for (int i = at + 1; i < lines.size() && !lines.at(i).startsWith(u'['); ++i) {
        if (lines.at(i).trimmed().isEmpty())
            continue;
        const QString first = PortSetting::split(lines.at(i)).value(PortSetting::Name);
        if (first == name) {
            *record = lines.at(i);
            return true;
        }
        names << QLatin1Char('"') + first + QLatin1Char('"');
    }
    *error = QStringLiteral("the options file \"%1\" has no port setting named \"%2\"%3")
                 .arg(shown, name,
                      names.isEmpty()
                          ? QStringLiteral(" (it has none)")
                          : QStringLiteral("; it has %1").arg(names.join(QStringLiteral(", "))));
    return false;
}

bool OptionRecords::allRecords(const QString &optionsPath, QStringList *records, QString *error)
{
    QStringList lines;
    QString why;
    if (!TextFile::readLines(optionsPath, &lines, &why)) {
        *error = QStringLiteral("the options file %1").arg(why);
        return false;
    }
    const int at = TextFile::indexOfLine(lines, QStringLiteral("[Transfer]"));
    if (at < 0) {
        *error = QStringLiteral("the options file \"%1\" has no [Transfer] section")
                     .arg(QDir::toNativeSeparators(optionsPath));
        return false;
    }
    records->clear();
    for (int i = at + 1; i < lines.size() && !lines.at(i).startsWith(u'['); ++i)
        if (!lines.at(i).trimmed().isEmpty())
            *records << lines.at(i);
    return true;
}
