#pragma once

#include <QDateTime>
#include <QString>

namespace PlayerUi {

// What every timeline scene and item knows about time, carried by value:
// the recording's base date-time and the visible range. All offsets are ms
// after the base, in doubles.
struct TimeModel
{
    QDateTime base{QDate(2000, 1, 1), QTime(0, 0)}; // offset 0 (local time until a recording sets it)
    int unit = 6;                                   // tick unit last chosen (TickUnits::Unit)
    int step = 1;                                   // ... and its step, in units
    double begin = 0;                               // offset at the left edge, ms
    double current = 0;                             // cursor offset, ms
    double duration = 300000;                       // offset span across the full width, ms
};

namespace TimelineMath {

// Two times (ms) or widths (pixels) are equal within this tolerance; setters
// change state and emit only beyond it.
constexpr double kEpsilon = 0.00001;
// Zoom limits, ms per pixel, both inclusive.
constexpr double kMinMsPerPixel = 0.04;
constexpr double kMaxMsPerPixel = 1900800;

inline bool differs(double a, double b)
{
    return a - b > kEpsilon || b - a > kEpsilon;
}

// Whether `duration` ms across `width` pixels lies within the zoom limits
// (false for a width of 0 or less).
bool withinZoomLimit(double duration, double width);

// Pixel x of offset `t` in a row `width` pixels wide showing [begin, begin + duration].
double xOf(double t, double begin, double duration, double width);

} // namespace TimelineMath

// The units of the time axis: the minor ticks step by one unit, or by a
// few units that divide the enclosing one (15 s, 6 h ...), and are labelled
// with the unit's field; major labels belong to the unit above.
namespace TickUnits {

enum Unit { Milliseconds = 0, Seconds, Minutes, Hours, Days, Months, Years, Count };

// A minor tick: every `step` units of `unit`.
struct Tick
{
    int unit = Minutes;
    int step = 1;
};
// The finest tick wider than `labelWidth` pixels at `pixelsPerSecond`. The
// steps grow at most 2-fold (1, 2, 3, 5, 10, 15, 20, 30 s ...; 1, 2, 3, 4,
// 6, 8, 12 h ...), so that a view five labels wide shows at least two.
Tick chooseTick(double pixelsPerSecond, double labelWidth);
// The first tick at or before t: the start of the enclosing unit, and for
// years the last multiple of the step.
QDateTime firstTick(const QDateTime &t, const Tick &tick);
// The next tick after t: `step` units on; day steps start again at the
// first of each month, so that ticks stay on the days they name.
QDateTime advance(const QDateTime &t, const Tick &tick);
// t cut back to the start of the unit that encloses `unit` (the second of a
// millisecond tick, the minute of a second tick, ..., the year of a month tick).
QDateTime startOfEnclosing(const QDateTime &t, int unit);
// The next tick after t: 10 ms, a second, a minute, an hour, a day, a
// calendar month or a calendar year.
QDateTime advance(const QDateTime &t, int unit);
// The unit's field of t: milliseconds, seconds, ..., day of month, month, year.
int field(const QDateTime &t, int unit);
// Whether a tick of `unit` at t also starts the enclosing unit.
bool startsEnclosing(const QDateTime &t, int unit);
// Minor label: the field, at least two digits, a space and the unit's suffix.
QString minorLabel(const QDateTime &t, int unit);
// Date-time format of the major labels of `unit` (the labels of the unit
// above the minor one).
QString majorFormat(int unit);

} // namespace TickUnits

} // namespace PlayerUi
