#include "testrecording.h"

#include "tools/encoders.h"
#include "tools/testsignals.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTextCodec>

#include <cstring>

namespace {

constexpr quint32 kRandomFrameMs = 100;
constexpr int kRandomFrameBytes = 800; // 100 ms of A-law at 8000 Hz
constexpr double kG726ToneHz = 500;
constexpr int kG726ToneAmplitude = 8000;

QTextCodec *windows1251()
{
    return QTextCodec::codecForName("Windows-1251");
}

} // namespace

namespace TestRecordingData {

QByteArray alaw(int n, quint8 code)
{
    return QByteArray(n, char(code));
}

QByteArray alawTone(int samples, int rate, double hz, int amplitude)
{
    return encodeALaw(toneSignal(hz, samples, amplitude, rate));
}

QByteArray g726Tone(int samples)
{
    return encodeG726(toneSignal(kG726ToneHz, samples, kG726ToneAmplitude));
}

QByteArray tetraFrames(int frames)
{
    return readFile(codecTestData(QStringLiteral("ru1.tetra"))).left(frames * kTetraFrameBytes);
}

qint16 sampleAt(const QByteArray &samples, int i)
{
    qint16 value;
    memcpy(&value, samples.constData() + 2 * i, sizeof value);
    return value;
}

int nonZeroSamples(const QByteArray &samples)
{
    int count = 0;
    for (int i = 0; i + 1 < samples.size(); i += 2)
        count += sampleAt(samples, i / 2) != 0;
    return count;
}

} // namespace TestRecordingData

TestRecording::TestRecording(Start start)
    : m_path(m_dir.filePath(QStringLiteral("test.rec")))
    , m_file(m_path)
{
    if (!m_file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(m_path));
    m_writer = std::make_unique<RecordingWriter>(&m_file);
    if (start == Start::WithFileSection)
        m_writer->writeSection(QStringLiteral("FILE"),
                               {{QStringLiteral("DATETIME"), QStringLiteral("31.12.2012 23:59:00")},
                                {QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")}});
}

TestRecording::~TestRecording() = default;

void TestRecording::addStream(int id, const QString &type, const QString &encoding, const QString &description)
{
    m_writer->writeSection(QStringLiteral("STREAM"),
                           {{QStringLiteral("ID"), QString::number(id)},
                            {QStringLiteral("TYPE"), type},
                            {QStringLiteral("ENCODING"), encoding},
                            {QStringLiteral("DESCRIPTION"), description}},
                           windows1251());
}

void TestRecording::frame(quint32 timeMs, int stream, const QByteArray &payload)
{
    m_writer->writeDataFrame(timeMs, quint8(stream), payload);
}

void TestRecording::text(quint32 timeMs, int stream, const QString &text)
{
    frame(timeMs, stream, windows1251()->fromUnicode(text));
}

QString TestRecording::finish()
{
    m_file.close();
    return m_path;
}

QList<StreamDescriptor> TestRecording::index()
{
    m_indexer.open(finish());
    m_indexer.start();
    while (m_indexer.state() != RecordingIndexer::Idle)
        m_indexer.step();
    m_indexer.markAllLevels(defaultActivityThresholds());
    m_indexer.closeFiles();
    QList<StreamDescriptor> streams;
    for (int i = 0; i < m_indexer.streamCount(); ++i)
        streams.append(m_indexer.descriptor(i));
    return streams;
}

bool TestRecording::writeRandom(QIODevice *device, qint64 bytes, quint32 seed, int streams)
{
    RecordingWriter writer(device);
    writer.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("01.02.2026 10:00:00")}});
    for (int stream = 1; stream <= streams; ++stream)
        writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QString::number(stream)},
                                                       {QStringLiteral("TYPE"), QStringLiteral("audio")},
                                                       {QStringLiteral("ENCODING"), QStringLiteral("PCMA")}});
    QRandomGenerator random(seed);
    QByteArray payload(kRandomFrameBytes, '\0');
    for (quint32 t = 0; writer.storedSize() < bytes && writer.ok(); t += kRandomFrameMs) {
        for (int stream = 1; stream <= streams; ++stream) {
            random.fillRange(reinterpret_cast<quint32 *>(payload.data()), kRandomFrameBytes / sizeof(quint32));
            payload[0] = '\r';
            payload[1] = '\n';
            payload[2] = '\n';
            writer.writeDataFrame(t, quint8(stream), payload);
        }
    }
    return writer.ok();
}

QByteArray TestRecording::random(qint64 bytes, quint32 seed, int streams)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    writeRandom(&buffer, bytes, seed, streams);
    return data;
}
