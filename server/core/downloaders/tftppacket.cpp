#include "tftppacket.h"

namespace TftpPacket {

namespace {

void appendNumber16(QByteArray *bytes, quint16 value)
{
    bytes->append(char(value >> 8));
    bytes->append(char(value & 0xFF));
}

int readNumber16(const QByteArray &bytes, int offset)
{
    if (bytes.size() < offset + 2)
        return -1;
    return (quint8(bytes.at(offset)) << 8) | quint8(bytes.at(offset + 1));
}

} // namespace

QByteArray option(const QByteArray &name, const QByteArray &value)
{
    QByteArray bytes = name;
    bytes.append('\0');
    bytes.append(value);
    bytes.append('\0');
    return bytes;
}

QByteArray readRequest(const QString &name, const QByteArray &options, quint64 offset)
{
    QByteArray bytes;
    appendNumber16(&bytes, ReadRequest);
    bytes.append(option(name.toUtf8(), QByteArrayLiteral("octet")));
    bytes.append(options);
    if (offset != 0)
        bytes.append(option(QByteArrayLiteral("offset"), QByteArray::number(offset)));
    return bytes;
}

QByteArray acknowledgement(quint16 block)
{
    QByteArray bytes;
    appendNumber16(&bytes, Acknowledgement);
    appendNumber16(&bytes, block);
    return bytes;
}

QByteArray error(quint16 code, const QByteArray &message)
{
    QByteArray bytes;
    appendNumber16(&bytes, Error);
    appendNumber16(&bytes, code);
    bytes.append(message);
    bytes.append('\0');
    return bytes;
}

int opcode(const QByteArray &datagram)
{
    return readNumber16(datagram, kOpcodeOffset);
}

int blockNumber(const QByteArray &datagram)
{
    return readNumber16(datagram, kBlockOffset);
}

} // namespace TftpPacket
