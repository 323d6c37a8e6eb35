#include "signalwait.h"

#include <QElapsedTimer>

bool waitForCount(QSignalSpy &spy, int count, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (spy.count() < count && timer.elapsed() < ms)
        spy.wait(int(ms - timer.elapsed()));
    return spy.count() >= count;
}
