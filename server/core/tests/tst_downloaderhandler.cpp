#include "server/core/downloaders/downloaderhandler.h"

#include "server/core/downloaders/downloaderwiring.h"
#include "server/core/tests/support/fakeftpserver.h"
#include "server/core/downloaders/ftpdownloader.h"
#include "recording/indexcache.h"
#include "server/core/tests/support/listingfile.h"
#include "server/core/downloaders/listingstamp.h"
#include "server/core/tests/support/recordingdownloader.h"
#include "recording/recordingindexer.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/core/tests/support/signalwait.h"
#include "testsupport/testrecording.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Local copies: name -> size (bytes).
using LocalSizes = QMap<QString, int>;

// Polling period of the end-to-end cases (ms).
constexpr int kShortPeriodMs = 250;
constexpr int kWaitMs = 20000;

// A listing line of a plain file dated `daysAgo` days before today.
QString fileLine(const QString &name, qint64 size, int daysAgo)
{
    return lsFileLine(name, size, QDate::currentDate().addDays(-daysAgo));
}

QStringList deviceParam(const QString &period, const QString &url, const QString &folder)
{
    return {QStringLiteral("Recorder"), QStringLiteral("test"), period, url, folder, QString()};
}

// A scheduler driving an FTP downloader for one device folder, wired as
// the server wires them.
struct WiredScheduler
{
    WiredScheduler(const QString &url, const QString &folder, int periodMs)
    {
        handler.setParam(deviceParam("5", url, folder));
        handler.setPeriod(periodMs);
        downloader.setParam({url, folder, QString()});
        wireDownloaderHandler(&handler, &downloader);
    }

    DownloaderHandler handler;
    FtpDownloader downloader;
};

// The hostile listing fixture, its files dated now (CR LF line ends).
QString hostileListing()
{
    const QString recent = QLocale(QLocale::C).toString(QDateTime::currentDateTime(), QStringLiteral("MMM dd hh:mm"));
    return QString::fromLatin1(readFile(QFINDTESTDATA("data/listing_hostile.txt")))
        .replace(QStringLiteral("Dec 07 09:00"), recent);
}

} // namespace

class tst_DownloaderHandler : public QObject
{
    Q_OBJECT

private slots:
    void periodFromParameters_data();
    void periodFromParameters();
    void fileChoice_data();
    void fileChoice();
    void unsafeNamesSkipped();
    void startKillsTheTimer();
    void errorRestartsTheTimer();
    void nothingToFetchRestartsWithoutStop();
    void unreachableDeviceAskedAgainAfterEachFailure();

    // End to end with a real downloader.
    void realServerCycles();
    void periodShorterThanReplyTimeout();
    void hostileListingWritesNothingOutside();
    void refusedFilesWaitWhileOthersGoOn();
};

void tst_DownloaderHandler::periodFromParameters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("period");
    QTest::newRow("5 minutes") << "5" << 300000;
    QTest::newRow("1 minute") << "1" << 60000;
    QTest::newRow("empty") << "" << 60000;
    QTest::newRow("not a number") << "often" << 60000;
    QTest::newRow("negative") << "-3" << 60000;
    QTest::newRow("fraction") << "1.5" << 60000;
    QTest::newRow("zero would poll without pause") << "0" << 60000;
    QTest::newRow("more than a week") << "99999999" << 10080 * 60000;
}

void tst_DownloaderHandler::periodFromParameters()
{
    QFETCH(QString, text);
    QFETCH(int, period);
    DownloaderHandler handler;
    QCOMPARE(handler.period(), 60000);
    handler.setParam(deviceParam(text, QStringLiteral("ftp://127.0.0.1/"), QStringLiteral("/tmp")));
    QCOMPARE(handler.period(), period);
    QVERIFY(!handler.isPollTimerActive());
}

