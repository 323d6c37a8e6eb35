#pragma once

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFile;
template <typename T> class QFutureWatcher;

// The interface every device client (FTP, TFTP) offers to the rest of the
// server. A downloader lives in the GUI thread and is driven only through its
// slots and observed only through its signals; all connections to and from
// it are queued.
//
// It takes three parameters (DownloaderParam): the device URL, the local
// folder for downloaded files and the options text (name=value pairs).
class Downloader : public QObject
{
    Q_OBJECT

public:
    // A device's file list larger than this is refused (bytes): listings
    // are held in memory whole.
    static constexpr int kMaxListingBytes = 32 * 1024 * 1024;
    // The message of errorOccured for such a listing.
    static QString listingTooLargeMessage();

    explicit Downloader(QObject *parent = nullptr);
    ~Downloader() override;

    // Takes the device's downloader parameters; 0 ok, 1 an option value was
    // not understood, -1 wrong URL scheme. Callers need not check it.
    virtual int setParam(QStringList param) = 0;

    // True when a device's file name may become a file inside the local
    // folder: not empty, not "." or "..", and without "/", "\" or control
    // characters.
    // Device listings are untrusted input.
    static bool isSafeFileName(const QString &name);
    // The message of errorOccured for a refused file name.
    static QString unsafeFileNameMessage(const QString &name);

public slots:
    virtual void start() = 0;
    virtual void getFileList() = 0;
    // Fetches one file of the device folder from byte pos (bytes) on.
    virtual void getFile(QString name, ulong pos) = 0;
    virtual void getFile(QString name) = 0;
    virtual void abort() = 0;
    virtual void stop() = 0;

signals:
    void started();
    void errorOccured(QString message);
    void getFileListStarted();
    void getFileListDone(QStringList fileList);
    void getFileStarted(QString name);
    void getFileDone();
    void aborted();
    void stopped();

protected:
    // Splits a listing into lines at "\n", dropping one "\r" before each
    // line end; a final line end yields a last empty line.
    static QStringList splitListing(const QString &text);
    // Creates the local folder (one level) when missing and returns the
    // absolute path of name inside it.
    static QString prepareLocalPath(const QString &folder, const QString &name);
    // Ends a finished download: the local copy is cut where the device's data
    // ended (a resumed or re-sent transfer may have left older bytes past
    // it) and closed. False (with the reason in errorString) when the file
    // could not be cut, flushed or closed; such a copy is neither indexed
    // nor reported finished.
    static bool completeLocalFile(QFile *file, QString *errorString = nullptr);
    // The message of errorOccured when the local copy cannot be written.
    static QString writeErrorMessage(const QString &reason);

    // Starts a new transfer into an in-memory listing buffer (the previous
    // output is dropped). False after emitting errorOccured.
    bool beginListOutput(QByteArray *buffer);
    // Starts a new transfer into the local copy of the device file `name`
    // inside `folder`: refuses unsafe names, opens the file with `mode`.
    // False after emitting errorOccured.
    bool beginFileOutput(const QString &folder, const QString &name, QIODevice::OpenMode mode);
    // The object name that marks the listing buffer among outputs.
    static QString listOutputName();

    // Ends a successful file download (completeLocalFile), then indexes it
    // and writes its index cache in a worker thread, so that a large
    // recording never holds up this thread; getFileDone follows once the
    // cache is written, then `afterDone` runs (what the transfer still has
    // to report comes after getFileDone). errorOccured instead when the
    // local copy could not be completed.
    void finishFile(std::function<void()> afterDone = {});
    // Closes and drops the transfer's output without completing it.
    void dropOutput();

    std::unique_ptr<QIODevice> output; // "list" buffer or the file being written
    QString localFilePath;       // the file being written, empty for the list

private:
    // The indexing of the last finished file, while it runs.
    std::unique_ptr<QFutureWatcher<void>> m_indexing;
};
