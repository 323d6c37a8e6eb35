#pragma once

#include <QString>

// Indexes a finished download with index-file writing switched off and
// writes its index cache (the recording's path + ".IND") beside it; whether
// the cache was written. Runs to the end in the calling thread (any thread).
bool writeDownloadIndexCache(const QString &recordingPath);
