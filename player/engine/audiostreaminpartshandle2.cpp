#include "audiostreaminpartshandle2.h"

#include "codecs/audiocodec.h"
#include "recording/rawstream.h"
#include "player/engine/streamresampler.h"

#include <cmath>
#include <limits>

namespace {

constexpr int kBytesPerSample = int(sizeof(qint16));

// Samples at most counted by samplesIn: their byte count still fits an int.
constexpr double kMaxSamples = double(std::numeric_limits<int>::max() / kBytesPerSample);

// Whole samples at `rate` Hz in `ms` milliseconds, truncated toward zero;
// 0 for negative spans and saturated for spans of days (frames out of time
// order in a damaged recording).
int samplesIn(double ms, int rate)
{
    const double samples = std::trunc(rate * ms / 1000);
    return samples > 0 ? int(qMin(samples, kMaxSamples)) : 0;
}

} // namespace

AudioStreamInPartsHandle2::AudioStreamInPartsHandle2(const StreamDescriptor &descriptor)
    : FileStreamHandle(descriptor)
    , m_codec(createCodec(descriptor))
{
}

AudioStreamInPartsHandle2::~AudioStreamInPartsHandle2() = default;

void AudioStreamInPartsHandle2::setPeriod(unsigned ms)
{
    m_periodMs = ms;
    if (!m_codec)
        return;
    const int chunkMax = m_codec->bytesForDuration(ms);
    if (chunkMax <= 0) {
        m_chunk.clear();
        m_decoded.clear();
        return;
    }
    m_chunk.resize(chunkMax);
    // Rounded up: a truncated size can be one sample short of what a full
    // chunk decodes to, and every full chunk would then fail to decode.
    const double samples = decoderRate() * m_codec->durationForBytes(chunkMax) / 1000;
    m_decoded.resize(int(std::ceil(samples)));
    m_chunkCount = 0;
    m_decodedCount = 0;
}

void AudioStreamInPartsHandle2::setOutputRate(int hz)
{
    m_outputRate = hz;
    m_samplesPerPeriod = int(qint64(hz) * m_periodMs / 1000);
    const int native = decoderRate();
    m_resampler.reset();
    m_nativeSamples = 0;
    if (m_codec && hz > 0 && hz != native) {
        m_resampler = std::make_unique<StreamResampler>(native, hz);
        if (!m_resampler->isValid())
            m_resampler.reset();
        m_nativeSamples = int(qint64(native) * m_periodMs / 1000);
        if (m_nativeSamples <= 0)
            m_resampler.reset();
    }
    restartWindow(m_windowStart);
}

// Both windows start at t with nothing held.
void AudioStreamInPartsHandle2::restartWindow(double t)
{
    m_windowStart = t;
    m_outputStart = t;
    m_output.clear();
    m_native.clear();
    m_nativePeriods.clear();
    if (m_resampler)
        m_resampler->clear();
}

int AudioStreamInPartsHandle2::open()
{
    if (!filesOpen() || m_streamId < 0 || !m_codec || m_chunk.isEmpty() || m_decoded.isEmpty()) {
        m_state = Closed;
        return 1;
    }
    rewindIndex();
    m_codec->reset();
    restartWindow(0);
    m_consumed = 0;
    m_chunkCount = 0;
    m_decodedCount = 0;
    m_state = Open;
    return 0;
}

int AudioStreamInPartsHandle2::next()
{
    const int result = FileStreamHandle::next();
    if (m_state == OnRecord) {
        m_consumed = 0;
        m_chunkCount = 0;
        m_decodedCount = 0;
    }
    return result;
}

int AudioStreamInPartsHandle2::seek(double t)
{
    if (m_state == Closed) {
        m_windowStart = m_outputStart = t;
        return 0;
    }
    restartWindow(t);
    findRecordByTime(m_indexFile, t, &m_record);
    if (!isValidRecord(m_record)) {
        m_state = Open;
        return 1;
    }
    const int offset = m_codec->bytesForDuration(qMax(0.0, t - double(m_record.time)));
    // Compared with the payload (not the record length, which counts the
    // 6 header bytes): a seek just past the last sample must leave the
    // frame instead of reading the next frame's header as audio.
    if (offset < payloadLength()) {
        // Back off one decodable unit so that t is never skipped.
        const int skip = offset > 0 ? qMax(0, offset - m_codec->frameSize()) : 0;
        // A record claiming more bytes than its frame holds (stale index,
        // truncated recording) must not skip into the next frame.
        if (skipBytes(m_dataFile, skip) < 0) {
            m_state = Open;
            return 0;
        }
        m_consumed = skip;
        m_chunkCount = 0;
        m_decodedCount = 0;
        m_state = OnRecord;
    } else {
        m_state = Open;
    }
    return 0;
}

