// The index cache loader on a hostile ".IND" file: the input is the file.
// A refused cache must leave the indexer as it was; an accepted one must
// give an idle indexer without files whose streams the programs can query
// (descriptors, durations, decoders), and must survive a save and a second
// load unchanged.
#include "fuzz/fuzzsupport.h"

#include "codecs/audiocodec.h"
#include "recording/indexcache.h"
#include "recording/indexrecord.h"
#include "recording/recordingindexer.h"

#include <QFile>

#include <memory>

namespace {

// Rate (Hz) the programs assume for codings that name none.
constexpr int kDefaultRate = 8000;

void checkUntouched(const RecordingIndexer &indexer)
{
    FUZZ_CHECK(indexer.state() == RecordingIndexer::Idle);
    FUZZ_CHECK(indexer.streamCount() == 0);
    FUZZ_CHECK(indexer.sections().isEmpty());
    FUZZ_CHECK(indexer.fileName().isEmpty());
    FUZZ_CHECK(indexer.textCodec() == nullptr);
}

// What "info" and the stream list do with a cached stream.
void queryStream(const RecordingIndexer &indexer, int position)
{
    int frames = 0, length = 0;
    const StreamDescriptor descriptor = indexer.descriptor(position, &frames, &length);
    const QString encoding = descriptor.value(QStringLiteral("ENCODING"));
    encodedDuration(encoding, length, kDefaultRate);
    std::unique_ptr<AudioCodec> codec(createAudioCodec(encoding, kDefaultRate));
    if (codec)
        codec->durationForBytes(length);
    const StreamIndexEntry *entry = indexer.streams().at(position);
    int found = -1;
    FUZZ_CHECK(indexer.findStream(entry->id, &found) != nullptr);
    FUZZ_CHECK(found >= 0 && found <= position);
    // A loaded cache has no index files.
    FUZZ_CHECK(entry->indexFile == nullptr);
    FUZZ_CHECK(indexer.firstRecord(position).stream == -1);
    FUZZ_CHECK(indexer.lastRecord(position).stream == -1);
}

void checkRoundTrip(const RecordingIndexer &indexer)
{
    const QString path = FuzzSupport::scratchDir() + QStringLiteral("/resaved.IND");
    saveCache(indexer, path);
    RecordingIndexer again;
    FUZZ_CHECK(loadCache(again, path));
    FUZZ_CHECK(again.sections() == indexer.sections());
    FUZZ_CHECK(again.fileName() == indexer.fileName());
    FUZZ_CHECK(again.fileSize() == indexer.fileSize());
    FUZZ_CHECK(again.indexPrefix() == indexer.indexPrefix());
    FUZZ_CHECK(again.textCodec() == indexer.textCodec());
    FUZZ_CHECK(again.writeIndexFiles() == indexer.writeIndexFiles());
    FUZZ_CHECK(again.streamCount() == indexer.streamCount());
    for (int i = 0; i < indexer.streamCount(); ++i) {
        int frames = 0, length = 0, againFrames = 0, againLength = 0;
        FUZZ_CHECK(again.descriptor(i, &againFrames, &againLength) == indexer.descriptor(i, &frames, &length));
        FUZZ_CHECK(againFrames == frames && againLength == length);
        FUZZ_CHECK(again.streams().at(i)->id == indexer.streams().at(i)->id);
    }
    QFile::remove(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("input.rec.IND"), FuzzSupport::bytesOf(data, size));

    RecordingIndexer indexer;
    if (!loadCache(indexer, path)) {
        checkUntouched(indexer);
        return 0;
    }
    FUZZ_CHECK(indexer.state() == RecordingIndexer::Idle);
    FUZZ_CHECK(indexer.progress() == 0);
    for (int i = 0; i < indexer.streamCount(); ++i)
        queryStream(indexer, i);
    indexer.markAllLevels(defaultActivityThresholds());
    checkRoundTrip(indexer);
    return 0;
}
