// HealthMark: the coloured mark of a device's health state, for the tree and the tray.
#pragma once

#include "server/core/health/devicehealth.h"

#include <QColor>
#include <QIcon>

namespace ServerUi {

// Green for ok, grey for never collected, amber for stale, orange for disk
// low and a refused file, red for the rest.
QColor healthColor(HealthState state);
// A filled circle of the state's colour, `size` pixels across.
QIcon healthMark(HealthState state, int size = 12);
// `base` with the state's mark as a badge in its lower right quarter
// (base unchanged for Ok).
QIcon withHealthBadge(const QIcon &base, HealthState state, int size = 32);

} // namespace ServerUi
