#include "demorecording.h"

#include "tools/encoders.h"
#include "codecs/g726encoder.h"
#include "recording/recordingwriter.h"
#include "tools/testsignals.h"

#include <QIODevice>
#include <QTextCodec>

#include <algorithm>

namespace {

constexpr quint32 kFrameMs = 100;          // duration of one audio frame
constexpr int kSamplesPerFrame = 800;      // 8000 Hz x 100 ms
constexpr double kSpeechScale = 12000;     // A-law channels: peaks near half of full scale
constexpr double kAdpcmScale = 6000;       // the G.726 channel: a quieter talker

struct Frame
{
    quint32 timeMs;
    quint8 stream;
    QByteArray payload;
};

struct Spurt
{
    quint32 beginMs;
    quint32 durationMs;
};

// A-law frames of one channel for each talk spurt.
void addSpeech(QList<Frame> *frames, quint8 stream, quint32 seed, const QList<Spurt> &spurts)
{
    SpeechSignal signal(seed, kSpeechScale);
    for (const Spurt &spurt : spurts) {
        for (quint32 t = 0; t < spurt.durationMs; t += kFrameMs)
            frames->append({spurt.beginMs + t, stream, encodeALaw(signal.next(kSamplesPerFrame))});
    }
}

// G.726-32 frames of one channel: 100 ms = 800 samples = 400 bytes each.
void addAdpcm(QList<Frame> *frames, quint8 stream, quint32 seed, const QList<Spurt> &spurts)
{
    SpeechSignal signal(seed, kAdpcmScale);
    G726Encoder encoder;
    QByteArray coded(kSamplesPerFrame / 2, '\0');
    for (const Spurt &spurt : spurts) {
        for (quint32 t = 0; t < spurt.durationMs; t += kFrameMs) {
            const QVector<qint16> samples = signal.next(kSamplesPerFrame);
            encoder.encode(samples.constData(), samples.size(), coded.data());
            frames->append({spurt.beginMs + t, stream, coded});
        }
    }
}

// TETRA frames of one channel, four 30 ms speech frames per recorder frame,
// taken in turn from the given coded speech.
void addTetra(QList<Frame> *frames, quint8 stream, const QByteArray &speech, const QList<Spurt> &spurts)
{
    constexpr int kTetraFrameBytes = 18;
    constexpr int kTetraFramesPerFrame = 4;
    constexpr quint32 kTetraChunkMs = 30 * kTetraFramesPerFrame;
    const int chunkBytes = kTetraFrameBytes * kTetraFramesPerFrame;
    const int chunks = speech.size() / chunkBytes;
    if (chunks == 0)
        return;
    int next = 0;
    for (const Spurt &spurt : spurts) {
        for (quint32 t = 0; t < spurt.durationMs; t += kTetraChunkMs) {
            frames->append({spurt.beginMs + t, stream, speech.mid(next * chunkBytes, chunkBytes)});
            next = (next + 1) % chunks;
        }
    }
}

void addText(QList<Frame> *frames, quint8 stream, QTextCodec *codec, quint32 timeMs, const QString &text)
{
    frames->append({timeMs, stream, codec->fromUnicode(text)});
}

RecordingWriter::Pairs streamPairs(int id, const char *type, const char *encoding, const QString &description)
{
    return {{QStringLiteral("ID"), QString::number(id)},
            {QStringLiteral("TYPE"), QString::fromLatin1(type)},
            {QStringLiteral("ENCODING"), QString::fromLatin1(encoding)},
            {QStringLiteral("DESCRIPTION"), description}};
}

} // namespace

bool writeDemoRecording(QIODevice *device, const QByteArray &tetraSpeech)
{
    QTextCodec *cp1251 = QTextCodec::codecForName("Windows-1251");
    RecordingWriter writer(device);
    writer.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("07.12.2026 09:15:00.000 UTC+3:00")},
                                                 {QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")}});
    writer.writeSection(QStringLiteral("DEVICE"), {{QStringLiteral("NAME"), QStringLiteral("Регистратор РП-8")},
                                                   {QStringLiteral("SERIAL"), QStringLiteral("000427")},
                                                   {QStringLiteral("LOCATION"), QStringLiteral("Диспетчерская, пост 2")}},
                        cp1251);
    writer.writeSection(QStringLiteral("STREAM"), streamPairs(1, "audio", "PCMA/8000", QStringLiteral("Диспетчер")), cp1251);
    writer.writeSection(QStringLiteral("STREAM"), streamPairs(2, "audio", "PCMA", QStringLiteral("Борт 12")), cp1251);
    writer.writeSection(QStringLiteral("STREAM"), streamPairs(3, "text", "Windows-1251", QStringLiteral("События")), cp1251);
    writer.writeSection(QStringLiteral("STREAM"), streamPairs(4, "audio", "G726-32/8000", QStringLiteral("Борт 7 (АДИКМ)")), cp1251);
    writer.writeSection(QStringLiteral("STREAM"), streamPairs(5, "audio", "TETRA", QStringLiteral("Абонент TETRA 2041")), cp1251);

    QList<Frame> frames;
    addSpeech(&frames, 1, 1, {{0, 4000}, {6000, 3000}, {75000, 5000}, {200000, 2500}});
    addSpeech(&frames, 2, 2, {{4200, 1500}, {9500, 2000}, {140000, 10000}});
    addAdpcm(&frames, 4, 3, {{12000, 6000}, {95000, 4000}});
    // Overlaps the dispatcher's spurt: several channels sound at the same time.
    addTetra(&frames, 5, tetraSpeech, {{1000, 2400}, {30000, 7200}, {160000, 3600}});
    addText(&frames, 3, cp1251, 0, QStringLiteral("Начало записи"));
    addText(&frames, 3, cp1251, 4100, QStringLiteral("Вызов: борт 12 - диспетчер"));
    addText(&frames, 3, cp1251, 74000, QStringLiteral("Тревога: потеря связи"));
    addText(&frames, 3, cp1251, 150500, QStringLiteral("Конец связи"));
    std::stable_sort(frames.begin(), frames.end(),
                     [](const Frame &a, const Frame &b) { return a.timeMs < b.timeMs; });
    for (const Frame &frame : qAsConst(frames))
        writer.writeDataFrame(frame.timeMs, frame.stream, frame.payload);
    return writer.ok();
}
