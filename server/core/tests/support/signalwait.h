#pragma once

#include <QSignalSpy>

// Runs the event loop until spy holds at least count signals; false when ms
// (milliseconds) pass first. Unlike QTRY_*, which sleeps between rounds of
// event processing, it keeps lock-step transfers and large downloads at
// full speed.
bool waitForCount(QSignalSpy &spy, int count, int ms);
