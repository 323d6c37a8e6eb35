#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

// The collection server's program-wide settings: the INI file "Drovane.ini"
// in the data folder, holding the monitoring-database connection (group
// "Pellux") and the settings files to reopen at start ("FileList"). Lives in
// the GUI thread of its owner (the main window or the headless runner).
class ServerSettings
{
public:
    static const QString kIniFileName;     // "Drovane.ini"
    static const QString kPelluxFileName;  // "Pellux.xml", the monitoring devices
    // Monitoring values, in the order of the list pelluxSettings() returns.
    enum PelluxValue { Usage, Driver, HostName, DatabaseName, UserName, Password, PollingPeriod, PelluxValueCount };

    // Opens dataFolder + iniFileName (dataFolder ends with "/").
    explicit ServerSettings(const QString &dataFolder, const QString &iniFileName = kIniFileName);

    QString fileName() const;

    // The seven monitoring values, defaults for missing keys.
    QVariantList pelluxSettings() const;
    // Stores the seven values and writes the INI file at once; false when
    // fewer are given (nothing stored) or the file could not be written.
    bool savePelluxSettings(const QVariantList &values);
    // The monitoring poll's period (minutes) a PollingPeriod value gives:
    // 0 polls without pause; others are held to 1..kMaxPeriodMinutes (a
    // week), and a value that is no whole number gives the default; warning
    // says what was changed.
    static int pollingPeriodMinutes(const QVariant &value, QString *warning = nullptr);
    // The line the log gets for saved monitoring values: every value and
    // "; ", the password replaced by "***".
    static QString pelluxSettingsLogText(const QVariantList &values);

    // "MinFreeMB": free space (bytes) a destination must keep before files
    // are fetched into it; kDefaultMinFreeMB when missing, 0 for no limit.
    static constexpr qint64 kBytesPerMB = 1024 * 1024;
    static constexpr qint64 kDefaultMinFreeMB = 1024;
    static constexpr qint64 kDefaultMinFreeBytes = kDefaultMinFreeMB * kBytesPerMB;
    qint64 minFreeBytes() const;
    // "LogKeepDays": logs older than this many days are removed; 0 (the
    // default, also for a value that is no whole number >= 0) keeps all.
    int logKeepDays() const;

    // The settings files to reopen at start, in order.
    QStringList fileList() const;
    // Stores the list and writes the INI file at once; false when it could
    // not be written.
    bool saveFileList(const QStringList &paths);

private:
    std::unique_ptr<QSettings> settings;
};

// The folder the server writes its own files into (INI file, logs,
// monitoring device file), with a trailing "/": the program's folder when
// it is writable (a build tree, a portable copy), otherwise the per-user data
// folder (created on demand). The program's folder of an installed program
// (e.g. /usr/bin) is not writable.
QString chooseDataFolder(const QString &applicationFolder);
