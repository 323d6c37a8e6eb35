#include "faketftpserver.h"

#include <QTimer>
#include <QUdpSocket>

namespace {

constexpr quint16 kOpRead = 1;
constexpr quint16 kOpData = 3;
constexpr quint16 kOpAck = 4;
constexpr quint16 kOpError = 5;
constexpr quint16 kOpOptionAck = 6;

QByteArray number16(int value)
{
    QByteArray bytes;
    bytes.append(char((value >> 8) & 0xFF));
    bytes.append(char(value & 0xFF));
    return bytes;
}

int readNumber16(const QByteArray &bytes, int offset)
{
    if (bytes.size() < offset + 2)
        return -1;
    return (quint8(bytes.at(offset)) << 8) | quint8(bytes.at(offset + 1));
}

} // namespace

FakeTftpServer::FakeTftpServer(QObject *parent)
    : QObject(parent)
    , m_listen(new QUdpSocket(this))
    , m_stray(new QUdpSocket(this))
    , m_optionAckTimer(new QTimer(this))
{
    connect(m_listen, &QUdpSocket::readyRead, this, &FakeTftpServer::readRequests);
    connect(m_optionAckTimer, &QTimer::timeout, this, [this] {
        if (m_transfer)
            sendFrom(m_transfer, m_optionAck);
    });
}

bool FakeTftpServer::listen()
{
    return m_listen->bind(QHostAddress(QHostAddress::LocalHost), 0) && m_stray->bind(QHostAddress(QHostAddress::LocalHost), 0);
}

quint16 FakeTftpServer::port() const
{
    return m_listen->localPort();
}

QString FakeTftpServer::url(const QString &path) const
{
    return QStringLiteral("tftp://127.0.0.1:%1%2").arg(port()).arg(path);
}

void FakeTftpServer::setErrorReply(quint16 code, const QByteArray &message)
{
    m_errorReply = number16(kOpError) + number16(code) + message + QByteArray(1, '\0');
}

void FakeTftpServer::setStrayBlock(int block, const QByteArray &payload)
{
    m_strayBlock = block;
    m_strayPayload = payload;
}

void FakeTftpServer::readRequests()
{
    if (m_fromListenPort && m_transfer == m_listen) {
        readOn(m_listen);
        return;
    }
    while (m_listen->hasPendingDatagrams()) {
        QByteArray datagram(int(m_listen->pendingDatagramSize()), '\0');
        QHostAddress address;
        quint16 port = 0;
        m_listen->readDatagram(datagram.data(), datagram.size(), &address, &port);
        if (readNumber16(datagram, 0) == kOpRead)
            beginTransfer(datagram, address, port);
    }
}

void FakeTftpServer::readTransfer()
{
    readOn(m_transfer);
}

void FakeTftpServer::readOn(QUdpSocket *socket)
{
    while (socket && socket->hasPendingDatagrams()) {
        QByteArray datagram(int(socket->pendingDatagramSize()), '\0');
        QHostAddress address;
        quint16 port = 0;
        socket->readDatagram(datagram.data(), datagram.size(), &address, &port);
        const int opcode = readNumber16(datagram, 0);
        if (opcode == kOpRead) {
            beginTransfer(datagram, address, port);
            continue;
        }
        m_received.append(datagram);
        if (opcode == kOpAck && !m_optionAckTimer->isActive())
            sendBlock(readNumber16(datagram, 2) + 1);
    }
}

void FakeTftpServer::beginTransfer(const QByteArray &request, const QHostAddress &address, quint16 port)
{
    m_requests.append(request);
    m_optionAckTimer->stop();
    m_clientAddress = address;
    m_clientPort = port;
    if (m_silent)
        return;
    if (m_transfer && m_transfer != m_listen)
        m_transfer->deleteLater();
    if (m_fromListenPort) {
        m_transfer = m_listen;
    } else {
        m_transfer = new QUdpSocket(this);
        m_transfer->bind(QHostAddress(QHostAddress::LocalHost), 0);
        connect(m_transfer, &QUdpSocket::readyRead, this, &FakeTftpServer::readTransfer);
    }
    if (!m_errorReply.isEmpty()) {
        sendFrom(m_transfer, m_errorReply);
        return;
    }
    m_served = m_content;
    if (m_options.isEmpty()) {
        sendBlock(1);
        return;
    }
    QByteArray optionAck = number16(kOpOptionAck);
    for (const auto &option : m_options) {
        QByteArray value = option.second;
        if (option.first == "offset" && value == kRequestedOffset) {
            // The offset the request asked for, if any.
            const QList<QByteArray> parts = request.split('\0');
            const int at = parts.indexOf("offset");
            if (at < 0 || at + 1 >= parts.size())
                continue;
            value = parts.at(at + 1);
        }
        optionAck += option.first + QByteArray(1, '\0') + value + QByteArray(1, '\0');
        if (option.first == "offset")
            m_served = m_content.mid(value.toInt());
    }
    sendFrom(m_transfer, optionAck);
    if (m_optionAckRepeatMs > 0) {
        m_optionAck = optionAck;
        m_optionAckTimer->start(m_optionAckRepeatMs);
    }
}

int FakeTftpServer::blockCount() const
{
    return m_served.size() / m_blockSize + 1;
}

QByteArray FakeTftpServer::dataPacket(int block) const
{
    return number16(kOpData) + number16(block) + m_served.mid((block - 1) * m_blockSize, m_blockSize);
}

void FakeTftpServer::sendBlock(int block)
{
    if (block < 1 || block > blockCount())
        return;
    if (m_lost.remove(block))
        return;
    if (block == 2 && m_strayBlock >= 0)
        sendFrom(m_stray, number16(kOpData) + number16(m_strayBlock) + m_strayPayload);
    sendFrom(m_transfer, dataPacket(block));
    if (m_duplicated.contains(block))
        sendFrom(m_transfer, dataPacket(block));
}

void FakeTftpServer::sendFrom(QUdpSocket *socket, const QByteArray &datagram)
{
    socket->writeDatagram(datagram, m_clientAddress, m_clientPort);
}
