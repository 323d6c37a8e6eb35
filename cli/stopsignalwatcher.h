#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into the Qt signal stopRequested(), delivered by
// the event loop of the thread that created the watcher (a self-pipe: the
// handler only writes one byte). One watcher per process; it restores the
// default handlers when destroyed.
class StopSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit StopSignalWatcher(QObject *parent = nullptr);
    ~StopSignalWatcher() override;

signals:
    void stopRequested(int signalNumber);

private:
    void pipeReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
