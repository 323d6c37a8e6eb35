#include "cli/tests/clicommandrun.h"
#include "testsupport/testrecording.h"

#include <QJsonObject>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

class tst_SearchCommand : public QObject
{
    Q_OBJECT

private slots:
    void search_data();
    void search();
    void usage();
    void stopSignalRemovesIndexFiles_data();
    void stopSignalRemovesIndexFiles();
};

void tst_SearchCommand::search_data()
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

void tst_SearchCommand::search()
{
    QFETCH(QStringList, text);
    QFETCH(QByteArray, expected);
    TestRecording recording;
    const CliRun run = runCli(QStringList{QStringLiteral("search"), writeRecording(recording)} + text + QStringList{QStringLiteral("--json")});
    QCOMPARE(run.status, 0);
    QVERIFY(run.leftovers.isEmpty());
    QCOMPARE(QJsonDocument(jsonList(run.out)).toJson(QJsonDocument::Compact), expected);
    // Printed element by element, yet the same text as the whole document.
    QCOMPARE(run.out, QJsonDocument(jsonList(run.out)).toJson(QJsonDocument::Indented));
}

void tst_SearchCommand::usage()
{
    QCOMPARE(runCli({QStringLiteral("search")}).status, 2);
    QCOMPARE(runCli({QStringLiteral("search"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}).status, 2);
    QCOMPARE(runCli({QStringLiteral("search"), QStringLiteral("/nonexistent")}).status, 1);
    TestRecording recording;
    const CliRun run = runCli({QStringLiteral("search"), writeRecording(recording), QStringLiteral("сброс")});
    QCOMPARE(run.status, 0);
    QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("30\tСброс\n"));
}

// A command stopped by a signal removes its index files. The command is
// held with its index open by an output nobody reads (a full FIFO).
void tst_SearchCommand::stopSignalRemovesIndexFiles_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    // `velmora-cli search ... | head -1`: the reader goes away.
    QTest::newRow("reader gone (SIGPIPE)") << int(SIGPIPE);
}

void tst_SearchCommand::stopSignalRemovesIndexFiles()
{
    QFETCH(int, signalNumber);
    constexpr int kFrames = 5000; // about 100 KB of output, more than a pipe holds
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    for (int i = 0; i < kFrames; ++i)
        recording.text(quint32(i * 10), 1, QStringLiteral("событие номер %1").arg(i));
    recording.index();
    const QString fifo = recording.filePath(QStringLiteral("out"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Not inherited by the command: it would read its own output.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);

    TempDir tmp;
    QVERIFY(tmp.isValid());
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(fifo);
    process.start(QStringLiteral(VELMORA_CLI), {QStringLiteral("search"), recording.path()});
    QVERIFY(process.waitForStarted());
    // Blocked once the pipe is full, with its index folder in place.
    int pending = 0;
    QTRY_VERIFY_WITH_TIMEOUT((ioctl(reader, FIONREAD, &pending), pending >= 4096
                              && !QDir(tmp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty()),
                             20000);
    QTest::qWait(100);
    QCOMPARE(process.state(), QProcess::Running);
    if (signalNumber == SIGPIPE)
        ::close(reader);
    else
        ::kill(pid_t(process.processId()), signalNumber);
    QVERIFY(process.waitForFinished(10000));
    if (signalNumber != SIGPIPE)
        ::close(reader);
    QCOMPARE(process.exitStatus(), QProcess::CrashExit); // ended by the signal itself
    QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(tst_SearchCommand)
#include "tst_searchcommand.moc"
