// FileServicer as the main window drives it: indexing from its timer,
// completion, commands to the playback and export threads, state polling,
// and playback of a recording through a private PulseAudio null sink whose
// monitor is recorded.
#include "player/engine/fileservicer.h"
#include "player/engine/playthread4.h"
#include "recording/recordingindexer.h"
#include "player/engine/savethread.h"
#include "player/engine/tests/support/pulseserver.h"
#include "player/engine/tests/support/mixedrecording.h"
#include "player/engine/tests/support/soundcheck.h"
#include "testsupport/testrecording.h"
#include "testsupport/wavefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWaitMs = 20000;
constexpr int kBytesPerMs = PulseServer::kRate * 2 / 1000;
constexpr int kSilenceThreshold = 40;

QStringList indexFilesOf(const RecordingIndexer &indexer)
{
    QStringList paths;
    for (int i = 0; i < indexer.streamCount(); ++i)
        paths.append(indexer.descriptor(i).value(QStringLiteral("INDEX_FILENAME")));
    return paths;
}

bool anyExists(const QStringList &paths)
{
    for (const QString &p : paths)
        if (QFile::exists(p))
            return true;
    return false;
}

// Indexes `path` and waits for the end; false when it did not finish.
bool indexFile(FileServicer &servicer, const QString &path)
{
    QSignalSpy finished(&servicer, &FileServicer::indexFileFinished);
    servicer.setFileName(path);
    servicer.startIndex();
    return finished.wait(kWaitMs) || !finished.isEmpty();
}

QList<StreamDescriptor> descriptorsOf(const RecordingIndexer &indexer)
{
    QList<StreamDescriptor> list;
    for (int i = 0; i < indexer.streamCount(); ++i)
        list.append(indexer.descriptor(i));
    return list;
}

int playStateOf(const FileServicer &servicer)
{
    int state = -1;
    servicer.playThread()->getState(nullptr, &state);
    return state;
}

double positionOf(const FileServicer &servicer)
{
    double position = -1;
    servicer.playThread()->getState(&position, nullptr);
    return position;
}

// Exports through the servicer; returns the WAV's samples.
QVector<qint16> exportVia(FileServicer &servicer, const QString &path, double begin, double duration, bool withPause)
{
    QSignalSpy progress(&servicer, &FileServicer::saveFileProgressChanged);
    servicer.setSavedFileName(path);
    servicer.setSavedRange(begin, duration);
    servicer.setFlagWithPause(withPause);
    servicer.startSave();
    QElapsedTimer timer;
    timer.start();
    while ((progress.isEmpty() || progress.last().at(0).toDouble() < 1.0) && timer.elapsed() < kWaitMs)
        progress.wait(50);
    return WaveFile::read(path).sampleValues();
}

} // namespace

class tst_FileServicer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void indexingReportsProgressAndCompletes();
    void baseFromFileSection_data();
    void baseFromFileSection();
    void setBaseWithTheCurrentBaseEmitsNothing();
    void unreadableFileFinishesWithNoStreams_data();
    void unreadableFileFinishesWithNoStreams();
    void stopIndexFromProgressDeletesIndexFilesAndAllowsRestart();
    void setFileNameDeletesPreviousIndexFiles();
    void destructionDeletesIndexFiles();
    void setStreamsHandsAudioStreamsToThePlayer();
    void sampleRate_data();
    void sampleRate();
    void exportWithPausesWritesTheWholeRange();
    void exportFailureIsReported();
    void statePollingReportsPositionAndState();
    void completionReturnsPlaybackToZero();
    void playsTheRecordingThroughTheSoundServer();

private:
    PulseServer m_pulse;
    TempDir m_dir;
    TestRecording m_small;  // the mixed recording of the sound test
    TestRecording m_large;  // many short frames: indexing takes many rounds
};

void tst_FileServicer::initTestCase()
{
    QString error;
    QVERIFY2(m_pulse.start(&error), qPrintable(error));
    m_pulse.exportEnvironment();

    // Base 31.12.2012 23:59:00: the frames cross midnight into 2013.
    writeMixedRecording(m_small, 59000, {QStringLiteral("Диспетчер"), QStringLiteral("Борт 12"), QStringLiteral("Радио")});

    m_large.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Канал 1"));
    m_large.addStream(2, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("Текст"));
    for (int k = 0; k < 3000; ++k)
        m_large.frame(quint32(k * 10), 1 + k % 2, TestRecordingData::alaw(80));
    m_large.index();
}

