#include "timemodel.h"

#include <array>
#include <vector>

namespace PlayerUi {

namespace {

struct UnitInfo
{
    double stepMs;        // a tick's width; the calendar units vary and use their shortest
    const char *suffix;   // minor label suffix (UTF-8)
    const char *major;    // major label format
};

const std::array<UnitInfo, TickUnits::Count> kUnits{{
    {10, "мс", "dd.MM.yyyy hh:mm:ss.zzz"},
    {1000, "сек", "dd.MM.yyyy hh:mm:ss"},
    {60000, "мин", "dd.MM.yyyy hh:mm"},
    {3600000, "час", "dd.MM.yyyy hh"},
    {86400000, "", "dd.MM.yyyy"},
    {28 * 86400000.0, "мес", "MM.yyyy"},
    {365 * 86400000.0, "год", "yyyy"},
}};

constexpr int kMsTickStep = 10;

QDateTime withDateTime(const QDateTime &like, const QDate &date, const QTime &time)
{
    QDateTime t(like);
    t.setDate(date);
    t.setTime(time);
    return t;
}

} // namespace

namespace TimelineMath {

bool withinZoomLimit(double duration, double width)
{
    if (width <= 0)
        return false;
    const double msPerPixel = duration / width;
    return msPerPixel >= kMinMsPerPixel && msPerPixel <= kMaxMsPerPixel;
}

double xOf(double t, double begin, double duration, double width)
{
    return (t - begin) * width / duration;
}

} // namespace TimelineMath

namespace TickUnits {

QDateTime startOfEnclosing(const QDateTime &t, int unit)
{
    const QDate d = t.date();
    const QTime h = t.time();
    switch (unit) {
    case Milliseconds:
        return withDateTime(t, d, QTime(h.hour(), h.minute(), h.second()));
    case Seconds:
        return withDateTime(t, d, QTime(h.hour(), h.minute()));
    case Minutes:
        return withDateTime(t, d, QTime(h.hour(), 0));
    case Hours:
        return withDateTime(t, d, QTime(0, 0));
    case Days:
        return withDateTime(t, QDate(d.year(), d.month(), 1), QTime(0, 0));
    default:
        return withDateTime(t, QDate(d.year(), 1, 1), QTime(0, 0));
    }
}

QDateTime advance(const QDateTime &t, int unit)
{
    switch (unit) {
    case Milliseconds:
        return t.addMSecs(kMsTickStep);
    case Months:
        return t.addMonths(1);
    case Years:
        return t.addYears(1);
    default:
        return t.addMSecs(qint64(kUnits.at(size_t(unit)).stepMs));
    }
}

int field(const QDateTime &t, int unit)
{
    switch (unit) {
    case Milliseconds:
        return t.time().msec();
    case Seconds:
        return t.time().second();
    case Minutes:
        return t.time().minute();
    case Hours:
        return t.time().hour();
    case Days:
        return t.date().day();
    case Months:
        return t.date().month();
    default:
        return t.date().year();
    }
}

bool startsEnclosing(const QDateTime &t, int unit)
{
    if (unit == Years)
        return false;
    return startOfEnclosing(t, unit) == t;
}

QString minorLabel(const QDateTime &t, int unit)
{
    return QString::asprintf("%02d ", field(t, unit)) + QString::fromUtf8(kUnits.at(size_t(unit)).suffix);
}

QString majorFormat(int unit)
{
    return QString::fromLatin1(kUnits.at(size_t(qBound(0, unit, Count - 1))).major);
}

namespace {

// The steps a unit's ticks may take, finest first; each divides the enclosing unit.
const std::array<std::vector<int>, TickUnits::Count> kSteps{{
    {1, 2, 4, 5, 10, 20, 25, 50},        // x 10 ms
    {1, 2, 3, 5, 10, 15, 20, 30},        // seconds
    {1, 2, 3, 5, 10, 15, 20, 30},        // minutes
    {1, 2, 3, 4, 6, 8, 12},              // hours
    {1, 2, 3, 5, 7, 10, 15},             // days, from the first of each month
    {1, 2, 3, 4, 6},                     // months
    {1, 2, 4, 5, 10, 20, 25, 50, 100},   // years
}};

} // namespace

Tick chooseTick(double pixelsPerSecond, double labelWidth)
{
    for (int unit = Milliseconds; unit < Count; ++unit) {
        for (int step : kSteps.at(size_t(unit))) {
            if (kUnits.at(size_t(unit)).stepMs / 1000.0 * step * pixelsPerSecond > labelWidth)
                return {unit, step};
        }
    }
    return {Years, kSteps.back().back()};
}

QDateTime firstTick(const QDateTime &t, const Tick &tick)
{
    const QDateTime start = startOfEnclosing(t, tick.unit);
    if (tick.unit != Years || tick.step <= 1)
        return start;
    const int year = t.date().year();
    return withDateTime(t, QDate(year - ((year % tick.step) + tick.step) % tick.step, 1, 1), QTime(0, 0));
}

QDateTime advance(const QDateTime &t, const Tick &tick)
{
    if (tick.unit == Days && tick.step > 1) {
        const QDateTime next = t.addDays(tick.step);
        if (next.date().month() != t.date().month() || next.date().year() != t.date().year())
            return withDateTime(t, QDate(t.date().year(), t.date().month(), 1).addMonths(1), QTime(0, 0));
        return next;
    }
    QDateTime next = t;
    for (int i = 0; i < tick.step; ++i)
        next = advance(next, tick.unit);
    return next;
}

} // namespace TickUnits

} // namespace PlayerUi
