#include "streamresampler.h"

#include <soxr.h>

#include <cmath>

namespace {
// Spare output room per call, in samples, beyond rate ratio x input.
constexpr size_t kOutputMargin = 64;
constexpr unsigned kChannels = 1;
} // namespace

StreamResampler::StreamResampler(int inputRate, int outputRate)
{
    if (inputRate <= 0 || outputRate <= 0)
        return;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    m_soxr = soxr_create(inputRate, outputRate, kChannels, &error, &io, &quality, nullptr);
    if (error) {
        soxr_delete(m_soxr);
        m_soxr = nullptr;
    }
    m_ratio = double(outputRate) / inputRate;
}

StreamResampler::~StreamResampler()
{
    if (m_soxr)
        soxr_delete(m_soxr);
}

bool StreamResampler::process(const qint16 *in, int count, QByteArray &out)
{
    if (!m_soxr)
        return false;
    size_t fed = 0;
    while (fed < size_t(count)) {
        const size_t room = size_t(std::ceil((size_t(count) - fed) * m_ratio)) + kOutputMargin;
        const int start = out.size();
        out.resize(start + int(room * sizeof(qint16)));
        size_t used = 0;
        size_t produced = 0;
        const soxr_error_t error = soxr_process(m_soxr, in + fed, size_t(count) - fed, &used,
                                                out.data() + start, room, &produced);
        out.resize(start + int(produced * sizeof(qint16)));
        if (error || (used == 0 && produced == 0))
            return false;
        fed += used;
    }
    return true;
}

void StreamResampler::clear()
{
    if (m_soxr)
        soxr_clear(m_soxr);
}
