#include "downloadindexing.h"

#include "indexcache.h"
#include "recordingindexer.h"

void writeDownloadIndexCache(const QString &recordingPath)
{
    RecordingIndexer indexer;
    indexer.setWriteIndexFiles(false);
    if (!indexer.open(recordingPath))
        return;
    indexer.start();
    while (indexer.state() != RecordingIndexer::Idle)
        indexer.step();
    indexer.closeFiles();
    saveCache(indexer, cachePathFor(recordingPath));
}
