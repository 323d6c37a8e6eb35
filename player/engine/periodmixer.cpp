#include "periodmixer.h"

#include "player/engine/audiostreaminpartshandle2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr qint32 kSampleMax = 32767;
constexpr qint32 kSampleMin = -32768;
const QString kDescriptionKey = QStringLiteral("DESCRIPTION");
const QString kAudioType = QStringLiteral("audio");
const QString kIdKey = QStringLiteral("ID");
} // namespace

void PeriodMixer::setSamplesPerPeriod(int n)
{
    const int samples = qMax(0, n);
    m_sums.fill(0, samples);
    m_samples.fill(0, samples);
    m_peak = 0;
}

int PeriodMixer::mix(const PeriodReaders &readers, QStringList *soundingNames)
{
    const int n = m_samples.size();
    // Raw pointers keep the per-sample loops free of detach checks, so the
    // compiler can vectorise them.
    qint32 *sums = m_sums.data();
    std::fill(sums, sums + n, 0);
    if (soundingNames)
        soundingNames->clear();
    int sounding = 0;
    for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : readers) {
        const bool hasSound = reader->readData() != 0;
        const auto gain = m_gains.isEmpty() ? m_gains.constEnd() : m_gains.constFind(reader->descriptor().value(kIdKey));
        const bool scaled = gain != m_gains.constEnd();
        const double factor = scaled ? gain.value() : 1.0;
        if (scaled && factor <= 0)
            continue;
        if (hasSound) {
            ++sounding;
            if (soundingNames)
                soundingNames->append(reader->descriptor().value(kDescriptionKey));
        }
        const QByteArray &output = reader->output();
        const int available = qMin(n, output.size() / int(sizeof(qint16)));
        const char *bytes = output.constData();
        if (!scaled) {
            for (int i = 0; i < available; ++i) {
                qint16 sample;
                memcpy(&sample, bytes + i * sizeof(qint16), sizeof sample);
                sums[i] += sample;
            }
            continue;
        }
        for (int i = 0; i < available; ++i) {
            qint16 sample;
            memcpy(&sample, bytes + i * sizeof(qint16), sizeof sample);
            sums[i] += qint32(std::lround(sample * factor));
        }
    }
    qint16 *samples = m_samples.data();
    qint32 peak = 0;
    for (int i = 0; i < n; ++i) {
        const qint32 clipped = qBound(kSampleMin, sums[i], kSampleMax);
        samples[i] = qint16(clipped);
        peak = qMax(peak, clipped < 0 ? -clipped : clipped);
    }
    m_peak = qint16(qMin(peak, kSampleMax));
    return sounding;
}

qint16 PeriodMixer::clip(qint32 sum)
{
    return qint16(qBound(kSampleMin, sum, kSampleMax));
}

namespace ReaderGroup {

void reposition(const PeriodReaders &readers, double t)
{
    for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : readers) {
        reader->seek(t);
        if (reader->state() == StreamHandle::Open)
            reader->next();
    }
}

double earliestTime(const PeriodReaders &readers)
{
    double earliest = IndexFormat::kNoTime;
    for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : readers)
        earliest = qMin(earliest, reader->currentTime());
    return earliest;
}

std::unique_ptr<AudioStreamInPartsHandle2> createPeriodReader(const QMap<QString, QString> &descriptor,
                                                              unsigned periodMs, int outputRate)
{
    if (descriptor.value(QStringLiteral("TYPE")) != kAudioType)
        return nullptr;
    auto reader = std::make_unique<AudioStreamInPartsHandle2>(descriptor);
    reader->setPeriod(periodMs);
    reader->setOutputRate(outputRate);
    reader->open();
    return reader;
}

int samplesPerPeriod(int rate, unsigned periodMs)
{
    return int(qint64(rate) * periodMs / 1000);
}

double gainFactor(double decibels)
{
    return std::pow(10.0, decibels / 20.0);
}

} // namespace ReaderGroup
