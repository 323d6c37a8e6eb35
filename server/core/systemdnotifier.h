#pragma once

#include <QBasicTimer>
#include <QObject>

// Tells systemd how the service is doing, when it runs as a unit of
// Type=notify (NOTIFY_SOCKET set; otherwise every call does nothing):
// READY once the devices run, STOPPING when a stop begins, and WATCHDOG at
// half the unit's WatchdogSec from the event loop, so that a collector whose
// loop is stuck is restarted. Lives in the thread of the loop it watches.
class SystemdNotifier : public QObject
{
    Q_OBJECT

public:
    explicit SystemdNotifier(QObject *parent = nullptr);

    // READY=1, and the watchdog begins when the unit asks for one.
    void ready();
    void stopping();
    // The watchdog period (ms) the unit asked for, 0 for none.
    qint64 watchdogMs() const { return m_watchdogMs; }

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    QBasicTimer m_watchdog;
    qint64 m_watchdogMs = 0;
};
