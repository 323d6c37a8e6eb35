#include "systemdnotifier.h"

#include <QTimerEvent>

#include <systemd/sd-daemon.h>

SystemdNotifier::SystemdNotifier(QObject *parent)
    : QObject(parent)
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        m_watchdogMs = qint64(usec / 1000);
}

void SystemdNotifier::ready()
{
    sd_notify(0, "READY=1");
    // Twice per period: a late ping is not yet a missed one.
    if (m_watchdogMs > 0)
        m_watchdog.start(int(qMax<qint64>(1, m_watchdogMs / 2)), this);
}

void SystemdNotifier::stopping()
{
    sd_notify(0, "STOPPING=1");
}

void SystemdNotifier::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_watchdog.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    sd_notify(0, "WATCHDOG=1");
}
