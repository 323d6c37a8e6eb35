// DeviceTreeModel: the settings files' device lists and their downloaders, without widgets.
#pragma once

#include "server/core/health/devicehealth.h"
#include "server/core/settings/settingsfile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class DeviceHealth;
class Downloader;
class DownloaderHandler;
class LogHandler;
class QThread;

// One collector's part of a site's devices: the devices whose key (their
// position in a settings file, or a monitoring station's address) modulo
// count is index. The default takes all.
struct DeviceShard
{
    int index = 0;
    int count = 1;
    bool includes(quint64 key) const { return count <= 1 || key % quint64(count) == quint64(index); }
};

// The open settings files of the collection server and their devices, in
// order, without widgets: the desktop window shows it as its device tree,
// the headless runner only keeps it. Every device whose source URL a
// downloader serves (ftp, tftp) runs its own downloader and scheduler from
// the moment it is added until it is removed, replaced or its file closed.
//
// Files and devices are addressed by position (file index, device index in
// the file); views follow the change signals. Ids stay fixed while the
// positions move, for callers that hold on to a file or device across
// changes.
//
// Owns the collector thread, in which every device's downloader, scheduler
// and health live and do their work (one event loop for all devices), so
// that no device's network holds the GUI thread. The model lives in the
// GUI thread; it talks to them only through queued signals and calls, and
// keeps the last health each reported. They are ended with deleteLater.
// Reports through infoSended, errorSended and warningSended (for the log)
// and never shows anything.
class DeviceTreeModel : public QObject
{
    Q_OBJECT

public:
    // A file's state as the tree's state column shows it.
    enum FileState { Saved = 0, NotSaved = 1, ReadOnly = 2 };
    // The outcome of openFile().
    enum OpenStatus {
        Opened = 0,            // every device accepted
        OpenedWithRefused = 1, // at least one device has unsupported parameters
        NothingToRead = 2,     // the file holds no element
        CannotOpen = -1,
        Unsupported = -2,
        AlreadyOpen = -3,
        // Not read whole (fileDamage() tells where): opened read-only, the
        // devices read before the damage run, and the file is never
        // written back to its own path.
        OpenedDamaged = 3,
    };
    using Id = quint64;

    explicit DeviceTreeModel(QObject *parent = nullptr);
    ~DeviceTreeModel() override;

    // Where the downloaders' events are logged (not owned; may be null).
    void setLog(LogHandler *log) { m_log = log; }
    // Free space (bytes) every destination must keep before files are
    // fetched into it (0: no limit); for running devices too.
    void setMinFreeBytes(qint64 bytes);

    int fileCount() const { return int(m_files.size()); }
    QString filePath(int file) const;
    SettingsFile::Type fileType(int file) const;
    FileState fileState(int file) const;
    // Whether devices may be added, changed and removed and the file saved:
    // a variable file that was read whole.
    bool isFileEditable(int file) const;
    // What was lost reading the file, empty when it was read whole; line
    // and column (0 when the damage has no place) of the first damage.
    QString fileDamage(int file, qint64 *line = nullptr, qint64 *column = nullptr) const;
    Id fileId(int file) const;
    // Position of the file with this id, -1 when it is closed.
    int fileIndex(Id id) const;
    // Position of the file whose path is exactly path, -1 when none.
    int findFile(const QString &path) const;

    int deviceCount(int file) const;
    // The six parameters a device was given (also when unsupported).
    QStringList deviceParams(int file, int device) const;
    bool isDeviceSupported(int file, int device) const;
    // A running device's downloader and scheduler; they live in the
    // collector thread: connect to them, or call them queued, never directly.
    Downloader *downloader(int file, int device) const;
    DownloaderHandler *scheduler(int file, int device) const;
    // The device's health as last reported; false (and a record in state
    // NeverCollected) for a device that does not run.
    bool deviceHealth(int file, int device, DeviceHealthRecord *record) const;
    // How many running devices are in each state, and the worst state of
    // those that are neither ok nor never collected yet (Ok when none).
    struct HealthSummary
    {
        int running = 0;
        int notOk = 0;  // neither ok nor never collected yet
        HealthState worst = HealthState::Ok;
    };
    HealthSummary healthSummary() const;
    Id deviceId(int file, int device) const;
    // Finds a device by id; false when it is gone.
    bool findDevice(Id id, int *file, int *device) const;

    using Shard = DeviceShard;

    // Reads a settings file and appends it with its devices running (those
    // of the shard; the others are listed and do not run). Returns its
    // position, or -1 with status telling why not.
    int openFile(const QString &path, OpenStatus *status = nullptr, Shard shard = Shard());
    // Appends a new empty file (editable and not saved, or read-only) and
    // writes it at once; its position, -1 when the path is open already.
    // written tells whether the file could be written.
    int newFile(const QString &path, bool *written = nullptr,
                SettingsFile::Type type = SettingsFile::Type::Variable);
    // The file's content is whole again (its owner has rebuilt it): it may
    // be written back.
    void forgetDamage(int file);
    // Writes a file to path (its own path when empty); a success marks it
    // saved. The file keeps its own path either way. A damaged file is
    // written to another path only.
    bool saveFile(int file, const QString &path = QString());
    // Ends every device of the file and removes it.
    void closeFile(int file);

    // Appends a device to a file and starts it; marks an editable file not
    // saved (a read-only file is never marked not saved by the changes below).
    // Its position; supported tells whether it runs.
    int addDevice(int file, const QStringList &params, bool *supported = nullptr);
    // Replaces a device's parameters (a new downloader and scheduler);
    // marks the file not saved. Whether it runs.
    bool setDeviceParams(int file, int device, const QStringList &params);
    // Ends a device and removes it; marks the file not saved.
    void removeDevice(int file, int device);

    // Ends a device's downloader and scheduler (deleteLater) and keeps the
    // device with its parameters, not running.
    void stopDevice(int file, int device);

signals:
    void infoSended(QString message);
    void errorSended(QString message);
    void warningSended(QString message);

    void fileInserted(int file);
    void fileAboutToBeRemoved(int file);
    void fileStateChanged(int file);
    void deviceInserted(int file, int device);
    void deviceChanged(int file, int device);
    void deviceAboutToBeRemoved(int file, int device);
    // A device's downloader and scheduler were created (also by
    // setDeviceParams) and are about to begin their first cycle.
    void deviceStarted(Downloader *downloader, DownloaderHandler *scheduler);
    // A running device's health record changed (DeviceHealth::healthChanged).
    void deviceHealthChanged(int file, int device);

private:
    struct Device
    {
        Id id = 0;
        QStringList params;
        Downloader *downloader = nullptr;  // in the collector thread; null when not running
        DownloaderHandler *scheduler = nullptr;
        DeviceHealth *health = nullptr;
        DeviceHealthRecord healthRecord;    // as last reported
    };
    struct File
    {
        Id id = 0;
        QString path;
        SettingsFile::Type type = SettingsFile::Type::Variable;
        FileState state = Saved;
        std::vector<Device> devices;
        QString damage;          // empty when the file was read whole
        qint64 damageLine = 0;
        qint64 damageColumn = 0;
    };

    int appendFile(const QString &path, SettingsFile::Type type, FileState state, File file);
    bool startDevice(Device &device, const QString &filePath);
    void endDevice(Device &device);
    void setState(int file, FileState state);
    static QStringList sixTexts(const QStringList &params);

    std::unique_ptr<QThread> m_collector;
    std::vector<File> m_files;
    LogHandler *m_log = nullptr;
    qint64 m_minFreeBytes = 0;
    Id m_nextId = 1;
};
