#pragma once

#include <QStringList>

// velmora-cli info FILE [--json]: indexes a recording and prints its sections
// and streams. Returns the process exit status (0 ok, 1 unreadable input,
// 2 bad usage).
int runInfoCommand(const QStringList &arguments);
