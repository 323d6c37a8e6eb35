#include "audiocodec.h"

#include "codecs/celpcodec.h"
#include "codecs/g726codec.h"
#include "codecs/pcmacodec.h"

#include <QStringList>

#include <cmath>
#include <limits>

void AudioCodec::setSampleRate(int rate)
{
    m_sampleRate = rate;
}

int AudioCodec::sampleRate() const
{
    return m_sampleRate;
}

int AudioCodec::truncToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value); // truncates toward zero
}

namespace {

// The parts of an "ENCODING" value: "NAME" or "NAME/rate".
struct Encoding
{
    QString name;
    int rate;
};

Encoding parseEncoding(const QString &encoding, int defaultRate)
{
    const QStringList parts = encoding.split(QLatin1Char('/'), Qt::KeepEmptyParts,
                                             Qt::CaseSensitive);
    Encoding result{parts.value(0), defaultRate};
    if (parts.size() >= 2) {
        bool ok = false;
        const int rate = parts.at(1).toInt(&ok, 10);
        // Other rates fall back to the default like a part that is not a number.
        if (ok && SampleRate::isValid(rate))
            result.rate = rate;
    }
    return result;
}

// One supported coding: its name, its decoder and the duration of a byte
// count at a rate. Names are compared case-sensitively, in table order.
struct Coding
{
    const char *name;
    std::unique_ptr<AudioCodec> (*create)();
    double (*duration)(int bytes, int rate);
};

const Coding kCodings[] = {
    {"PCMA", []() -> std::unique_ptr<AudioCodec> { return std::make_unique<PCMACodec>(); }, &PCMACodec::durationAt},
    // TETRA frames are 18 bytes of 30 ms whatever the rate.
    {"TETRA", []() -> std::unique_ptr<AudioCodec> { return std::make_unique<CELPCodec>(); },
     [](int bytes, int) { return bytes / 18.0 * 30; }},
    {"G726-32", []() -> std::unique_ptr<AudioCodec> { return std::make_unique<G726Codec>(); }, &G726Codec::durationAt},
};

const Coding *findCoding(const QString &name)
{
    for (const Coding &coding : kCodings) {
        if (name == QLatin1String(coding.name))
            return &coding;
    }
    return nullptr;
}

} // namespace

std::unique_ptr<AudioCodec> createAudioCodec(const QString &encoding, int defaultRate)
{
    const Encoding parsed = parseEncoding(encoding, defaultRate);
    const Coding *coding = findCoding(parsed.name);
    if (!coding)
        return nullptr;
    std::unique_ptr<AudioCodec> codec = coding->create();
    codec->setSampleRate(parsed.rate);
    return codec;
}

double encodedDuration(const QString &encoding, int bytes, int defaultRate)
{
    const Encoding parsed = parseEncoding(encoding, defaultRate);
    const Coding *coding = findCoding(parsed.name);
    return coding ? coding->duration(bytes, parsed.rate) : 0.0;
}
