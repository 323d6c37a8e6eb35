#pragma once

#include <QStringList>

// drovane-cli list URL [--options TEXT] [--json]: fetches a device's file
// list and prints its entries and the lines that did not parse. Returns the
// exit status: 0 ok, 1 the device failed, 2 bad usage.
int runDrovaneListCommand(const QStringList &arguments);
