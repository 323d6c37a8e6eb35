#pragma once

// Recordings for the tests, written with RecordingWriter: a builder for
// hand-made recordings (indexed as the player has them after opening), the
// payloads their frames carry, and pseudo-random recordings of a given size.

#include "recording/recordingindexer.h"
#include "recording/recordingwriter.h"
#include "recording/streamdescriptor.h"
#include "testsupport/testfiles.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <memory>

class QIODevice;

namespace TestRecordingData {

constexpr quint8 kAlawPositive = 0x80; // A-law code of +5504
constexpr qint16 kAlawPositiveSample = 5504;
constexpr quint8 kAlawSilence = 0xD5;  // A-law code of +8
constexpr int kTetraFrameBytes = 18;

// n A-law bytes of one code.
QByteArray alaw(int n, quint8 code = kAlawPositive);
// `samples` samples of a `hz` tone at `rate` Hz as A-law bytes (one per sample).
QByteArray alawTone(int samples, int rate, double hz, int amplitude = 8000);
// `samples` samples of a 500 Hz tone as G.726-32 bytes (samples/2 bytes).
QByteArray g726Tone(int samples);
// The first `frames` real TETRA frames of the codec reference data.
QByteArray tetraFrames(int frames);

// Signed 16-bit sample i of a decoded byte array.
qint16 sampleAt(const QByteArray &samples, int i);
// Samples of a decoded byte array that are not zero.
int nonZeroSamples(const QByteArray &samples);

} // namespace TestRecordingData

// One recording in its own temporary folder. By default it starts with a
// FILE section (base 31.12.2012 23:59:00, texts in Windows-1251); streams
// and frames follow in the order they are added.
class TestRecording
{
public:
    enum class Start { WithFileSection, Empty };

    explicit TestRecording(Start start = Start::WithFileSection);
    ~TestRecording();
    TestRecording(const TestRecording &) = delete;
    TestRecording &operator=(const TestRecording &) = delete;

    // A STREAM section; the description is written in Windows-1251.
    void addStream(int id, const QString &type, const QString &encoding, const QString &description);
    void frame(quint32 timeMs, int stream, const QByteArray &payload);
    // A text frame encoded in Windows-1251.
    void text(quint32 timeMs, int stream, const QString &text);
    // For sections and stored bytes the calls above do not make.
    RecordingWriter &writer() { return *m_writer; }

    // Closes the raw file; returns its path.
    QString finish();
    // Closes the raw file and indexes it with index files and activity
    // levels; returns every stream's descriptor.
    QList<StreamDescriptor> index();

    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }
    // A path for another file in the recording's folder.
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Pseudo-random recordings: a FILE section, `streams` declared A-law
    // streams and, every 100 ms, one 800-byte frame per stream until the
    // file holds at least `bytes`. Each payload starts with CR LF LF (so any
    // text-mode rewriting shows) followed by random bytes (so byte stuffing
    // occurs). The same seed gives the same bytes.
    static constexpr int kRandomStreams = 2;
    static QByteArray random(qint64 bytes, quint32 seed = 1, int streams = kRandomStreams);
    // Writes the same to a device; false when it did not take every byte.
    static bool writeRandom(QIODevice *device, qint64 bytes, quint32 seed = 1, int streams = kRandomStreams);

private:
    TempDir m_dir;
    QString m_path;
    QFile m_file;
    std::unique_ptr<RecordingWriter> m_writer;
    RecordingIndexer m_indexer;
};