void tst_DownloaderHandler::fileChoice_data()
{
    QTest::addColumn<QStringList>("listing");
    QTest::addColumn<LocalSizes>("local");      // name -> local size (bytes)
    QTest::addColumn<LocalSizes>("stamps");     // name -> days ago of the date its listing stamp holds
    QTest::addColumn<QStringList>("expected");  // "name pos listedSize" in the order asked for

    const LocalSizes none;
    QTest::newRow("remote larger than local copy") << QStringList{fileLine("REC.DAT", 10000, 0)}
                                                    << LocalSizes{{"REC.DAT", 4000}} << none
                                                    << QStringList{"REC.DAT 4000 10000"};
    // As large as the device's file: checked unless its stamp says the
    // listing is the one it was completed from.
    QTest::newRow("complete copy without stamp checked") << QStringList{fileLine("REC.DAT", 10000, 0)}
                                                         << LocalSizes{{"REC.DAT", 10000}} << none
                                                         << QStringList{"REC.DAT 10000 10000"};
    QTest::newRow("complete copy with its stamp") << QStringList{fileLine("REC.DAT", 10000, 0)}
                                                  << LocalSizes{{"REC.DAT", 10000}} << LocalSizes{{"REC.DAT", 0}}
                                                  << QStringList();
    QTest::newRow("complete copy, listing changed") << QStringList{fileLine("REC.DAT", 10000, 0)}
                                                    << LocalSizes{{"REC.DAT", 10000}} << LocalSizes{{"REC.DAT", 1}}
                                                    << QStringList{"REC.DAT 10000 10000"};
    // A device file shorter than the copy is another file (or cut).
    QTest::newRow("local copy larger") << QStringList{fileLine("REC.DAT", 10000, 0)} << LocalSizes{{"REC.DAT", 12000}}
                                       << LocalSizes{{"REC.DAT", 0}} << QStringList{"REC.DAT 12000 10000"};
    QTest::newRow("no local copy") << QStringList{fileLine("REC.DAT", 1, 0)} << none << none
                                   << QStringList{"REC.DAT 0 1"};
    QTest::newRow("empty remote file") << QStringList{fileLine("REC.DAT", 0, 0)} << none << none << QStringList();
    QTest::newRow("3 days old") << QStringList{fileLine("REC.DAT", 10000, 3)} << none << none
                                << QStringList{"REC.DAT 0 10000"};
    QTest::newRow("4 days old, even if the copy is smaller") << QStringList{fileLine("REC.DAT", 10000, 4)}
                                                              << LocalSizes{{"REC.DAT", 4000}} << none << QStringList();
    QTest::newRow("dated tomorrow") << QStringList{fileLine("REC.DAT", 10, -1)} << none << none
                                    << QStringList{"REC.DAT 0 10"};
    // Every file in one cycle, oldest first; equal dates in listing order.
    QTest::newRow("oldest first") << QStringList{fileLine("NEW.DAT", 10, 0), fileLine("OLDER.DAT", 20, 2)} << none
                                  << none << QStringList{"OLDER.DAT 0 20", "NEW.DAT 0 10"};
    QTest::newRow("listing order among equals") << QStringList{fileLine("B.DAT", 10, 0), fileLine("A.DAT", 10, 0)}
                                                << none << none << QStringList{"B.DAT 0 10", "A.DAT 0 10"};
    QTest::newRow("complete files are passed over")
        << QStringList{fileLine("A.DAT", 10, 0), fileLine("B.DAT", 10, 0)} << LocalSizes{{"A.DAT", 10}}
        << LocalSizes{{"A.DAT", 0}} << QStringList{"B.DAT 0 10"};
    QTest::newRow("directories and odd lines ignored")
        << QStringList{"total 12", "drwxr-xr-x 2 root root 4096 Jan 05  2024 REC.DAT", "garbage",
                       "-rw-r--r-- 1 root root 5 Xyz 99 9999 BAD.DAT", "", fileLine("OK.DAT", 5, 0)}
        << none << none << QStringList{"OK.DAT 0 5"};
    QTest::newRow("size beyond 32 bits") << QStringList{fileLine("BIG.DAT", 5000000000LL, 0)}
                                         << LocalSizes{{"BIG.DAT", 100}} << none
                                         << QStringList{"BIG.DAT 100 5000000000"};
}

