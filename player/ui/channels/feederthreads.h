// FeederThreads: owner of the timeline rows' feeder threads.
#pragma once

#include "recording/threadend.h"

#include <QList>
#include <QPointer>

#include <memory>
#include <vector>

class StreamThread2;

namespace PlayerUi {

// Owns the timeline rows' feeder threads. Stopping never blocks the GUI
// thread: a stopped feeder is cut off from its row (all its connections
// dropped), told to stop, and deletes itself once its loop has ended. Only
// the destructor waits, for at most kShutdownWaitMs per feeder still ending.
// GUI thread only.
class FeederThreads
{
public:
    static constexpr unsigned long kShutdownWaitMs = kThreadEndWaitMs;

    FeederThreads() = default;
    FeederThreads(const FeederThreads &) = delete;
    FeederThreads &operator=(const FeederThreads &) = delete;
    ~FeederThreads();

    // Takes ownership and starts the thread; returns it.
    StreamThread2 *start(std::unique_ptr<StreamThread2> feeder);
    // Stops every running feeder (see above).
    void stopAll();

    int runningCount() const { return int(m_running.size()); }
    // Stopped feeders whose loop has not ended yet (or not been deleted).
    int endingCount() const;

private:
    std::vector<std::unique_ptr<StreamThread2>> m_running;
    QList<QPointer<StreamThread2>> m_ending; // each deletes itself when finished
};

} // namespace PlayerUi
