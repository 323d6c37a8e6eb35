// LogHandler: the server's log file.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// The collection server's log: a text file named by the time it was begun
// ("yyyyMMdd_hhmmsszzz.log"): at the start of the run, and then at every
// local midnight (named by that midnight), in which every file operation, parameter
// change, downloader event and monitoring event becomes a time-stamped line.
// A line reads: tab, "ss.zzz", " - ", level, ": ", message; a header
// "yyyy.MM.dd hh:mm" stands before the first line of each minute. Text is
// written in the local 8-bit encoding and flushed line by line.
//
// Lives in the GUI thread of its owner; every input is a slot reached through
// a queued connection. Most levels name the sending object
// (QObject::sender()->objectName()): "MainWindow", "FtpDownloader_3" ...
// A log file that cannot be created makes writes go nowhere, and a write that
// fails is lost; the program runs on, and each is said on standard error.
class LogHandler : public QObject
{
    Q_OBJECT

public:
    // Creates the log file in folder (which ends with "/"), named by now.
    explicit LogHandler(const QString &folder, QObject *parent = nullptr);
    // Writes into an open device instead (e.g. standard output); owned.
    explicit LogHandler(std::unique_ptr<QIODevice> device, QObject *parent = nullptr);
    ~LogHandler() override;

    // The log file's name for a run started at `start`.
    static QString fileNameFor(const QDateTime &start);
    // The path of the log file, empty when writing to a device.
    QString filePath() const { return path; }

    // Writes one entry (with a minute header when the minute changed).
    void writeLine(const QString &level, const QString &message);
    // The same as if it were `now`: a new day begins a new file first.
    void writeLineAt(const QDateTime &now, const QString &level, const QString &message);
    // The name the lines give the reports of `object`, which may live in
    // another thread and may be gone by the time its last reports are
    // written (its objectName() is then not read). Forgotten after those.
    void nameSender(const QObject *object, const QString &name);
    // Logs of the folder begun more than `days` days before today are
    // removed, now and at every new file; 0 keeps all.
    void setKeepDays(int days);
    // The text of one entry at `now`, led by a minute header when the
    // minute differs from the last header's (which then becomes `now`).
    QString formatLine(const QDateTime &now, const QString &level, const QString &message);

public slots:
    void commonInfoSend(QString message);
    void commonErrorSend(QString message);
    void commonWarningSend(QString message);
    void pelluxPollingStart();
    void pelluxPollingStop();
    void pelluxErrorOccur(QString message);
    void downloaderStart();
    void downloaderErrorOccur(QString message);
    void downloaderGetFileListStart();
    void downloaderGetFileListDo(QStringList fileList);
    void downloaderGetFileStart(QString name);
    void downloaderGetFileDo();
    void downloaderAbort();
    void downloaderStop();
    // A local copy was not the device's file and was kept as versionPath.
    void downloaderVersionKeep(QString name, QString versionPath, QString reason);
    // A kept version held only the start of the new copy and was removed.
    void downloaderVersionDrop(QString name, QString versionPath);

private:
    // "word" followed by the sender's object name, when there is one.
    QString levelOfSender(const QString &word) const;

    void beginFile(const QDateTime &start);
    void removeOldLogs(const QDate &today);

    std::unique_ptr<QIODevice> file;
    QHash<const QObject *, QString> senderNames; // compared, never dereferenced
    QString folder;   // empty when writing to a device
    QString path;
    QDate fileDay;    // the local day the file was begun
    int keepDays = 0;
    QDateTime lastStamp;
    bool writeFailing = false; // the last write failed (and was told)
};