void tst_FileServicer::indexingReportsProgressAndCompletes()
{
    FileServicer servicer;
    servicer.setThresholds(defaultActivityThresholds());
    QSignalSpy progress(&servicer, &FileServicer::indexFileProgressChanged);
    QSignalSpy base(&servicer, &FileServicer::baseChanged);
    QVERIFY(indexFile(servicer, m_large.path()));
    QVERIFY(!servicer.isIndexing());

    // 0 at the start, 16 reports per round of 256 steps, the final value last.
    QVERIFY2(progress.count() > 3000 / 16, qPrintable(QString::number(progress.count())));
    QCOMPARE(progress.first().at(0).toDouble(), 0.0);
    QCOMPARE(progress.last().at(0).toDouble(), 1.0);
    for (int i = 1; i < progress.count(); ++i)
        QVERIFY(progress.at(i).at(0).toDouble() >= progress.at(i - 1).at(0).toDouble());

    QCOMPARE(servicer.timeBegin(), 0u);
    QCOMPARE(servicer.timeEnd(), 29990u);
    QCOMPARE(base.count(), 1);
    QCOMPARE(servicer.base(), QDateTime(QDate(2012, 12, 31), QTime(23, 59), Qt::UTC));
    QCOMPARE(servicer.indexer().streamCount(), 2);
    for (const StreamIndexEntry *entry : servicer.indexer().streams()) {
        QCOMPARE(entry->levels, servicer.thresholds());
        QCOMPARE(entry->frameCount, 1500);
        QVERIFY(!entry->indexFile); // closed after completion
    }
    QVERIFY(QFile::exists(indexFilesOf(servicer.indexer()).first()));
}

void tst_FileServicer::baseFromFileSection_data()
{
    QTest::addColumn<QList<QByteArray>>("fileSection"); // empty: no FILE section
    QTest::addColumn<QDateTime>("base");
    const QDateTime y2k(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    QTest::newRow("DATETIME") << QList<QByteArray>{"FILE", "DATETIME", "05.03.2021 10:20:30.5"}
                              << QDateTime(QDate(2021, 3, 5), QTime(10, 20, 30, 500), Qt::UTC);
    QTest::newRow("FILE without DATETIME") << QList<QByteArray>{"FILE", "DEVICE", "x"} << y2k;
    QTest::newRow("no FILE section") << QList<QByteArray>() << y2k;
    QTest::newRow("unreadable DATETIME") << QList<QByteArray>{"FILE", "DATETIME", "garbage"} << y2k;
}

void tst_FileServicer::baseFromFileSection()
{
    QFETCH(QList<QByteArray>, fileSection);
    QFETCH(QDateTime, base);
    const QString path = m_dir.filePath(QStringLiteral("base.rec"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        RecordingWriter writer(&file);
        if (!fileSection.isEmpty())
            writer.writeSectionBytes(fileSection);
        writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QStringLiteral("1")},
                                                       {QStringLiteral("TYPE"), QStringLiteral("text")}});
        writer.writeDataFrame(5, 1, "a");
    }
    FileServicer servicer;
    QSignalSpy changed(&servicer, &FileServicer::baseChanged);
    QVERIFY(indexFile(servicer, path));
    QCOMPARE(servicer.base(), base);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toDateTime(), base);
    // Indexing the same file again leaves the base as it is: no signal.
    QVERIFY(indexFile(servicer, path));
    QCOMPARE(changed.count(), 1);
}

void tst_FileServicer::setBaseWithTheCurrentBaseEmitsNothing()
{
    FileServicer servicer;
    QSignalSpy changed(&servicer, &FileServicer::baseChanged);
    servicer.setBase(servicer.base());
    QCOMPARE(changed.count(), 0);
    const QDateTime other(QDate(2013, 1, 1), QTime(0, 0), Qt::UTC);
    servicer.setBase(other);
    servicer.setBase(other);
    QCOMPARE(changed.count(), 1);
}

