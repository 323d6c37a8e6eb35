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
    deleteWhenFinished(running);
    return false;
}

void deleteWhenFinished(QThread *thread)
{
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // It may have finished before the connection was made; a second
    // deleteLater is harmless.
    if (thread->isFinished())
        thread->deleteLater();
}
