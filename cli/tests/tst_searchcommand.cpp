#include "clicommandrun.h"
#include "testrecording.h"

#include <QJsonObject>
#include <QtTest>

using namespace TestRecordingData;

namespace {

QString writeRecording(TestRecording &recording)
{
    recording.addStream(1, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Канал"));
    recording.addStream(3, QStringLiteral("text"), QString(), QStringLiteral("Журнал"));
    recording.text(10, 1, QStringLiteral("ВЫЗОВ борт 12"));
    recording.frame(10, 2, alaw(80));
    recording.frame(20, 3, QStringLiteral("ответ на вызов").toUtf8());
    recording.text(30, 1, QStringLiteral("Сброс"));
    recording.text(86400040, 1, QStringLiteral("вызов после полуночи"));
    recording.index();
    return recording.path();
}

} // namespace

class TestSearchCommand : public QObject
{
    Q_OBJECT

private slots:
    void search_data();
    void search();
    void usage();
};

void TestSearchCommand::search_data()
{
    QTest::addColumn<QStringList>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("case-insensitive, every text stream, in time order")
        << QStringList{QStringLiteral("Вызов")}
        << QByteArray(R"([{"text":"ВЫЗОВ борт 12","time_ms":10},{"text":"ответ на вызов","time_ms":20},)"
                      R"({"text":"вызов после полуночи","time_ms":86400040}])");
    QTest::newRow("no text lists all")
        << QStringList()
        << QByteArray(R"([{"text":"ВЫЗОВ борт 12","time_ms":10},{"text":"ответ на вызов","time_ms":20},)"
                      R"({"text":"Сброс","time_ms":30},{"text":"вызов после полуночи","time_ms":86400040}])");
    QTest::newRow("nothing found") << QStringList{QStringLiteral("тревога")} << QByteArray("[]");
}

void TestSearchCommand::search()
{
    QFETCH(QStringList, text);
    QFETCH(QByteArray, expected);
    TestRecording recording;
    const CliRun run = runCli(QStringList{QStringLiteral("search"), writeRecording(recording)} + text + QStringList{QStringLiteral("--json")});
    QCOMPARE(run.status, 0);
    QVERIFY(run.leftovers.isEmpty());
    QCOMPARE(QJsonDocument(jsonList(run.out)).toJson(QJsonDocument::Compact), expected);
}

void TestSearchCommand::usage()
{
    QCOMPARE(runCli({QStringLiteral("search")}).status, 2);
    QCOMPARE(runCli({QStringLiteral("search"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}).status, 2);
    QCOMPARE(runCli({QStringLiteral("search"), QStringLiteral("/nonexistent")}).status, 1);
    TestRecording recording;
    const CliRun run = runCli({QStringLiteral("search"), writeRecording(recording), QStringLiteral("сброс")});
    QCOMPARE(run.status, 0);
    QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("30\tСброс\n"));
}

QTEST_GUILESS_MAIN(TestSearchCommand)
#include "tst_searchcommand.moc"