// The files a listing makes the scheduler ask for, one after the other as
// each is done, in one cycle that then ends with a stop.
void tst_DownloaderHandler::fileChoice()
{
    QFETCH(QStringList, listing);
    QFETCH(LocalSizes, local);
    QFETCH(LocalSizes, stamps);
    QFETCH(QStringList, expected);
    TempDir folder;
    for (auto it = local.cbegin(); it != local.cend(); ++it)
        QVERIFY(writeFile(folder.filePath(it.key()), QByteArray(it.value(), 'x')));
    for (auto it = stamps.cbegin(); it != stamps.cend(); ++it) {
        const QDateTime date = QDate::currentDate().addDays(-it.value()).startOfDay();
        QVERIFY(ListingStamp::write(folder.filePath(it.key()), {local.value(it.key()), date}));
    }
    DownloaderHandler handler;
    handler.setParam(deviceParam("5", QStringLiteral("ftp://127.0.0.1/"), folder.path()));
    QSignalSpy got(&handler, QOverload<QString, ulong, qint64>::of(&DownloaderHandler::downloadGotFile));
    QSignalSpy stopped(&handler, &DownloaderHandler::downloadStopped);
    handler.startCycle();
    handler.downloadGetFileListDo(listing);
    QStringList asked;
    while (asked.size() < got.size()) {
        const QList<QVariant> request = got.at(asked.size());
        asked << QStringLiteral("%1 %2 %3").arg(request.at(0).toString()).arg(request.at(1).toULongLong())
                     .arg(request.at(2).toLongLong());
        QVERIFY(!handler.isPollTimerActive());
        handler.downloadGetFileDo();
    }
    QCOMPARE(asked, expected);
    QVERIFY(handler.isPollTimerActive());
    // Only a cycle that fetched files ends the conversation.
    QCOMPARE(stopped.count(), expected.isEmpty() ? 0 : 1);
}

void tst_DownloaderHandler::unsafeNamesSkipped()
{
    QStringList listing = hostileListing().split(QStringLiteral("\r\n"));
    QVERIFY(listing.size() > 1);
    TempDir folder;
    DownloaderHandler handler;
    handler.setParam(deviceParam("5", QStringLiteral("ftp://127.0.0.1/"), folder.path()));
    QSignalSpy got(&handler, QOverload<QString, ulong, qint64>::of(&DownloaderHandler::downloadGotFile));
    handler.downloadGetFileListDo(listing);
    QCOMPARE(got.count(), 0);
    listing.append(fileLine("GOOD.DAT", 10, 0));
    handler.downloadGetFileListDo(listing);
    QCOMPARE(got.count(), 1);
    QCOMPARE(got.first().first().toString(), QStringLiteral("GOOD.DAT"));
}

void tst_DownloaderHandler::startKillsTheTimer()
{
    DownloaderHandler handler;
    handler.setPeriod(20);
    QSignalSpy list(&handler, &DownloaderHandler::downloadGotFileList);
    QSignalSpy started(&handler, &DownloaderHandler::downloadStarted);
    handler.downloadErrorOccur(QStringLiteral("timeout"));
    QVERIFY(handler.isPollTimerActive());
    handler.downloadStart();
    QVERIFY(!handler.isPollTimerActive());
    QCOMPARE(list.count(), 1);
    QTest::qWait(100);
    QCOMPARE(started.count(), 0);
}

void tst_DownloaderHandler::errorRestartsTheTimer()
{
    DownloaderHandler handler;
    handler.setPeriod(50);
    QSignalSpy started(&handler, &DownloaderHandler::downloadStarted);
    QSignalSpy finished(&handler, &DownloaderHandler::cycleFinished);
    handler.startCycle();
    QCOMPARE(started.count(), 1);
    handler.downloadErrorOccur(QStringLiteral("control connection disconnect"));
    QCOMPARE(finished.count(), 1);
    // A second error in the same pause (as after a normal stop) is no new cycle.
    handler.downloadErrorOccur(QStringLiteral("control connection disconnect"));
    QCOMPARE(finished.count(), 1);
    QTRY_COMPARE(started.count(), 2);
}

