#include "feederthreads.h"

#include "player/engine/streamthread2.h"

#include <QtGlobal>

namespace PlayerUi {

FeederThreads::~FeederThreads()
{
    stopAll();
    for (const QPointer<StreamThread2> &ending : qAsConst(m_ending)) {
        if (!ending)
            continue;
        if (ending->wait(kShutdownWaitMs))
            std::unique_ptr<StreamThread2> finished(ending.data());
        else
            qWarning("a timeline feeder did not stop within %lu ms and is left running", kShutdownWaitMs);
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
        QObject::connect(feeder, &QThread::finished, feeder, &QObject::deleteLater);
        // It may have ended before the connection was made.
        if (feeder->isFinished())
            feeder->deleteLater();
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
