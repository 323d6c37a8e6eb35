// The interval and search panels on a day of recording (24 hours, 8 speech
// channels and a text channel), offscreen:
//   - the interval panel's whole run with a 10 s continuity interval, and
//     the search panel's whole run over every text event: wall time and
//     the longest time the GUI thread stays away from its event loop
//     (target < 50 ms);
//   - the same intervals and texts read straight through the engine, as
//     velmora-cli does, and velmora-cli itself: target for the interval
//     panel within 2 x of the engine's loop, and the window's whole way
//     (indexing, then the panel's run) within 2 x of velmora-cli.
// Every figure is the median of several runs (the machine is shared).
//
// bench_panels VELMORA_CLI [RECORDING]: bench-data/day-8ch.rec by default
// (generated once).
#include "bench/benchsupport.h"
#include "player/engine/fileservicer.h"
#include "player/engine/framestreamhandles.h"
#include "player/engine/intervalstreamhandles.h"
#include "player/ui/panels/intervalwidget3.h"
#include "player/ui/mainwindow/mainwindow.h"
#include "player/ui/channels/multichannelwidget.h"
#include "recording/recordingindexer.h"
#include "player/ui/panels/searchwidget3.h"
#include "player/engine/streamssearchhandle.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSpinBox>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace PlayerUi;

namespace {

constexpr int kWindowWidth = 1280; // pixels
constexpr int kWindowHeight = 800;
constexpr int kGapSeconds = 10;
constexpr int kRuns = 5;           // of each measurement; the median is shown

int resultCount(const QTreeWidget &list)
{
    int n = 0;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        n += list.topLevelItem(i)->childCount();
    return n;
}

// The engine's loops as velmora-cli runs them, on an indexed recording;
// returns the time (ms) and the number of results.
double engineIntervals(const QList<StreamDescriptor> &streams, int *count)
{
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<IntervalStreamHandle>> members;
    StreamsIntervalHandle group;
    group.setNameKey(QStringLiteral("DESCRIPTION"));
    for (const StreamDescriptor &d : streams) {
        if (d.value(QStringLiteral("TYPE")) == QLatin1String("audio"))
            members.push_back(std::make_unique<AudioIntervalHandle>(d));
        else
            members.push_back(std::make_unique<TextIntervalHandle>(d));
        members.back()->setMaxGap(kGapSeconds * 1000.0);
        group.addHandle(members.back().get());
    }
    *count = 0;
    group.open();
    for (group.next(); group.state() == StreamHandle::OnRecord; group.next())
        ++*count;
    group.close();
    return timer.nsecsElapsed() / 1e6;
}

double engineSearch(const QList<StreamDescriptor> &streams, int *count)
{
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<TextStreamHandle>> members;
    StreamsSearchHandle group;
    for (const StreamDescriptor &d : streams) {
        if (d.value(QStringLiteral("TYPE")) == QLatin1String("text")) {
            members.push_back(std::make_unique<TextStreamHandle>(d));
            group.addHandle(members.back().get());
        }
    }
    *count = 0;
    group.open();
    for (group.next(); group.state() == StreamHandle::OnRecord; group.next()) {
        QString text;
        if (group.currentText(&text) == 0)
            ++*count;
    }
    group.close();
    return timer.nsecsElapsed() / 1e6;
}

struct PanelRun
{
    double ms = 0;
    double stallMs = 0;
    int results = 0;
};

PanelRun runPanel(DayListPanel &panel)
{
    BenchSupport::StallMeter stalls;
    PanelRun run;
    stalls.start();
    QElapsedTimer timer;
    timer.start();
    panel.startClick();
    BenchSupport::waitUntil([&] { return !panel.isRunning(); });
    run.ms = timer.nsecsElapsed() / 1e6;
    run.stallMs = stalls.stopMs();
    run.results = resultCount(*panel.resultList());
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

// Median time, the longest stall of all runs.
PanelRun medianRun(DayListPanel &panel)
{
    std::vector<double> times;
    PanelRun result;
    for (int i = 0; i < kRuns; ++i) {
        const PanelRun run = runPanel(panel);
        times.push_back(run.ms);
        result.stallMs = std::max(result.stallMs, run.stallMs);
        result.results = run.results;
    }
    result.ms = median(times);
    return result;
}

double medianProgram(const QString &program, const QStringList &arguments)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const double s = BenchSupport::timeProgram(program, arguments);
        if (s >= 0)
            times.push_back(s * 1000);
    }
    return median(times);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (app.arguments().size() < 2) {
        fprintf(stderr, "usage: bench_panels VELMORA_CLI [RECORDING]\n");
        return 2;
    }
    const QString cli = app.arguments().at(1);
    const QString path = app.arguments().value(2, QStringLiteral("bench-data/day-8ch.rec"));
    QDir().mkpath(QFileInfo(path).path());
    if (!BenchSupport::ensureDayRecording(path)) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    BenchSupport::warmPageCache(path);
    printf("file: %.0f MiB, 8 audio channels and events over 24 hours; window %dx%d offscreen\n",
           QFileInfo(path).size() / 1048576.0, kWindowWidth, kWindowHeight);

