#include "fakeftpserver.h"

#include "server/core/tests/support/listingfile.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

FakeFtpServer::FakeFtpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_dataServer(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &FakeFtpServer::acceptControl);
    m_replies.insert("USER", "331 password please\r\n");
    m_replies.insert("PASS", "230 logged in\r\n");
    m_replies.insert("TYPE", "200 binary\r\n");
    m_replies.insert("REST", "350 restarting\r\n");
    m_replies.insert("ABOR", "226 abort done\r\n");
}

QList<FakeFtpServer::Step> FakeFtpServer::repeatedReply(const QByteArray &lines, int times, int intervalMs)
{
    QList<Step> steps;
    for (int i = 0; i < times; ++i) {
        if (i > 0)
            steps << pause(intervalMs);
        steps << reply(lines);
    }
    return steps;
}

QList<FakeFtpServer::Step> FakeFtpServer::listing(const QByteArray &lines)
{
    return {reply("150 here\r\n"), data(lines), closeData(), reply("226 done\r\n")};
}

QList<FakeFtpServer::Step> FakeFtpServer::sending(const QByteArray &bytes)
{
    return {reply("150 sending\r\n"), data(bytes), closeData(), reply("226 sent\r\n")};
}

bool FakeFtpServer::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 FakeFtpServer::port() const
{
    return m_server->serverPort();
}

QString FakeFtpServer::url(const QString &path) const
{
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(port()).arg(path);
}

void FakeFtpServer::dropControl()
{
    if (m_control)
        m_control->abort();
}

void FakeFtpServer::acceptControl()
{
    QTcpSocket *socket = m_server->nextPendingConnection();
    if (m_control) {
        m_control->abort();
        m_control->deleteLater();
    }
    m_control = socket;
    connect(socket, &QTcpSocket::readyRead, this, &FakeFtpServer::readCommands);
    // A client that closes leaves no client behind (hasClient()).
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (m_greetingSteps.isEmpty())
        send(m_greeting);
    else
        runSteps(m_greetingSteps);
}

void FakeFtpServer::readCommands()
{
    while (m_control && m_control->canReadLine()) {
        QByteArray line = m_control->readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        m_commands.append(line);
        emit commandReceived(line);
        handleCommand(line);
    }
}

namespace {

// Bytes a served-file transfer writes at a time, and the most it lets wait
// in the socket before writing more.
constexpr qint64 kChunkBytes = 64 * 1024;
// Pause between trickled bytes (ms).
constexpr int kTrickleMs = 20;

} // namespace

void FakeFtpServer::serveFile(const QString &name, const QByteArray &bytes, const QDateTime &date, Fault fault)
{
    m_files.insert(name, {bytes, date, fault});
}

QByteArray FakeFtpServer::servedListing() const
{
    QByteArray lines;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        lines += lsFileLine(it.key(), it->bytes.size(), it->date).toUtf8() + "\r\n";
    return lines;
}

void FakeFtpServer::handleCommand(const QByteArray &line)
{
    const QByteArray verb = line.split(' ').value(0).toUpper();
    const QByteArray argument = line.mid(verb.size() + 1);
    if (verb == "PASV" && !m_replies.contains("PASV")) {
        openPassive();
        return;
    }
    // A refused REST sets no offset.
    if (verb == "REST")
        m_restOffset = m_replies.value(verb).startsWith('3') ? argument.toLongLong() : 0;
    // An abort of a transfer still running is answered for the transfer
    // first, as FTP servers do.
    if (verb == "ABOR") {
        m_streaming = false;
        m_paused = false;
        if (m_transferOpen)
            send("426 transfer aborted\r\n");
        m_transferOpen = false;
    }
    const QString name = QString::fromUtf8(argument).section(QLatin1Char('/'), -1);
    if (verb == "RETR" && m_files.contains(name) && !m_transfers.contains(verb)) {
        startFileTransfer(name);
        return;
    }
    if (verb == "LIST" && !m_files.isEmpty() && !m_transfers.contains(verb)) {
        runSteps(listing(servedListing()));
        return;
    }
    if (m_transfers.contains(verb)) {
        runSteps(m_transfers.value(verb));
        return;
    }
    send(m_replies.value(verb, QByteArrayLiteral("500 unknown\r\n")));
}

void FakeFtpServer::openPassive()
{
    m_dataServer->close();
    // A data connection of an earlier transfer (one that stalled) is over.
    if (m_data)
        m_data->abort();
    m_data = nullptr;
    m_dataServer->listen(QHostAddress::LocalHost, 0);
    const quint16 port = m_dataServer->serverPort();
    send(QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2).\r\n").arg(port / 256).arg(port % 256).toLatin1());
}

