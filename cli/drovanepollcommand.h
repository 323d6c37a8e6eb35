#pragma once

#include <QStringList>

// drovane-cli poll URL DEST [--period MINUTES] [--options TEXT] [--cycles N]:
// runs one device's scheduler and downloader as the server does, printing
// every downloader event as a line on stdout. Stops after N polling cycles
// when given, or on SIGINT/SIGTERM once the file in progress is finished (a
// second signal stops at once). MINUTES may have a fraction (default 1).
// Returns the exit status: 0 ok, 2 bad usage.
int runDrovanePollCommand(const QStringList &arguments);
