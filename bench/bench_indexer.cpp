// Indexing throughput against the practical limit of byte-wise reading.
//
// bench_indexer [FILE] [SIZE_MIB]: generates FILE once (default
// bench-data/indexer-1g.rec, 1024 MiB: 8 A-law channels, 100 ms frames of 800
// random bytes, so stuffing occurs), warms the page cache, then measures
//  (a) RecordingIndexer run to completion with index files written, and
//  (b) a minimal getc_unlocked loop that only unescapes and counts markers,
//  (c) the same loop through locking fgetc, for reference.
#include "bench/benchsupport.h"
#include "recording/rawstream.h"
#include "recording/recordingindexer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

double runIndexer(const QString &path, int *frames)
{
    QElapsedTimer timer;
    timer.start();
    RecordingIndexer indexer;
    indexer.open(path);
    indexer.start();
    while (indexer.state() != RecordingIndexer::Idle)
        indexer.step();
    indexer.closeFiles();
    const double seconds = timer.nsecsElapsed() / 1e9;
    *frames = 0;
    for (const StreamIndexEntry *e : indexer.streams())
        *frames += e->frameCount;
    return seconds;
}

template <int (*Get)(FILE *)>
double runLoop(const QString &path, qint64 *markers)
{
    QElapsedTimer timer;
    timer.start();
    FILE *f = fopen(QFile::encodeName(path).constData(), "rb");
    qint64 count = 0;
    int c;
    while ((c = Get(f)) != EOF) {
        if (c == RawFormat::kEscape)
            Get(f);
        else if (c == RawFormat::kMarker)
            ++count;
    }
    fclose(f);
    *markers = count;
    return timer.nsecsElapsed() / 1e9;
}

int getcUnlocked(FILE *f) { return getc_unlocked(f); }
int fgetcLocked(FILE *f) { return fgetc(f); }

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString path = args.size() > 1 ? args.at(1) : QStringLiteral("bench-data/indexer-1g.rec");
    const qint64 target = (args.size() > 2 ? args.at(2).toLongLong() : 1024) << 20;
    QDir().mkpath(QFileInfo(path).path());
    if (QFileInfo(path).size() < target) {
        printf("generating %s (%lld MiB)...\n", qPrintable(path), target >> 20);
        if (!BenchSupport::writeRandomAlawRecording(path, target)) {
            fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const double mib = BenchSupport::warmPageCache(path) / double(1 << 20);

    int frames = 0;
    qint64 markers = 0, markers2 = 0;
    const double tIndex = runIndexer(path, &frames);
    const double tLoop = runLoop<getcUnlocked>(path, &markers);
    const double tLocked = runLoop<fgetcLocked>(path, &markers2);
    printf("file: %.0f MiB, %d data frames, %lld markers\n", mib, frames, markers);
    printf("(a) indexer, index files written: %6.3f s  %7.1f MiB/s\n", tIndex, mib / tIndex);
    printf("(b) getc_unlocked unescape loop:  %6.3f s  %7.1f MiB/s\n", tLoop, mib / tLoop);
    printf("(c) fgetc (locking) loop:         %6.3f s  %7.1f MiB/s\n", tLocked, mib / tLocked);
    printf("ratio (a)/(b): %.0f%%\n", 100.0 * tLoop / tIndex);
    return 0;
}
