// ActivityNavigator: where the next or the previous activity interval starts.
#pragma once

#include "player/engine/intervalstreamhandles.h"

#include <QList>

#include <memory>
#include <vector>

// Finds the start of the activity interval after or before a position over
// several audio streams, merged as the interval panel merges them (frames
// closer than the gap belong to one interval). Times are ms after the
// recording's base.
//
// Opens its readers on construction; used by one thread (the window's, a
// jump takes a few ms on a day of 32 channels). Owns its readers.
class ActivityNavigator
{
public:
    // Only "audio" descriptors are taken; gapMs as the interval panel's gap.
    ActivityNavigator(const QList<StreamDescriptor> &descriptors, double gapMs);
    ~ActivityNavigator();

    // The first interval start later than pos + kMinStepMs; kNoTime when none.
    double nextStart(double pos);
    // The last interval start earlier than pos - kMinStepMs, so a second
    // press goes on to the one before; kNoTime when none.
    double previousStart(double pos);

    // A start this close to pos counts as where the listener already is.
    static constexpr double kMinStepMs = 500;

private:
    std::vector<std::unique_ptr<IntervalStreamHandle>> m_members;
    StreamsIntervalHandle m_group;
    double m_firstTime = IndexFormat::kNoTime; // ms, the earliest record of any member
};
