#pragma once

#include <QStringList>

// velmora-cli search FILE [TEXT] [--json]
// Walks every text stream of a recording in time order with the player's
// group search reader and lists the frames whose text contains TEXT
// (case-insensitive; no TEXT lists all). JSON: a list of {"time_ms",
// "text"}. Returns the exit status: 0 ok, 1 unreadable input, 2 bad usage.
int runSearchCommand(const QStringList &arguments);
