#pragma once

#include <QString>

class RecordingIndexer;

// The playing time of a downloaded recording, as the downloaded-file list
// shows it: the sum over its audio streams of the time their payload bytes
// last (each frame's 6 header bytes left out), at 8000 Hz where an
// encoding names no rate.
struct RecordingDuration
{
    double ms = 0.0;          // 0 for a recording without audio or one that cannot be read
    bool fromCache = false;   // taken from the recording's index cache
};

// The audio time of an indexed (or cache-loaded) recording, ms.
double audioDurationMs(const RecordingIndexer &indexer);

// Reads the recording's index cache (path + ".IND") when it is readable and
// was made from a file of the recording's present size; otherwise indexes
// the recording (index files off) and writes the cache anew, silently
// leaving it out when it cannot be written. A damaged recording gives 0.
// Runs to the end in the calling thread (any thread; reentrant).
RecordingDuration recordingDuration(const QString &recordingPath);
