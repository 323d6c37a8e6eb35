#pragma once

#include "server/core/devicetreemodel.h"

#include <QBasicTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class LogHandler;
class PelluxMonitor;
class ServerSession;

// Runs the devices of settings files without a window, on the desktop
// server's own classes: every device gets its downloader and scheduler,
// and every event goes to a log of the desktop server's format (a file in a
// folder, or standard output). Lives in the thread that runs its event loop.
//
// A stop request stops the monitoring poll, lets the files being downloaded
// finish (and be indexed) for up to kStopGraceMs, ends every other device at
// once and emits finished() when the last device has ended; a second
// request, or the end of the grace time, ends them all at once.
class ServeRunner : public QObject
{
    Q_OBJECT

public:
    // logFolder: the log file's folder; empty: the log goes to standard output.
    explicit ServeRunner(const QString &logFolder, QObject *parent = nullptr);
    ~ServeRunner() override;

    // The longest wait for files in progress after a stop request (ms).
    static constexpr int kStopGraceMs = 15000;

    // This collector's part of the site's devices (call before
    // useMonitoring() and open()).
    void setShard(DeviceTreeModel::Shard shard) { m_shard = shard; }
    // Opens the settings files and starts their devices. False (with the
    // reasons in error, one line per file) when a file could not be opened
    // or no device runs; the files that opened still run. A file that does
    // not read whole starts nothing at all (every file is read first).
    bool open(const QStringList &paths, QString *error);
    // Writes the log lines still queued (before an early exit).
    void flushLog();
    // Reads an INI file: "MinFreeMB" and "LogKeepDays" apply at once (without
    // an INI file 1 GiB must stay free and every log is kept), and the
    // monitoring values (group "Pellux"); with
    // "Usage" on, the stations of the monitoring database become devices as
    // in the desktop server, kept in "Pellux.xml" of the data folder (the
    // INI file's folder when writable, else the per-user data folder).
    // Call before open(). False with the reason when the file is missing.
    bool useMonitoring(const QString &iniPath, QString *error);
    PelluxMonitor *monitor() const;
    // Keeps every device's health in a JSON file (StatusFile), written now
    // and again whenever a device's health changes (at most every
    // kStatusDelayMs). False with the reason when it cannot be written now;
    // a later failure is logged once until a write succeeds again.
    bool useStatusFile(const QString &path, QString *error);
    static constexpr int kStatusDelayMs = 200;
    // The number of devices running now.
    int runningDevices() const;
    QString logFilePath() const;

    DeviceTreeModel *model() const { return m_model; }

public slots:
    void requestStop();

signals:
    void infoSended(QString message);
    void errorSended(QString message);
    void warningSended(QString message);
    // Every device has ended after a stop request.
    void finished();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    bool checkFiles(const QStringList &paths, QStringList *problems);
    void endDeviceAfterCycle(quint64 deviceId);
    void endDevice(quint64 deviceId);
    void finishWhenIdle();
    bool writeStatus(QString *error);

    std::unique_ptr<ServerSession> m_session; // the log, the model and the poller
    DeviceTreeModel *m_model;                 // the session's
    QBasicTimer m_graceTimer;
    QBasicTimer m_statusTimer;
    QString m_statusPath;
    bool m_statusFailing = false;
    bool m_stopRequested = false;
    bool m_finished = false;
    DeviceTreeModel::Shard m_shard;
};
