// AudioStreamInPartsHandle2: the period-by-period audio reader playback and export mix from.
#pragma once

#include "player/engine/streamhandle.h"

#include <QVector>

#include <deque>
#include <memory>

class AudioCodec;
class StreamResampler;

// Audio of one stream cut into fixed periods aligned to the timeline: each
// readData() delivers exactly one period of decoded samples, with silence
// where the stream has no frame. The playback and export threads mix their
// channels from these readers; each reader is used by one thread at a time
// (the owner locks around it).
//
// A stream that decodes at another rate than the output is resampled to
// the output rate, so that it keeps its speed and pitch in the mix; a stream
// at the output rate is delivered exactly as decoded.
//
// Preparation by the owner: setPeriod(ms), setOutputRate(Hz), open(), then
// seek(t) and next() when the state is Open.
class AudioStreamInPartsHandle2 : public FileStreamHandle
{
public:
    explicit AudioStreamInPartsHandle2(const StreamDescriptor &descriptor);
    ~AudioStreamInPartsHandle2() override;

    // Sizes the coded chunk (the coded bytes of ms milliseconds) and the
    // decoded buffer (what a full chunk decodes to, rounded up to whole
    // samples). Call once before open(); without a decoder nothing is
    // allocated and open() fails.
    void setPeriod(unsigned ms);
    // The rate of the mix (Hz): N = trunc(rate x period / 1000) samples are
    // delivered per readData(). Call after setPeriod(); a change starts the
    // window afresh (the owner seeks again).
    void setOutputRate(int hz);
    int outputRate() const { return m_outputRate; }
    int samplesPerPeriod() const { return m_samplesPerPeriod; }
    // Whether the stream is resampled (its decoder runs at another rate).
    bool isResampled() const { return m_resampler != nullptr; }

    // Needs both files, a numeric "ID", a decoder and the buffers of
    // setPeriod(); rewinds, resets the decoder, window start 0.
    int open() override;
    // The next valid record (as FileStreamHandle::next), starting at its
    // first payload byte. Samples already in output() are kept.
    int next() override;
    // Positions the window at t (always) and the reader on the coded unit
    // that holds t, backed off by one decodable frame. The state becomes
    // Open when t lies past the end of the record in force (the owner then
    // calls next()). Returns 1 when that record is not valid, else 0.
    int seek(double t) override;
    // In state OnRecord: record time + duration of the payload bytes used.
    double currentTime() const override;
    // Fills output() with exactly samplesPerPeriod() samples for the window
    // [windowStart, windowStart + W) (W = N x 1000 / output rate ms), moving
    // the window on by W when the previous period is still at its front.
    // Returns 1 when the period holds sound from this stream, 0 for silence.
    // Samples beyond the period stay in output() for the next call.
    int readData() override;

    // Time (ms) of the first sample held in output().
    double windowStart() const { return m_resampler ? m_outputStart : m_windowStart; }
    // Coded bytes read per step (0 until setPeriod with a decoder).
    int chunkMax() const { return m_chunk.size(); }
    // Bytes the decoded buffer holds.
    int decodedCapacity() const { return m_decoded.size() * int(sizeof(qint16)); }
    AudioCodec *codec() const { return m_codec.get(); }

private:
    // One native period: `samples` samples at the decoder's rate into
    // `buffer` for the native window (what readData() delivers when no
    // resampling is needed).
    int readNativePeriod(QByteArray &buffer, int samples);
    int readResampledPeriod();
    void restartWindow(double t);
    int decoderRate() const;
    // Reads up to one chunk of the current frame, decodes it into m_decoded
    // and returns the decoded byte count; *frameEnded: the read met the
    // frame's end (marker or end of file).
    int readChunk(bool *frameEnded);
    void padTo(QByteArray &buffer, int bytes);
    void appendDecoded(QByteArray &buffer, int fromByte, int bytes);

    // A native period fed to the resampler: its window (ms) and whether
    // it held sound.
    struct NativePeriod
    {
        double start;
        double end;
        bool sound;
    };

    std::unique_ptr<AudioCodec> m_codec; // null for an unknown coding
    QByteArray m_chunk;            // coded bytes of one period (chunkMax)
    int m_chunkCount = 0;          // coded bytes held
    QVector<qint16> m_decoded;     // decoded samples of one chunk
    int m_decodedCount = 0;        // decoded bytes held
    int m_consumed = 0;            // payload bytes of the current frame already read
    double m_windowStart = 0;      // ms, of the native window
    int m_samplesPerPeriod = 0;
    unsigned m_periodMs = 0;
    int m_outputRate = 0;          // Hz; 0 until setOutputRate
    // Resampling (null when the decoder runs at the output rate):
    std::unique_ptr<StreamResampler> m_resampler;
    QByteArray m_native;           // native samples of the period in progress
    int m_nativeSamples = 0;       // native samples per period
    double m_outputStart = 0;      // ms, of the output window
    std::deque<NativePeriod> m_nativePeriods; // fed, not yet wholly delivered
};