void tst_DownloaderHandler::nothingToFetchRestartsWithoutStop()
{
    TempDir folder;
    DownloaderHandler handler;
    RecordingDownloader downloader;
    wireDownloaderHandler(&handler, &downloader);
    handler.setParam(deviceParam("5", QStringLiteral("ftp://127.0.0.1/"), folder.path()));
    handler.setPeriod(60000);
    handler.startCycle();
    QTRY_COMPARE(downloader.calls, QStringList("start"));
    emit downloader.started();
    QTRY_COMPARE(downloader.calls, QStringList({"start", "getFileList"}));
    QSignalSpy finished(&handler, &DownloaderHandler::cycleFinished);
    emit downloader.getFileListDone({fileLine("OLD.DAT", 10, 10)});
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(handler.isPollTimerActive());
    QTest::qWait(20);
    QCOMPARE(downloader.calls, QStringList({"start", "getFileList"}));
}

// The timer waits while a cycle runs: an unreachable device is asked again
// one period after each failure, never while the last attempt is unanswered.
void tst_DownloaderHandler::unreachableDeviceAskedAgainAfterEachFailure()
{
    constexpr int kPeriodMs = 30;
    DownloaderHandler handler;
    RecordingDownloader downloader;
    wireDownloaderHandler(&handler, &downloader);
    handler.setPeriod(kPeriodMs);
    handler.downloadErrorOccur(QStringLiteral("timeout"));
    for (int attempt = 1; attempt <= 3; ++attempt) {
        QTRY_COMPARE(downloader.calls.count(QStringLiteral("start")), attempt);
        QVERIFY(!handler.isPollTimerActive());
        QTest::qWait(3 * kPeriodMs);
        QCOMPARE(downloader.calls.count(QStringLiteral("start")), attempt);
        emit downloader.errorOccured(QStringLiteral("timeout"));
    }
    QTRY_COMPARE(downloader.calls.count(QStringLiteral("start")), 4);
    emit downloader.started();
    QTRY_COMPARE(downloader.calls.count(QStringLiteral("getFileList")), 1);
    QVERIFY(!handler.isPollTimerActive());
    QTest::qWait(3 * kPeriodMs);
    QCOMPARE(downloader.calls.count(QStringLiteral("start")), 4);
}

