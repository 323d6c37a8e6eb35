#pragma once

#include "recording/streamdescriptor.h"

#include <QList>
#include <QStringList>

class TestRecording;

// The recording both sound tests play, from `startMs` on: 1 s of a 500 Hz
// tone in A-law (stream 1), 1 s of a 1000 Hz tone in G.726-32 from 500 ms
// (stream 2), 600 ms of TETRA speech at 3500 ms (stream 3) and text events
// at 200 and 3600 ms (stream 4). `audioNames` describe streams 1 to 3.
// Returns the streams as indexed.
QList<StreamDescriptor> writeMixedRecording(TestRecording &recording, quint32 startMs, const QStringList &audioNames);
