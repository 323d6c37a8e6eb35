#include "datetimetext.h"

#include <QStringList>

#include <cmath>

namespace {

constexpr int kDefaultDay = 1;
constexpr int kDefaultMonth = 1;
constexpr int kDefaultYear = 2000;
constexpr int kTwoDigitYearLimit = 99;
constexpr int kCentury = 2000;
constexpr double kMaxSeconds = 1e12;

QDate parseDate(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    const int day = parts.size() > 0 ? parts.at(0).toInt() : kDefaultDay;
    const int month = parts.size() > 1 ? parts.at(1).toInt() : kDefaultMonth;
    int year = parts.size() > 2 ? parts.at(2).toInt() : kDefaultYear;
    if (year <= kTwoDigitYearLimit)
        year += kCentury;
    return QDate(year, month, day);
}

// Returns the time of day without seconds, and the seconds in whole
// milliseconds (truncated) through msecs.
QTime parseTime(const QString &text, qint64 *msecs)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    const int hour = parts.at(0).toInt();
    const int minute = parts.size() > 1 ? parts.at(1).toInt() : 0;
    const double seconds = parts.size() > 2 ? parts.at(2).toDouble() : 0.0;
    // Out-of-range seconds would overflow the conversion; treat as unparsable.
    if (!std::isfinite(seconds) || std::fabs(seconds) > kMaxSeconds)
        return QTime();
    *msecs = static_cast<qint64>(seconds * 1000.0);
    return QTime(hour, minute);
}

} // namespace

QDateTime parseDateTime(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return QDateTime(QDate(kDefaultYear, kDefaultMonth, kDefaultDay), QTime(0, 0), Qt::UTC);

    const QDate date = parseDate(parts.at(0));
    qint64 msecs = 0;
    const QTime time = parts.size() > 1 ? parseTime(parts.at(1), &msecs) : QTime(0, 0);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC).addMSecs(msecs);
}
