// The TFTP packet layer on hostile datagrams and hostile request fields.
// The input is read as a datagram first (opcode and block number must be
// the big-endian numbers at their offsets, -1 when too short), then its
// bytes become the name, options and offset of a read request, the code and
// message of an error and the number of an acknowledgement, each of which
// must read back as it was built.
#include "fuzz/fuzzsupport.h"

#include "server/core/downloaders/tftppacket.h"

namespace {

int number16At(const QByteArray &bytes, int offset)
{
    if (bytes.size() < offset + 2)
        return -1;
    return quint8(bytes.at(offset)) << 8 | quint8(bytes.at(offset + 1));
}

void checkParsing(const QByteArray &datagram)
{
    FUZZ_CHECK(TftpPacket::opcode(datagram) == number16At(datagram, TftpPacket::kOpcodeOffset));
    FUZZ_CHECK(TftpPacket::blockNumber(datagram) == number16At(datagram, TftpPacket::kBlockOffset));
}

void checkReadRequest(const QByteArray &nameBytes, const QByteArray &options, quint64 offset)
{
    const QString name = QString::fromUtf8(nameBytes);
    const QByteArray request = TftpPacket::readRequest(name, options, offset);
    FUZZ_CHECK(TftpPacket::opcode(request) == TftpPacket::ReadRequest);
    const QByteArray fields = TftpPacket::option(name.toUtf8(), QByteArrayLiteral("octet")) + options;
    FUZZ_CHECK(request.mid(TftpPacket::kOpcodeBytes, fields.size()) == fields);
    const QByteArray tail = request.mid(TftpPacket::kOpcodeBytes + fields.size());
    if (offset == 0)
        FUZZ_CHECK(tail.isEmpty());
    else
        FUZZ_CHECK(tail == TftpPacket::option(QByteArrayLiteral("offset"), QByteArray::number(offset)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    const QByteArray datagram = FuzzSupport::bytesOf(data, size);
    checkParsing(datagram);
    checkParsing(datagram.left(TftpPacket::kPayloadOffset));

    FuzzSupport::InputReader in(data, size);
    const quint16 number = in.number16();
    const quint64 offset = quint64(in.number32()) << 32 | in.number32();
    const QByteArray name = in.bytes(in.byte());
    const QByteArray text = in.rest();

    checkReadRequest(name, text, offset);

    const QByteArray ack = TftpPacket::acknowledgement(number);
    FUZZ_CHECK(ack.size() == TftpPacket::kPayloadOffset);
    FUZZ_CHECK(TftpPacket::opcode(ack) == TftpPacket::Acknowledgement);
    FUZZ_CHECK(TftpPacket::blockNumber(ack) == number);

    const QByteArray error = TftpPacket::error(number, text);
    FUZZ_CHECK(TftpPacket::opcode(error) == TftpPacket::Error);
    FUZZ_CHECK(number16At(error, TftpPacket::kErrorCodeOffset) == number);
    FUZZ_CHECK(error.mid(TftpPacket::kErrorMessageOffset) == text + '\0');

    FUZZ_CHECK(TftpPacket::option(name, text) == name + '\0' + text + '\0');
    return 0;
}
