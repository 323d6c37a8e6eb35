#pragma once

#include <QStringList>

// velmora-cli decode --encoding ENC IN OUT: decodes a file of raw coded bytes
// as one continuous stream and writes signed 16-bit little-endian samples.
// Returns the exit status (0 ok, 1 unknown encoding or file error, 2 usage).
int runDecodeCommand(const QStringList &arguments);
