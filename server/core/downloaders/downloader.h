// Downloader: one device's transfers; FtpDownloader and TftpDownloader speak the protocols.
#pragma once

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class VerifiedCopy;
template <typename T> class QFutureWatcher;

// The interface every device client (FTP, TFTP) offers to the rest of the
// server. A downloader lives in the GUI thread and is driven only through its
// slots and observed only through its signals; all connections to and from
// it are queued.
//
// It takes three parameters (DownloaderParam): the device URL, the local
// folder for downloaded files and the options text (name=value pairs).
//
// A file is fetched into a VerifiedCopy: a local copy is continued only
// after the device has sent again the bytes before its end and they match;
// otherwise the copy is kept under a numbered name (versionKept) and the
// file fetched whole. A transfer takes no more than the size the device
// listed. getFileDone means the local copy is the device's file.
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
    // A listed size that is not known: the transfer takes what the device sends.
    static constexpr qint64 kUnknownSize = -1;

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
    // Fetches one file of the device folder so that its local copy becomes
    // the device's file. pos (bytes) is where the caller expects the copy
    // to go on (its size): the transfer begins kOverlapBytes before the
    // copy's end and appends once those bytes match; pos 0 verifies the
    // whole copy from the device's byte 0. listedSize: the size the device
    // listed (bytes), the most the copy takes; kUnknownSize when not known.
    virtual void getFile(QString name, ulong pos, qint64 listedSize) = 0;
    void getFile(QString name, ulong pos);
    void getFile(QString name);
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
    // The local copy of `name` was not the device's file (reason tells how
    // they differ): it was moved to versionPath and the file is fetched
    // whole.
    void versionKept(QString name, QString versionPath, QString reason);
    // A version kept during the fetch held only the start of the new copy
    // and was removed.
    void versionDropped(QString name, QString versionPath);
    // The device refused the file, or its copy cannot be stored under its
    // name; errorOccured follows with the message. The conversation stays
    // usable: the next file may be asked for.
    void fileRefused(QString name, QString message);

protected:
    // Splits a listing into lines at "\n", dropping one "\r" before each
    // line end; a final line end yields a last empty line.
    static QStringList splitListing(const QString &text);
    // Creates the local folder (one level) when missing and returns the
    // absolute path of name inside it.
    static QString prepareLocalPath(const QString &folder, const QString &name);
    // The message of errorOccured when the local copy cannot be written.
    static QString writeErrorMessage(const QString &reason);

    // Starts a new transfer into an in-memory listing buffer (the previous
    // output is dropped). False after emitting errorOccured.
    bool beginListOutput(QByteArray *buffer);
    // Starts the transfer of the device file `name` into its copy inside
    // `folder` (see getFile): refuses unsafe names, opens the copy (one the
    // device lists shorter is kept as a version at once), then asks the
    // device with requestFile. Emits fileRefused and errorOccured when the
    // copy cannot be opened.
    void beginFile(const QString &folder, const QString &name, ulong pos, qint64 listedSize);
    // Sends the request for the file being fetched from byte `offset` on.
    virtual void requestFile(const QString &name, qint64 offset) = 0;
    // Ends the device's running transfer without a report (the data is no
    // longer wanted); the conversation stays usable.
    virtual void cancelTransfer() = 0;
    // The object name that marks the listing buffer.
    static QString listOutputName();

    // What the copy made of received bytes.
    enum class Received { More, Enough, Failed, Restarted };
    // Hands bytes of the device file to the copy. Enough: the copy holds the
    // listed size (the caller ends the transfer and calls finishFile);
    // Failed: errorOccured was emitted and the copy dropped; Restarted: the
    // bytes were another file's, the copy was kept as a version and the
    // file asked for again from byte 0 (the caller drops its transfer).
    Received receiveFileData(const char *data, qint64 count);
    // The device ended the transfer of the file: a complete copy is indexed
    // and its index cache written in a worker thread, so that a large
    // recording never holds up this thread; getFileDone follows once the
    // cache is written, then `afterDone` runs. A copy whose bytes were
    // another file's is kept as a version and the file asked for again
    // (false, nothing else reported); one that could not be completed gives
    // errorOccured (false).
    bool finishFile(std::function<void()> afterDone = {});
    // Closes and drops the listing buffer and the copy without completing them.
    void dropOutput();
    bool isFetchingFile() const { return copy != nullptr; }
    // The device's name of the file being fetched.
    QString currentFileName() const { return m_fileName; }
    // The message of errorOccured for a failed copy, with the system's reason.
    QString copyErrorMessage() const;

    std::unique_ptr<QIODevice> output;  // the "list" buffer while listing
    std::unique_ptr<VerifiedCopy> copy; // the copy being filled while fetching

private:
    bool openCopy(const QString &path, ulong pos);
    void restartWhole();

    // The indexing of the last finished file, while it runs.
    std::unique_ptr<QFutureWatcher<void>> m_indexing;
    QString m_fileName;       // the device's name of the file being fetched
    qint64 m_listedSize = kUnknownSize;
    QString m_keptVersion;    // the version kept during this fetch, if any
};
