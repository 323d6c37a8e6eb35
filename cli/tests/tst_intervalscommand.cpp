#include "cli/tests/clicommandrun.h"
#include "testsupport/testrecording.h"

#include <QJsonObject>
#include <QtTest>

#include <sys/resource.h>

using namespace TestRecordingData;

namespace {

QString writeRecording(TestRecording &recording)
{
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Диспетчер"));
    recording.addStream(2, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    recording.addStream(3, QStringLiteral("audio"), QStringLiteral("G726-32"), QStringLiteral("Борт"));
    recording.frame(0, 1, alaw(800));          // [0, 100]
    recording.frame(100, 1, alaw(800));        // [100, 200]
    recording.text(1500, 2, QStringLiteral("Вызов"));
    recording.frame(86400000, 3, g726Tone(800)); // after midnight, 100 ms
    recording.index();
    return recording.path();
}

} // namespace

class tst_IntervalsCommand : public QObject
{
    Q_OBJECT

private slots:
    void json_data();
    void json();
    void textOutput();
    void usage_data();
    void usage();
    void manyIntervalsInBoundedMemory_data();
    void manyIntervalsInBoundedMemory();
};

void tst_IntervalsCommand::json_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("gap 2 s joins audio and text")
        << QStringList{QStringLiteral("--gap"), QStringLiteral("2")}
        << QByteArray(R"([{"begin_ms":0,"duration_ms":1500,"names":["Диспетчер","События"]},)"
                      R"({"begin_ms":86400000,"duration_ms":100,"names":["Борт"]}])");
    QTest::newRow("gap 1 s keeps them apart")
        << QStringList{QStringLiteral("--gap"), QStringLiteral("1")}
        << QByteArray(R"([{"begin_ms":0,"duration_ms":200,"names":["Диспетчер"]},)"
                      R"({"begin_ms":1500,"duration_ms":0,"names":["События"]},)"
                      R"({"begin_ms":86400000,"duration_ms":100,"names":["Борт"]}])");
    QTest::newRow("chosen channels")
        << QStringList{QStringLiteral("--gap"), QStringLiteral("0.5"), QStringLiteral("--channels"), QStringLiteral("3")}
        << QByteArray(R"([{"begin_ms":86400000,"duration_ms":100,"names":["Борт"]}])");
}

void tst_IntervalsCommand::json()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, expected);
    TestRecording recording;
    const CliRun run = runCli(QStringList{QStringLiteral("intervals"), writeRecording(recording), QStringLiteral("--json")} + options);
    QCOMPARE(run.status, 0);
    QVERIFY(run.leftovers.isEmpty());
    QCOMPARE(QJsonDocument(jsonList(run.out)).toJson(QJsonDocument::Compact), expected);
}

void tst_IntervalsCommand::textOutput()
{
    TestRecording recording;
    const CliRun run = runCli({QStringLiteral("intervals"), writeRecording(recording), QStringLiteral("--gap"), QStringLiteral("1")});
    QCOMPARE(run.status, 0);
    QCOMPARE(QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 3);
    QVERIFY(run.out.startsWith(QStringLiteral("0\t200\tДиспетчер\n").toUtf8()));
}

void tst_IntervalsCommand::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("no gap") << QStringList{QStringLiteral("IN")} << 2;
    QTest::newRow("negative gap") << QStringList{QStringLiteral("IN"), QStringLiteral("--gap"), QStringLiteral("-1")} << 2;
    QTest::newRow("unknown channel") << QStringList{QStringLiteral("IN"), QStringLiteral("--gap"), QStringLiteral("1"),
                                                    QStringLiteral("--channels"), QStringLiteral("4")} << 2;
    QTest::newRow("missing input") << QStringList{QStringLiteral("/nonexistent"), QStringLiteral("--gap"), QStringLiteral("1")} << 1;
}

void tst_IntervalsCommand::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    TestRecording recording;
    arguments.replaceInStrings(QStringLiteral("IN"), writeRecording(recording));
    const CliRun run = runCli(QStringList{QStringLiteral("intervals")} + arguments);
    QCOMPARE(run.status, status);
    QVERIFY(!run.err.isEmpty());
}

// Intervals are printed as they are found: hundreds of thousands of them
// cost no more memory than a few.
void tst_IntervalsCommand::manyIntervalsInBoundedMemory_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("text") << false;
    QTest::newRow("json") << true;
}

void tst_IntervalsCommand::manyIntervalsInBoundedMemory()
{
    QFETCH(bool, json);
    constexpr int kIntervals = 300000;
    constexpr long kMaxResidentKiB = 64 * 1024; // the tool itself needs about 20 MiB
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    for (int i = 0; i < kIntervals; ++i)
        recording.frame(quint32(i) * 1000, 1, alaw(8)); // 1 ms each, a second apart
    recording.index();
    QStringList arguments{QStringLiteral("intervals"), recording.path(), QStringLiteral("--gap"), QStringLiteral("0.5")};
    if (json)
        arguments << QStringLiteral("--json");
    const CliRun run = runCli(arguments);
    QCOMPARE(run.status, 0);
    if (json)
        QCOMPARE(jsonList(run.out).size(), kIntervals);
    else
        QCOMPARE(run.out.count('\n'), kIntervals);
#ifdef VELMORA_SANITIZE
    QSKIP("AddressSanitizer keeps freed memory: resident size says nothing here");
#endif
    rusage usage = {};
    QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
    QVERIFY2(usage.ru_maxrss < kMaxResidentKiB, qPrintable(QStringLiteral("%1 KiB").arg(usage.ru_maxrss)));
}

QTEST_GUILESS_MAIN(tst_IntervalsCommand)
#include "tst_intervalscommand.moc"
