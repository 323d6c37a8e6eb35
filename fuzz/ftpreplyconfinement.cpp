#include "ftpreplyconfinement.h"

#include <QRegExp>
#include <QString>

namespace FtpReplyConfinement {

namespace {

// The client's pattern for the six numbers of a passive-mode address and
// the largest number it accepts.
const QString kAddressPattern = QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)");
constexpr int kAddressNumbers = 6;
constexpr int kMaxAddressNumber = 255;
const QByteArray kRefusal = QByteArrayLiteral("500 address refused by the fuzz script\r\n");

// The six numbers of the first address in line as the client reads it;
// false when there is none or the client would refuse it.
bool firstAddress(const QByteArray &line, int numbers[kAddressNumbers], int *position, int *length)
{
    QRegExp expression(kAddressPattern);
    const int at = expression.indexIn(QString::fromLatin1(line));
    if (at == -1)
        return false;
    for (int i = 0; i < kAddressNumbers; ++i) {
        bool ok = false;
        numbers[i] = expression.cap(i + 1).toInt(&ok);
        if (!ok || numbers[i] > kMaxAddressNumber)
            return false;
    }
    *position = at;
    *length = expression.matchedLength();
    return true;
}

bool isOwnAddress(const int numbers[kAddressNumbers], quint16 port)
{
    return numbers[0] == 127 && numbers[1] == 0 && numbers[2] == 0 && numbers[3] == 1
        && numbers[4] == port >> 8 && numbers[5] == (port & 0xFF);
}

QByteArray confineLine(QByteArray line, quint16 dataPort)
{
    if (line.size() >= kLongLineBytes)
        return line.replace(',', ';');
    int numbers[kAddressNumbers];
    int position = 0, length = 0;
    if (!firstAddress(line, numbers, &position, &length) || isOwnAddress(numbers, dataPort))
        return line;
    const QByteArray own = QByteArrayLiteral("127,0,0,1,") + QByteArray::number(dataPort >> 8) + ','
        + QByteArray::number(dataPort & 0xFF);
    line.replace(position, length, own);
    // Should the client still read another address (never seen so far:
    // the first address always starts a run of digits), the line is
    // refused whole.
    if (firstAddress(line, numbers, &position, &length) && !isOwnAddress(numbers, dataPort))
        return kRefusal;
    return line;
}

} // namespace

QByteArray confineReply(const QByteArray &reply, quint16 dataPort)
{
    QByteArray result;
    int from = 0;
    while (from < reply.size()) {
        const int end = reply.indexOf('\n', from);
        const int next = end < 0 ? reply.size() : end + 1;
        QByteArray line = reply.mid(from, next - from);
        if (end < 0)
            line += "\r\n";
        result += confineLine(line, dataPort);
        from = next;
    }
    return result;
}

} // namespace FtpReplyConfinement
