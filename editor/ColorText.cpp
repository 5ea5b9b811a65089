#include "editor/ColorText.h"

namespace
{

struct Named {
    const char *name;
    quint32 bgr;
};

// Values as 0x00BBGGRR.
const Named table[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080},     {"clGreen", 0x008000},
    {"clOlive", 0x008080}, {"clNavy", 0x800000},       {"clPurple", 0x800080},
    {"clTeal", 0x808000},  {"clGray", 0x808080},       {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},   {"clLime", 0x00FF00},       {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},  {"clFuchsia", 0xFF00FF},    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF}, {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
};

const char *const defaultPairs[] = {"clBlack",  "clMaroon", "clGreen", "clOlive",  "clNavy",
                                    "clPurple", "clTeal",   "clGray",  "clSilver", "clRed",
                                    "clLime",   "clYellow", "clBlue"};

} // namespace

namespace ColorText
{

QString write(quint32 bgr)
{
    bgr &= 0xFFFFFF;
    for (const Named &n : table)
        if (n.bgr == bgr)
            return QString::fromLatin1(n.name);
    return u'$' + QStringLiteral("%1").arg(bgr, 8, 16, QLatin1Char('0')).toUpper();
}

bool read(const QString &text, quint32 *bgr)
{
    const QString t = text.trimmed();
    *bgr = 0;
    for (const Named &n : table) {
        if (t.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) {
            *bgr = n.bgr;
            return true;
        }
    }
    bool ok = false;
    qulonglong value = 0;
    if (t.startsWith(u'$'))
        value = t.mid(1).toULongLong(&ok, 16);
    else
        value = t.toULongLong(&ok, 10);
    // Only the three colour bytes count; a system colour number (high byte set) is not one.
    if (!ok || value > 0xFFFFFF)
        return false;
    *bgr = quint32(value);
    return true;
}

QColor toColor(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

quint32 fromColor(const QColor &color)
{
    const QColor c = color.toRgb();
    return quint32(c.red()) | quint32(c.green()) << 8 | quint32(c.blue()) << 16;
}

QStringList defaultLetterColors()
{
    QStringList list;
    for (const char *name : defaultPairs)
        list << QString::fromLatin1(name) << QString::fromLatin1(name);
    return list;
}

QList<QColor> letterColors(const QStringList &texts)
{
    const QStringList defaults = defaultLetterColors();
    QList<QColor> colors;
    for (int i = 0; i < LetterCount; ++i) {
        quint32 bgr = 0;
        if (i >= texts.size() || !read(texts.at(i), &bgr))
            read(defaults.at(i), &bgr);
        colors << toColor(bgr);
    }
    return colors;
}

} // namespace ColorText
