#include "codecs/audiocodec.h"
#include "codecs/celpcodec.h"
#include "codecs/g726codec.h"
#include "codecs/pcmacodec.h"

#include <QtTest>

#include <memory>

namespace {

QString kindOf(const AudioCodec *codec)
{
    if (!codec)
        return QStringLiteral("none");
    if (dynamic_cast<const PCMACodec *>(codec))
        return QStringLiteral("PCMA");
    if (dynamic_cast<const G726Codec *>(codec))
        return QStringLiteral("G726");
    if (dynamic_cast<const CELPCodec *>(codec))
        return QStringLiteral("CELP");
    return QStringLiteral("other");
}

} // namespace

class tst_AudioCodec : public QObject
{
    Q_OBJECT

private slots:
    void factory_data();
    void factory();
    void encodedDuration_data();
    void encodedDuration();
    void durationMatchesDecoder_data();
    void durationMatchesDecoder();
    void decodeNothing_data();
    void decodeNothing();
};

void tst_AudioCodec::factory_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("defaultRate");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("rate");

    QTest::newRow("PCMA") << "PCMA" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/8000") << "PCMA/8000" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/16000") << "PCMA/16000" << 8000 << "PCMA" << 16000;
    QTest::newRow("PCMA/x") << "PCMA/x" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/ empty rate") << "PCMA/" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/16000/more") << "PCMA/16000/more" << 8000 << "PCMA" << 16000;
    QTest::newRow("PCMA//16000") << "PCMA//16000" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/16k") << "PCMA/16k" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/0x1F40") << "PCMA/0x1F40" << 8000 << "PCMA" << 8000;
    // Rates outside 1000..192000 Hz fall back like a non-numeric rate.
    QTest::newRow("PCMA/0") << "PCMA/0" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/-5") << "PCMA/-5" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/5") << "PCMA/5" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/999") << "PCMA/999" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/1000") << "PCMA/1000" << 8000 << "PCMA" << 1000;
    QTest::newRow("PCMA/192000") << "PCMA/192000" << 8000 << "PCMA" << 192000;
    QTest::newRow("PCMA/192001") << "PCMA/192001" << 8000 << "PCMA" << 8000;
    QTest::newRow("PCMA/99999999999") << "PCMA/99999999999" << 8000 << "PCMA" << 8000;
    QTest::newRow("other default") << "PCMA" << 11025 << "PCMA" << 11025;
    QTest::newRow("other default, bad rate") << "PCMA/abc" << 16000 << "PCMA" << 16000;
    QTest::newRow("G726-32") << "G726-32" << 8000 << "G726" << 8000;
    QTest::newRow("G726-32/16000") << "G726-32/16000" << 8000 << "G726" << 16000;
    QTest::newRow("G726-32/0") << "G726-32/0" << 8000 << "G726" << 8000;
    QTest::newRow("TETRA") << "TETRA" << 8000 << "CELP" << 8000;
    QTest::newRow("TETRA/16000") << "TETRA/16000" << 8000 << "CELP" << 8000;
    QTest::newRow("pcma") << "pcma" << 8000 << "none" << 0;
    QTest::newRow("Tetra") << "Tetra" << 8000 << "none" << 0;
    QTest::newRow("g726-32") << "g726-32" << 8000 << "none" << 0;
    QTest::newRow("G726") << "G726" << 8000 << "none" << 0;
    QTest::newRow("G726-24") << "G726-24" << 8000 << "none" << 0;
    QTest::newRow("PCMU") << "PCMU" << 8000 << "none" << 0;
    QTest::newRow("empty") << "" << 8000 << "none" << 0;
    QTest::newRow("/8000") << "/8000" << 8000 << "none" << 0;
    QTest::newRow("space before") << " PCMA" << 8000 << "none" << 0;
    QTest::newRow("space after") << "PCMA " << 8000 << "none" << 0;
}

