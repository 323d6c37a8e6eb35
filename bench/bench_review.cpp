// Review benchmarks on a generated day of 32 A-law channels (and the usual
// day of 8), side by side with velmora-cli listing the same intervals:
//  (a) Ctrl+Right / Ctrl+Left: an ActivityNavigator made and asked once per
//      press, as the window does, from 50 positions spread over the day;
//      mean and worst per jump (target under 50 ms), next to the time
//      `velmora-cli intervals` needs to list every interval of the day;
//  (b) the playback loop's work at 2x with 8 channels: decoding, mixing and
//      time-stretching an hour of the day, as CPU time per second of sound
//      played (target under 30 % of one core), next to 1x.
//
// bench_review DAY_8CH DAY_32CH VELMORA_CLI
#include "bench/benchsupport.h"
#include "player/engine/activitynavigator.h"
#include "player/engine/periodmixer.h"
#include "player/engine/speedstretcher.h"
#include "player/engine/audiostreaminpartshandle2.h"
#include "recording/recordingindexer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kJumps = 50;
constexpr double kDayMs = 24 * 3600e3;
constexpr double kGapMs = 1000;
constexpr int kRate = 8000;
constexpr unsigned kPeriodMs = 100;
constexpr double kPlayedMs = 3600e3; // an hour of the day
constexpr double kPlayFromMs = 8 * 3600e3;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QList<StreamDescriptor> audioOf(RecordingIndexer &indexer)
{
    QList<StreamDescriptor> audio;
    for (int i = 0; i < indexer.streamCount(); ++i) {
        const StreamDescriptor d = indexer.descriptor(i);
        if (d.value(QStringLiteral("TYPE")) == QLatin1String("audio"))
            audio.append(d);
    }
    return audio;
}

void benchJumps(const QString &path, const QString &cli, int channels)
{
    if (!BenchSupport::ensureDayRecording(path, channels)) {
        printf("cannot write %s\n", qPrintable(path));
        return;
    }
    BenchSupport::warmPageCache(path);
    RecordingIndexer indexer;
    BenchSupport::indexRecording(indexer, path);
    const QList<StreamDescriptor> audio = audioOf(indexer);
    for (const bool forward : {true, false}) {
        double total = 0, worst = 0;
        for (int i = 0; i < kJumps; ++i) {
            const double pos = kDayMs * (i + 0.5) / kJumps;
            QElapsedTimer timer;
            timer.start();
            ActivityNavigator navigator(audio, kGapMs);
            const double target = forward ? navigator.nextStart(pos) : navigator.previousStart(pos);
            const double ms = timer.nsecsElapsed() / 1e6;
            Q_UNUSED(target);
            total += ms;
            worst = qMax(worst, ms);
        }
        printf("  %2d channels, %s: mean %.2f ms, worst %.2f ms per jump (target < 50 ms)\n", channels,
               forward ? "Ctrl+Right" : "Ctrl+Left ", total / kJumps, worst);
    }
    QStringList ids;
    for (const StreamDescriptor &d : audio)
        ids.append(d.value(QStringLiteral("ID")));
    const double listing = BenchSupport::timeProgram(cli, {QStringLiteral("intervals"), path, QStringLiteral("--gap"), QStringLiteral("1"),
                                                           QStringLiteral("--channels"), ids.join(QLatin1Char(','))});
    printf("  %2d channels, velmora-cli intervals of the whole day: %.0f ms\n", channels, listing * 1000);
    indexer.closeFiles();
}

void benchSpeed(const QString &path)
{
    RecordingIndexer indexer;
    BenchSupport::indexRecording(indexer, path);
    const QList<StreamDescriptor> audio = audioOf(indexer);
    for (const double speed : {1.0, 2.0}) {
        PeriodReaders readers;
        for (const StreamDescriptor &d : audio)
            readers.push_back(ReaderGroup::createPeriodReader(d, kPeriodMs, kRate));
        ReaderGroup::reposition(readers, kPlayFromMs);
        PeriodMixer mixer;
        mixer.setSamplesPerPeriod(ReaderGroup::samplesPerPeriod(kRate, kPeriodMs));
        SpeedStretcher stretcher;
        stretcher.setSpeed(speed);
        stretcher.configure(kRate, mixer.samplesPerPeriod());
        qint64 out = 0;
        const double before = cpuSeconds();
        for (double t = 0; t < kPlayedMs; t += kPeriodMs) {
            mixer.mix(readers);
            if (speed == SpeedStretcher::kNormalSpeed) {
                out += mixer.samplesPerPeriod();
            } else {
                stretcher.push(mixer.samples(), mixer.samplesPerPeriod());
                out += stretcher.take().size();
            }
        }
        const double cpu = cpuSeconds() - before;
        const double playedSeconds = kPlayedMs / 1000 / speed;
        printf("  8 channels at %.0fx: %.2f s of CPU for %.0f s of sound played (%.0f s out): %.3f %% of one core "
               "(target < 30 %%)\n",
               speed, cpu, playedSeconds, double(out) / kRate, 100 * cpu / playedSeconds);
    }
    indexer.closeFiles();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        printf("usage: bench_review DAY_8CH DAY_32CH VELMORA_CLI\n");
        return 2;
    }
    printf("Activity jumps (a day, 1 s gap):\n");
    benchJumps(args.at(1), args.at(3), 8);
    benchJumps(args.at(2), args.at(3), 32);
    printf("Playback work, an hour from 08:00:\n");
    benchSpeed(args.at(1));
    return 0;
}
