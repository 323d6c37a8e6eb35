#pragma once

#include <QStringList>

// drovane-cli serve SETTINGS.xml [SETTINGS.xml ...] [--log-dir DIR]: runs
// every device of the settings files as the desktop server does, without a
// window, until SIGINT or SIGTERM; then lets the files in progress finish
// and exits (a second signal ends at once). The log goes to a file named by
// the start time in DIR, or to standard output.
// Returns the exit status: 0 stopped by a signal, 1 a file could not be
// opened or no device runs, 2 bad usage.
int runDrovaneServeCommand(const QStringList &arguments);
