#pragma once

#include <QDateTime>
#include <QString>

// Parses a recorder's date-time text "day.month.year hour:minute:seconds"
// (seconds may carry a fraction; a trailing zone suffix is ignored). Missing
// date parts default to 1.1.2000, a year of 99 or less is taken as 20yy, and
// missing time parts are 0. The wall-clock figures are returned as UTC
// without any zone conversion. Unparsable text gives an invalid QDateTime.
QDateTime parseDateTime(const QString &text);
