// The indexer over a hostile recording: the input is the raw file. Indexes
// it to the end, marks the activity levels and then checks what every
// reader of the index relies on: each stream's index file holds one record
// per counted frame, every record points at an intact data frame of its
// stream in the raw file, the level marks of each level pair up into
// intervals, and the index cache written from the result loads back equal.
#include "fuzz/fuzzsupport.h"

#include "recording/indexcache.h"
#include "recording/indexrecord.h"
#include "recording/recordingindexer.h"

#include <QFile>

#include <cstdio>
#include <memory>

namespace {

struct FileCloser
{
    void operator()(FILE *file) const { fclose(file); }
};
using FilePointer = std::unique_ptr<FILE, FileCloser>;

bool sameRecord(const IndexRecord &a, const IndexRecord &b)
{
    return a.offset == b.offset && a.length == b.length && a.time == b.time && a.stream == b.stream
        && a.startLevel == b.startLevel && a.endLevel == b.endLevel;
}

// Scanning a stream's records in file order, the marks of one level open
// and close intervals in turn (a one-frame interval has both marks), and
// the last interval is closed.
void checkLevelPairs(const RecordingIndexer &indexer, int position, int frames, int levels)
{
    for (int level = 1; level <= levels; ++level) {
        bool inside = false;
        for (int n = 0; n < frames; ++n) {
            const IndexRecord r = indexer.firstRecord(position, n);
            if (r.startLevel >= level) {
                FUZZ_CHECK(!inside);
                inside = true;
            }
            if (r.endLevel >= level) {
                FUZZ_CHECK(inside);
                inside = false;
            }
        }
        FUZZ_CHECK(!inside);
    }
}

void checkStream(const RecordingIndexer &indexer, int position, FILE *raw, int levels)
{
    const StreamIndexEntry *entry = indexer.streams().at(position);
    if (!entry->indexFile)
        return;
    const int frames = entry->frameCount;
    FUZZ_CHECK(frames >= 0);
    FUZZ_CHECK(indexer.firstRecord(position, frames).stream == -1);
    if (frames == 0) {
        FUZZ_CHECK(indexer.lastRecord(position).stream == -1);
        return;
    }
    FUZZ_CHECK(sameRecord(indexer.firstRecord(position, frames - 1), indexer.lastRecord(position)));
    qint64 total = 0;
    for (int n = 0; n < frames; ++n) {
        const IndexRecord r = indexer.firstRecord(position, n);
        FUZZ_CHECK(r.stream >= 0 && quint32(r.stream) == entry->id);
        FUZZ_CHECK(validateRecord(raw, r));
        total += r.length;
    }
    FUZZ_CHECK(total == entry->totalLength);
    checkLevelPairs(indexer, position, frames, levels);
}

void checkCacheRoundTrip(const RecordingIndexer &indexer)
{
    const QString cachePath = cachePathFor(FuzzSupport::scratchDir() + QStringLiteral("/indexer.rec"));
    saveCache(indexer, cachePath);
    RecordingIndexer loaded;
    FUZZ_CHECK(loadCache(loaded, cachePath));
    FUZZ_CHECK(loaded.sections() == indexer.sections());
    FUZZ_CHECK(loaded.fileName() == indexer.fileName());
    FUZZ_CHECK(loaded.fileSize() == indexer.fileSize());
    FUZZ_CHECK(loaded.textCodec() == indexer.textCodec());
    FUZZ_CHECK(loaded.streamCount() == indexer.streamCount());
    for (int i = 0; i < indexer.streamCount(); ++i) {
        int frames = 0, length = 0, loadedFrames = 0, loadedLength = 0;
        FUZZ_CHECK(loaded.descriptor(i, &loadedFrames, &loadedLength) == indexer.descriptor(i, &frames, &length));
        FUZZ_CHECK(loadedFrames == frames && loadedLength == length);
    }
    QFile::remove(cachePath);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("indexer.rec"), FuzzSupport::bytesOf(data, size));

    RecordingIndexer indexer;
    FUZZ_CHECK(indexer.open(path));
    FUZZ_CHECK(indexer.start() == 0);
    // Every step reads at least one byte or ends the indexing.
    size_t steps = 0;
    while (indexer.state() != RecordingIndexer::Idle) {
        indexer.step();
        FUZZ_CHECK(++steps <= size + 1);
        const double progress = indexer.progress();
        FUZZ_CHECK(progress >= 0 && progress <= 1);
    }

    const QList<int> thresholds = defaultActivityThresholds();
    indexer.markAllLevels(thresholds);
    const FilePointer raw(fopen(QFile::encodeName(path).constData(), "rb"));
    FUZZ_CHECK(raw != nullptr);
    for (int i = 0; i < indexer.streamCount(); ++i)
        checkStream(indexer, i, raw.get(), thresholds.size());
    FUZZ_CHECK(indexer.firstRecord(indexer.streamCount()).stream == -1);

    indexer.closeFiles();
    FUZZ_CHECK(indexer.state() == RecordingIndexer::Idle);
    checkCacheRoundTrip(indexer);
    return 0;
}