double AudioStreamInPartsHandle2::currentTime() const
{
    if (m_state != OnRecord)
        return IndexFormat::kNoTime;
    return double(m_record.time) + m_codec->durationForBytes(m_consumed);
}

int AudioStreamInPartsHandle2::readData()
{
    if (m_resampler)
        return readResampledPeriod();
    return readNativePeriod(m_output, m_samplesPerPeriod);
}

int AudioStreamInPartsHandle2::readNativePeriod(QByteArray &buffer, int samples)
{
    const int periodBytes = kBytesPerSample * samples;
    if (periodBytes <= 0) {
        buffer.clear();
        return 0;
    }
    const int rate = decoderRate();
    const double windowMs = samples * 1000.0 / rate;
    if (buffer.size() >= periodBytes) {
        buffer.remove(0, periodBytes);
        m_windowStart += windowMs;
    }
    bool sound = !buffer.isEmpty();
    while (buffer.size() < periodBytes) {
        if (m_state != OnRecord) {
            padTo(buffer, periodBytes);
            break;
        }
        const double t = currentTime();
        // The window is half-open: data at its end belongs to the next one.
        if (t >= m_windowStart + windowMs) {
            padTo(buffer, periodBytes);
            break;
        }
        bool frameEnded = false;
        const int decodedBytes = readChunk(&frameEnded);
        if (t < m_windowStart) {
            // Positioned up to one coded unit before the window (after a
            // seek): keep the samples from the window start on.
            const int dropBytes = kBytesPerSample * samplesIn(m_windowStart - t, rate);
            if (decodedBytes > dropBytes) {
                appendDecoded(buffer, dropBytes, decodedBytes - dropBytes);
                sound = true;
            }
        } else {
            padTo(buffer, kBytesPerSample * samplesIn(t - m_windowStart, rate));
            appendDecoded(buffer, 0, decodedBytes);
            sound = true; // also when the frame had just been used up
        }
        if (frameEnded)
            next();
    }
    return sound ? 1 : 0;
}

// Native periods go through the resampler until a whole output period is
// ready. The resampler holds its newest samples back, so the native side
// runs a little ahead; an output period sounds when a native period that
// overlaps its window did.
int AudioStreamInPartsHandle2::readResampledPeriod()
{
    const int periodBytes = kBytesPerSample * m_samplesPerPeriod;
    if (periodBytes <= 0) {
        m_output.clear();
        return 0;
    }
    const double windowMs = m_samplesPerPeriod * 1000.0 / m_outputRate;
    if (m_output.size() >= periodBytes) {
        m_output.remove(0, periodBytes);
        m_outputStart += windowMs;
    }
    const double nativeMs = m_nativeSamples * 1000.0 / decoderRate();
    while (m_output.size() < periodBytes) {
        const bool sound = readNativePeriod(m_native, m_nativeSamples) != 0;
        m_nativePeriods.push_back({m_windowStart, m_windowStart + nativeMs, sound});
        if (!m_resampler->process(reinterpret_cast<const qint16 *>(m_native.constData()), m_nativeSamples, m_output)) {
            padTo(m_output, periodBytes); // the library failed: silence rather than no end
            break;
        }
    }
    const double windowEnd = m_outputStart + windowMs;
    while (!m_nativePeriods.empty() && m_nativePeriods.front().end <= m_outputStart)
        m_nativePeriods.pop_front();
    bool sound = false;
    for (const NativePeriod &period : m_nativePeriods)
        sound = sound || (period.sound && period.start < windowEnd);
    return sound ? 1 : 0;
}

int AudioStreamInPartsHandle2::decoderRate() const
{
    const int rate = m_codec ? m_codec->sampleRate() : kDefaultCodecRate;
    return rate > 0 ? rate : kDefaultCodecRate;
}

int AudioStreamInPartsHandle2::readChunk(bool *frameEnded)
{
    int count = 0;
    const int last = readBytes(m_dataFile, reinterpret_cast<unsigned char *>(m_chunk.data()),
                               m_chunk.size(), &count);
    *frameEnded = last == RawFormat::kFrameMarker || last == RawFormat::kEndOfFile;
    m_chunkCount = count;
    m_consumed += count;
    int written = 0;
    const unsigned capacity = unsigned(m_decoded.size() * kBytesPerSample);
    if (count <= 0 || m_codec->decode(m_chunk.constData(), count, m_decoded.data(), capacity, &written) != 0)
        written = 0;
    m_decodedCount = written;
    return written;
}

void AudioStreamInPartsHandle2::padTo(QByteArray &buffer, int bytes)
{
    if (buffer.size() < bytes)
        buffer.append(bytes - buffer.size(), '\0');
}

void AudioStreamInPartsHandle2::appendDecoded(QByteArray &buffer, int fromByte, int bytes)
{
    buffer.append(reinterpret_cast<const char *>(m_decoded.constData()) + fromByte, bytes);
}
