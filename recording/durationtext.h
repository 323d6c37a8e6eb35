#pragma once

#include <QString>

// A recording's or stream's playing time as people read it, "hh:mm:ss",
// rounded to the nearest second (hours run on past 99). One rule for every
// place that shows a length: the channel dialog, the downloaded-file list
// and velmora-cli info.
QString durationText(double ms);