// The scheduler with an FtpDownloader against the real server: every new
// file in one cycle, old files left alone, a grown file continued from the
// local size, complete copies not fetched again, and every finished file
// indexed into its cache.
void tst_DownloaderHandler::realServerCycles()
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Ftp, &why))
        QFAIL(qPrintable(why));
    TempDir root;
    const QByteArray first = TestRecording::random(1500000, 21);
    const QByteArray second = TestRecording::random(700000, 22);
    QVERIFY(writeFile(root.filePath("NEW1.DAT"), first));
    QVERIFY(writeFile(root.filePath("NEW2.DAT"), second));
    QVERIFY(writeFile(root.filePath("OLD.DAT"), TestRecording::random(1000, 23)));
    QVERIFY(setModified(root.filePath("OLD.DAT"), QDateTime::currentDateTimeUtc().addDays(-5)));
    ServerProcess server(ServerProcess::Ftp);
    QVERIFY2(server.start(root.path()), qPrintable(server.error()));

    TempDir dest;
    const QString folder = dest.filePath("rec");
    WiredScheduler scheduler(server.url(), folder, kShortPeriodMs);
    QStringList requests;   // "name pos @cycle"
    int cycles = 0;
    connect(&scheduler.handler, &DownloaderHandler::cycleFinished, this, [&cycles] { ++cycles; });
    connect(&scheduler.handler, QOverload<QString, ulong, qint64>::of(&DownloaderHandler::downloadGotFile), this,
            [&](const QString &name, ulong pos) { requests << QStringLiteral("%1 %2 @%3").arg(name).arg(pos).arg(cycles); });
    scheduler.handler.startCycle();

    QTRY_VERIFY_WITH_TIMEOUT(readFile(QDir(folder).filePath("NEW2.DAT")) == second, kWaitMs);
    QVERIFY(readFile(QDir(folder).filePath("NEW1.DAT")) == first);
    // Both in the first cycle.
    QCOMPARE(requests, QStringList({"NEW1.DAT 0 @0", "NEW2.DAT 0 @0"}));

    // The recording grows on the device between polls.
    const QByteArray more = TestRecording::random(300000, 24).mid(2000);
    QVERIFY(writeFile(root.filePath("NEW1.DAT"), more, QIODevice::Append));
    QTRY_VERIFY_WITH_TIMEOUT(readFile(QDir(folder).filePath("NEW1.DAT")) == first + more, kWaitMs);
    QCOMPARE(requests.size(), 3);
    QVERIFY(requests.last().startsWith(QStringLiteral("NEW1.DAT %1 @").arg(first.size())));

    QTest::qWait(3 * kShortPeriodMs);
    QCOMPARE(requests.size(), 3);
    QVERIFY(!QFile::exists(QDir(folder).filePath("OLD.DAT")));
    RecordingIndexer indexer;
    QVERIFY(loadCache(indexer, cachePathFor(QDir(folder).filePath("NEW1.DAT"))));
    QCOMPARE(indexer.fileSize(), qint64(first.size() + more.size()));
    QVERIFY(loadCache(indexer, cachePathFor(QDir(folder).filePath("NEW2.DAT"))));
    QCOMPARE(indexer.streamCount(), TestRecording::kRandomStreams);
    QVERIFY(server.stop());
}

// A polling period shorter than the downloader's reply timer: every cycle
// against a silent device still ends in its own "timeout" (a new cycle
// would otherwise restart the conversation before the timer fires), and the
// device is listed again once it answers.
void tst_DownloaderHandler::periodShorterThanReplyTimeout()
{
    constexpr int kPeriodMs = 100;
    constexpr int kReplyTimeoutMs = 3 * kPeriodMs;
    constexpr int kTimeouts = 3;
    FakeFtpServer server;
    QVERIFY(server.listen());
    server.setGreeting(QByteArray());
    server.setTransfer("LIST", FakeFtpServer::listing(fileLine("OLD.DAT", 10, 10).toLatin1() + "\r\n"));
    TempDir folder;
    WiredScheduler scheduler(server.url(), folder.path(), kPeriodMs);
    scheduler.downloader.setReplyTimeout(kReplyTimeoutMs);
    QSignalSpy starts(&scheduler.handler, &DownloaderHandler::downloadStarted);
    QSignalSpy errors(&scheduler.downloader, &Downloader::errorOccured);
    QSignalSpy lists(&scheduler.downloader, &Downloader::getFileListDone);
    scheduler.handler.startCycle();

    QVERIFY(waitForCount(errors, kTimeouts, kWaitMs));
    for (const QList<QVariant> &error : errors)
        QCOMPARE(error.first().toString(), QStringLiteral("timeout"));
    // One cycle per timeout, the next one perhaps already begun.
    QVERIFY2(starts.count() <= errors.count() + 1, qPrintable(QStringLiteral("%1 cycles, %2 timeouts")
                                                                  .arg(starts.count()).arg(errors.count())));

    // The device answers again: it is listed, and polled on after that.
    server.setGreeting("220 back\r\n");
    QVERIFY(waitForCount(lists, 2, kWaitMs));
    QCOMPARE(lists.first().first().toStringList().first(), fileLine("OLD.DAT", 10, 10));
}

