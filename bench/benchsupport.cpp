#include "benchsupport.h"

#include "tools/encoders.h"
#include "recording/indexrecord.h"
#include "recording/recordingindexer.h"
#include "recording/recordingwriter.h"
#include "testsupport/testrecording.h"
#include "tools/testsignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextCodec>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace BenchSupport {

namespace {
constexpr int kChannels = 8;
constexpr quint32 kSeed = 2026;
constexpr int kFrameBytes = 800;   // 100 ms of A-law at 8000 Hz
constexpr quint32 kFrameMs = 100;
constexpr qint64 kReadChunk = 1 << 20; // bytes
constexpr quint32 kDayMs = 24 * 3600 * 1000;
constexpr quint32 kEventEveryMs = 3 * 60 * 1000;
// Talk spurts and the pauses between them, in 100 ms frames: spurts of
// 1-12 s and pauses of 10-240 s give about 3 minutes of sound an hour.
constexpr int kMinSpurt = 10, kMaxSpurt = 120, kMinPause = 100, kMaxPause = 2400;

// Talk spurts and pauses of one channel, frame by frame.
class Talk
{
public:
    explicit Talk(quint32 seed) : m_rng(seed), m_left(int(m_rng.bounded(kMinPause, kMaxPause))) {}
    bool next()
    {
        if (--m_left <= 0) {
            m_talking = !m_talking;
            m_left = m_talking ? int(m_rng.bounded(kMinSpurt, kMaxSpurt + 1)) : int(m_rng.bounded(kMinPause, kMaxPause + 1));
        }
        return m_talking;
    }

private:
    QRandomGenerator m_rng;
    bool m_talking = false;
    int m_left;
};

} // namespace

bool writeRandomAlawRecording(const QString &path, qint64 targetBytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && TestRecording::writeRandom(&file, targetBytes, kSeed, kChannels);
}

bool ensureDayRecording(const QString &path, int channels)
{
    const int textStream = channels + 1;
    if (QFileInfo(path).size() > 0)
        return true;
    printf("generating %s (24 hours, %d channels)...\n", qPrintable(path), channels);
    fflush(stdout);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QTextCodec *cp1251 = QTextCodec::codecForName("Windows-1251");
    RecordingWriter writer(&file);
    writer.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("02.03.2026 00:00:00")},
                                                 {QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")}});
    std::vector<std::unique_ptr<SpeechSignal>> voices;
    std::vector<Talk> talk;
    for (int c = 1; c <= channels; ++c) {
        writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QString::number(c)},
                                                       {QStringLiteral("TYPE"), QStringLiteral("audio")},
                                                       {QStringLiteral("ENCODING"), QStringLiteral("PCMA/8000")},
                                                       {QStringLiteral("DESCRIPTION"), QStringLiteral("Канал %1").arg(c)}},
                            cp1251);
        voices.push_back(std::make_unique<SpeechSignal>(quint32(c) * 7919u));
        talk.emplace_back(quint32(c) * 104729u);
    }
    writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QString::number(textStream)},
                                                   {QStringLiteral("TYPE"), QStringLiteral("text")},
                                                   {QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")},
                                                   {QStringLiteral("DESCRIPTION"), QStringLiteral("События")}},
                        cp1251);
    for (quint32 t = 0; t < kDayMs; t += kFrameMs) {
        for (int c = 0; c < channels; ++c) {
            if (talk[size_t(c)].next())
                writer.writeDataFrame(t, quint8(c + 1), encodeALaw(voices[size_t(c)]->next(kFrameBytes)));
        }
        if (t % kEventEveryMs == 0)
            writer.writeDataFrame(t, quint8(textStream), cp1251->fromUnicode(QStringLiteral("Вызов борт %1").arg(t / kEventEveryMs)));
    }
    return writer.ok() && file.flush();
}

void indexRecording(RecordingIndexer &indexer, const QString &path)
{
    indexer.open(path);
    indexer.start();
    while (indexer.state() != RecordingIndexer::Idle)
        indexer.step();
    indexer.markAllLevels(defaultActivityThresholds());
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

bool sameContent(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    }
    return true;
}

StallMeter::StallMeter()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    });
}

void StallMeter::start()
{
    m_longest = 0;
    m_clock.start();
    m_last = 0;
    m_timer.start();
}

double StallMeter::stopMs()
{
    m_timer.stop();
    return m_longest / 1e6;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

} // namespace BenchSupport
