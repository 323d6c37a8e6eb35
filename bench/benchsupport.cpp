#include "benchsupport.h"

#include "recordingwriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>

namespace BenchSupport {

namespace {
constexpr int kChannels = 8;
constexpr int kFrameBytes = 800;   // 100 ms of A-law at 8000 Hz
constexpr quint32 kFrameMs = 100;
constexpr qint64 kReadChunk = 1 << 20; // bytes
} // namespace

bool writeRandomAlawRecording(const QString &path, qint64 targetBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    RecordingWriter writer(&file);
    writer.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("01.01.2026 00:00:00")}});
    for (int c = 1; c <= kChannels; ++c)
        writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QString::number(c)},
                                                       {QStringLiteral("TYPE"), QStringLiteral("audio")},
                                                       {QStringLiteral("ENCODING"), QStringLiteral("PCMA/8000")}});
    QRandomGenerator rng(2026);
    QByteArray payload(kFrameBytes, '\0');
    for (quint32 t = 0; writer.storedSize() < targetBytes; t += kFrameMs) {
        for (int c = 1; c <= kChannels; ++c) {
            rng.fillRange(reinterpret_cast<quint32 *>(payload.data()), kFrameBytes / 4);
            writer.writeDataFrame(t, quint8(c), payload);
        }
    }
    return writer.ok();
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
