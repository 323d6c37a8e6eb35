#include "tools/demorecording.h"
#include "recording/recordingindexer.h"
#include "testsupport/testfiles.h"

#include <QFile>
#include <QSet>
#include <QtTest>

// The demo recording is what a newcomer opens first: it must show every kind
// of channel and the awkward cases (stuffed bytes, gaps of every size).
class tst_DemoRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sectionsAndStreams();
    void payloadNeedsStuffing();
    void gapsOfSecondsAndMinutes();

private:
    TempDir m_dir;
    QString m_path;
    QByteArray m_bytes;
    RecordingIndexer m_indexer;
};

void tst_DemoRecording::initTestCase()
{
    QFile speech(QFINDTESTDATA("../data/tetra-speech.tetra"));
    QVERIFY(speech.open(QIODevice::ReadOnly));
    m_path = m_dir.filePath(QStringLiteral("demo.rec"));
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(writeDemoRecording(&file, speech.readAll()));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    m_bytes = file.readAll();
    m_indexer.open(m_path);
    QCOMPARE(m_indexer.start(), 0);
    while (m_indexer.state() != RecordingIndexer::Idle)
        m_indexer.step();
}

void tst_DemoRecording::sectionsAndStreams()
{
    const auto file = m_indexer.sections().value(QStringLiteral("FILE"));
    QVERIFY(file.contains(QStringLiteral("DATETIME")));
    QCOMPARE(file.value(QStringLiteral("ENCODING")), QStringLiteral("Windows-1251"));
    QVERIFY(m_indexer.sections().contains(QStringLiteral("DEVICE")));
    QSet<QString> encodings;
    for (int i = 0; i < m_indexer.streamCount(); ++i) {
        int frames = 0;
        const auto d = m_indexer.descriptor(i, &frames);
        QVERIFY2(frames > 0, qPrintable(d.value(QStringLiteral("DESCRIPTION"))));
        encodings.insert(d.value(QStringLiteral("ENCODING")).section(QLatin1Char('/'), 0, 0));
    }
    QCOMPARE(m_indexer.streamCount(), 5);
    QCOMPARE(encodings, QSet<QString>({"PCMA", "G726-32", "TETRA", "Windows-1251"}));
    // Russian descriptions survive the Windows-1251 round trip.
    QCOMPARE(m_indexer.descriptor(2).value(QStringLiteral("DESCRIPTION")), QStringLiteral("События"));
}

void tst_DemoRecording::payloadNeedsStuffing()
{
    // Escaped content 0xFF and 0xAB both occur.
    QVERIFY(m_bytes.contains(QByteArray("\xAB\x00", 2)));
    QVERIFY(m_bytes.contains(QByteArray("\xAB\x54", 2)));
}

void tst_DemoRecording::gapsOfSecondsAndMinutes()
{
    m_indexer.markAllLevels(defaultActivityThresholds());
    int maxGap = 0, secondGaps = 0;
    for (int i = 0; i < m_indexer.streamCount(); ++i) {
        IndexRecord previous = m_indexer.firstRecord(i);
        for (int n = 1;; ++n) {
            const IndexRecord r = m_indexer.firstRecord(i, n);
            if (r.stream < 0)
                break;
            const int gap = int(r.time - previous.time);
            maxGap = qMax(maxGap, gap);
            secondGaps += gap >= 1000 && gap < 60000;
            previous = r;
        }
    }
    QVERIFY(secondGaps > 0);
    QVERIFY(maxGap >= 60000);
}

QTEST_GUILESS_MAIN(tst_DemoRecording)
#include "tst_demorecording.moc"
