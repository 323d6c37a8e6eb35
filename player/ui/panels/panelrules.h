#pragma once

#include <QString>
#include <QVector>

class QFontMetrics;

namespace PlayerUi {

// Rules of the interval and search panels that need no widget. Times are
// ms after the recording's base.
namespace PanelRules {

// The row that follows the play position ts through rows whose positions
// (`values`, non-decreasing, in display order) are listed; `current` is the
// current row or -1. Stays on the current row while ts is before the next
// row, steps to the next row once ts reaches it (but not the one after),
// and otherwise jumps to the last row at or before ts (the first row when
// none is). Returns -1 only for an empty list.
int followRow(const QVector<double> &values, int current, double ts);

// "%02d:%02d" of whole minutes (not capped at 59) and remaining seconds.
QString durationText(double ms);

// Runs of white space become single spaces; then lines break at the spaces
// so that none is wider than `limit` pixels ("Тревога: потеря / связи", never
// "пот / еря"); only a word wider than the limit by itself is broken inside.
QString wrapText(const QString &text, const QFontMetrics &metrics, int limit);

} // namespace PanelRules

} // namespace PlayerUi
