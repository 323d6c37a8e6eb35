#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class RecordingIndexer;

// Pieces the benchmarks share: test data, a warm page cache, timed runs.
namespace BenchSupport {

// Writes a random recording (TestRecording::writeRandom) of 8 A-law
// channels until it holds at least targetBytes.
bool writeRandomAlawRecording(const QString &path, qint64 targetBytes);

// The day a dispatcher's recorder holds: 24 hours of 8 A-law channels of
// speech in talk spurts of 1-12 s, about 3 minutes of sound per hour per
// channel, in 100 ms frames, and a Windows-1251 text channel with an event
// every 3 minutes (stream ids 1-8 audio, 9 text). Written once when missing;
// false when it cannot be written. `channels` other than 8 gives that many
// audio channels (the text stream's id follows them).
bool ensureDayRecording(const QString &path, int channels = 8);

// Indexes path to its end with index files and activity levels, as the
// player does on opening; the index files stay open (closeFiles() ends).
void indexRecording(RecordingIndexer &indexer, const QString &path);

// Reads a file once so that later runs read it from the page cache;
// returns its size in bytes (0 when it cannot be read).
qint64 warmPageCache(const QString &path);

// True when both files hold the same bytes (read in 1 MiB pieces).
bool sameContent(const QString &a, const QString &b);

// Runs a program to its end with its output discarded (errors forwarded);
// its wall time in seconds, or -1 after a message when it failed or did not
// end within timeoutMs (-1: no limit).
double timeProgram(const QString &program, const QStringList &arguments, int timeoutMs = -1);

// Handles events in slices of at most 1 ms until done() holds; false when
// timeoutMs passed first. Spins, so that the time until done() is measured
// to the slice. GUI thread.
constexpr int kWaitMs = 600000;
bool waitUntil(const std::function<bool()> &done, int timeoutMs = kWaitMs);

// The longest gap between the ticks of a 1 ms timer: how long the GUI
// thread stayed away from its event loop. GUI thread.
class StallMeter
{
public:
    StallMeter();
    void start();
    // Stops measuring; the longest gap in ms.
    double stopMs();

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0; // ns
};

} // namespace BenchSupport