// Runs the steps in order; a data step first waits for the client's data
// connection, a pause goes on after its time.
void FakeFtpServer::runSteps(QList<Step> steps)
{
    while (!steps.isEmpty()) {
        const Step step = steps.first();
        if (step.kind == Step::Data || step.kind == Step::CloseData) {
            if (!m_data) {
                if (!m_dataServer->hasPendingConnections()) {
                    if (!m_dataServer->isListening())
                        return;
                    QTimer::singleShot(5, this, [this, steps] { runSteps(steps); });
                    return;
                }
                m_data = m_dataServer->nextPendingConnection();
            }
            if (step.kind == Step::Data) {
                m_data->write(step.bytes);
                m_data->flush();
            } else {
                m_data->disconnectFromHost();
                m_data = nullptr;
            }
        } else if (step.kind == Step::Reply) {
            send(step.bytes);
        } else {
            steps.removeFirst();
            QTimer::singleShot(step.ms, this, [this, steps] { runSteps(steps); });
            return;
        }
        steps.removeFirst();
    }
}

void FakeFtpServer::send(const QByteArray &bytes)
{
    if (m_control && !bytes.isEmpty()) {
        m_control->write(bytes);
        m_control->flush();
    }
}

void FakeFtpServer::startFileTransfer(const QString &name)
{
    const ServedFile file = m_files.value(name);
    ++m_retrievals;
    const qint64 offset = m_ignoreRest ? 0 : qMin<qint64>(m_restOffset, file.bytes.size());
    m_restOffset = 0;
    if (file.fault == Fault::Refused) {
        send("550 refused\r\n");
        return;
    }
    m_sending = file.bytes.mid(int(offset));
    m_sent = 0;
    m_sendingFault = file.fault;
    m_paused = false;
    m_completed = false;
    m_transferOpen = true;
    m_streaming = true;
    send("150 sending\r\n");
    pumpFile();
}

bool FakeFtpServer::acceptData()
{
    if (!m_data && m_dataServer->hasPendingConnections())
        m_data = m_dataServer->nextPendingConnection();
    return m_data;
}

// Writes the transfer on as the client reads it; a paused transfer waits
// for resumeTransfer() or dropTransfer().
void FakeFtpServer::pumpFile()
{
    m_pumping = false;
    if (m_paused)
        return;
    const auto again = [this](int ms) {
        if (m_pumping)
            return;
        m_pumping = true;
        QTimer::singleShot(ms, this, &FakeFtpServer::pumpFile);
    };
    if (!acceptData()) {
        if (m_dataServer->isListening())
            again(5);
        return;
    }
    if (!m_streaming || m_data->state() != QAbstractSocket::ConnectedState)
        return; // aborted, or the client closed: the transfer is over
    if (m_data->bytesToWrite() > kChunkBytes) {
        again(1);
        return;
    }
    if (m_sent < m_sending.size()) {
        qint64 count = qMin<qint64>(kChunkBytes, m_sending.size() - m_sent);
        if (m_pauseAfter >= 0 && m_sent < m_pauseAfter)
            count = qMin(count, m_pauseAfter - m_sent);
        m_data->write(m_sending.constData() + m_sent, count);
        m_sent += count;
        if (m_sent == m_pauseAfter && m_sent < m_sending.size()) {
            m_paused = true;
            m_data->flush();
            emit transferPaused();
            return;
        }
        again(0);
        return;
    }
    switch (m_sendingFault) {
    case Fault::None:
    case Fault::Refused:
        m_data->disconnectFromHost();
        m_data = nullptr;
        m_transferOpen = false;
        m_streaming = false;
        send("226 sent\r\n");
        return;
    case Fault::Endless:
        m_data->write(QByteArray(int(kChunkBytes), 'x'));
        again(0);
        return;
    case Fault::Trickle:
        if (!m_completed)
            send("226 sent\r\n");
        m_completed = true;
        // Answered: an abort now concerns no transfer.
        m_transferOpen = false;
        m_data->write("x");
        again(kTrickleMs);
        return;
    }
}

void FakeFtpServer::resumeTransfer()
{
    m_paused = false;
    pumpFile();
}

void FakeFtpServer::dropTransfer()
{
    m_paused = false;
    m_transferOpen = false;
    m_streaming = false;
    m_sending.clear();
    if (m_data) {
        m_data->abort();
        m_data = nullptr;
    }
    send("426 connection closed; transfer aborted\r\n");
}
