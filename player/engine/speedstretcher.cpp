#include "speedstretcher.h"

#include <rubberband/RubberBandStretcher.h>

#include <QtGlobal>

#include <cmath>

namespace {
constexpr float kFullScale = 32768.0f;
// Real time, the lighter engine: it keeps up with many channels mixed at
// any output rate, and speech needs nothing finer.
constexpr RubberBand::RubberBandStretcher::Options kOptions
    = RubberBand::RubberBandStretcher::OptionProcessRealTime | RubberBand::RubberBandStretcher::OptionEngineFaster;
} // namespace

const QVector<double> &SpeedStretcher::speeds()
{
    static const QVector<double> list{0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0};
    return list;
}

SpeedStretcher::SpeedStretcher() = default;
SpeedStretcher::~SpeedStretcher() = default;

void SpeedStretcher::configure(int rate, int maxSamples)
{
    m_rate = rate;
    m_stretcher = std::make_unique<RubberBand::RubberBandStretcher>(size_t(rate), 1, kOptions, 1.0 / m_speed);
    m_stretcher->setMaxProcessSize(size_t(qMax(1, maxSamples)));
    primeStart();
}

void SpeedStretcher::setSpeed(double speed)
{
    if (!(speed > 0) || speed == m_speed)
        return;
    m_speed = speed;
    if (m_stretcher)
        m_stretcher->setTimeRatio(1.0 / speed);
}

void SpeedStretcher::reset()
{
    if (!m_stretcher)
        return;
    m_stretcher->reset();
    primeStart();
}

// Pads the start with the silence the stretcher asks for and notes how much
// of its output to drop, so the first sample out is the first sample in.
void SpeedStretcher::primeStart()
{
    const int pad = int(m_stretcher->getPreferredStartPad());
    m_in.fill(0.0f, pad);
    const float *channels[] = {m_in.constData()};
    if (pad > 0)
        m_stretcher->process(channels, size_t(pad), false);
    m_toDrop = int(m_stretcher->getStartDelay());
}

void SpeedStretcher::push(const qint16 *samples, int count)
{
    if (!m_stretcher || count <= 0)
        return;
    m_in.resize(count);
    for (int i = 0; i < count; ++i)
        m_in[i] = float(samples[i]) / kFullScale;
    const float *channels[] = {m_in.constData()};
    m_stretcher->process(channels, size_t(count), false);
}

const QVector<qint16> &SpeedStretcher::drain()
{
    if (!m_stretcher) {
        m_taken.clear();
        return m_taken;
    }
    const float *channels[] = {m_in.constData()};
    m_stretcher->process(channels, 0, true);
    take();
    m_stretcher->reset();
    primeStart();
    return m_taken;
}

const QVector<qint16> &SpeedStretcher::take()
{
    m_taken.clear();
    if (!m_stretcher)
        return m_taken;
    for (;;) {
        const int available = int(m_stretcher->available());
        if (available <= 0)
            break;
        m_out.resize(available);
        float *channels[] = {m_out.data()};
        const int got = int(m_stretcher->retrieve(channels, size_t(available)));
        const int dropped = qMin(got, m_toDrop);
        m_toDrop -= dropped;
        for (int i = dropped; i < got; ++i) {
            const long sample = std::lround(double(m_out.at(i)) * kFullScale);
            m_taken.append(qint16(qBound(-32768L, sample, 32767L)));
        }
    }
    return m_taken;
}