// A device listing names that lead elsewhere: the scheduler fetches only the
// sound name, and nothing appears outside the destination folder.
void tst_DownloaderHandler::hostileListingWritesNothingOutside()
{
    QByteArray listing = hostileListing().toLatin1();
    QVERIFY(!listing.isEmpty());
    listing += fileLine("GOOD.DAT", 4, 0).toLatin1() + "\r\n";

    FakeFtpServer server;
    QVERIFY(server.listen());
    server.setTransfer("LIST", FakeFtpServer::listing(listing));
    server.setTransfer("RETR", FakeFtpServer::sending("good"));
    TempDir outer;
    const QString folder = outer.filePath("a/dest");
    QVERIFY(QDir().mkpath(folder));
    WiredScheduler scheduler(server.url(), folder, kShortPeriodMs);
    scheduler.handler.startCycle();
    QTRY_COMPARE_WITH_TIMEOUT(readFile(QDir(folder).filePath("GOOD.DAT")), QByteArray("good"), kWaitMs);
    QTest::qWait(2 * kShortPeriodMs);
    QStringList retrieved;
    for (const QByteArray &command : server.commands()) {
        if (command.startsWith("retr"))
            retrieved << QString::fromLatin1(command);
    }
    QCOMPARE(retrieved, QStringList("retr /GOOD.DAT"));
    QDir everything(outer.path());
    QStringList found;
    QDirIterator it(outer.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << everything.relativeFilePath(it.next());
    found.sort();
    QCOMPARE(found, QStringList({"a", "a/dest", "a/dest/GOOD.DAT", "a/dest/GOOD.DAT.IND", "a/dest/GOOD.DAT.IND.stamp"}));
}

// A file the device refuses, or whose name the folder cannot hold, waits 1,
// 2, 4 ... cycles while every other file is collected in the first cycle;
// nothing is left for the refused ones, and a file too old to fetch is
// logged once.
void tst_DownloaderHandler::refusedFilesWaitWhileOthersGoOn()
{
    constexpr int kCycles = 8;
    const QDateTime recent = QDateTime::currentDateTime().addSecs(-3600);
    const QString tooLong = QString(300, QLatin1Char('L')) + QStringLiteral(".DAT");
    FakeFtpServer server;
    QVERIFY(server.listen());
    server.serveFile(QStringLiteral("BAD.DAT"), "refused", recent.addSecs(-60), FakeFtpServer::Fault::Refused);
    server.serveFile(tooLong, "no room for its name", recent.addSecs(-30));
    server.serveFile(QStringLiteral("GOOD1.DAT"), "first", recent);
    server.serveFile(QStringLiteral("GOOD2.DAT"), "second", recent.addSecs(60));
    server.serveFile(QStringLiteral("OLD.DAT"), "old", QDateTime::currentDateTime().addDays(-5));
    TempDir folder;
    WiredScheduler scheduler(server.url(), folder.path(), kShortPeriodMs / 2);
    QSignalSpy cycles(&scheduler.handler, &DownloaderHandler::cycleFinished);
    QSignalSpy warnings(&scheduler.handler, &DownloaderHandler::warningSended);
    QSignalSpy refused(&scheduler.downloader, &Downloader::fileRefused);
    scheduler.handler.startCycle();
    QVERIFY(waitForCount(cycles, kCycles, kWaitMs));

    QCOMPARE(readFile(folder.filePath("GOOD1.DAT")), QByteArray("first"));
    QCOMPARE(readFile(folder.filePath("GOOD2.DAT")), QByteArray("second"));
    // Tried in cycles 1, 3 and 6.
    QCOMPARE(server.commands().count("retr /BAD.DAT"), 3);
    QCOMPARE(refused.count(), 6);
    QVERIFY(!QFile::exists(folder.filePath("BAD.DAT")));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).filter("LLL").size(), 0);
    // The good files came in the first cycle, the old one was never asked for.
    QCOMPARE(server.retrievals(), 2 + 3);
    int oldWarnings = 0;
    for (const QList<QVariant> &warning : warnings)
        oldWarnings += warning.first().toString().startsWith(QStringLiteral("OLD.DAT")) ? 1 : 0;
    QCOMPARE(oldWarnings, 1);
}

QTEST_GUILESS_MAIN(tst_DownloaderHandler)
#include "tst_downloaderhandler.moc"
