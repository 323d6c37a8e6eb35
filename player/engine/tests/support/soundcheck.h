#pragma once

#include <QVector>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

// Measurements on recorded or exported 16-bit mono samples.
namespace SoundCheck {

// Index of the first / last sample whose magnitude exceeds `threshold`; -1 when none.
inline int firstAbove(const QVector<qint16> &s, int threshold, int from = 0)
{
    for (int i = qMax(0, from); i < s.size(); ++i)
        if (std::abs(int(s[i])) > threshold)
            return i;
    return -1;
}

inline int lastAbove(const QVector<qint16> &s, int threshold)
{
    for (int i = s.size() - 1; i >= 0; --i)
        if (std::abs(int(s[i])) > threshold)
            return i;
    return -1;
}

// Root mean square of samples [from, from + count) (clamped to the data).
inline double rms(const QVector<qint16> &s, int from, int count)
{
    from = qMax(0, from);
    const int to = qMin(s.size(), from + count);
    if (to <= from)
        return 0;
    double sum = 0;
    for (int i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / (to - from));
}

// The longest run of samples whose magnitude stays at or below `threshold`
// strictly between the first and the last sample above it.
inline int longestQuietRun(const QVector<qint16> &s, int threshold)
{
    const int first = firstAbove(s, threshold);
    const int last = lastAbove(s, threshold);
    int longest = 0;
    int run = 0;
    for (int i = first + 1; first >= 0 && i < last; ++i) {
        run = std::abs(int(s[i])) > threshold ? 0 : run + 1;
        longest = qMax(longest, run);
    }
    return longest;
}

// Normalised cross-correlation of a[aFrom ..] with b[bFrom ..] over count samples.
inline double correlationAt(const QVector<qint16> &a, int aFrom, const QVector<qint16> &b, int bFrom, int count)
{
    double ab = 0, aa = 0, bb = 0;
    for (int i = 0; i < count; ++i) {
        const int ia = aFrom + i;
        const int ib = bFrom + i;
        const double x = (ia >= 0 && ia < a.size()) ? a[ia] : 0.0;
        const double y = (ib >= 0 && ib < b.size()) ? b[ib] : 0.0;
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return (aa > 0 && bb > 0) ? ab / std::sqrt(aa * bb) : 0.0;
}

// The best normalised cross-correlation of `reference` (count samples from
// refFrom) against `signal` for lags of signalFrom - maxLag .. signalFrom + maxLag.
inline double bestCorrelation(const QVector<qint16> &reference, int refFrom, const QVector<qint16> &signal,
                              int signalFrom, int count, int maxLag, int *bestLag = nullptr)
{
    double best = -1;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        const double c = correlationAt(reference, refFrom, signal, signalFrom + lag, count);
        if (c > best) {
            best = c;
            if (bestLag)
                *bestLag = lag;
        }
    }
    return best;
}

// Frequency (Hz) of a tone from its rising zero crossings in samples
// [from, from + count); 0 when fewer than two crossings.
inline double zeroCrossingHz(const QVector<qint16> &s, int from, int count, int rate)
{
    const int to = qMin(s.size(), from + count);
    int first = -1, last = -1, crossings = 0;
    for (int i = qMax(1, from); i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (first < 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    return crossings < 2 ? 0 : double(crossings - 1) * rate / (last - first);
}

// Amplitude of the `hz` component of samples [from, from + count) (Goertzel).
inline double toneLevel(const QVector<qint16> &s, int from, int count, double hz, int rate)
{
    const double coefficient = 2 * std::cos(2 * M_PI * hz / rate);
    double previous = 0, beforePrevious = 0;
    const int to = qMin(s.size(), from + count);
    for (int i = qMax(0, from); i < to; ++i) {
        const double current = s[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return count > 0 ? 2 * std::sqrt(qMax(0.0, power)) / count : 0;
}

} // namespace SoundCheck
