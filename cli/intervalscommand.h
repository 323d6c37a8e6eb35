#pragma once

#include <QStringList>

// velmora-cli intervals FILE --gap SECONDS [--channels ID,ID,...] [--json]
// Lists the merged activity intervals of the chosen streams (default: every
// stream with frames) with the player's group interval reader: gaps shorter
// than SECONDS join frames and streams into one interval. JSON: a list of
// {"begin_ms", "duration_ms", "names"} in output order. Returns the exit
// status: 0 ok, 1 unreadable input, 2 bad usage.
int runIntervalsCommand(const QStringList &arguments);
