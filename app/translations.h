#pragma once

class QLocale;
class QTranslator;

namespace app {

// Installs the translation of the player's own texts for `locale` (the user's locale at
// start-up) and returns it, owned by the application; nullptr where there is none, and the
// texts stay in English.
QTranslator *installTranslations(const QLocale &locale);

} // namespace app
