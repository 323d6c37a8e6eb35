// How long marking one stream's activity levels holds the player's GUI
// thread: the work FileServicer does for one stream after indexing.
//
// bench_marklevels [FOLDER]: writes, once, the index file of one stream that
// speaks all day (24 hours of talk spurts of 5-60 s with pauses of 0.3-10 s)
// for frames of 100, 60, 30 and 20 ms, then times marking the ten default
// levels, first in one call (markLevels) and then slice by slice as the
// player does (LevelMarking), reporting the longest slice. Target: no slice
// above 16 ms.
#include "recording/indexrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

namespace {

constexpr quint32 kDayMs = 24u * 3600u * 1000u;
constexpr int kTrials = 3;

// An index file as the indexer leaves it: levels not yet marked.
bool writeDayIndex(const QString &path, quint32 frameMs)
{
    FILE *f = fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    QRandomGenerator random(frameMs);
    IndexRecord r;
    r.stream = 1;
    r.length = 6 + 8 * frameMs;
    r.startLevel = r.endLevel = 0;
    quint64 offset = 0;
    quint32 t = 0;
    bool ok = true;
    while (t < kDayMs && ok) {
        const quint32 spurtEnd = t + 5000 + random.bounded(55000);
        for (; t < spurtEnd && t < kDayMs && ok; t += frameMs) {
            r.offset = offset;
            r.time = t;
            offset += r.length + 1;
            ok = writeRecord(f, r);
        }
        t += 300 + random.bounded(9700);
    }
    return fclose(f) == 0 && ok;
}

double millisecondsNow(const QElapsedTimer &timer) { return timer.nsecsElapsed() / 1e6; }

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder = app.arguments().value(1, QStringLiteral("bench-data/marklevels"));
    QDir().mkpath(folder);
    const QList<int> thresholds = defaultActivityThresholds();
    printf("%-9s %10s %9s %12s %12s %7s %10s %10s\n", "frame ms", "records", "MiB", "one call ms", "sliced ms",
           "slices", "mean slice", "max slice");
    for (const quint32 frameMs : {100u, 60u, 30u, 20u}) {
        const QString path = QStringLiteral("%1/day-%2ms.idx").arg(folder).arg(frameMs);
        if (!QFileInfo::exists(path) && !writeDayIndex(path, frameMs)) {
            fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        const qint64 bytes = QFileInfo(path).size();
        double oneCall = 1e9;
        double sliced = 1e9;
        double longestSlice = 0;
        int slices = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            FILE *f = fopen(QFile::encodeName(path).constData(), "r+b");
            QElapsedTimer timer;
            timer.start();
            markLevels(f, thresholds);
            oneCall = qMin(oneCall, millisecondsNow(timer));
            fclose(f);

            f = fopen(QFile::encodeName(path).constData(), "r+b");
            LevelMarking marking(f, thresholds);
            timer.start();
            double slice = 0;
            slices = 0;
            for (;;) {
                ++slices;
                QElapsedTimer one;
                one.start();
                const bool done = marking.step();
                slice = qMax(slice, millisecondsNow(one));
                if (done)
                    break;
            }
            sliced = qMin(sliced, millisecondsNow(timer));
            longestSlice = trial == 0 ? slice : qMin(longestSlice, slice);
            fclose(f);
        }
        printf("%-9u %10lld %9.1f %12.1f %12.1f %7d %10.2f %10.2f\n", frameMs, bytes / IndexFormat::kRecordSize,
               bytes / 1048576.0, oneCall, sliced, slices, sliced / slices, longestSlice);
    }
    return 0;
}
