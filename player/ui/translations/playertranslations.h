#pragma once

// Makes the player's window Russian throughout, whatever the locale (C
// included), as all its own texts are: Qt's own dialogs and buttons
// (Debian's qtbase_ru.qm) and the English captions the design passes
// through tr() ("Open file", "Export file" ...; the program's velmora_ru.qm,
// built in). Call once after the application object exists; the
// translators live as long as the application. Returns whether Qt's own
// translation was found.
bool installPlayerTranslations();
