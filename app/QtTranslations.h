#pragma once
// Qt's own texts (file and folder choosers, message box buttons) in the language of the
// pack in use, from Qt's translations installed on the system.
#include <QString>

namespace QtTranslations
{
// The Qt locale a pack name stands for ("繁體中文" → "zh_TW"); empty when Qt's English is
// right for it.
QString localeOf(const QString &languageName);
// Installs the translation for the pack, replacing the one installed before. False when
// one was wanted but is not installed (the texts then stay English).
bool apply(const QString &languageName);
} // namespace QtTranslations
