#pragma once
// The one-line list form in which NCFerry stores lists of texts.
#include <QString>
#include <QStringList>

namespace CommaText
{

// Items joined by ","; items with a blank, control character, "," or '"' are quoted.
QString write(const QStringList &items);

// Unquoted blanks separate items like ","; a trailing "," adds an empty item.
QStringList read(const QString &text);

} // namespace CommaText
