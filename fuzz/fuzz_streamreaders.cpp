// The player's stream readers over an indexed hostile recording. The input
// is eight parameter bytes (period and damage, output rate, zoom, interval
// gap, seek time) and then the raw file. After indexing as the player does
// (and, when asked, cutting the raw file short, as a stale index finds it),
// every declared stream (up to kMaxStreams) is read as whole frames, as
// activity intervals and as timeline items, all streams are merged into one
// interval list and the audio streams are mixed period by period, from the
// start and from the seek time. Every loop is bounded, so one input costs a few
// milliseconds whatever the recording claims.
#include "fuzz/fuzzsupport.h"

#include "player/engine/audiostreaminpartshandle2.h"
#include "player/engine/framestreamhandles.h"
#include "recording/indexrecord.h"
#include "player/engine/intervalstreamhandles.h"
#include "player/engine/periodmixer.h"
#include "recording/recordingindexer.h"
#include "player/engine/scalestreamhandles.h"
#include "fuzz/scriptformats.h"

#include <QFile>

#include <memory>
#include <vector>

namespace {

constexpr int kMaxStreams = 4;
constexpr int kMaxFrames = 64;   // frames read per reader and item
constexpr int kMaxItems = 32;    // intervals or timeline items per reader
constexpr int kPeriods = 8;      // mixed periods per position
constexpr unsigned kPeriodStepMs = 20;
constexpr unsigned kPeriodChoices = 8; // periods of 20..160 ms (low 3 bits)
// The upper 5 bits of the period byte: 0 leaves the raw file alone, k cuts
// it to k/32 of its size after indexing.
constexpr int kDamageShift = 3;
constexpr int kDamageSteps = 32;
constexpr int kOutputRates[] = {8000, 11025, 16000, 44100, 48000};
// Allowed rounding when comparing interval ends (ms).
constexpr double kTimeTolerance = 1e-3;

struct Parameters
{
    unsigned periodMs;
    int damage;     // 0..31
    int outputRate;
    double scale;   // ms per pixel
    double maxGap;  // ms
    double seekTime;
};

Parameters readParameters(FuzzSupport::InputReader *in)
{
    Parameters p;
    const quint8 period = in->byte();
    p.periodMs = kPeriodStepMs * (1 + period % kPeriodChoices);
    p.damage = period >> kDamageShift;
    p.outputRate = kOutputRates[in->byte() % (sizeof kOutputRates / sizeof kOutputRates[0])];
    const QList<int> thresholds = defaultActivityThresholds();
    // Either side of every zoom step, so each level is reached.
    const quint8 zoom = in->byte() % (2 * thresholds.size() + 1);
    p.scale = zoom == 0 ? 0 : thresholds.at((zoom - 1) / 2) * (zoom % 2 ? 1.0 : 1.5);
    p.maxGap = thresholds.at(in->byte() % thresholds.size());
    p.seekTime = in->number32();
    return p;
}

template <class Handle>
void readFrames(const StreamDescriptor &descriptor, const Parameters &p)
{
    Handle reader(descriptor);
    if (reader.open() != 0) {
        FUZZ_CHECK(reader.state() == StreamHandle::Closed);
        return;
    }
    for (int n = 0; n < kMaxFrames && reader.state() != StreamHandle::AtEnd; ++n) {
        reader.next();
        if (reader.state() == StreamHandle::OnRecord) {
            FUZZ_CHECK(reader.currentDuration() >= 0);
            reader.readData();
        }
        const double progress = reader.progress();
        FUZZ_CHECK(progress >= 0 && progress <= 1);
    }
    reader.seek(p.seekTime);
    if (reader.state() == StreamHandle::OnRecord)
        reader.readData();
    reader.close();
}

// Intervals come in time order: each begins at least maxGap after the
// previous one ended.
template <class Handle>
void readIntervals(const StreamDescriptor &descriptor, const Parameters &p)
{
    Handle reader(descriptor);
    reader.setMaxGap(p.maxGap);
    if (reader.open() != 0)
        return;
    double previousEnd = -1;
    for (int n = 0; n < kMaxItems && reader.next() == 1; ++n) {
        FUZZ_CHECK(reader.state() == StreamHandle::OnRecord);
        const double begin = reader.currentTime();
        const double duration = reader.currentDuration();
        FUZZ_CHECK(duration >= 0);
        if (previousEnd >= 0)
            FUZZ_CHECK(begin - previousEnd >= p.maxGap - kTimeTolerance);
        previousEnd = begin + duration;
    }
    if (reader.seek(p.seekTime) == 0) {
        for (int n = 0; n < kMaxItems && reader.next() == 1; ++n)
            FUZZ_CHECK(reader.currentDuration() >= 0);
    }
}

template <class Handle>
void readItem(Handle *reader)
{
    reader->currentTime();
    reader->currentDuration();
    for (int n = 0; n < kMaxFrames && reader->readData() == 0; ++n) {
        reader->frameTime();
        reader->frameDuration();
    }
}

template <class Handle>
void readScale(const StreamDescriptor &descriptor, const Parameters &p)
{
    QList<uint> steps;
    for (int t : defaultActivityThresholds())
        steps.append(uint(t));
    Handle reader(descriptor, steps);
    bool changed = false;
    reader.setScale(p.scale, &changed);
    if (reader.open() != 0)
        return;
    for (int n = 0; n < kMaxItems && reader.state() != StreamHandle::AtEnd; ++n) {
        reader.next();
        if (reader.state() == StreamHandle::OnRecord)
            readItem(&reader);
    }
    reader.seek(p.seekTime);
    for (int n = 0; n < kMaxItems && reader.state() != StreamHandle::AtEnd; ++n) {
        if (reader.state() == StreamHandle::OnRecord)
            readItem(&reader);
        reader.next();
    }
    reader.close();
}

void mergeIntervals(const QList<StreamDescriptor> &descriptors, const Parameters &p)
{
    std::vector<std::unique_ptr<IntervalStreamHandle>> members;
    StreamsIntervalHandle merged;
    merged.setNameKey(QStringLiteral("DESCRIPTION"));
    for (const StreamDescriptor &descriptor : descriptors) {
        if (descriptor.value(QStringLiteral("TYPE")) == QLatin1String("audio"))
            members.emplace_back(new AudioIntervalHandle(descriptor));
        else
            members.emplace_back(new TextIntervalHandle(descriptor));
        members.back()->setMaxGap(p.maxGap);
        merged.addHandle(members.back().get());
    }
    merged.open();
    for (int n = 0; n < kMaxItems && merged.state() != StreamHandle::AtEnd; ++n)
        merged.next();
    merged.seek(p.seekTime);
    for (int n = 0; n < kMaxItems && merged.state() != StreamHandle::AtEnd; ++n)
        merged.next();
    const double progress = merged.progress();
    FUZZ_CHECK(progress >= 0 && progress <= 1);
    merged.close();
}

// Every reader holds at least one period after each readData(), sound or
// silence; the mixer only clips.
void mixPeriods(const QList<StreamDescriptor> &descriptors, const Parameters &p)
{
    PeriodReaders readers;
    for (const StreamDescriptor &descriptor : descriptors) {
        if (std::unique_ptr<AudioStreamInPartsHandle2> reader = ReaderGroup::createPeriodReader(descriptor, p.periodMs, p.outputRate))
            readers.push_back(std::move(reader));
    }
    if (readers.empty())
        return;
    const int samples = ReaderGroup::samplesPerPeriod(p.outputRate, p.periodMs);
    PeriodMixer mixer;
    mixer.setSamplesPerPeriod(samples);
    for (double t : {0.0, p.seekTime}) {
        ReaderGroup::reposition(readers, t);
        for (int n = 0; n < kPeriods; ++n) {
            mixer.mix(readers);
            for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : readers)
                FUZZ_CHECK(reader->output().size() >= samples * int(sizeof(qint16)));
            FUZZ_CHECK(mixer.peak() >= 0);
        }
        ReaderGroup::earliestTime(readers);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    FuzzSupport::InputReader in(data, size);
    const Parameters p = readParameters(&in);
    FUZZ_CHECK(size - in.remaining() == qMin<size_t>(size, StreamReadersInput::kParameterBytes));
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("streams.rec"), in.rest());

    // Indexed as the player does; the index files live until the indexer goes.
    RecordingIndexer indexer;
    indexer.open(path);
    if (indexer.start() != 0)
        return 0;
    while (indexer.state() != RecordingIndexer::Idle)
        indexer.step();
    indexer.markAllLevels(defaultActivityThresholds());
    indexer.closeFiles();
    if (p.damage > 0)
        FUZZ_CHECK(QFile::resize(path, indexer.fileSize() * p.damage / kDamageSteps));

    QList<StreamDescriptor> descriptors;
    for (int i = 0; i < qMin(indexer.streamCount(), kMaxStreams); ++i)
        descriptors.append(indexer.descriptor(i));
    for (const StreamDescriptor &descriptor : qAsConst(descriptors)) {
        readFrames<TextStreamHandle>(descriptor, p);
        readFrames<AudioStreamHandle>(descriptor, p);
        readIntervals<TextIntervalHandle>(descriptor, p);
        readIntervals<AudioIntervalHandle>(descriptor, p);
        readScale<TextScaleHandle2>(descriptor, p);
        readScale<AudioScaleHandle2>(descriptor, p);
    }
    mergeIntervals(descriptors, p);
    mixPeriods(descriptors, p);
    return 0;
}
