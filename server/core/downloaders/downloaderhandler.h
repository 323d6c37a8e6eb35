// DownloaderHandler: one device's scheduler (a cycle every period).
#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <atomic>

class QTimerEvent;

// The polling scheduler of one device: every polling period it makes the
// device's downloader connect and fetch the file list, then fetches every
// file that is recent and whose local copy is not the device's file, oldest
// first, in the same cycle, and disconnects after them. The polling timer is
// stopped while a cycle runs and started again when the cycle ends (an
// error, nothing to fetch, the last file done), so the next cycle begins one
// period after the end of the last one. Lives in the GUI thread and talks to
// its downloader only through queued signals and slots; it never touches
// the network itself.
//
// A file needs fetching when the device lists it larger or smaller than its
// local copy, or as large but with a size or date other than its listing
// stamp (the copy is then checked). A file the device refuses, or whose
// copy cannot be stored, is skipped for 1, 2, 4 ... up to kMaxBackoffCycles
// cycles while the cycle goes on with the next file. A file too old to be
// fetched is logged once.
//
// It takes a device's six parameters (DeviceParam) and uses the period and
// the local folder. Its reports (infoSended, warningSended) carry its
// object name, which its owner sets to its downloader's.
class DownloaderHandler : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultPeriodMs = 60000;
    static constexpr int kMsPerMinute = 60000;
    // Files dated more than this many days before now are never fetched.
    static constexpr int kMaxAgeDays = 3;
    // The longest back-off of a refused file (cycles).
    static constexpr int kMaxBackoffCycles = 60;

    explicit DownloaderHandler(QObject *parent = nullptr);

    // Polling period (ms), as the device list shows it.
    int period() const { return periodMs; }
    // Overrides the period taken from the parameters (ms, at least 1); a
    // device waiting for its next cycle waits the new period from now.
    void setPeriod(int ms);
    // True while the device waits for its next cycle (no cycle running), as
    // the device list shows it.
    // Safe to call from any thread.
    bool isPollTimerActive() const { return waiting.load(); }
    // The device's six parameters as set (DeviceParam order).
    QStringList deviceParams() const { return param; }
    // A file was requested in the running cycle and the cycle has not ended.
    // Safe to call from any thread.
    bool isFetchingFile() const { return fetchingFile.load(); }
    // Begins a polling cycle now: stops the polling timer and emits
    // downloadStarted().
    void startCycle();
    // The running cycle ends after the file being fetched instead of going
    // on with the next (a stop of the program waits for that file only).
    void endCycleAfterFile();
    // Free space (bytes) the destination must keep: below it no file is
    // asked for, and the cycle ends (destinationLowFound); the next cycle
    // looks again. 0: no limit.
    void setMinFreeBytes(qint64 bytes) { minFreeBytes = bytes; }

signals:
    void downloadStarted();
    void downloadGotFileList();
    // Asks for a file from byte pos on (the local copy's size), of which
    // the device listed listedSize bytes.
    void downloadGotFile(QString name, ulong pos, qint64 listedSize);
    void downloadGotFile(QString name, ulong pos);
    void downloadGotFile(QString name);
    void downloadStopped();
    // A cycle begun by startCycle() (or the timer) has ended and the polling
    // timer runs again; succeeded is false when an error came during it.
    void cycleFinished(bool succeeded);
    // After stopAfterFile(): no more work will begin; the owner may end it.
    void stopReached();
    // How many files of the last listing still wait to be collected: after
    // each listing and each file collected.
    void filesBehindCounted(int files);
    // The destination had fewer free bytes than the limit: no file was asked for.
    void destinationLowFound(qint64 bytesAvailable);
    void infoSended(QString message);
    void warningSended(QString message);

public slots:
    void setParam(QStringList param);
    // For a stop of the program: the running cycle ends after the file being
    // fetched (at once when none is), then stopReached().
    void stopAfterFile();
    void downloadStart();
    void downloadErrorOccur(QString message);
    void downloadGetFileListStart();
    void downloadGetFileListDo(QStringList fileList);
    void downloadGetFileStart(QString name);
    void downloadGetFileDo();
    void downloadStop();
    // The downloader's fileRefused: the file waits, the cycle goes on.
    void downloadGetFileRefuse(QString name, QString message);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    struct Candidate
    {
        QString name;
        qint64 listedSize = 0;  // bytes
        qint64 localSize = 0;   // bytes
        QDateTime date;
    };
    struct Backoff
    {
        int cycles = 0;         // the last back-off's length
        qint64 untilCycle = 0;  // skipped up to and including this cycle
    };

    bool needsFetching(const Candidate &file) const;
    void fetchNext();
    void endCycle();
    void stopPollTimer();
    void restartPollTimer();

    QStringList param;
    int periodMs = kDefaultPeriodMs;
    int pollTimer = 0;       // id of the polling timer, 0 when none or during a cycle
    std::atomic<bool> waiting{false};   // pollTimer != 0, for other threads
    bool inCycle = false;
    std::atomic<bool> fetchingFile{false};
    bool stopPending = false;
    bool cycleFailed = false;
    bool fileRequested = false;      // a file was asked for in this cycle
    bool currentRefused = false;     // the file being fetched was refused
    bool endAfterFile = false;
    qint64 minFreeBytes = 0;
    int filesBehind = 0;             // files of the last listing still to collect
    qint64 cycleNumber = 0;          // listings taken so far
    QList<Candidate> queue;          // files still to fetch in this cycle, oldest first
    Candidate current;               // the file being fetched
    QHash<QString, Backoff> backoff;
    QSet<QString> reportedOld;       // files too old to fetch, logged once
};
