// The FTP client's reply handling against a hostile server. A scripted
// server on 127.0.0.1 plays the input as its side of the conversation to a
// real FtpDownloader with shortened timeouts, until the downloader reports
// an outcome or kMaxRunMs pass.
//
// Input: as FtpScript describes (scriptformats.h); a reply may hold several
// lines. Every reply is confined first (ftpreplyconfinement.h): the client
// never connects anywhere but to the script's own data listener.
#include "fuzz/fuzzsupport.h"

#include "server/core/downloaders/ftpdownloader.h"
#include "fuzz/ftpreplyconfinement.h"
#include "server/core/downloaders/listlineparser.h"
#include "fuzz/scriptformats.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

// Client limits (ms): every silence ends a run quickly.
constexpr int kReplyTimeoutMs = 20;
constexpr int kStallTimeoutMs = 40;
// Longest run per input (ms); the timeouts end almost every run far sooner.
constexpr int kMaxRunMs = 500;
const QString kFileName = QStringLiteral("fuzz.rec");

using namespace FtpScript;

// The server side of one conversation: greeting on connect, the next reply
// per command line, the data bytes on every data connection.
class ReplyScript : public QObject
{
public:
    ReplyScript(const QList<QByteArray> &replies, const QByteArray &data, quint8 flags)
        : m_replies(replies), m_data(data), m_flags(flags)
    {
        connect(&m_control, &QTcpServer::newConnection, this, &ReplyScript::acceptControl);
        connect(&m_dataServer, &QTcpServer::newConnection, this, &ReplyScript::acceptData);
    }

    bool listen()
    {
        return m_control.listen(QHostAddress::LocalHost, 0) && m_dataServer.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_control.serverPort(); }

private:
    void acceptControl()
    {
        QTcpSocket *socket = m_control.nextPendingConnection();
        if (m_peer) {
            socket->abort();
            return;
        }
        m_peer = socket;
        connect(socket, &QTcpSocket::readyRead, this, &ReplyScript::readCommands);
        sendNext();
    }
    void acceptData()
    {
        QTcpSocket *socket = m_dataServer.nextPendingConnection();
        socket->write(m_data);
        if (!(m_flags & KeepDataOpen))
            socket->disconnectFromHost();
    }
    void readCommands()
    {
        while (m_peer && m_peer->canReadLine()) {
            m_peer->readLine();
            sendNext();
        }
    }
    void sendNext()
    {
        if (m_next < m_replies.size()) {
            m_peer->write(FtpReplyConfinement::confineReply(m_replies.at(m_next++), m_dataServer.serverPort()));
        } else if (m_flags & CloseAtEnd) {
            m_peer->disconnectFromHost();
        }
    }

    QTcpServer m_control;
    QTcpServer m_dataServer;
    QPointer<QTcpSocket> m_peer;
    QList<QByteArray> m_replies;
    QByteArray m_data;
    quint8 m_flags;
    int m_next = 0;
};

void startOperation(FtpDownloader *downloader, int operation)
{
    switch (operation) {
    case List:
        downloader->getFileList();
        break;
    case File:
        downloader->getFile(kFileName);
        break;
    case ResumedFile:
        downloader->getFile(kFileName, kResumePosition);
        break;
    default:
        break;
    }
}

// The collection server reads every listed line.
void parseListing(const QStringList &lines)
{
    for (const QString &line : lines) {
        QString name;
        qint64 size = 0;
        QDateTime date;
        parseListLine(line, &name, &size, &date);
    }
}

void run(quint8 flags, const QList<QByteArray> &replies, const QByteArray &data, const QString &folder)
{
    ReplyScript script(replies, data, flags);
    FUZZ_CHECK(script.listen());

    auto downloader = std::make_unique<FtpDownloader>();
    downloader->setReplyTimeout(kReplyTimeoutMs);
    downloader->setStallTimeout(kStallTimeoutMs);
    const QString options = (flags & NamedCodec) ? QStringLiteral("codec=\"Windows-1251\"") : QString();
    FUZZ_CHECK(downloader->setParam({QStringLiteral("ftp://127.0.0.1:%1/records/").arg(script.port()), folder, options}) == 0);

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    const int operation = flags & OperationMask;
    QObject::connect(downloader.get(), &Downloader::errorOccured, &loop, &QEventLoop::quit);
    QObject::connect(downloader.get(), &Downloader::aborted, &loop, &QEventLoop::quit);
    QObject::connect(downloader.get(), &Downloader::getFileDone, &loop, &QEventLoop::quit);
    QObject::connect(downloader.get(), &Downloader::getFileListDone, &loop, [&loop](const QStringList &lines) {
        parseListing(lines);
        loop.quit();
    });
    if (operation == LogInOnly)
        QObject::connect(downloader.get(), &Downloader::started, &loop, &QEventLoop::quit);
    if (flags & AbortOnStart) {
        // Queued, as the collection server's connections to a downloader are.
        QObject::connect(downloader.get(), &Downloader::getFileListStarted, downloader.get(), &FtpDownloader::abort,
                         Qt::QueuedConnection);
        QObject::connect(downloader.get(), &Downloader::getFileStarted, downloader.get(), &FtpDownloader::abort,
                         Qt::QueuedConnection);
    }

    downloader->start();
    startOperation(downloader.get(), operation);
    limit.start(kMaxRunMs);
    loop.exec();
    if (flags & StopAtEnd)
        downloader->stop();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    FuzzSupport::InputReader in(data, size);
    const quint8 flags = in.byte();
    const QByteArray transferBytes = in.bytes(in.number16());
    const QList<QByteArray> replies = in.rest().split(kReplySeparator);

    const QString folder = FuzzSupport::scratchDir() + QStringLiteral("/ftp");
    run(flags, replies, transferBytes, folder);
    // Objects whose deletion was queued during the run go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir(folder).removeRecursively();
    return 0;
}
