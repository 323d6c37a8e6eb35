#pragma once

#include <QString>

class RecordingIndexer;

// The index cache of a recording F is the file F + ".IND" beside it: one
// big-endian QDataStream serialisation of the indexer's finished state, so a
// recording's sections and stream totals are known without re-reading it.

// The cache path of a recording.
QString cachePathFor(const QString &recordingPath);
// True for names that denote a cache (they contain ".IND"), never a recording.
bool isCacheFileName(const QString &fileName);

// Writes the indexer's state to path, replacing it whole (through a
// temporary file, so a failed write leaves the previous cache). Returns
// whether the cache was written; nothing is written for an empty path.
bool saveCache(const RecordingIndexer &indexer, const QString &path);

// Replaces the indexer's state by the cache's. Returns false, leaving the
// indexer untouched, when the file cannot be read or is truncated or corrupt.
// After a load the indexer is idle, with no raw file and no index files.
bool loadCache(RecordingIndexer &indexer, const QString &path);
