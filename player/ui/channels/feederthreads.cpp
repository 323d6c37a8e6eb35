#include "feederthreads.h"

#include "player/engine/streamthread2.h"


namespace PlayerUi {

FeederThreads::~FeederThreads()
{
    stopAll();
    for (const QPointer<StreamThread2> &ending : qAsConst(m_ending)) {
        if (ending)
            endThreadWithin(std::unique_ptr<QThread>(ending.data()), kShutdownWaitMs);
    }
}

StreamThread2 *FeederThreads::start(std::unique_ptr<StreamThread2> feeder)
{
    StreamThread2 *started = feeder.get();
    m_running.push_back(std::move(feeder));
    started->start(QThread::InheritPriority);
    return started;
}

void FeederThreads::stopAll()
{
    m_ending.removeAll(QPointer<StreamThread2>());
    for (std::unique_ptr<StreamThread2> &running : m_running) {
        StreamThread2 *feeder = running.release();
        QObject::disconnect(feeder, nullptr, nullptr, nullptr);
        feeder->setStopped(true);
        deleteWhenFinished(feeder);
        m_ending.append(feeder);
    }
    m_running.clear();
}

int FeederThreads::endingCount() const
{
    int count = 0;
    for (const QPointer<StreamThread2> &ending : m_ending)
        count += ending ? 1 : 0;
    return count;
}

} // namespace PlayerUi
