// DeviceHealth: one device's collection state and figures, fed by its downloader and scheduler.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

// A device's collection state, from best to worst news.
enum class HealthState {
    Ok,                    // its last cycle went well and data came lately
    NeverCollected,        // no cycle has ended yet
    Stale,                 // cycles go well, but no new data for longer than its silence limit
    DiskLow,               // its destination's free space is below the limit: downloads wait
    FileRefused,           // the device refused a file, or its name cannot be stored
    DestinationUnwritable, // the local copy cannot be created or written
    LoginRefused,          // the device refused the user or the password
    Unreachable,           // refused connection, unknown host, timeout, lost connection
};
constexpr int kHealthStateCount = 8;

// The key the log, serve's status file and drovane-cli status use:
// "ok", "never-collected", "unreachable" ...
QString healthKey(HealthState state);
// The state from its key; false when the key names none.
bool healthFromKey(const QString &key, HealthState *state);
// The text the windows show: "В порядке", "Не опрашивалось" ...
QString healthText(HealthState state);
// Larger is worse; Ok is 0.
int healthSeverity(HealthState state);
// The state a failure message of a downloader stands for (Unreachable for
// messages it does not know).
HealthState healthOfFailure(const QString &message);

// What a device's health consists of. Times are local date-times; sizes
// are bytes.
struct DeviceHealthRecord
{
    HealthState state = HealthState::NeverCollected;
    QDateTime since;            // when the state began
    QDateTime lastSuccess;      // end of the last cycle without error
    QDateTime lastFileTime;     // the last file collected: when, name, size
    QString lastFileName;
    qint64 lastFileSize = 0;
    QDateTime lastErrorTime;
    QString lastError;
    int cycles = 0;             // cycles ended since the device started
    int failures = 0;           // cycles failed in a row
    int filesBehind = 0;        // files of the last listing not yet collected
    qint64 bytesToday = 0;      // bytes collected since local midnight
    QDate bytesDay;             // the day bytesToday counts

    bool isOk() const { return state == HealthState::Ok; }
    // The figures as lines of a tooltip (Russian, as the windows show them;
    // the device's texts through visibleText).
    QString figuresText() const;
};

// One device's health. Its slots are connected (queued) to its downloader's
// and scheduler's signals (wireDeviceHealth); it evaluates the state at the
// end of every cycle and reports each change. Lives in the thread of its
// downloader and scheduler; its reports carry its object name (the
// device's), so that the log names the device.
class DeviceHealth : public QObject
{
    Q_OBJECT

public:
    // No new data for this long makes a device stale unless its options say
    // otherwise ("stale=MINUTES", 0 switches it off).
    static constexpr int kDefaultSilenceMinutes = 120;
    static constexpr qint64 kMsPerMinute = 60000;

    // params: the device's six parameters (DeviceParam order): the
    // destination folder and the options are taken from them.
    explicit DeviceHealth(const QStringList &params, QObject *parent = nullptr);

    const DeviceHealthRecord &record() const { return m_record; }
    // The silence limit (ms) the options gave, 0 when switched off.
    qint64 silenceLimitMs() const { return m_silenceMs; }
    // Makes the clock of the stale rule start at `start` (tests).
    void setLastNewData(const QDateTime &start) { m_lastNewData = start; }

signals:
    // The record changed (any figure); the state may be the same.
    void healthChanged(DeviceHealthRecord record);
    // The state changed: logged once per change ("state: KEY ...").
    void infoSended(QString message);
    void warningSended(QString message);

public slots:
    void cycleStart();
    void downloadErrorOccur(QString message);
    void downloadGetFileRefuse(QString name, QString message);
    // The scheduler asks for a file whose local copy holds pos bytes.
    void fileRequest(QString name, ulong pos, qint64 listedSize);
    void downloadGetFileDo();
    void filesBehindCount(int files);
    void destinationLowFind(qint64 bytesAvailable);
    void cycleFinish(bool succeeded);

private:
    void setState(HealthState state, const QString &why);
    void countBytes(qint64 bytes, const QDateTime &now);

    QString m_folder;
    qint64 m_silenceMs = kDefaultSilenceMinutes * kMsPerMinute;
    DeviceHealthRecord m_record;
    QDateTime m_lastNewData;       // start of the stale rule's clock
    // This cycle: the first failure's state and text, a refused file, low space.
    bool m_failed = false;
    HealthState m_failure = HealthState::Ok;
    QString m_failureText;
    bool m_refusalPending = false; // the next error is a refusal's
    bool m_fileRefused = false;
    bool m_destinationLow = false;
    qint64 m_bytesAvailable = 0;
    QString m_fileName;            // the file being fetched and its size before
    qint64 m_sizeBefore = 0;
};

Q_DECLARE_METATYPE(DeviceHealthRecord)
