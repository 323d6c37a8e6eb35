#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

// Sample rates the system works at, in Hz: decoders, playback and export.
// A rate outside the range falls back to a default or is refused.
namespace SampleRate {
constexpr int kMin = 1000;
constexpr int kMax = 192000;
constexpr bool isValid(int hz) { return hz >= kMin && hz <= kMax; }
} // namespace SampleRate

// Decoder of one audio stream's coded bytes into signed 16-bit mono samples
// (host byte order). Each decoder holds per-stream state and is used by one
// thread at a time: the thread that drives the reader owning it.
// Times are milliseconds; sizes are bytes.
class AudioCodec
{
public:
    AudioCodec() = default;
    AudioCodec(const AudioCodec &) = delete;
    AudioCodec &operator=(const AudioCodec &) = delete;

    virtual void setSampleRate(int rate);
    virtual int sampleRate() const;
    // Decodes inBytes coded bytes into out (outCapacity bytes). Returns 0 and
    // stores the bytes written in *outBytes (when not null); returns 1 and
    // writes nothing when out is too small.
    virtual int decode(const char *in, int inBytes, qint16 *out, unsigned outCapacity,
                       int *outBytes) = 0;
    // Coded bytes that hold ms milliseconds of speech.
    virtual int bytesForDuration(double ms) const = 0;
    // Milliseconds that `bytes` coded bytes last.
    virtual double durationForBytes(int bytes) const = 0;
    // Returns the decoder to its freshly constructed state.
    virtual void reset() = 0;
    virtual ~AudioCodec() = default;

    int frameSize() const { return m_frameSize; }

protected:
    explicit AudioCodec(int frameSize) : m_frameSize(frameSize) {}

    // Truncates toward zero into an int, saturating at the int range (NaN
    // gives 0): byte counts computed from durations in double.
    static int truncToInt(double value);

    int m_sampleRate = 8000; // Hz
    int m_frameSize = 0;     // bytes of the smallest decodable unit; 0 = byte-wise
};

// Builds the decoder named by an "ENCODING" value ("PCMA", "G726-32",
// "TETRA", case-sensitive, optionally followed by "/rate"); null for any
// other name. A rate part that is not a base-10 integer in 1000..192000 Hz
// gives defaultRate.
std::unique_ptr<AudioCodec> createAudioCodec(const QString &encoding, int defaultRate);

// Milliseconds that `bytes` coded bytes of the named coding last; 0 for an
// unknown coding. Parses the encoding exactly as createAudioCodec does.
double encodedDuration(const QString &encoding, int bytes, int defaultRate);
