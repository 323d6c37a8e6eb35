#pragma once

#include <QStringList>

// drovane-cli status FILE: prints the devices' health from the status file
// serve --status keeps, one row per device (name, state, since, last
// success, failures in a row, files behind, bytes today, last error).
// Returns the exit status: 0 every device ok, 1 any device not ok (or none
// listed), 2 bad usage or a file that is not a status file.
int runDrovaneStatusCommand(const QStringList &arguments);
