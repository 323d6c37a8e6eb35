#pragma once

#include <QStringList>

// drovane-cli fetch URL NAME DEST [--resume] [--options TEXT]: downloads one
// file of the device into the folder DEST (from the local copy's size on
// with --resume), indexes it and writes its cache. Returns the exit status:
// 0 ok, 1 the device or the file failed, 2 bad usage.
int runDrovaneFetchCommand(const QStringList &arguments);
