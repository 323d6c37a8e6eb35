#include "threadend.h"

#include <QtGlobal>

bool endThreadWithin(std::unique_ptr<QThread> thread, unsigned long waitMs)
{
    if (!thread)
        return true;
    if (thread->wait(waitMs))
        return true; // deleted on return
    QThread *running = thread.release();
    qWarning("%s did not stop within %lu ms and is left to end by itself",
             running->metaObject()->className(), waitMs);
    QObject::connect(running, &QThread::finished, running, &QObject::deleteLater);
    // It may have finished before the connection was made; a second
    // deleteLater is harmless.
    if (running->isFinished())
        running->deleteLater();
    return false;
}
