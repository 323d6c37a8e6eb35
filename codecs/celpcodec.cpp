#include "celpcodec.h"

#include <cmath>
#include <limits>

CELPCodec::CELPCodec()
    : AudioCodec(kFrameBytes)
{
}

void CELPCodec::setSampleRate(int)
{
    // The coding fixes the rate at 8000 Hz.
}

void CELPCodec::unpackFrame(const unsigned char frame[kFrameBytes],
                            qint16 params[tetra::Decoder::kParams])
{
    int bit = 0;
    for (int field = 0; field < tetra::Decoder::kParams; ++field) {
        int value = 0;
        for (int n = 0; n < tetra::Decoder::kParamBits[field]; ++n, ++bit)
            value = (value << 1) | ((frame[bit >> 3] >> (7 - (bit & 7))) & 1);
        params[field] = static_cast<qint16>(value);
    }
}

int CELPCodec::decode(const char *in, int inBytes, qint16 *out, unsigned outCapacity,
                      int *outBytes)
{
    // Only whole frames are decoded; a trailing partial frame adds nothing.
    // A negative count of a frame or more compares as huge and is refused.
    const int frames = inBytes / kFrameBytes;
    if (static_cast<unsigned>(frames) > (outCapacity / 2) / kFrameSamples)
        return 1;

    const auto *frame = reinterpret_cast<const unsigned char *>(in);
    qint16 params[tetra::Decoder::kParams];
    qint16 synth[kFrameSamples];
    for (int f = 0; f < frames; ++f, frame += kFrameBytes) {
        unpackFrame(frame, params);
        m_decoder.decodeFrame(params, synth);
        for (int i = 0; i < kFrameSamples; ++i)
            *out++ = scaleSample(synth[i]);
    }
    if (outBytes)
        *outBytes = (frames > 0 ? frames : 0) * kFrameSamples * 2;
    return 0;
}

int CELPCodec::bytesForDuration(double ms) const
{
    // kFrameBytes for every started frame: the smallest k with
    // k * kFrameMs >= ms. Counts past the int range saturate.
    if (!(ms > 0))
        return 0;
    constexpr double kMaxFrames = std::numeric_limits<int>::max() / kFrameBytes;
    double frames = std::ceil(ms / kFrameMs);
    if (frames >= kMaxFrames)
        return static_cast<int>(kMaxFrames) * kFrameBytes;
    // ms / kFrameMs rounds; settle the exact boundary case.
    if ((frames - 1) * kFrameMs >= ms)
        frames -= 1;
    else if (frames * kFrameMs < ms)
        frames += 1;
    return static_cast<int>(frames) * kFrameBytes;
}

double CELPCodec::durationForBytes(int bytes) const
{
    return bytes / double(kFrameBytes) * kFrameMs;
}

void CELPCodec::reset()
{
    m_decoder.reset();
}
