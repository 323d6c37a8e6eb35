#pragma once

#include <QString>
#include <QStringList>

// Pieces the benchmarks share: test data, a warm page cache, timed runs.
namespace BenchSupport {

// Writes a random recording (TestRecording::writeRandom) of 8 A-law
// channels until it holds at least targetBytes.
bool writeRandomAlawRecording(const QString &path, qint64 targetBytes);

// Reads a file once so that later runs read it from the page cache;
// returns its size in bytes (0 when it cannot be read).
qint64 warmPageCache(const QString &path);

// Runs a program to its end with its output discarded (errors forwarded);
// its wall time in seconds, or -1 after a message when it failed or did not
// end within timeoutMs (-1: no limit).
double timeProgram(const QString &program, const QStringList &arguments, int timeoutMs = -1);

} // namespace BenchSupport