void tst_FileServicer::unreadableFileFinishesWithNoStreams_data()
{
    QTest::addColumn<QByteArray>("contents"); // null: no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << "No such file or directory";
    // Far more empty sections than a file of this size can hold.
    QTest::newRow("refused") << QByteArray("\xFF\x01X\0", 4).repeated(20000) << "damaged";
}

void tst_FileServicer::unreadableFileFinishesWithNoStreams()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    const QString path = m_dir.filePath(QStringLiteral("unreadable.rec"));
    QFile::remove(path);
    if (!contents.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    FileServicer servicer;
    QSignalSpy progress(&servicer, &FileServicer::indexFileProgressChanged);
    QSignalSpy failed(&servicer, &FileServicer::indexFileFailed);
    QVERIFY(indexFile(servicer, path));
    QCOMPARE(failed.count(), 1);
    QVERIFY2(failed.first().first().toString().contains(message), qPrintable(failed.first().first().toString()));
    QCOMPARE(servicer.indexer().streamCount(), 0);
    QCOMPARE(servicer.timeBegin(), 0xFFFFFFFFu);
    QCOMPARE(servicer.timeEnd(), 0u);
    QCOMPARE(servicer.base(), QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC));
    // The start and the final report.
    if (contents.isNull())
        QCOMPARE(progress.count(), 2);
}

void tst_FileServicer::stopIndexFromProgressDeletesIndexFilesAndAllowsRestart()
{
    FileServicer servicer;
    QSignalSpy finished(&servicer, &FileServicer::indexFileFinished);
    QStringList made;
    int reports = 0;
    // As a progress dialog's "Stop" does: from within a progress report.
    connect(&servicer, &FileServicer::indexFileProgressChanged, this, [&](double value) {
        if (++reports == 4) {
            QVERIFY(value > 0 && value < 1);
            made = indexFilesOf(servicer.indexer());
            servicer.stopIndex();
        }
    });
    servicer.setFileName(m_large.path());
    servicer.startIndex();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWaitMs);
    QTest::qWait(50); // further ticks, if any were left running
    QCOMPARE(finished.count(), 1);
    QVERIFY(!servicer.isIndexing());
    QCOMPARE(made.size(), 2);
    QVERIFY(!anyExists(made));
    QCOMPARE(servicer.indexer().streamCount(), 0);

    // The file name is kept: indexing again starts from the beginning.
    disconnect(&servicer, &FileServicer::indexFileProgressChanged, this, nullptr);
    servicer.startIndex();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kWaitMs);
    QCOMPARE(servicer.indexer().streamCount(), 2);
    QCOMPARE(servicer.indexer().streams().first()->frameCount, 1500);
    QCOMPARE(servicer.timeEnd(), 29990u);
}

void tst_FileServicer::setFileNameDeletesPreviousIndexFiles()
{
    FileServicer servicer;
    QVERIFY(indexFile(servicer, m_small.path()));
    servicer.setStreams(descriptorsOf(servicer.indexer()));
    QCOMPARE(servicer.playThread()->streamCount(), 3);
    const QStringList first = indexFilesOf(servicer.indexer());
    QCOMPARE(first.size(), 4);
    QVERIFY(QFile::exists(first.first()));

    servicer.setFileName(m_large.path());
    QVERIFY(!anyExists(first));
    QCOMPARE(servicer.playThread()->streamCount(), 0);
    // An empty name closes the recording.
    QVERIFY(indexFile(servicer, m_large.path()));
    const QStringList second = indexFilesOf(servicer.indexer());
    servicer.setFileName(QString());
    QVERIFY(!anyExists(second));
    QCOMPARE(servicer.indexer().streamCount(), 0);
}

void tst_FileServicer::destructionDeletesIndexFiles()
{
    QStringList files;
    QString folder;
    {
        FileServicer servicer;
        QVERIFY(indexFile(servicer, m_small.path()));
        servicer.setStreams(descriptorsOf(servicer.indexer()));
        servicer.play();
        files = indexFilesOf(servicer.indexer());
        folder = servicer.indexer().indexFolder();
    }
    QCOMPARE(files.size(), 4);
    QVERIFY(!anyExists(files));
    QVERIFY(!folder.isEmpty() && !QDir(folder).exists());
}