    // The command line and the bare engine.
    std::vector<double> indexTimes, engineIntervalTimes, engineSearchTimes;
    int engineIntervalCount = 0, engineSearchCount = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        RecordingIndexer indexer;
        BenchSupport::indexRecording(indexer, path);
        indexer.closeFiles();
        indexTimes.push_back(timer.nsecsElapsed() / 1e6);
        QList<StreamDescriptor> streams;
        for (int i = 0; i < indexer.streamCount(); ++i)
            streams.append(indexer.descriptor(i));
        engineIntervalTimes.push_back(engineIntervals(streams, &engineIntervalCount));
        engineSearchTimes.push_back(engineSearch(streams, &engineSearchCount));
        indexer.reset();
    }
    const double indexMs = median(indexTimes);
    const double engineIntervalMs = median(engineIntervalTimes);
    const double engineSearchMs = median(engineSearchTimes);
    const double cliIntervalsMs = medianProgram(cli, {QStringLiteral("intervals"), path, QStringLiteral("--gap"),
                                                      QString::number(kGapSeconds)});
    const double cliSearchMs = medianProgram(cli, {QStringLiteral("search"), path});

    MainWindow window;
    window.resize(kWindowWidth, kWindowHeight);
    window.show();
    window.openRecording(path);
    if (!BenchSupport::waitUntil([&] { return !window.servicer()->isIndexing() && window.timeline()->isServed(); })) {
        fprintf(stderr, "the recording did not open\n");
        return 1;
    }
    window.actions().intervals->trigger();
    IntervalWidget3 *intervals = window.intervalPanel();
    BenchSupport::waitUntil([&] { return !intervals->isRunning(); });
    intervals->gapSpinBox()->setValue(kGapSeconds);
    const PanelRun intervalRun = medianRun(*intervals);
    window.actions().search->trigger();
    SearchWidget3 *search = window.searchPanel();
    BenchSupport::waitUntil([&] { return !search->isRunning(); });
    const PanelRun searchRun = medianRun(*search);

    printf("indexing alone: %.0f ms\n", indexMs);
    printf("intervals, %d s gap:\n", kGapSeconds);
    printf("  engine loop %.0f ms (%d intervals); velmora-cli intervals (indexing included) %.0f ms\n", engineIntervalMs,
           engineIntervalCount, cliIntervalsMs);
    printf("  panel run %.0f ms (%d rows): %.2f x the engine loop; indexing and the panel run %.0f ms: %.2f x"
           " velmora-cli (target <= 2 x); longest GUI stall %.1f ms (target < 50 ms)\n",
           intervalRun.ms, intervalRun.results, intervalRun.ms / engineIntervalMs, indexMs + intervalRun.ms,
           (indexMs + intervalRun.ms) / cliIntervalsMs, intervalRun.stallMs);
    printf("search, every text event:\n");
    printf("  engine loop %.0f ms (%d events); velmora-cli search (indexing included) %.0f ms\n", engineSearchMs,
           engineSearchCount, cliSearchMs);
    printf("  panel run %.0f ms (%d rows): %.2f x the engine loop; longest GUI stall %.1f ms (target < 50 ms)\n",
           searchRun.ms, searchRun.results, searchRun.ms / std::max(engineSearchMs, 1.0), searchRun.stallMs);
    return 0;
}
