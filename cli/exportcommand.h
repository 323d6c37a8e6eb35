#pragma once

#include <QStringList>

// velmora-cli export FILE OUT.wav [--begin MS] [--duration MS]
//     [--with-pauses] [--channels ID,ID,...] [--rate HZ]
// Exports the mixed audio streams of a time range to a 16-bit mono WAV
// file through the player's export thread. Defaults: begin 0, duration
// 4294967295 (the whole recording), silences left out, every audio stream
// with frames, the rate the channel dialog yields (8000 when none is
// named). Returns the exit status: 0 ok, 1 unreadable input or output not
// written, 2 bad usage.
int runExportCommand(const QStringList &arguments);
