#pragma once
// Colour texts of the editor option list: a name of the colour table ("clTeal") or "$" and
// eight hexadecimal digits. Colours are held as 0x00BBGGRR, the order the option file uses.
#include <QColor>
#include <QString>
#include <QStringList>

namespace ColorText
{

constexpr int LetterCount = 26;

// The table's name for the value, else "$" + eight upper-case hexadecimal digits.
QString write(quint32 bgr);
// A table name (any letter case), "$" + hexadecimal, or a decimal number. False for any
// other text, which then reads as black.
bool read(const QString &text, quint32 *bgr);

QColor toColor(quint32 bgr);
quint32 fromColor(const QColor &color);

// The default letter colours, A first: two letters per colour.
QStringList defaultLetterColors();
// The 26 colours of a list of texts; a missing or unreadable text takes the letter's default.
QList<QColor> letterColors(const QStringList &texts);

} // namespace ColorText
