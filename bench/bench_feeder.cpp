// How long the window waits when it replaces its timeline rows: every row's
// feeder is told to stop, then each is waited for (what the multi-channel
// widget does whenever the channels change). Eight feeders are caught in the
// middle of filling a whole day at the coarsest level (spans only) and at
// the finest (every frame decoded and sent).
//
// bench_feeder [RECORDING]: the 24-hour, 8-channel recording of
// bench-data/day-8ch.rec by default (generated once). Target: the worst
// case under 50 ms.
#include "bench/benchsupport.h"
#include "recording/recordingindexer.h"
#include "player/engine/scalestreamhandles.h"
#include "player/engine/streamthread2.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRows = 8;
constexpr int kTrials = 5;
constexpr double kDayMs = 24 * 3600 * 1000.0;
constexpr double kCoarsestPixels = 100;     // 864 s per pixel
constexpr double kFinestPixels = 8640000;   // 10 ms per pixel: level 0
constexpr unsigned long kMidFillMs = 30;    // let the fills run this long first
constexpr unsigned long kStartWaitMs = 5000;

struct Trial {
    double stopMs = 0;     // all flags set and every thread waited for
    int stillFilling = 0;  // feeders caught before the end of their fill
    int level = -1;
};

Trial runTrial(const QList<StreamDescriptor> &streams, const QDateTime &base, double pixels, int detailThreshold)
{
    QList<uint> steps;
    for (int t : defaultActivityThresholds())
        steps.append(uint(t));
    std::vector<std::unique_ptr<StreamThread2>> rows;
    std::atomic<int> itemsSent{0};
    std::atomic<int> served{0};
    for (const StreamDescriptor &descriptor : streams) {
        auto row = std::make_unique<StreamThread2>(std::make_unique<AudioScaleHandle2>(descriptor, steps), base,
                                                   StreamThread2::AudioItem);
        row->setDetailThreshold(detailThreshold);
        QObject::connect(row.get(), &StreamThread2::addDataItem, row.get(), [&] { ++itemsSent; }, Qt::DirectConnection);
        QObject::connect(row.get(), &StreamThread2::rangeServed, row.get(), [&] { ++served; }, Qt::DirectConnection);
        row->sceneRectChange(QRectF(0, 0, pixels, 30));
        row->rangeChanged(0, kDayMs);
        rows.push_back(std::move(row));
    }
    for (const auto &row : rows)
        row->start();
    QElapsedTimer started;
    started.start();
    while (itemsSent.load() < kRows && served.load() < kRows && started.elapsed() < qint64(kStartWaitMs))
        QThread::msleep(1);
    QThread::msleep(kMidFillMs);

    Trial trial;
    trial.stillFilling = kRows - served.load();
    QElapsedTimer timer;
    timer.start();
    for (const auto &row : rows)
        row->setStopped(true);
    for (const auto &row : rows)
        row->wait();
    trial.stopMs = timer.nsecsElapsed() / 1e6;
    trial.level = rows.front()->servedLevel();
    return trial;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString path = app.arguments().value(1, QStringLiteral("bench-data/day-8ch.rec"));
    QDir().mkpath(QFileInfo(path).path());
    if (!BenchSupport::ensureDayRecording(path)) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    RecordingIndexer indexer;
    BenchSupport::indexRecording(indexer, path);
    indexer.closeFiles();
    QList<StreamDescriptor> audio;
    for (int i = 0; i < indexer.streamCount() && audio.size() < kRows; ++i) {
        if (indexer.descriptor(i).value(QStringLiteral("TYPE")) == QLatin1String("audio"))
            audio.append(indexer.descriptor(i));
    }
    const QDateTime base(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC);
    printf("file: %.0f MiB, %d audio rows over 24 hours\n", QFileInfo(path).size() / 1048576.0, int(audio.size()));

    struct Mode {
        const char *name;
        double pixels;
        int detailThreshold;
    };
    const Mode modes[] = {{"coarsest (spans)", kCoarsestPixels, 1}, {"finest (every frame)", kFinestPixels, INT_MAX}};
    double worstOfAll = 0;
    for (const Mode &mode : modes) {
        std::vector<double> times;
        int caught = 0;
        int level = -1;
        for (int i = 0; i < kTrials; ++i) {
            const Trial trial = runTrial(audio, base, mode.pixels, mode.detailThreshold);
            times.push_back(trial.stopMs);
            caught += trial.stillFilling;
            level = trial.level;
        }
        std::sort(times.begin(), times.end());
        worstOfAll = std::max(worstOfAll, times.back());
        printf("%-22s level %d: stop of %d rows: median %6.2f ms, worst %6.2f ms (%d of %d feeders caught mid-fill)\n",
               mode.name, level, kRows, times[times.size() / 2], times.back(), caught, kRows * kTrials);
    }
    printf("worst case %.2f ms (target under 50 ms)\n", worstOfAll);
    return 0;
}
