#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <cstdio>

// One declared stream of a recording, owned by its RecordingIndexer.
struct StreamIndexEntry
{
    quint32 id = 0;                       // "ID" of the STREAM section (0 when absent or not a number)
    QMap<QString, QString> descriptor;    // the section's pairs + "FILENAME" (+ "INDEX_FILENAME")
    FILE *indexFile = nullptr;            // index file opened "wb+", owned; null when none
    int frameCount = 0;                   // data frames of this stream
    int totalLength = 0;                  // sum of their index lengths, logical bytes (6 header bytes each included)
    QList<int> levels;                    // thresholds (ms) last used by markAllLevels
};
