#pragma once

// Installs Debian's translation of Qt's own texts (qtbase_ru.qm for "ru")
// for the whole application, so that Qt's dialogs and buttons speak the
// programs' language whatever the locale. Call once after the application
// object exists; the translator lives as long as the application. Returns
// whether the translation was found.
bool installQtBaseTranslation(const char *language);
