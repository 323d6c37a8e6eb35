#pragma once

#include <QString>

// Texts from devices, listings, settings files and the monitoring database
// are shown (log, windows, standard output) with every control character
// but the tab written as a visible escape "\xNN" (C0, DEL, C1), so that no
// such text can move a terminal's cursor, change its colours or hide what
// follows it.
QString visibleText(const QString &text);
