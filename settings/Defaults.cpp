#include "settings/Defaults.h"

#include "settings/CommaText.h"
#include "settings/PortSetting.h"

#include <QDir>
#include <QLocale>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace Defaults
{
namespace
{

int right(const QRect &area)
{
    return area.x() + area.width();
}
int bottom(const QRect &area)
{
    return area.y() + area.height();
}

QString numbers(std::initializer_list<int> values)
{
    QStringList texts;
    for (int v : values)
        texts << QString::number(v);
    return texts.join(u',');
}

} // namespace

QString rootFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    return QDir::toNativeSeparators(QDir::homePath());
#endif
}

QString workFolder()
{
    return PortSetting::defaultWorkFolder();
}

QString languageNameForId(int languageId)
{
    switch (languageId) {
    case 0x0404:
        return QStringLiteral("繁體中文");
    case 0x0804:
        return QStringLiteral("简体中文");
    default:
        return QStringLiteral("English");
    }
}

QString userLanguageName()
{
#ifdef Q_OS_WIN
    return languageNameForId(GetUserDefaultUILanguage());
#else
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::Chinese) {
        if (locale.territory() == QLocale::Taiwan)
            return languageNameForId(0x0404);
        if (locale.territory() == QLocale::China)
            return languageNameForId(0x0804);
    }
    return languageNameForId(0x0409);
#endif
}

QStringList mainWindowList(const QRect &workArea)
{
    return {rootFolder(), QStringLiteral("*.nc,*.cnc,*.txt,*.dat,*.tap,*.*"),
            QStringLiteral("*.nc"), QStringLiteral("12"), mainWindowSize(workArea)};
}

QString mainWindowSize(const QRect &workArea)
{
    const int w = right(workArea) / 10 * 8;
    const int h = bottom(workArea) / 10 * 8;
    const int c = FileColumnWidth;
    return numbers({w, h, w / 10 * 3, h / 10 * 4, w / 10 * 4, w / 10 * 3, c, c, c, c, c});
}

QStringList generalSettingsList(const QString &languageName)
{
    return {QStringLiteral("0"),
            languageName,
            QString(),
            QStringLiteral("16"),
            QString(),
            QStringLiteral("9997"),
            QStringLiteral("9999"),
            QStringLiteral("P"),
            QStringLiteral("F"),
            CommaText::write({workFolder()}),
            QStringLiteral("F01"),
            generalSettingsSize()};
}

QStringList generalSettingsButtonList(const QString &languageName)
{
    QStringList values = generalSettingsList(languageName);
    values.removeLast();
    values[0] = QStringLiteral("240");
    values[7] = QStringLiteral("Y");
    return values;
}

QString generalSettingsSize()
{
    return QStringLiteral("600,550");
}

QStringList portSettingsList(const QRect &workArea)
{
    return {PortSetting::defaultLine(), portSettingsSize(workArea)};
}

QString portSettingsSize(const QRect &workArea)
{
    return numbers({right(workArea) / 10 * 6, bottom(workArea) / 10 * 5, 81, 81, 81, 81, 81, 81, 81,
                    81, 81, 81});
}

QStringList editorList(const QRect &workArea)
{
    return {QStringLiteral("12"), QStringLiteral("7"), editorColors(), editorSize(workArea)};
}

QString editorSize(const QRect &workArea)
{
    return numbers({right(workArea) / 10 * 4, bottom(workArea) / 10 * 6});
}

QString editorColors()
{
    static const char *const names[] = {"clBlack",  "clMaroon", "clGreen", "clOlive",  "clNavy",
                                        "clPurple", "clTeal",   "clGray",  "clSilver", "clRed",
                                        "clLime",   "clYellow", "clBlue"};
    QStringList colors;
    for (const char *name : names)
        colors << QString::fromLatin1(name) << QString::fromLatin1(name);
    return colors.join(u',');
}

QString autoModeSize(const QRect &workArea)
{
    const int w = right(workArea) / 10 * 5;
    const int h = bottom(workArea) / 10 * 6;
    return numbers({w, h, h / 2, w / 2});
}

} // namespace Defaults
