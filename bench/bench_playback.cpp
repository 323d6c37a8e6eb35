// Playback engine benchmarks on a 4-hour recording of 8 A-law channels
// (100 ms frames, speech with pauses: talk spurts of 1-12 s, pauses of
// 0.5-40 s per channel).
//
// bench_playback [DATA_DIR] [VELMORA_CLI]: generates DATA_DIR/playback-4h.rec
// and the same channels as eight A-law WAV files (silence where a channel
// has no frame) once, warms the page cache, then measures
//  (a) FileServicer opening the recording (startIndex to indexFileFinished)
//      against the bare indexer doing the same work (steps, levels, time
//      range), target at most 1.5x;
//  (b) velmora-cli export with and without pauses against ffmpeg mixing the
//      eight WAV files (amix=inputs=8), target at most 0.5x ffmpeg's time;
//  (c) a timeline feeder serving the whole recording into a 1000-pixel row at
//      the level that zoom gives (items without data): wall time and index
//      records read, per row, target under 50 ms.
#include "bench/benchsupport.h"
#include "tools/encoders.h"
#include "player/engine/fileservicer.h"
#include "recording/recordingindexer.h"
#include "recording/recordingwriter.h"
#include "player/engine/scalestreamhandles.h"
#include "player/engine/streamthread2.h"
#include "tools/testsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>
#include <QtEndian>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kChannels = 8;
constexpr int kFrameMs = 100;
constexpr int kFrameSamples = 800; // 100 ms at 8000 Hz
constexpr int kHours = 4;
constexpr int kTicks = kHours * 3600 * 1000 / kFrameMs;
constexpr int kRowPixels = 1000;
constexpr char kAlawSilence = char(0xD5);

// Talk spurts and pauses of one channel, in 100 ms ticks.
class Activity
{
public:
    explicit Activity(quint32 seed) : m_rng(seed) { m_left = pause(); }
    bool next()
    {
        if (--m_left <= 0) {
            m_talking = !m_talking;
            m_left = m_talking ? int(m_rng.bounded(10, 121)) : pause();
        }
        return m_talking;
    }

private:
    int pause() { return int(m_rng.bounded(5, 401)); }
    QRandomGenerator m_rng;
    bool m_talking = false;
    int m_left = 0;
};

QByteArray alawWavHeader(quint32 dataBytes)
{
    char p[44] = {};
    memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(36 + dataBytes, p + 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(6, p + 20); // A-law
    qToLittleEndian<quint16>(1, p + 22);
    qToLittleEndian<quint32>(8000, p + 24);
    qToLittleEndian<quint32>(8000, p + 28);
    qToLittleEndian<quint16>(1, p + 32);
    qToLittleEndian<quint16>(8, p + 34);
    memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, p + 40);
    return QByteArray(p, sizeof p);
}

bool generate(const QString &dir, const QString &recording)
{
    printf("generating %s and %d WAV files...\n", qPrintable(recording), kChannels);
    fflush(stdout);
    QFile file(recording);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    RecordingWriter writer(&file);
    writer.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("01.02.2026 08:00:00")}});
    std::vector<std::unique_ptr<QFile>> wavs;
    std::vector<std::unique_ptr<SpeechSignal>> voices;
    std::vector<Activity> activity;
    for (int c = 1; c <= kChannels; ++c) {
        writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QString::number(c)},
                                                       {QStringLiteral("TYPE"), QStringLiteral("audio")},
                                                       {QStringLiteral("ENCODING"), QStringLiteral("PCMA")},
                                                       {QStringLiteral("DESCRIPTION"), QStringLiteral("Channel %1").arg(c)}});
        wavs.emplace_back(new QFile(QStringLiteral("%1/channel%2.wav").arg(dir).arg(c)));
        if (!wavs.back()->open(QIODevice::WriteOnly))
            return false;
        wavs.back()->write(alawWavHeader(quint32(kTicks) * kFrameSamples));
        voices.emplace_back(new SpeechSignal(quint32(c) * 7919u));
        activity.emplace_back(quint32(c) * 104729u);
    }
    const QByteArray silence(kFrameSamples, kAlawSilence);
    for (int tick = 0; tick < kTicks; ++tick) {
        for (int c = 0; c < kChannels; ++c) {
            if (!activity[size_t(c)].next()) {
                wavs[size_t(c)]->write(silence);
                continue;
            }
            const QByteArray payload = encodeALaw(voices[size_t(c)]->next(kFrameSamples));
            writer.writeDataFrame(quint32(tick) * kFrameMs, quint8(c + 1), payload);
            wavs[size_t(c)]->write(payload);
        }
    }
    return writer.ok();
}

// (a) bare: the indexer's own loop, levels and time range.
double openBare(const QString &path, int *frames)
{
    QElapsedTimer timer;
    timer.start();
    RecordingIndexer indexer;
    BenchSupport::indexRecording(indexer, path);
    quint32 begin = IndexFormat::kNoTimeStamp, end = 0;
    for (int i = 0; i < indexer.streamCount(); ++i) {
        begin = qMin(begin, indexer.firstRecord(i).time);
        const IndexRecord last = indexer.lastRecord(i);
        if (last.stream != -1)
            end = qMax(end, last.time);
    }
    indexer.closeFiles();
    const double seconds = timer.nsecsElapsed() / 1e9;
    *frames = 0;
    for (const StreamIndexEntry *e : indexer.streams())
        *frames += e->frameCount;
    return seconds;
}

