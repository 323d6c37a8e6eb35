// The FTP reply fuzzer must never make the client connect beyond this
// machine: every address the client would accept has to name the script's
// own data port, however the fuzzer shapes the reply.
#include "fuzz/ftpreplyconfinement.h"

#include <QtTest>

using FtpReplyConfinement::confineReply;

namespace {

constexpr quint16 kDataPort = 0x1234; // "18,52"

} // namespace

class tst_FtpReplyConfinement : public QObject
{
    Q_OBJECT

private slots:
    void addressesPointAtTheDataPort_data();
    void addressesPointAtTheDataPort();
    void longLinesLoseTheirCommas();
    void everyReplyEndsALine();
};

void tst_FtpReplyConfinement::addressesPointAtTheDataPort_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("foreign host") << QByteArray("227 Entering Passive Mode (8,8,8,8,0,21).\r\n")
                                  << QByteArray("227 Entering Passive Mode (127,0,0,1,18,52).\r\n");
    QTest::newRow("own address kept") << QByteArray("227 ok (127,0,0,1,18,52)\r\n")
                                      << QByteArray("227 ok (127,0,0,1,18,52)\r\n");
    QTest::newRow("only the first address counts") << QByteArray("227 1,2,3,4,5,6 and 7,7,7,7,7,7\r\n")
                                                   << QByteArray("227 127,0,0,1,18,52 and 7,7,7,7,7,7\r\n");
    // The client refuses numbers above 255 and those too long for an int.
    QTest::newRow("refused by the client") << QByteArray("227 (300,1,1,1,1,1)\r\n")
                                           << QByteArray("227 (300,1,1,1,1,1)\r\n");
    QTest::newRow("overflowing number") << QByteArray("227 (99999999999,1,1,1,1,1)\r\n")
                                        << QByteArray("227 (99999999999,1,1,1,1,1)\r\n");
    QTest::newRow("leading zeros") << QByteArray("227 (010,0,0,001,0,21)\r\n")
                                   << QByteArray("227 (127,0,0,1,18,52)\r\n");
    QTest::newRow("seventh number") << QByteArray("227 9,8,8,8,8,0,21\r\n")
                                    << QByteArray("227 127,0,0,1,18,52,21\r\n");
    QTest::newRow("each line on its own") << QByteArray("150 x\r\n227 (8,8,8,8,0,21)\r\n")
                                          << QByteArray("150 x\r\n227 (127,0,0,1,18,52)\r\n");
}

void tst_FtpReplyConfinement::addressesPointAtTheDataPort()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, expected);
    QCOMPARE(confineReply(reply, kDataPort), expected);
}

void tst_FtpReplyConfinement::longLinesLoseTheirCommas()
{
    // The client cuts a long line into pieces; a piece could start inside
    // a number ("27,0,0,1,..." of "127,0,0,1,...").
    const QByteArray line = QByteArray(FtpReplyConfinement::kLongLineBytes, 'x') + "127,0,0,1,18,52\r\n";
    const QByteArray confined = confineReply(line, kDataPort);
    QCOMPARE(confined.size(), line.size());
    QVERIFY(!confined.contains(','));
    QCOMPARE(confineReply("227 (1,2,3,4,5,6)\r\n", kDataPort), QByteArray("227 (127,0,0,1,18,52)\r\n"));
}

void tst_FtpReplyConfinement::everyReplyEndsALine()
{
    // Otherwise "227 (8" and ",8,8,8,0,21)" of two replies would meet in one line.
    QCOMPARE(confineReply("227 (8", kDataPort), QByteArray("227 (8\r\n"));
    QCOMPARE(confineReply(",8,8,8,0,21)", kDataPort), QByteArray(",8,8,8,0,21)\r\n"));
    QCOMPARE(confineReply(QByteArray(), kDataPort), QByteArray());
}

QTEST_APPLESS_MAIN(tst_FtpReplyConfinement)
#include "tst_ftpreplyconfinement.moc"