void tst_AudioCodec::factory()
{
    QFETCH(QString, encoding);
    QFETCH(int, defaultRate);
    QFETCH(QString, kind);
    QFETCH(int, rate);

    const std::unique_ptr<AudioCodec> codec = createAudioCodec(encoding, defaultRate);
    QCOMPARE(kindOf(codec.get()), kind);
    if (codec) {
        QCOMPARE(codec->sampleRate(), rate);
        QCOMPARE(codec->frameSize(), kind == QLatin1String("CELP") ? 18 : 0);
    }
}

void tst_AudioCodec::encodedDuration_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<double>("ms");

    QTest::newRow("TETRA 9 bytes") << "TETRA" << 9 << 15.0;
    QTest::newRow("TETRA 18 bytes") << "TETRA" << 18 << 30.0;
    QTest::newRow("TETRA/16000 ignores rate") << "TETRA/16000" << 180 << 300.0;
    QTest::newRow("G726-32/8000 4000 bytes") << "G726-32/8000" << 4000 << 1000.0;
    QTest::newRow("G726-32 one byte") << "G726-32" << 1 << 0.25;
    QTest::newRow("G726-32/16000") << "G726-32/16000" << 4000 << 500.0;
    QTest::newRow("PCMA/16000 16000 bytes") << "PCMA/16000" << 16000 << 1000.0;
    QTest::newRow("PCMA 8000 bytes") << "PCMA" << 8000 << 1000.0;
    QTest::newRow("PCMA/0") << "PCMA/0" << 8000 << 1000.0;
    QTest::newRow("PCMA/-5") << "PCMA/-5" << 8000 << 1000.0;
    QTest::newRow("PCMA/5") << "PCMA/5" << 8000 << 1000.0;
    QTest::newRow("PCMA/x") << "PCMA/x" << 8000 << 1000.0;
    QTest::newRow("PCMA no bytes") << "PCMA" << 0 << 0.0;
    QTest::newRow("large count") << "PCMA" << 2000000000 << 250000000.0;
    QTest::newRow("unknown") << "unknown" << 100 << 0.0;
    QTest::newRow("pcma") << "pcma" << 100 << 0.0;
    QTest::newRow("empty") << "" << 100 << 0.0;
    QTest::newRow("G726-16") << "G726-16" << 100 << 0.0;
}

void tst_AudioCodec::encodedDuration()
{
    QFETCH(QString, encoding);
    QFETCH(int, bytes);
    QFETCH(double, ms);
    QCOMPARE(::encodedDuration(encoding, bytes, 8000), ms);
}

void tst_AudioCodec::durationMatchesDecoder_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("bytes");

    for (const char *encoding : {"PCMA", "PCMA/11025", "PCMA/44100", "G726-32", "G726-32/16000",
                                 "G726-32/x", "TETRA", "TETRA/8000"}) {
        for (int bytes : {0, 1, 17, 18, 19, 4000, 123457}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(encoding)).arg(bytes)))
                    << QString::fromLatin1(encoding) << bytes;
        }
    }
}

void tst_AudioCodec::durationMatchesDecoder()
{
    // The server's duration and the player's decoder must agree.
    QFETCH(QString, encoding);
    QFETCH(int, bytes);
    const std::unique_ptr<AudioCodec> codec = createAudioCodec(encoding, 8000);
    QVERIFY(codec);
    QCOMPARE(::encodedDuration(encoding, bytes, 8000), codec->durationForBytes(bytes));
}

void tst_AudioCodec::decodeNothing_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::newRow("PCMA") << "PCMA";
    QTest::newRow("G726-32") << "G726-32";
    QTest::newRow("TETRA") << "TETRA";
}

void tst_AudioCodec::decodeNothing()
{
    QFETCH(QString, encoding);
    const std::unique_ptr<AudioCodec> codec = createAudioCodec(encoding, 8000);
    QVERIFY(codec);
    const char in = 0;
    qint16 out = 0x1234;
    int written = -1;
    QCOMPARE(codec->decode(&in, 0, &out, sizeof out, &written), 0);
    QCOMPARE(written, 0);
    QCOMPARE(out, qint16(0x1234));
    written = -1;
    QCOMPARE(codec->decode(&in, 0, &out, 0, &written), 0);
    QCOMPARE(written, 0);
}

QTEST_APPLESS_MAIN(tst_AudioCodec)
#include "tst_audiocodec.moc"
