#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QString QtTranslations::localeOf(const QString &languageName)
{
    if (languageName == QStringLiteral("繁體中文"))
        return QStringLiteral("zh_TW");
    if (languageName == QStringLiteral("简体中文"))
        return QStringLiteral("zh_CN");
    return QString();
}

bool QtTranslations::apply(const QString &languageName)
{
    static QTranslator *installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    const QString locale = localeOf(languageName);
    if (locale.isEmpty())
        return true;
    auto *translator = new QTranslator;
    if (!translator->load(QStringLiteral("qtbase_") + locale,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}
