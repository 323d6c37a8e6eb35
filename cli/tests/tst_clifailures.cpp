// velmora-cli never reports success it did not have: a temporary folder
// where no index can be made, an output that cannot be written, an export
// without a sample, a full disk: one line on stderr, exit status 1, no WAV
// file (a previous one stays) and no index files left behind.
#include "cli/tests/clicommandrun.h"
#include "testsupport/testrecording.h"

#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

using namespace TestRecordingData;

namespace {

QString writeRecording(TestRecording &recording)
{
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Канал"));
    recording.addStream(2, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    recording.frame(1000, 1, alaw(800));
    recording.text(1500, 2, QStringLiteral("вызов"));
    recording.frame(5000, 1, alaw(800));
    return recording.finish();
}

} // namespace

class tst_CliFailures : public QObject
{
    Q_OBJECT

private slots:
    void failuresAreTold_data();
    void failuresAreTold();
    void fullDiskIsNamed();
};

void tst_CliFailures::failuresAreTold_data()
{
    QTest::addColumn<QStringList>("arguments");   // REC and OUT stand for the recording and the WAV file
    QTest::addColumn<QString>("tmp");             // "file": TMPDIR is a regular file
    QTest::addColumn<QString>("out");             // standard output
    QTest::addColumn<QString>("message");         // what stderr says
    const QString noIndex = QStringLiteral("cannot create an index folder");
    for (const char *name : {"info", "intervals", "search"}) {
        const QString command = QString::fromLatin1(name);
        QStringList arguments{command, "REC"};
        if (command == QLatin1String("intervals"))
            arguments << "--gap" << "1";
        QTest::newRow(qPrintable(command + ", TMPDIR is a file")) << arguments << "file" << "" << noIndex;
        QTest::newRow(qPrintable(command + ", output to /dev/full")) << arguments << "" << "/dev/full"
                                                                    << "cannot write standard output: No space left on device";
    }
    QTest::newRow("export, TMPDIR is a file") << QStringList{"export", "REC", "OUT"} << "file" << "" << noIndex;
    QTest::newRow("export of a silent range") << QStringList{"export", "REC", "OUT", "--begin", "2000", "--duration", "1000"}
                                              << "" << "" << "no sound in the range";
    QTest::newRow("export past the recording, with pauses")
        << QStringList{"export", "REC", "OUT", "--begin", "90000", "--with-pauses"} << "" << "" << "no sound in the range";
}

void tst_CliFailures::failuresAreTold()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, tmp);
    QFETCH(QString, out);
    QFETCH(QString, message);
    TestRecording recording;
    const QString wav = recording.filePath(QStringLiteral("out.wav"));
    QVERIFY(writeFile(wav, "previous"));
    arguments.replaceInStrings(QStringLiteral("REC"), writeRecording(recording));
    arguments.replaceInStrings(QStringLiteral("OUT"), wav);
    CliPlaces places;
    places.stdoutFile = out;
    if (tmp == QLatin1String("file")) {
        places.tmpDir = recording.filePath(QStringLiteral("a-file"));
        QVERIFY(writeFile(places.tmpDir, "x"));
    }
    const CliRun run = runCli(arguments, places);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QCOMPARE(readFile(wav), QByteArray("previous"));
    QVERIFY(run.leftovers.isEmpty());
}

// A disk that fills up during an export: the system's reason, not
// "Unknown error". The disk is a small tmpfs in a mount namespace of the
// command's own.
void tst_CliFailures::fullDiskIsNamed()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty() || geteuid() != 0)
        QSKIP("needs unshare and root for a private tmpfs");
    TestRecording recording;
    const QString input = writeRecording(recording);
    const QString disk = recording.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkdir(disk));
    QProcess process;
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("mount -t tmpfs -o size=8k tmpfs \"$1\" && exec \"$2\" export \"$3\" \"$1/out.wav\" --with-pauses"),
                   QStringLiteral("sh"), disk, QStringLiteral(VELMORA_CLI), input});
    QVERIFY(process.waitForFinished(60000));
    if (process.exitCode() != 1 && process.readAllStandardError().contains("mount"))
        QSKIP("no tmpfs can be mounted here");
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardError(),
             QByteArray("velmora-cli export: cannot write ") + disk.toUtf8() + "/out.wav: No space left on device\n");
}

QTEST_GUILESS_MAIN(tst_CliFailures)
#include "tst_clifailures.moc"
