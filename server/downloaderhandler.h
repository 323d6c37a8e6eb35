#pragma once

#include <QObject>
#include <QStringList>

class QTimerEvent;

// The polling scheduler of one device: every polling period it makes the
// device's downloader connect and fetch the file list, picks at most one
// file that is recent and larger on the device than locally, asks for it
// from the local size on, and disconnects after it. The polling timer is
// stopped while a cycle runs and started again when the cycle ends (an
// error, nothing to fetch, a file done), so the next cycle begins one period
// after the end of the last one. Lives in the GUI thread and talks to its
// downloader only through queued signals and slots; it never touches the
// network itself.
//
// It takes a device's six parameters (DeviceParam) and uses the period and
// the local folder.
class DownloaderHandler : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultPeriodMs = 60000;
    static constexpr int kMsPerMinute = 60000;
    // Files dated more than this many days before now are never fetched.
    static constexpr int kMaxAgeDays = 3;

    explicit DownloaderHandler(QObject *parent = nullptr);

    // Polling period (ms), as the device list shows it.
    int period() const { return periodMs; }
    // Overrides the period taken from the parameters (ms, at least 1).
    void setPeriod(int ms);
    // True while the device waits for its next cycle (no cycle running), as
    // the device list shows it.
    bool isPollTimerActive() const { return pollTimer != 0; }
    // The device's six parameters as set (DeviceParam order).
    QStringList deviceParams() const { return param; }
    // A file was requested in the running cycle and the cycle has not ended.
    bool isFetchingFile() const { return fetchingFile; }
    // Begins a polling cycle now: stops the polling timer and emits
    // downloadStarted().
    void startCycle();

signals:
    void downloadStarted();
    void downloadGotFileList();
    void downloadGotFile(QString name, ulong pos);
    void downloadGotFile(QString name);
    void downloadStopped();
    // A cycle begun by startCycle() (or the timer) has ended and the polling
    // timer runs again.
    void cycleFinished();

public slots:
    void setParam(QStringList param);
    void downloadStart();
    void downloadErrorOccur(QString message);
    void downloadGetFileListStart();
    void downloadGetFileListDo(QStringList fileList);
    void downloadGetFileStart(QString name);
    void downloadGetFileDo();
    void downloadStop();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void stopPollTimer();
    void restartPollTimer();

    QStringList param;
    int periodMs = kDefaultPeriodMs;
    int pollTimer = 0;       // id of the polling timer, 0 when none or during a cycle
    bool inCycle = false;
    bool fetchingFile = false;
};
