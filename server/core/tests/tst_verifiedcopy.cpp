// The local copy's checks, with the device's bytes arriving in pieces of
// every size: however a network splits them, the copy is continued only
// when the device's bytes before its end are its own.
#include "server/core/downloaders/verifiedcopy.h"

#include "testsupport/testfiles.h"

#include <QtTest>

namespace {

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (char &c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    return bytes;
}

} // namespace

class tst_VerifiedCopy : public QObject
{
    Q_OBJECT

private slots:
    void pieces_data();
    void pieces();
};

void tst_VerifiedCopy::pieces_data()
{
    QTest::addColumn<QByteArray>("local");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<bool>("restIgnored");   // the device sends from byte 0
    QTest::addColumn<bool>("same");          // the copy is the start of the device's file
    QTest::addColumn<int>("piece");          // bytes handed over at a time
    const QByteArray file = pattern(200000, 1);
    const QByteArray other = pattern(200000, 2);
    for (const int piece : {1, 7, 4096, 65536, 300000}) {
        const QString size = QString::number(piece);
        QTest::newRow(qPrintable("resumed, pieces of " + size)) << file.left(150000) << file << false << true << piece;
        QTest::newRow(qPrintable("REST ignored, pieces of " + size)) << file.left(150000) << file << true << true << piece;
        QTest::newRow(qPrintable("replaced, pieces of " + size)) << file.left(150000) << other << false << false << piece;
        QTest::newRow(qPrintable("replaced, REST ignored, pieces of " + size)) << file.left(150000) << other << true
                                                                               << false << piece;
    }
}

void tst_VerifiedCopy::pieces()
{
    QFETCH(QByteArray, local);
    QFETCH(QByteArray, device);
    QFETCH(bool, restIgnored);
    QFETCH(bool, same);
    QFETCH(int, piece);
    TempDir dir;
    const QString path = dir.filePath("REC.DAT");
    QVERIFY(writeFile(path, local));
    VerifiedCopy copy;
    QVERIFY(copy.open(path, local.size(), device.size()));
    QCOMPARE(copy.requestOffset(), local.size() - VerifiedCopy::kOverlapBytes);
    const QByteArray stream = device.mid(restIgnored ? 0 : int(copy.requestOffset()));
    for (int at = 0; at < stream.size() && copy.state() != VerifiedCopy::State::Different; at += piece)
        copy.receive(stream.constData() + at, qMin(piece, stream.size() - at));
    if (!same) {
        QCOMPARE(copy.state(), VerifiedCopy::State::Different);
        copy.discard();
        QVERIFY(readFile(path) == local);
        return;
    }
    QCOMPARE(copy.state(), VerifiedCopy::State::Full);
    QVERIFY(copy.finish());
    QVERIFY(readFile(path) == device);
}

QTEST_APPLESS_MAIN(tst_VerifiedCopy)
#include "tst_verifiedcopy.moc"
