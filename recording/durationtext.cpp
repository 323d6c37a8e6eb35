#include "durationtext.h"

#include <cmath>

namespace {

constexpr double kMsPerSecond = 1000.0;
constexpr qint64 kSecondsPerMinute = 60;
constexpr qint64 kSecondsPerHour = 3600;
constexpr int kFieldWidth = 2;
constexpr int kDecimal = 10;

QString twoDigits(qint64 n)
{
    return QStringLiteral("%1").arg(n, kFieldWidth, kDecimal, QLatin1Char('0'));
}

} // namespace

QString durationText(double ms)
{
    const qint64 seconds = std::llround(qMax(0.0, ms) / kMsPerSecond);
    return twoDigits(seconds / kSecondsPerHour) + QLatin1Char(':') + twoDigits(seconds / kSecondsPerMinute % kSecondsPerMinute)
        + QLatin1Char(':') + twoDigits(seconds % kSecondsPerMinute);
}