// (a) through FileServicer's timer, with the event loop running.
double openServicer(FileServicer &servicer, const QString &path, int *progressReports)
{
    QEventLoop loop;
    *progressReports = 0;
    QObject::connect(&servicer, &FileServicer::indexFileProgressChanged, [&] { ++*progressReports; });
    QObject::connect(&servicer, &FileServicer::indexFileFinished, &loop, &QEventLoop::quit);
    servicer.setFileName(path);
    QElapsedTimer timer;
    timer.start();
    servicer.startIndex();
    loop.exec();
    return timer.nsecsElapsed() / 1e9;
}

// (c) one row: a feeder asked for the whole recording at 1000 pixels.
struct RowFigures {
    double ms = 0;
    quint64 records = 0;
    int items = 0;
    int level = 0;
};

RowFigures serveRow(const StreamDescriptor &descriptor, const QDateTime &base, double begin, double duration)
{
    QList<uint> steps;
    for (int t : defaultActivityThresholds())
        steps.append(uint(t));
    auto owned = std::make_unique<AudioScaleHandle2>(descriptor, steps);
    const AudioScaleHandle2 *reader = owned.get(); // read after the thread has ended
    StreamThread2 feeder(std::move(owned), base, StreamThread2::AudioItem);
    feeder.setDetailThreshold(1); // as the timeline sets it
    RowFigures figures;
    QEventLoop loop;
    QElapsedTimer timer;
    QObject::connect(&feeder, &StreamThread2::addDataItem, [&] { ++figures.items; });
    QObject::connect(&feeder, &StreamThread2::rangeServed, &loop, [&] {
        figures.ms = timer.nsecsElapsed() / 1e6;
        loop.quit();
    });
    feeder.sceneRectChange(QRectF(0, 0, kRowPixels, 30));
    feeder.rangeChanged(begin, duration);
    timer.start();
    feeder.start();
    loop.exec();
    feeder.setStopped(true);
    feeder.wait();
    figures.records = reader->recordsRead();
    figures.level = reader->level();
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString dir = args.size() > 1 ? args.at(1) : QStringLiteral("bench-data/playback");
    const QString cli = args.size() > 2 ? args.at(2) : QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-cli");
    const QString recording = dir + QStringLiteral("/playback-4h.rec");
    QDir().mkpath(dir);
    if (!QFileInfo::exists(recording) || !QFileInfo::exists(dir + QStringLiteral("/channel8.wav"))) {
        if (!generate(dir, recording)) {
            fprintf(stderr, "cannot write the benchmark data into %s\n", qPrintable(dir));
            return 1;
        }
    }
    QStringList wavs;
    for (int c = 1; c <= kChannels; ++c)
        wavs << QStringLiteral("%1/channel%2.wav").arg(dir).arg(c);
    double mib = BenchSupport::warmPageCache(recording) / double(1 << 20);
    for (const QString &w : wavs)
        BenchSupport::warmPageCache(w);

    // (a)
    int frames = 0;
    int reports = 0;
    const double bare = openBare(recording, &frames);
    FileServicer servicer;
    servicer.setThresholds(defaultActivityThresholds());
    const double servicerSeconds = openServicer(servicer, recording, &reports);
    printf("recording: %.0f MiB, %d frames in %d channels, %d h\n", mib, frames, kChannels, kHours);
    printf("(a) bare indexer (steps, levels, range):  %7.3f s\n", bare);
    printf("    FileServicer startIndex -> finished:  %7.3f s  (%.2fx, %d progress reports)\n", servicerSeconds,
           servicerSeconds / bare, reports);

    // (b)
    const QString out = dir + QStringLiteral("/out");
    const double withoutPauses = BenchSupport::timeProgram(cli, {QStringLiteral("export"), recording, out + QStringLiteral("-nopause.wav")});
    const double withPauses = BenchSupport::timeProgram(cli, {QStringLiteral("export"), recording, out + QStringLiteral("-pause.wav"),
                                               QStringLiteral("--with-pauses")});
    QStringList ffmpegArgs{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")};
    for (const QString &w : wavs)
        ffmpegArgs << QStringLiteral("-i") << w;
    ffmpegArgs << QStringLiteral("-filter_complex") << QStringLiteral("amix=inputs=%1").arg(kChannels)
               << out + QStringLiteral("-ffmpeg.wav");
    const double ffmpeg = BenchSupport::timeProgram(QStringLiteral("ffmpeg"), ffmpegArgs);
    printf("(b) velmora-cli export without pauses:    %7.3f s  (%.2fx ffmpeg, %lld bytes)\n", withoutPauses,
           withoutPauses / ffmpeg, QFileInfo(out + QStringLiteral("-nopause.wav")).size());
    printf("    velmora-cli export with pauses:       %7.3f s  (%.2fx ffmpeg, %lld bytes)\n", withPauses,
           withPauses / ffmpeg, QFileInfo(out + QStringLiteral("-pause.wav")).size());
    printf("    ffmpeg amix=inputs=8 of A-law WAVs:   %7.3f s\n", ffmpeg);
    for (const QString &suffix : {QStringLiteral("-nopause.wav"), QStringLiteral("-pause.wav"), QStringLiteral("-ffmpeg.wav")})
        QFile::remove(out + suffix);

    // (c)
    const double begin = servicer.timeBegin();
    const double duration = double(servicer.timeEnd()) - servicer.timeBegin();
    double worst = 0, total = 0;
    for (int i = 0; i < servicer.indexer().streamCount(); ++i) {
        const RowFigures row = serveRow(servicer.indexer().descriptor(i), servicer.base(), begin, duration);
        printf("(c) row %d: level %d, %4d items, %7llu index records read, %6.2f ms\n", i + 1, row.level, row.items,
               static_cast<unsigned long long>(row.records), row.ms);
        worst = qMax(worst, row.ms);
        total += row.ms;
    }
    printf("    slowest row %.2f ms, all %d rows %.2f ms\n", worst, servicer.indexer().streamCount(), total);
    return 0;
}