void tst_FileServicer::setStreamsHandsAudioStreamsToThePlayer()
{
    FileServicer servicer;
    QVERIFY(indexFile(servicer, m_small.path()));
    const QList<StreamDescriptor> all = descriptorsOf(servicer.indexer());
    servicer.setStreams(all);
    QCOMPARE(servicer.playThread()->streamCount(), 3);
    servicer.setStreams(all.mid(2)); // TETRA and text
    QCOMPARE(servicer.playThread()->streamCount(), 1);
    servicer.setStreams({});
    QCOMPARE(servicer.playThread()->streamCount(), 0);
}

void tst_FileServicer::sampleRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("exportRate");
    QTest::newRow("unchanged") << 8000 << false << 8000;
    QTest::newRow("changed") << 16000 << true << 16000;
    QTest::newRow("zero refused") << 0 << false << 8000;
    QTest::newRow("negative refused") << -1 << false << 8000;
}

void tst_FileServicer::sampleRate()
{
    QFETCH(int, rate);
    QFETCH(int, exportRate);
    FileServicer servicer;
    QTEST(servicer.SetSamleRateInThread(rate), "changed");
    QCOMPARE(servicer.saveThread()->sampleRate(), exportRate);
    QCOMPARE(servicer.playThread()->sampleRate(), exportRate);
    QVERIFY(!servicer.SetSamleRateInThread(exportRate));
}

void tst_FileServicer::exportWithPausesWritesTheWholeRange()
{
    FileServicer servicer;
    QVERIFY(indexFile(servicer, m_small.path()));
    servicer.setStreams(descriptorsOf(servicer.indexer()));
    const QString path = m_dir.filePath(QStringLiteral("range.wav"));
    const QVector<qint16> samples = exportVia(servicer, path, 58500, 1000, true);
    QCOMPARE(QFileInfo(path).size(), qint64(16044));
    QCOMPARE(samples.size(), 8000);
    // Silence until 59000 ms, the first channel after it.
    QCOMPARE(SoundCheck::firstAbove(samples, 0), 4000);
}

void tst_FileServicer::exportFailureIsReported()
{
    FileServicer servicer;
    QVERIFY(indexFile(servicer, m_small.path()));
    servicer.setStreams(descriptorsOf(servicer.indexer()));
    QSignalSpy failed(&servicer, &FileServicer::saveFileFailed);
    QSignalSpy progress(&servicer, &FileServicer::saveFileProgressChanged);
    servicer.setSavedFileName(m_dir.filePath(QStringLiteral("no-such-folder/out.wav")));
    servicer.setSavedRange(0, 1000);
    servicer.startSave();
    QCOMPARE(failed.count(), 0); // never re-entering the caller: always queued
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kWaitMs);
    QVERIFY(failed.first().at(0).toString().contains(QStringLiteral("out.wav")));
    QTest::qWait(200);
    for (const QList<QVariant> &report : qAsConst(progress))
        QVERIFY(report.at(0).toDouble() < 1.0);
}

void tst_FileServicer::statePollingReportsPositionAndState()
{
    FileServicer servicer;
    QSignalSpy state(&servicer, &FileServicer::currentStateChanged);
    QSignalSpy streams(&servicer, &FileServicer::currentStreamsValueChanged);
    QTRY_VERIFY_WITH_TIMEOUT(state.count() >= 3, kWaitMs);
    QVERIFY(streams.count() >= state.count() - 1);
    QCOMPARE(state.last().at(1).toInt(), 0);
    QVERIFY(streams.last().at(0).toStringList().isEmpty());
    QCOMPARE(streams.last().at(1).value<short>(), short(0));
}

