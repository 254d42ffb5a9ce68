#include "app/translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace app {

QTranslator *installTranslations(const QLocale &locale)
{
    // Tries player_<language>_<territory>, then player_<language>, for each of the locale's
    // user-interface languages.
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(
            locale, QStringLiteral("player"), QStringLiteral("_"), QStringLiteral(":/translations"))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

} // namespace app
