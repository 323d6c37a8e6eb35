#pragma once

#include <QByteArray>
#include <QString>

// TFTP datagram layouts (RFC 1350 with the option extension of RFC 2347).
// All numbers are big-endian; strings end with one zero byte.
namespace TftpPacket {

enum Opcode : quint16 {
    ReadRequest = 1,
    WriteRequest = 2,
    Data = 3,
    Acknowledgement = 4,
    Error = 5,
    OptionAcknowledgement = 6,
};

constexpr int kOpcodeOffset = 0;
constexpr int kOpcodeBytes = 2;
constexpr int kBlockOffset = 2;         // data and acknowledgement
constexpr int kBlockBytes = 2;
constexpr int kPayloadOffset = 4;       // data
constexpr int kErrorCodeOffset = 2;     // error
constexpr int kErrorMessageOffset = 4;  // error
constexpr int kOptionsOffset = 2;       // option acknowledgement

// Error codes sent.
constexpr quint16 kErrorUndefined = 0;
constexpr quint16 kErrorDiskFull = 3;
constexpr quint16 kErrorUnknownTransferId = 5;
constexpr quint16 kErrorOptionRefused = 8;

// Read request in octet mode: the name in UTF-8, then `options` as they are
// (name, 0, value, 0 ...), then "offset" with `offset` in decimal when it is
// not 0.
QByteArray readRequest(const QString &name, const QByteArray &options, quint64 offset);
QByteArray acknowledgement(quint16 block);
QByteArray error(quint16 code, const QByteArray &message);
// One option as it travels in a request: name, 0, value, 0.
QByteArray option(const QByteArray &name, const QByteArray &value);

// The opcode of a datagram, -1 when it is too short to hold one.
int opcode(const QByteArray &datagram);
// The block number of a data or acknowledgement datagram, -1 when too short.
int blockNumber(const QByteArray &datagram);

} // namespace TftpPacket
