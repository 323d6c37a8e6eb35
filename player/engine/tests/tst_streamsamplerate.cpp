#include "player/engine/streamsamplerate.h"

#include <QtTest>

using Descriptors = QList<QMap<QString, QString>>;

namespace {

QMap<QString, QString> stream(const QString &type, const QString &encoding)
{
    return {{QStringLiteral("TYPE"), type}, {QStringLiteral("ENCODING"), encoding}};
}

} // namespace

class tst_StreamSampleRate : public QObject
{
    Q_OBJECT

private slots:
    void rate_data();
    void rate();
};

void tst_StreamSampleRate::rate_data()
{
    QTest::addColumn<Descriptors>("streams");
    QTest::addColumn<int>("named");
    QTest::addColumn<int>("output");
    const auto audio = QStringLiteral("audio");
    QTest::newRow("no streams") << Descriptors{} << 0 << 8000;
    QTest::newRow("PCMA/16000") << Descriptors{stream(audio, QStringLiteral("PCMA/16000"))} << 16000 << 16000;
    QTest::newRow("plain PCMA gives none") << Descriptors{stream(audio, QStringLiteral("PCMA"))} << 0 << 8000;
    QTest::newRow("the last audio stream wins")
        << Descriptors{stream(audio, QStringLiteral("PCMA/16000")), stream(audio, QStringLiteral("TETRA"))} << 0 << 8000;
    QTest::newRow("text streams do not count")
        << Descriptors{stream(audio, QStringLiteral("G726-32/11025")), stream(QStringLiteral("text"), QStringLiteral("x/22050"))}
        << 11025 << 11025;
    QTest::newRow("not a number") << Descriptors{stream(audio, QStringLiteral("PCMA/x"))} << 0 << 8000;
    QTest::newRow("negative") << Descriptors{stream(audio, QStringLiteral("PCMA/-8000"))} << -8000 << 8000;
    QTest::newRow("below 1000 Hz") << Descriptors{stream(audio, QStringLiteral("PCMA/5"))} << 5 << 8000;
    QTest::newRow("above 192000 Hz") << Descriptors{stream(audio, QStringLiteral("PCMA/192001"))} << 192001 << 8000;
}

void tst_StreamSampleRate::rate()
{
    QFETCH(Descriptors, streams);
    QFETCH(int, named);
    QFETCH(int, output);
    QCOMPARE(StreamSampleRate::namedRate(streams), named);
    QCOMPARE(StreamSampleRate::outputRate(streams), output);
}

QTEST_GUILESS_MAIN(tst_StreamSampleRate)
#include "tst_streamsamplerate.moc"
