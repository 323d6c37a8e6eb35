#include "recordingduration.h"

#include "codecs/audiocodec.h"
#include "recording/indexcache.h"
#include "recording/rawstream.h"
#include "recording/recordingindexer.h"

#include <QFileInfo>

namespace {

constexpr int kDefaultRate = 8000; // Hz, when an encoding names no rate
const QString kAudioType = QStringLiteral("audio");

// The cache holds the size as 32 bits; so is it compared.
bool cacheMatches(const RecordingIndexer &indexer, const QString &recordingPath)
{
    return qint32(indexer.fileSize()) == qint32(QFileInfo(recordingPath).size());
}

} // namespace

double audioDurationMs(const RecordingIndexer &indexer)
{
    double total = 0.0;
    for (int i = 0; i < indexer.streamCount(); ++i) {
        int frames = 0, length = 0;
        const StreamDescriptor descriptor = indexer.descriptor(i, &frames, &length);
        if (descriptor.value(QStringLiteral("TYPE")) != kAudioType)
            continue;
        const int payload = RawFormat::payloadBytes(frames, length);
        if (payload > 0)
            total += encodedDuration(descriptor.value(QStringLiteral("ENCODING")), payload, kDefaultRate);
    }
    return total;
}

RecordingDuration recordingDuration(const QString &recordingPath)
{
    RecordingDuration result;
    const QString cachePath = cachePathFor(recordingPath);
    {
        RecordingIndexer cached;
        if (loadCache(cached, cachePath) && cacheMatches(cached, recordingPath)) {
            result.ms = audioDurationMs(cached);
            result.fromCache = true;
            return result;
        }
    }
    RecordingIndexer indexer;
    indexer.setWriteIndexFiles(false);
    if (!indexer.open(recordingPath) || indexer.start() != 0)
        return result;
    while (indexer.state() != RecordingIndexer::Idle)
        indexer.step();
    indexer.closeFiles();
    if (!indexer.errorString().isEmpty())
        return result;
    result.ms = audioDurationMs(indexer);
    saveCache(indexer, cachePath);
    return result;
}
