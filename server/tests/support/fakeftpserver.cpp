#include "fakeftpserver.h"

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

void FakeFtpServer::handleCommand(const QByteArray &line)
{
    const QByteArray verb = line.split(' ').value(0).toUpper();
    if (verb == "PASV" && !m_replies.contains("PASV")) {
        openPassive();
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
