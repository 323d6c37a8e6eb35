#include "downloadindexing.h"

#include "recording/indexcache.h"
#include "recording/recordingindexer.h"

bool writeDownloadIndexCache(const QString &recordingPath)
{
    RecordingIndexer indexer;
    indexer.setWriteIndexFiles(false);
    if (!indexer.open(recordingPath))
        return false;
    indexer.start();
    while (indexer.state() != RecordingIndexer::Idle)
        indexer.step();
    indexer.closeFiles();
    return saveCache(indexer, cachePathFor(recordingPath));
}
