// ServerSession: the collection server without widgets (log, device model, monitor).
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class DeviceTreeModel;
class LogHandler;
class PelluxMonitor;

// The collection server's working parts, put together once for the desktop
// window and for drovane-cli serve: the log, the device model (every
// device's downloader and scheduler logged) and, when asked for, the
// monitoring-database poller. Their reports, and those the owner sends
// through this object's signals, reach the log under this object's name
// ("MainWindow" in the window, "Serve" headless), as the log's lines have
// always named them.
//
// Owns the three (the poller's thread with it); lives in the GUI thread.
// The poller and the model go before the log: no downloader outlives the
// log it writes to.
class ServerSession : public QObject
{
    Q_OBJECT

public:
    // name: this object's name, the one the log's lines carry.
    ServerSession(std::unique_ptr<LogHandler> log, const QString &name, QObject *parent = nullptr);
    ~ServerSession() override;

    LogHandler *log() const { return m_log.get(); }
    DeviceTreeModel *model() const { return m_model.get(); }
    // The poller, or null until startMonitor().
    PelluxMonitor *monitor() const { return m_monitor.get(); }
    // Creates the poller, keeping "Pellux.xml" in dataFolder (ends with
    // "/"), wired to the model and the log; the existing one when called again.
    PelluxMonitor *startMonitor(const QString &dataFolder);

signals:
    void infoSended(QString message);
    void errorSended(QString message);
    void warningSended(QString message);

private:
    std::unique_ptr<LogHandler> m_log;
    std::unique_ptr<DeviceTreeModel> m_model;
    std::unique_ptr<PelluxMonitor> m_monitor;
};
