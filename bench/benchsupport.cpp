#include "benchsupport.h"

#include "testrecording.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>

namespace BenchSupport {

namespace {
constexpr int kChannels = 8;
constexpr quint32 kSeed = 2026;
constexpr qint64 kReadChunk = 1 << 20; // bytes
} // namespace

bool writeRandomAlawRecording(const QString &path, qint64 targetBytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && TestRecording::writeRandom(&file, targetBytes, kSeed, kChannels);
}

qint64 warmPageCache(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    qint64 total = 0;
    QByteArray buffer;
    while (!(buffer = file.read(kReadChunk)).isEmpty())
        total += buffer.size();
    return total;
}

double timeProgram(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        fprintf(stderr, "%s failed (exit %d)\n", qPrintable(program), process.exitCode());
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

} // namespace BenchSupport