void tst_FileServicer::completionReturnsPlaybackToZero()
{
    FileServicer servicer;
    QVERIFY(indexFile(servicer, m_small.path()));
    QTRY_COMPARE_WITH_TIMEOUT(playStateOf(servicer), int(PlayThread4::Paused), kWaitMs);
    servicer.move(61000);
    servicer.setMarkedArea(60000, 500);
    QCOMPARE(positionOf(servicer), 61000.0);
    QVERIFY(indexFile(servicer, m_small.path()));
    QCOMPARE(positionOf(servicer), 0.0);
    double begin = -1, duration = -1;
    servicer.playThread()->range(&begin, &duration);
    QCOMPARE(begin, 0.0);
    QCOMPARE(duration, 0.0);
}

void tst_FileServicer::playsTheRecordingThroughTheSoundServer()
{
    FileServicer servicer;
    servicer.setThresholds(defaultActivityThresholds());
    QVERIFY(indexFile(servicer, m_small.path()));
    QCOMPARE(servicer.timeBegin(), 59000u);
    QCOMPARE(servicer.timeEnd(), 62600u);
    // The recording crosses midnight.
    QCOMPARE(servicer.base().addMSecs(servicer.timeEnd()).date(), QDate(2013, 1, 1));
    servicer.setStreams(descriptorsOf(servicer.indexer()));
    const QVector<qint16> expected = exportVia(servicer, m_dir.filePath(QStringLiteral("all.wav")), 0,
                                               SaveThread::kOpenEnd, false);
    QVERIFY(!expected.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(playStateOf(servicer), int(PlayThread4::Paused), kWaitMs);
    QSignalSpy state(&servicer, &FileServicer::currentStateChanged);
    QSignalSpy streams(&servicer, &FileServicer::currentStreamsValueChanged);
    servicer.setFlagPlayWithPause(false);
    const qint64 before = m_pulse.recordedBytes();
    servicer.play();
    QTRY_VERIFY_WITH_TIMEOUT(!state.isEmpty() && state.last().at(1).toInt() == 1, kWaitMs);
    // Played to the end: the reports go back to 0 at the last frame's end.
    QTRY_VERIFY_WITH_TIMEOUT(state.last().at(1).toInt() == 0, kWaitMs);
    const double endTs = state.last().at(0).toDouble();
    QVERIFY2(endTs >= 63100 && endTs <= 63300, qPrintable(QString::number(endTs)));
    QVERIFY(m_pulse.waitForRecordedBytes(before + 3500 * kBytesPerMs, kWaitMs));

    QSet<QString> names;
    short peak = 0;
    for (const QList<QVariant> &report : qAsConst(streams)) {
        for (const QString &name : report.at(0).toStringList())
            names.insert(name);
        peak = qMax(peak, report.at(1).value<short>());
    }
    QCOMPARE(names, (QSet<QString>{QStringLiteral("Диспетчер"), QStringLiteral("Борт 12"), QStringLiteral("Радио")}));
    QVERIFY(peak > 8000);

    // Energy where the channels sound, the 1000 ms pause skipped, and the
    // output equal to the export's mix.
    const QVector<qint16> played = m_pulse.recordedSamples(before);
    const int start = SoundCheck::firstAbove(played, kSilenceThreshold);
    QVERIFY(start >= 0);
    QVERIFY(SoundCheck::rms(played, start, 8000) > 3000);
    QVERIFY(SoundCheck::longestQuietRun(played, kSilenceThreshold) < 1000 * 8);
    const int first = SoundCheck::firstAbove(expected, kSilenceThreshold);
    const double c = SoundCheck::bestCorrelation(expected, first, played, start, 12000, 40);
    QVERIFY2(c > 0.99, qPrintable(QString::number(c)));

    // Pause: the reports carry 0 while the position stays.
    servicer.move(59200);
    servicer.play();
    QTRY_VERIFY_WITH_TIMEOUT(state.last().at(1).toInt() == 1, kWaitMs);
    servicer.pause();
    QTRY_VERIFY_WITH_TIMEOUT(state.last().at(1).toInt() == 0, kWaitMs);
    const double pausedAt = state.last().at(0).toDouble();
    state.clear();
    QTRY_VERIFY_WITH_TIMEOUT(state.count() >= 2, kWaitMs);
    QCOMPARE(state.last().at(0).toDouble(), pausedAt);
    QCOMPARE(state.last().at(1).toInt(), 0);
}

QTEST_GUILESS_MAIN(tst_FileServicer)
#include "tst_fileservicer.moc"
