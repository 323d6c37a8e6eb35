#pragma once

// Builds small recordings for the engine tests: a raw file written with
// RecordingWriter in a temporary folder, indexed with RecordingIndexer
// (index files and activity levels, as the player has them after opening).

#include "alawencoder.h"
#include "g726encoder.h"
#include "indexrecord.h"
#include "recordingindexer.h"
#include "recordingwriter.h"

#include <QFile>
#include <QScopedPointer>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtMath>

#include <cmath>

namespace TestRecordingData {

constexpr quint8 kAlawPositive = 0x80; // A-law code of +5504
constexpr qint16 kAlawPositiveSample = 5504;
constexpr quint8 kAlawSilence = 0xD5;  // A-law code of +8
constexpr int kTetraFrameBytes = 18;
constexpr int kTetraFrameSamples = 240;

// n A-law bytes of one code.
inline QByteArray alaw(int n, quint8 code = kAlawPositive)
{
    return QByteArray(n, char(code));
}

// n samples of a 500 Hz tone as G.726-32 bytes (n/2 bytes).
inline QByteArray g726Tone(int samples)
{
    QVector<qint16> pcm(samples);
    for (int i = 0; i < samples; ++i)
        pcm[i] = qint16(8000 * std::sin(2 * M_PI * 500 * i / 8000.0));
    G726Encoder encoder;
    QByteArray out((samples + 1) / 2, '\0');
    out.resize(encoder.encode(pcm.constData(), samples, out.data()));
    return out;
}

// n samples of a `hz` tone at `rate` Hz as A-law bytes (one per sample).
inline QByteArray alawTone(int samples, int rate, double hz, double amplitude = 8000)
{
    QVector<qint16> pcm(samples);
    for (int i = 0; i < samples; ++i)
        pcm[i] = qint16(amplitude * std::sin(2 * M_PI * hz * i / rate));
    return encodeALaw(pcm);
}

// The first `frames` real TETRA frames of the codec test data.
inline QByteArray tetraFrames(const QString &path, int frames)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(qint64(frames) * kTetraFrameBytes);
}

// Signed 16-bit sample i of a decoded byte array.
inline qint16 sampleAt(const QByteArray &samples, int i)
{
    qint16 value;
    memcpy(&value, samples.constData() + 2 * i, sizeof value);
    return value;
}

inline int nonZeroSamples(const QByteArray &samples)
{
    int count = 0;
    for (int i = 0; i + 1 < samples.size(); i += 2)
        count += sampleAt(samples, i / 2) != 0;
    return count;
}

} // namespace TestRecordingData

class TestRecording
{
public:
    TestRecording()
        : m_path(m_dir.filePath(QStringLiteral("test.rec")))
        , m_file(m_path)
    {
        m_file.open(QIODevice::WriteOnly);
        m_writer.reset(new RecordingWriter(&m_file));
        m_writer->writeSection(QStringLiteral("FILE"),
                               {{QStringLiteral("DATETIME"), QStringLiteral("31.12.2012 23:59:00")},
                                {QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")}});
    }

    void addStream(int id, const QString &type, const QString &encoding, const QString &description)
    {
        m_writer->writeSection(QStringLiteral("STREAM"),
                               {{QStringLiteral("ID"), QString::number(id)},
                                {QStringLiteral("TYPE"), type},
                                {QStringLiteral("ENCODING"), encoding},
                                {QStringLiteral("DESCRIPTION"), description}},
                               QTextCodec::codecForName("Windows-1251"));
    }
    void addStreamPairs(const RecordingWriter::Pairs &pairs) { m_writer->writeSection(QStringLiteral("STREAM"), pairs); }
    void frame(quint32 timeMs, int stream, const QByteArray &payload)
    {
        m_writer->writeDataFrame(timeMs, quint8(stream), payload);
    }
    // A text frame encoded in Windows-1251.
    void text(quint32 timeMs, int stream, const QString &text)
    {
        frame(timeMs, stream, QTextCodec::codecForName("Windows-1251")->fromUnicode(text));
    }
    RecordingWriter &writer() { return *m_writer; }

    // Closes the raw file and indexes it; returns every stream's descriptor.
    QList<StreamDescriptor> index()
    {
        m_file.close();
        m_indexer.open(m_path);
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

    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }
    RecordingIndexer &indexer() { return m_indexer; }

private:
    QTemporaryDir m_dir;
    QString m_path;
    QFile m_file;
    QScopedPointer<RecordingWriter> m_writer;
    RecordingIndexer m_indexer;
};
