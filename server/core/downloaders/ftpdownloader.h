#pragma once

#include "server/core/downloaders/downloader.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QAbstractSocket>
#include <QList>
#include <QUrl>

class QTcpSocket;
class QTextCodec;
class QTimerEvent;

// FTP client of one device on two QTcpSockets (control and data connection):
// login, binary type, passive mode, directory listing, resumed retrieval and
// abort. A non-blocking state machine driven by the event loop of the thread
// that owns it (the GUI thread); no slot waits, and a finished download is
// indexed in a worker thread.
//
// The data connection always goes to the control connection's peer: of the
// passive reply only the port is used, the host it names is ignored.
//
// Commands wait in pendingCommands and are sent one at a time; a command
// whose reply is awaited sits in awaitedCommands. Every reply line is judged
// by the awaited command and the reply's first digit.
class FtpDownloader : public Downloader
{
    Q_OBJECT

public:
    // Wait for a reply to a command or to the connection, and for more data
    // on a data connection still open after the completion reply (ms).
    static constexpr int kReplyTimeoutMs = 5000;
    // Longest wait after the first preliminary (1xx) reply to a command, or
    // after the last data of a running transfer, whichever is later (ms).
    // Further 1xx replies to the same command do not extend it.
    static constexpr int kStallTimeoutMs = 30000;
    // Default control port.
    static constexpr int kDefaultPort = 21;

    explicit FtpDownloader(QObject *parent = nullptr);
    ~FtpDownloader() override;

    // Takes URL ("ftp" scheme), local folder and options ("codec").
    int setParam(QStringList param) override;
    using Downloader::getFile;

    // Configuration: how long a command may wait for its reply, and how
    // long a transfer may go without data after its preliminary reply (ms;
    // kReplyTimeoutMs and kStallTimeoutMs unless set). Slow devices or
    // links may need longer limits, quick tests shorter ones.
    void setReplyTimeout(int ms) { replyTimeoutMs = ms; }
    void setStallTimeout(int ms) { stallTimeoutMs = ms; }

public slots:
    void start() override;
    void getFileList() override;
    void getFile(QString name, ulong pos, qint64 listedSize) override;
    void abort() override;
    void stop() override;
    void commandReadyRead();
    void dataReadyRead();
    void connectionDisconect();

protected:
    void timerEvent(QTimerEvent *event) override;
    void requestFile(const QString &name, qint64 offset) override;
    void cancelTransfer() override;

private:
    enum Outcome { Wait, Success, Next, Error, Failure, Unrecognised };

    void handleReplyLine(const QByteArray &line);
    bool continuesMultiLineReply(const QByteArray &line);
    static Outcome classify(const QByteArray &command, char c);
    void settle(const QByteArray &command, Outcome outcome);
    void succeeded(const QByteArray &command);
    void transferReplied();
    bool abortAnsweredForTransfer(const QByteArray &line) const;
    void sendNextCommand(bool announce);
    void announce(const QByteArray &command);
    bool openDataConnection(const QByteArray &line);
    void finishTransferIfReady();
    Received takeData(const char *data, qint64 count);
    void completeFile();
    void connectionErrorOccur(QAbstractSocket::SocketError error);
    void sendAbort();
    void reportControlLost();
    void finishListing();
    void resetConversation();
    void startCommandTimer(int ms);
    void stopCommandTimer();
    void stopDrainTimer();
    QByteArray encodedPath(const QString &path) const;

    QStringList param;
    QList<QByteArray> awaitedCommands;
    QList<QByteArray> pendingCommands;
    QByteArray listingData;
    QStringList fileList;
    const std::unique_ptr<QTcpSocket> controlSocket;
    const std::unique_ptr<QTcpSocket> dataSocket;
    QString remotePath;              // fully decoded path of the URL
    QTextCodec *codec = nullptr;
    QUrl url;
    int commandTimer = 0;            // reply timer id, 0 when none

    int replyTimeoutMs = kReplyTimeoutMs;
    int stallTimeoutMs = kStallTimeoutMs;
    bool transferRunning = false;    // a 1xx reply to list/retr came, data may flow
    bool preliminaryReplied = false; // the awaited command had its first 1xx reply
    bool completionPending = false;  // 2xx to list/retr came, waiting for the data to end
    int drainTimer = 0;              // guards the wait for the data connection to close
    bool abortRequested = false;     // the pending ABOR came from abort(), not from a failure
    bool controlLost = false;        // the control connection closed while the data drained
    bool stopping = false;           // stop() closed the control connection
    QByteArray multiLineCode;        // code of an unfinished "nnn-" reply, empty when none
    QElapsedTimer lastDataTime;      // since the last data of a running transfer
    QElapsedTimer completionTime;    // since the completion reply of the transfer draining
    QByteArray receiveChunk;         // reused buffer between data socket and output
};
