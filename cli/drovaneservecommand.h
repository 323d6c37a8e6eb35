#pragma once

#include <QStringList>

// drovane-cli serve [SETTINGS.xml ...] [--log-dir DIR] [--ini FILE]
// [--status FILE] [--shard K/N]: runs
// every device of the settings files as the desktop server does, without a
// window, until SIGINT or SIGTERM; with --ini, whose "Pellux/Usage" is on,
// also the stations of the monitoring database; then lets the files in progress finish
// and exits (a second signal ends at once). The log goes to a file named by
// the start time in DIR, or to standard output. With --status, every
// device's health is kept in FILE (StatusFile), rewritten as it changes.
// With --shard K/N this collector runs the stations whose address modulo N
// is K, and the devices of the settings files whose position modulo N is K.
// Returns the exit status: 0 stopped by a signal, 1 a file could not be
// opened or no device runs, 2 bad usage.
int runDrovaneServeCommand(const QStringList &arguments);
