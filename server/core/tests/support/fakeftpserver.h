#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;

// A scripted FTP server on 127.0.0.1 for protocol corners a real server
// will not show. It answers each command by its verb (upper case) from a
// table; a verb without an entry gets "500 unknown". Passive mode opens a
// data listener on 127.0.0.1. LIST and RETR run a list of steps.
//
// It also serves device files the way a recorder does, with the faults of
// real recorders: RETR of a served name sends its bytes from the last REST
// offset on (or from byte 0 when told to ignore REST), LIST without a
// scripted transfer lists the served files, and a file can be refused, sent
// endlessly or followed by data trickling after "226". A transfer can be
// paused after a number of bytes (transferPaused), then resumed or dropped.
// One client at a time; lives in the test's thread.
class FakeFtpServer : public QObject
{
    Q_OBJECT

public:
    struct Step
    {
        enum Kind { Reply, Data, CloseData, Pause };
        Kind kind;
        QByteArray bytes;   // Reply: reply lines; Data: bytes for the data connection
        int ms = 0;         // Pause (ms)
    };
    static Step reply(const QByteArray &lines) { return {Step::Reply, lines, 0}; }
    static Step data(const QByteArray &bytes) { return {Step::Data, bytes, 0}; }
    static Step closeData() { return {Step::CloseData, {}, 0}; }
    static Step pause(int ms) { return {Step::Pause, {}, ms}; }
    // The same reply lines `times` times, one every intervalMs (ms).
    static QList<Step> repeatedReply(const QByteArray &lines, int times, int intervalMs);
    // A whole transfer as devices answer it: the preliminary reply, the
    // bytes, the data connection closed, the completion reply. For LIST
    // ("150 here" ... "226 done") and RETR ("150 sending" ... "226 sent").
    static QList<Step> listing(const QByteArray &lines);
    static QList<Step> sending(const QByteArray &bytes);

    // How a served file goes wrong.
    enum class Fault {
        None,
        Refused,       // RETR gets "550"
        Endless,       // more bytes after the file's, until the client closes
        Trickle,       // "226" after the file's bytes, then a byte every few ms
    };

    explicit FakeFtpServer(QObject *parent = nullptr);

    // Serves (or replaces) the device file `name`, listed with `date`.
    void serveFile(const QString &name, const QByteArray &bytes,
                   const QDateTime &date = QDateTime::currentDateTime(), Fault fault = Fault::None);
    void removeFile(const QString &name) { m_files.remove(name); }
    QByteArray fileBytes(const QString &name) const { return m_files.value(name).bytes; }
    // RETR sends from byte 0 whatever REST asked for (REST is still accepted).
    void setIgnoreRest(bool ignore) { m_ignoreRest = ignore; }
    // Every served-file transfer stops after `bytes` bytes and emits
    // transferPaused(); -1: never.
    void setPauseAfter(qint64 bytes) { m_pauseAfter = bytes; }
    // Goes on with a paused transfer, or ends it: data connection closed,
    // "426" on the control connection.
    void resumeTransfer();
    void dropTransfer();
    // RETR commands of served files so far, and the bytes they sent.
    int retrievals() const { return m_retrievals; }

    bool listen();
    quint16 port() const;
    QString url(const QString &path = QStringLiteral("/")) const;

    // Greeting lines; empty: the server stays silent after accepting.
    void setGreeting(const QByteArray &lines) { m_greeting = lines; }
    // Reply steps run instead of the greeting on each new control connection.
    void setGreetingSteps(const QList<Step> &steps) { m_greetingSteps = steps; }
    // Reply lines to a verb; empty: no reply at all.
    void setReply(const QByteArray &verb, const QByteArray &lines) { m_replies.insert(verb, lines); }
    // Steps run for LIST or RETR (after the data connection is accepted
    // when a step needs it).
    void setTransfer(const QByteArray &verb, const QList<Step> &steps) { m_transfers.insert(verb, steps); }
    void clearReply(const QByteArray &verb) { m_replies.remove(verb); }
    // Sends reply lines now.
    void sendReply(const QByteArray &lines) { send(lines); }
    // Closes the control connection.
    void dropControl();

    // Every command line received, line end removed.
    QList<QByteArray> commands() const { return m_commands; }
    // A control connection is open (the client has not closed it).
    bool hasClient() const { return !m_control.isNull(); }

signals:
    void commandReceived(QByteArray line);
    void transferPaused();

private:
    void acceptControl();
    void readCommands();
    void handleCommand(const QByteArray &line);
    void openPassive();
    void runSteps(QList<Step> steps);
    void send(const QByteArray &bytes);
    bool acceptData();
    void startFileTransfer(const QString &name);
    void pumpFile();
    QByteArray servedListing() const;

    struct ServedFile
    {
        QByteArray bytes;
        QDateTime date;
        Fault fault = Fault::None;
    };

    QTcpServer *m_server;
    QTcpServer *m_dataServer;
    QPointer<QTcpSocket> m_control;
    QPointer<QTcpSocket> m_data;
    QByteArray m_greeting = QByteArrayLiteral("220 fake ready\r\n");
    QList<Step> m_greetingSteps;
    QHash<QByteArray, QByteArray> m_replies;
    QHash<QByteArray, QList<Step>> m_transfers;
    QList<QByteArray> m_commands;

    QHash<QString, ServedFile> m_files;
    bool m_ignoreRest = false;
    qint64 m_restOffset = 0;
    qint64 m_pauseAfter = -1;
    int m_retrievals = 0;
    // The served-file transfer running: what is left to send and how.
    QByteArray m_sending;
    qint64 m_sent = 0;
    Fault m_sendingFault = Fault::None;
    bool m_paused = false;
    bool m_completed = false;   // the file's bytes are out (and "226" for Trickle)
    bool m_pumping = false;
    bool m_transferOpen = false; // a served-file transfer not yet answered
    bool m_streaming = false;    // its data is still being written
};
