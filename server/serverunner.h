#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class DeviceTreeModel;
class LogHandler;

// Runs the devices of settings files without a window, on the desktop
// server's own classes: every device gets its downloader and scheduler,
// and every event goes to a log of the desktop server's format (a file in a
// folder, or standard output). Lives in the thread that runs its event loop.
//
// A stop request lets the files being downloaded finish (and be indexed),
// ends every other device at once and emits finished() when the last
// device has ended; a second request ends them all at once.
class ServeRunner : public QObject
{
    Q_OBJECT

public:
    // logFolder: the log file's folder; empty: the log goes to standard output.
    explicit ServeRunner(const QString &logFolder, QObject *parent = nullptr);
    ~ServeRunner() override;

    // Opens the settings files and starts their devices. False (with the
    // reasons in error, one line per file) when a file could not be opened
    // or no device runs; the files that opened still run.
    bool open(const QStringList &paths, QString *error);
    // The number of devices running now.
    int runningDevices() const;
    QString logFilePath() const;

    DeviceTreeModel *model() const { return m_model.get(); }

public slots:
    void requestStop();

signals:
    void infoSended(QString message);
    void errorSended(QString message);
    void warningSended(QString message);
    // Every device has ended after a stop request.
    void finished();

private:
    void endDeviceAfterCycle(quint64 deviceId);
    void endDevice(quint64 deviceId);
    void finishWhenIdle();

    std::unique_ptr<LogHandler> m_log;
    std::unique_ptr<DeviceTreeModel> m_model;
    bool m_stopRequested = false;
    bool m_finished = false;
};
