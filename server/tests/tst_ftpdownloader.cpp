#include "ftpdownloader.h"

#include "downloadersignals.h"
#include "fakeftpserver.h"
#include "indexcache.h"
#include "listlineparser.h"
#include "recordingindexer.h"
#include "serverprocess.h"
#include "signalwait.h"
#include "testrecording.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextCodec>
#include <QtTest>

Q_DECLARE_METATYPE(FakeFtpServer::Step)

namespace {

// Short reply timer for the scripted server (ms).
constexpr int kTestReplyTimeoutMs = 200;
// Waits for the real server (ms); its refused login alone takes 3 s.
constexpr int kServerWaitMs = 15000;
constexpr qint64 kRecordingBytes = 3 * 1024 * 1024;
// Stall limit against a device that repeats its preliminary replies, and
// the interval of the repeats (ms). The repeats go on far longer than the
// wait for the timeout.
constexpr int kRepeatStallMs = 400;
constexpr int kRepeatIntervalMs = 50;
constexpr int kRepeatCount = 80;
// A timer may fire this much early (coarse timers: 5 %), in ms.
constexpr int kTimerSlackMs = kRepeatStallMs / 10;
// A large sparse file that takes a while to send, with a real head (bytes).
constexpr qint64 kLargeFileBytes = 400LL * 1024 * 1024;
constexpr qint64 kLargeHeadBytes = 1024 * 1024;

bool writeLargeFile(const QString &path, const QByteArray &head)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(head) == head.size() && file.resize(kLargeFileBytes);
}

} // namespace

class tst_FtpDownloader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void parameters_data();
    void parameters();

    // Against the real FTP server.
    void realListing();
    void realDownloadIsByteIdentical();
    void realResume_data();
    void realResume();
    void realAbortThenList();
    void realRefusedLogin();
    void realServerGoesAway();

    // Against the scripted server.
    void conversationOrder();
    void typeReplies_data();
    void typeReplies();
    void preliminaryThenCompletion();
    void stalledTransfer_data();
    void stalledTransfer();
    void completionOvertakesData();
    void repliesInOneSegment();
    void oversizedListingRefused();
    void multiLineReplies();
    void oddReplies_data();
    void oddReplies();
    void silenceEndsInTimeout_data();
    void silenceEndsInTimeout();
    void repeatedPreliminaryRepliesEndInTimeout_data();
    void repeatedPreliminaryRepliesEndInTimeout();
    void passiveReplyForms_data();
    void passiveReplyForms();
    void refusedRestart_data();
    void refusedRestart();
    void retrieveAppendsAtPosition();
    void shorterDataTruncatesStaleTail();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void abortBeforeTransferAnswered();
    void controlLostMidTransfer();
    void namesUseTheCodec();
    void startAfterTimeoutBeginsAfresh();
    void unwritableCopyIsNotFinished_data();
    void unwritableCopyIsNotFinished();
    void slowDrainAfterCompletion();
    void controlLostWhileDataDrains();
    void stopClosesWithoutWaiting();

private:
    FakeFtpServer *fakeServer();
    void loginAndWait(FtpDownloader &downloader, DownloaderSignals &s);

    TempDir m_root;                      // served by the real server
    ServerProcess m_server{ServerProcess::Ftp};
    QDateTime m_recentTime;
    QByteArray m_recording;
};

void tst_FtpDownloader::initTestCase()
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Ftp, &why))
        QFAIL(qPrintable(why));
    m_recording = TestRecording::random(kRecordingBytes, 7);
    QVERIFY(writeFile(m_root.filePath("REC0001.DAT"), m_recording));
    QVERIFY(writeFile(m_root.filePath("OLD.DAT"), "old"));
    QVERIFY(QDir(m_root.path()).mkdir("subdir"));
    m_recentTime = QDateTime::currentDateTimeUtc().addSecs(-3600);
    QVERIFY(setModified(m_root.filePath("REC0001.DAT"), m_recentTime));
    QVERIFY(setModified(m_root.filePath("OLD.DAT"), QDateTime(QDate(2019, 3, 4), QTime(5, 6), Qt::UTC)));
    QVERIFY(writeLargeFile(m_root.filePath("LARGE.DAT"), TestRecording::random(kLargeHeadBytes, 3).left(kLargeHeadBytes)));
    QVERIFY2(m_server.start(m_root.path()), qPrintable(m_server.error()));
}

void tst_FtpDownloader::cleanupTestCase()
{
    QVERIFY(m_server.stop());
}

FakeFtpServer *tst_FtpDownloader::fakeServer()
{
    auto *server = new FakeFtpServer(this);
    if (!server->listen())
        qFatal("the scripted FTP server cannot listen on 127.0.0.1");
    return server;
}

void tst_FtpDownloader::loginAndWait(FtpDownloader &downloader, DownloaderSignals &s)
{
    downloader.start();
    QVERIFY(waitForCount(s.started, 1, kServerWaitMs));
}

void tst_FtpDownloader::parameters_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QString>("remoteFolder");

    QTest::newRow("default codec") << "ftp://1.2.3.4/" << "" << 0 << QByteArray("UTF-8") << "/";
    QTest::newRow("KOI8-R and an ignored option") << "ftp://1.2.3.4/" << "codec=\"KOI8-R\" mode=fast" << 0
                                                  << QByteArray("KOI8-R") << "/";
    QTest::newRow("unknown codec") << "ftp://1.2.3.4/" << "codec=\"No-Such-Codec\"" << 1 << QByteArray("UTF-8") << "/";
    QTest::newRow("decoded path") << "ftp://1.2.3.4/rec%20files/" << "" << 0 << QByteArray("UTF-8") << "/rec files/";
    QTest::newRow("tftp scheme") << "tftp://1.2.3.4/" << "" << -1 << QByteArray("UTF-8") << "";
}

void tst_FtpDownloader::parameters()
{
    QFETCH(QString, url);
    QFETCH(QString, options);
    QFETCH(int, result);
    QFETCH(QByteArray, codec);
    QFETCH(QString, remoteFolder);
    FtpDownloader downloader;
    QCOMPARE(downloader.setParam({url, QStringLiteral("/tmp"), options}), result);
    QCOMPARE(downloader.textCodec()->name(), codec);
    QCOMPARE(downloader.remoteFolder(), remoteFolder);
}

// The server's own LIST output: recent files show a time, old ones a year.
void tst_FtpDownloader::realListing()
{
    TempDir dest;
    FtpDownloader downloader;
    downloader.setParam({m_server.url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.error.count(), 0);
    QCOMPARE(s.listStarted.count(), 1);

    const QStringList lines = s.lines();
    QCOMPARE(lines.last(), QString());
    QMap<QString, QPair<qint64, QDateTime>> files;
    int directories = 0;
    for (const QString &line : lines) {
        QString name;
        qint64 size = 0;
        QDateTime date;
        const int result = parseListLine(line, &name, &size, &date);
        if (result == ListLineFile)
            files.insert(name, {size, date});
        directories += result == ListLineNotFile;
    }
    QCOMPARE(directories, 1);
    QCOMPARE(files.keys(), QStringList({"LARGE.DAT", "OLD.DAT", "REC0001.DAT"}));
    QCOMPARE(files.value("REC0001.DAT").first, qint64(m_recording.size()));
    // The server lists UTC times; compare them as listed, to the minute.
    const QDateTime listed = files.value("REC0001.DAT").second;
    const QDateTime expected = m_recentTime;
    QCOMPARE(listed.date(), expected.date());
    QCOMPARE(listed.time().hour(), expected.time().hour());
    QCOMPARE(listed.time().minute(), expected.time().minute());
    QCOMPARE(files.value("OLD.DAT").second.date(), QDate(2019, 3, 4));
}

void tst_FtpDownloader::realDownloadIsByteIdentical()
{
    TempDir dest;
    const QString folder = dest.filePath("device");   // created by the download
    FtpDownloader downloader;
    downloader.setParam({m_server.url(), folder, QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC0001.DAT"), 0);
    QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
    QCOMPARE(s.error.count(), 0);
    QCOMPARE(s.fileStarted.first().first().toString(), QStringLiteral("/REC0001.DAT"));

    const QString local = QDir(folder).filePath("REC0001.DAT");
    QVERIFY(readFile(local) == m_recording);
    RecordingIndexer indexer;
    QVERIFY(loadCache(indexer, cachePathFor(local)));
    QCOMPARE(indexer.streamCount(), TestRecording::kRandomStreams);
    QCOMPARE(indexer.fileName(), local);
    int frames = 0;
    indexer.descriptor(0, &frames);
    QVERIFY(frames > 100);
}

void tst_FtpDownloader::realResume_data()
{
    QTest::addColumn<int>("localBytes");
    QTest::newRow("one byte") << 1;
    QTest::newRow("half") << int(kRecordingBytes / 2);
    QTest::newRow("all but one byte") << m_recording.size() - 1;
    QTest::newRow("nothing missing") << m_recording.size();
}

// A partial local copy is completed from where it ends (REST in binary
// mode); the result is byte-identical to the device's file.
void tst_FtpDownloader::realResume()
{
    QFETCH(int, localBytes);
    TempDir dest;
    const QString local = dest.filePath("REC0001.DAT");
    QVERIFY(writeFile(local, m_recording.left(localBytes)));
    FtpDownloader downloader;
    downloader.setParam({m_server.url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC0001.DAT"), ulong(localBytes));
    QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
    QCOMPARE(s.firstError(), QString());
    QVERIFY(readFile(local) == m_recording);
    QVERIFY(QFile::exists(cachePathFor(local)));
}

// An abort during a large retrieval: the partial copy is a clean prefix, no
// cache is written, and the same connection serves the next request.
void tst_FtpDownloader::realAbortThenList()
{
    TempDir dest;
    FtpDownloader downloader;
    downloader.setParam({m_server.url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    connect(&downloader, &Downloader::getFileStarted, &downloader, &Downloader::abort, Qt::QueuedConnection);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("LARGE.DAT"), 0);
    QVERIFY(waitForCount(s.aborted, 1, kServerWaitMs));
    QCOMPARE(s.fileDone.count(), 0);
    const QString local = dest.filePath("LARGE.DAT");
    const QByteArray copy = readFile(local);
    QVERIFY(copy.size() < kLargeFileBytes);
    QVERIFY(readFile(m_root.filePath("LARGE.DAT")).startsWith(copy));
    QVERIFY(!QFile::exists(cachePathFor(local)));

    QCOMPARE(s.error.count(), 0);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.firstError(), QString());
    QVERIFY(s.lines().filter("REC0001.DAT").size() == 1);
}

void tst_FtpDownloader::realRefusedLogin()
{
    TempDir root;
    ServerProcess server(ServerProcess::Ftp);
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("FTPD_PASSWORD"), QStringLiteral("another"));
    QVERIFY2(server.start(root.path(), extra), qPrintable(server.error()));
    TempDir dest;
    FtpDownloader downloader;
    downloader.setParam({server.url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QTRY_VERIFY_WITH_TIMEOUT(!s.error.isEmpty(), kServerWaitMs);
    QVERIFY2(s.firstError().startsWith(QStringLiteral("530")), qPrintable(s.firstError()));
    QTest::qWait(200);
    QCOMPARE(s.listDone.count(), 0);
    QVERIFY(server.stop());
}

// The server dies during a retrieval: an error is reported, the partial copy
// is a clean prefix without a cache, and a later resume completes it.
void tst_FtpDownloader::realServerGoesAway()
{
    TempDir root;
    const QString remote = root.filePath("LARGE.DAT");
    const QByteArray head = TestRecording::random(kLargeHeadBytes, 5).left(kLargeHeadBytes);
    QVERIFY(writeLargeFile(remote, head));
    ServerProcess server(ServerProcess::Ftp);
    QVERIFY2(server.start(root.path()), qPrintable(server.error()));

    TempDir dest;
    const QString local = dest.filePath("LARGE.DAT");
    FtpDownloader downloader;
    downloader.setParam({server.url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    connect(&downloader, &Downloader::getFileStarted, this, [&server] { server.stop(); });
    downloader.getFile(QStringLiteral("LARGE.DAT"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!s.error.isEmpty(), kServerWaitMs);
    QCOMPARE(s.fileDone.count(), 0);
    QVERIFY(!QFile::exists(cachePathFor(local)));
    const QByteArray copy = readFile(local);
    QVERIFY(copy.size() < kLargeFileBytes);
    QVERIFY(readFile(remote).startsWith(copy));

    // The server comes back (on another port): resume from the local size.
    QVERIFY2(server.start(root.path()), qPrintable(server.error()));
    FtpDownloader again;
    again.setParam({server.url(), dest.path(), QString()});
    DownloaderSignals t(&again);
    loginAndWait(again, t);
    again.getFile(QStringLiteral("LARGE.DAT"), ulong(copy.size()));
    QVERIFY(waitForCount(t.fileDone, 1, 60000));
    QCOMPARE(t.firstError(), QString());
    QCOMPARE(QFileInfo(local).size(), kLargeFileBytes);
    QVERIFY(readFile(local) == readFile(remote));
    QVERIFY(server.stop());
}

// The commands of one cycle, in order, each after the previous reply.
void tst_FtpDownloader::conversationOrder()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("LIST", {FakeFtpServer::reply("150 here\r\n"), FakeFtpServer::data("line\r\n"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 done\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(QStringLiteral("/rec")), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.lines(), QStringList({"line", ""}));
    QCOMPARE(server->commands(), QList<QByteArray>({"user ftp", "pass kqv", "type i", "pasv", "list /rec"}));
    QCOMPARE(s.error.count(), 0);
}

void tst_FtpDownloader::typeReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("reportsError");
    QTest::newRow("200 accepted") << QByteArray("200 Type set to I\r\n") << false;
    QTest::newRow("502 not implemented") << QByteArray("502 TYPE not implemented\r\n") << false;
    QTest::newRow("504 parameter refused") << QByteArray("504 no binary\r\n") << false;
    QTest::newRow("421 busy") << QByteArray("421 busy\r\n") << false;
    QTest::newRow("331 makes no sense") << QByteArray("331 what\r\n") << true;
}

// Devices without TYPE still work: a refusal only moves on.
void tst_FtpDownloader::typeReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, reportsError);
    FakeFtpServer *server = fakeServer();
    server->setReply("TYPE", reply);
    server->setTransfer("LIST", {FakeFtpServer::reply("150 here\r\n"), FakeFtpServer::data("x\r\n"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 done\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    QTRY_COMPARE(server->commands().size(), 3);
    downloader.getFileList();
    if (reportsError) {
        QVERIFY(waitForCount(s.error, 1, kServerWaitMs));
        QCOMPARE(s.firstError(), QString::fromLatin1(reply));
        return;
    }
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.error.count(), 0);
}

// A preliminary reply leaves the listing awaited without the reply timer:
// a completion long after the timer's period still completes it.
void tst_FtpDownloader::preliminaryThenCompletion()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("LIST", {FakeFtpServer::reply("150 Opening data connection\r\n"),
                                 FakeFtpServer::pause(3 * kTestReplyTimeoutMs), FakeFtpServer::data("a\r\nb\r\n"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 Transfer complete\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QTRY_COMPARE_WITH_TIMEOUT(s.listDone.count(), 1, 10 * kTestReplyTimeoutMs);
    QCOMPARE(s.error.count(), 0);
    QCOMPARE(s.lines(), QStringList({"a", "b", ""}));
}

void tst_FtpDownloader::stalledTransfer_data()
{
    QTest::addColumn<bool>("stalls");
    QTest::newRow("slow but flowing") << false;
    QTest::newRow("silent after the first bytes") << true;
}

// After the preliminary reply only a silence of the stall limit ends a
// transfer; data arriving now and then keeps it going.
void tst_FtpDownloader::stalledTransfer()
{
    QFETCH(bool, stalls);
    constexpr int kStallMs = 400;
    FakeFtpServer *server = fakeServer();
    QList<FakeFtpServer::Step> steps{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("abc")};
    if (!stalls) {
        for (const char *part : {"def", "ghi", "jkl"})
            steps << FakeFtpServer::pause(kStallMs / 2) << FakeFtpServer::data(part);
        steps << FakeFtpServer::closeData() << FakeFtpServer::reply("226 sent\r\n");
    }
    server->setTransfer("RETR", steps);
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setStallTimeout(kStallMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 0);
    if (!stalls) {
        QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
        QCOMPARE(s.error.count(), 0);
        QCOMPARE(readFile(dest.filePath("REC.DAT")), QByteArray("abcdefghijkl"));
        return;
    }
    QVERIFY(waitForCount(s.error, 1, kServerWaitMs));
    QCOMPARE(s.firstError(), QStringLiteral("timeout"));
    QCOMPARE(s.fileDone.count(), 0);
    QCOMPARE(readFile(dest.filePath("REC.DAT")), QByteArray("abc"));
}

// The completion reply arrives before the data: the listing waits for the
// data connection to end instead of losing what is still on its way.
void tst_FtpDownloader::completionOvertakesData()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("LIST", {FakeFtpServer::reply("150 here\r\n226 done\r\n"), FakeFtpServer::pause(100),
                                 FakeFtpServer::data("late line\r\n"), FakeFtpServer::closeData()});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs * 3);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.lines(), QStringList({"late line", ""}));
    QCOMPARE(s.error.count(), 0);
}

// Several replies read in one go are all handled.
void tst_FtpDownloader::repliesInOneSegment()
{
    FakeFtpServer *server = fakeServer();
    server->setGreeting("220 hello\r\n");
    server->setReply("USER", "331 pw\r\n");
    server->setTransfer("LIST", {FakeFtpServer::data("one\r\n"), FakeFtpServer::closeData(), FakeFtpServer::pause(50),
                                 FakeFtpServer::reply("150 here\r\n226 done\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.lines(), QStringList({"one", ""}));
    QCOMPARE(s.error.count(), 0);
}

// A listing is held in memory: one beyond the limit is refused, not stored.
void tst_FtpDownloader::oversizedListingRefused()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("LIST", {FakeFtpServer::reply("150 here\r\n"),
                                 FakeFtpServer::data(QByteArray(Downloader::kMaxListingBytes + 1, 'x')),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 done\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QVERIFY(waitForCount(s.error, 1, kServerWaitMs));
    QCOMPARE(s.firstError(), Downloader::listingTooLargeMessage());
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(s.listDone.count(), 0);
}

void tst_FtpDownloader::multiLineReplies()
{
    FakeFtpServer *server = fakeServer();
    server->setGreeting("220-Welcome to the recorder\r\n220-Second line\r\n220 ready\r\n");
    server->setReply("PASS", "230-Hello\r\n  indented text\r\n230 logged in\r\n");
    server->setTransfer("LIST", {FakeFtpServer::reply("150 here\r\n"), FakeFtpServer::data("x\r\n"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 done\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.started.count(), 1);
    QCOMPARE(s.error.count(), 0);
    QCOMPARE(server->commands(), QList<QByteArray>({"user ftp", "pass kqv", "type i", "pasv", "list /"}));
}

void tst_FtpDownloader::oddReplies_data()
{
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("thenTimeout");   // the reply leaves the command awaited

    QTest::newRow("unknown digit to PASV") << QByteArray("PASV") << QByteArray("600 odd\r\n") << true;
    QTest::newRow("227 without an address") << QByteArray("PASV") << QByteArray("227 passive\r\n") << true;
    QTest::newRow("227 with an octet over 255") << QByteArray("PASV") << QByteArray("227 (127,0,0,300,4,1)\r\n") << true;
    QTest::newRow("331 to PASV is an error") << QByteArray("PASV") << QByteArray("331 what\r\n") << false;
    QTest::newRow("530 to PASS fails") << QByteArray("PASS") << QByteArray("530 Login incorrect.\r\n") << false;
    QTest::newRow("550 to LIST fails") << QByteArray("LIST") << QByteArray("550 No such directory\r\n") << false;
}

// Replies the table does not accept: the line itself is reported; unknown
// forms keep the command awaited until the reply timer ends it.
void tst_FtpDownloader::oddReplies()
{
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, reply);
    QFETCH(bool, thenTimeout);
    FakeFtpServer *server = fakeServer();
    server->setReply(verb, reply);
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    downloader.start();
    downloader.getFileList();
    QTRY_VERIFY(!s.error.isEmpty());
    QCOMPARE(s.firstError(), QString::fromLatin1(reply));
    if (thenTimeout) {
        QTRY_COMPARE_WITH_TIMEOUT(s.error.count(), 2, 5 * kTestReplyTimeoutMs);
        QCOMPARE(s.error.at(1).first().toString(), QStringLiteral("timeout"));
    } else {
        QTest::qWait(2 * kTestReplyTimeoutMs);
        QCOMPARE(s.error.count(), 1);
    }
    QCOMPARE(s.listDone.count(), 0);
    // A failed exchange sends nothing after it.
    if (verb == "PASS")
        QVERIFY(!server->commands().contains("type i"));
}

void tst_FtpDownloader::silenceEndsInTimeout_data()
{
    QTest::addColumn<QByteArray>("greeting");     // empty: no greeting
    QTest::addColumn<QByteArray>("silentVerb");   // empty: every command answered
    const QByteArray ready("220 fake ready\r\n");
    QTest::newRow("no greeting") << QByteArray() << QByteArray();
    QTest::newRow("preliminary greeting only") << QByteArray("120 Service ready in 5 minutes\r\n") << QByteArray();
    QTest::newRow("no reply to USER") << ready << QByteArray("USER");
    QTest::newRow("no reply to PASV") << ready << QByteArray("PASV");
    QTest::newRow("no reply to LIST") << ready << QByteArray("LIST");
}

void tst_FtpDownloader::silenceEndsInTimeout()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, silentVerb);
    FakeFtpServer *server = fakeServer();
    server->setGreeting(greeting);
    if (!silentVerb.isEmpty())
        server->setReply(silentVerb, QByteArray());
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setStallTimeout(3 * kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    downloader.start();
    downloader.getFileList();
    QTRY_COMPARE_WITH_TIMEOUT(s.error.count(), 1, 10 * kTestReplyTimeoutMs);
    QCOMPARE(s.firstError(), QStringLiteral("timeout"));
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(s.error.count(), 1);
    QCOMPARE(s.listDone.count(), 0);
}

void tst_FtpDownloader::repeatedPreliminaryRepliesEndInTimeout_data()
{
    using Steps = QList<FakeFtpServer::Step>;
    QTest::addColumn<Steps>("greeting");       // empty: "220" at once
    QTest::addColumn<QByteArray>("verb");      // the transfer asked for
    QTest::addColumn<Steps>("transfer");
    QTest::addColumn<QByteArray>("kept");      // the local copy after the timeout

    const Steps again150 = FakeFtpServer::repeatedReply("150 here\r\n", kRepeatCount, kRepeatIntervalMs);
    QTest::newRow("120 to the connection, again and again")
        << FakeFtpServer::repeatedReply("120 Service ready in 5 minutes\r\n", kRepeatCount, kRepeatIntervalMs)
        << QByteArray("LIST") << Steps() << QByteArray();
    QTest::newRow("150 to LIST, again and again, no data") << Steps() << QByteArray("LIST") << again150 << QByteArray();
    QTest::newRow("150 to RETR again after the first data")
        << Steps() << QByteArray("RETR")
        << (Steps{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("abc")} + again150)
        << QByteArray("abc");
}

// A device that only ever repeats preliminary replies: the stall limit counts
// from the first of them (or from the last data) and ends the wait, once.
void tst_FtpDownloader::repeatedPreliminaryRepliesEndInTimeout()
{
    QFETCH(QList<FakeFtpServer::Step>, greeting);
    QFETCH(QByteArray, verb);
    QFETCH(QList<FakeFtpServer::Step>, transfer);
    QFETCH(QByteArray, kept);
    // On the stack: its repeats end with the test.
    FakeFtpServer server;
    QVERIFY(server.listen());
    server.setGreetingSteps(greeting);
    if (!transfer.isEmpty())
        server.setTransfer(verb, transfer);
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setStallTimeout(kRepeatStallMs);
    downloader.setParam({server.url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    QElapsedTimer clock;
    clock.start();
    downloader.start();
    if (verb == "RETR")
        downloader.getFile(QStringLiteral("REC.DAT"), 0);
    else
        downloader.getFileList();
    QVERIFY(waitForCount(s.error, 1, 3 * kRepeatStallMs));
    QVERIFY2(clock.elapsed() >= kRepeatStallMs - kTimerSlackMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.firstError(), QStringLiteral("timeout"));
    // The repeats still coming neither start the limit anew nor end anything.
    QTest::qWait(2 * kRepeatStallMs);
    QCOMPARE(s.error.count(), 1);
    QCOMPARE(s.listDone.count() + s.fileDone.count(), 0);
    if (verb == "RETR")
        QCOMPARE(readFile(dest.filePath("REC.DAT")), kept);
}

void tst_FtpDownloader::passiveReplyForms_data()
{
    QTest::addColumn<QString>("format");   // %1, %2: port high and low byte
    QTest::newRow("parenthesised") << "227 Entering Passive Mode (127,0,0,1,%1,%2).\r\n";
    QTest::newRow("bare numbers") << "227 =127,0,0,1,%1,%2\r\n";
    QTest::newRow("another machine named") << "227 Entering Passive Mode (10,255,255,1,%1,%2).\r\n";
    QTest::newRow("another loopback address named") << "227 Entering Passive Mode (127,0,0,2,%1,%2).\r\n";
}

// The data connection goes to the control connection's peer on the port the
// reply names; the host it names is ignored, so a device cannot send the
// client to another machine's service.
void tst_FtpDownloader::passiveReplyForms()
{
    QFETCH(QString, format);
    FakeFtpServer *server = fakeServer();
    // A separate listener stands for the data port the reply names.
    QTcpServer data;
    QVERIFY(data.listen(QHostAddress::LocalHost, 0));
    server->setReply("PASV", format.arg(data.serverPort() / 256).arg(data.serverPort() % 256).toLatin1());
    server->setReply("LIST", "150 here\r\n");
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QTRY_VERIFY(data.hasPendingConnections());
    QTcpSocket *connection = data.nextPendingConnection();
    connection->write("from the data port\r\n");
    connection->disconnectFromHost();
    QTRY_COMPARE(server->commands().size(), 5);
    server->sendReply("226 done\r\n");
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.lines(), QStringList({"from the data port", ""}));
    QCOMPARE(s.error.count(), 0);
}

void tst_FtpDownloader::refusedRestart_data()
{
    QTest::addColumn<int>("pos");
    QTest::newRow("resume: the retrieval is not sent") << 1000;
    QTest::newRow("from byte 0: no restart needed") << 0;
}

// A refused REST ends a resumed exchange: no RETR follows, which would
// otherwise fetch the whole file only to discard it. From byte 0 the
// refusal does not matter and the file is fetched.
void tst_FtpDownloader::refusedRestart()
{
    QFETCH(int, pos);
    FakeFtpServer *server = fakeServer();
    server->setReply("REST", "502 REST not implemented\r\n");
    server->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("whole"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 sent\r\n")});
    TempDir dest;
    const QString local = dest.filePath("REC.DAT");
    if (pos > 0)
        QVERIFY(writeFile(local, QByteArray(pos, 'A')));
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), ulong(pos));
    if (pos == 0) {
        QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
        QCOMPARE(s.error.count(), 0);
        QCOMPARE(readFile(local), QByteArray("whole"));
        return;
    }
    QVERIFY(waitForCount(s.error, 1, kServerWaitMs));
    QCOMPARE(s.firstError(), QStringLiteral("502 REST not implemented\r\n"));
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(s.error.count(), 1);
    QVERIFY(!server->commands().contains("retr /REC.DAT"));
    QCOMPARE(readFile(local), QByteArray(pos, 'A'));
}

// REST 1000 then RETR: the data lands after the first 1000 local bytes; the
// completion indexes the file and writes its cache.
void tst_FtpDownloader::retrieveAppendsAtPosition()
{
    FakeFtpServer *server = fakeServer();
    const QByteArray recording = TestRecording::random(20000, 11);
    server->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data(recording.mid(1000)),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 sent\r\n")});
    TempDir dest;
    const QString local = dest.filePath("REC.DAT");
    QVERIFY(writeFile(local, recording.left(1000)));
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(QStringLiteral("/data/")), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 1000);
    QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
    QCOMPARE(s.error.count(), 0);
    QVERIFY(server->commands().contains("rest 1000"));
    QVERIFY(server->commands().contains("retr /data/REC.DAT"));
    QCOMPARE(s.fileStarted.first().first().toString(), QStringLiteral("/data/REC.DAT"));
    QVERIFY(readFile(local) == recording);
    RecordingIndexer indexer;
    QVERIFY(loadCache(indexer, cachePathFor(local)));
    QCOMPARE(indexer.streamCount(), TestRecording::kRandomStreams);
}

// A local copy longer than what the device holds from the position on ends
// where the device's data ends.
void tst_FtpDownloader::shorterDataTruncatesStaleTail()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("new"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 sent\r\n")});
    TempDir dest;
    const QString local = dest.filePath("REC.DAT");
    QVERIFY(writeFile(local, "0123456789"));
    FtpDownloader downloader;
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 2);
    QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
    QCOMPARE(readFile(local), QByteArray("01new"));
}

void tst_FtpDownloader::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "../escape.DAT";
    QTest::newRow("absolute") << "/tmp/absolute.DAT";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("dot") << ".";
    QTest::newRow("empty") << "";
    QTest::newRow("sub folder") << "sub/inner.DAT";
    QTest::newRow("backslash") << "..\\win.DAT";
    QTest::newRow("line break") << "a\r\nDELE b";
}

// Names come from the device: none may lead outside the destination folder.
void tst_FtpDownloader::unsafeNamesAreRefused()
{
    QFETCH(QString, name);
    FakeFtpServer *server = fakeServer();
    TempDir outer;
    const QString folder = outer.filePath("dest");
    QVERIFY(QDir().mkdir(folder));
    FtpDownloader downloader;
    downloader.setParam({server->url(), folder, QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    QTRY_COMPARE(server->commands().size(), 3);
    downloader.getFile(name, 0);
    QCOMPARE(s.error.count(), 1);
    QCOMPARE(s.firstError(), Downloader::unsafeFileNameMessage(name));
    QTest::qWait(50);
    QCOMPARE(server->commands().size(), 3);
    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList("dest"));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/absolute.DAT")));
}

// The server drops a retrieval it had not begun and answers the abort with
// 225 only: the abort is still reported.
void tst_FtpDownloader::abortBeforeTransferAnswered()
{
    FakeFtpServer *server = fakeServer();
    server->setReply("RETR", QByteArray());
    server->setReply("ABOR", "225 ABOR command successful; data channel closed.\r\n");
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 0);
    QTRY_VERIFY(server->commands().contains("retr /REC.DAT"));
    downloader.abort();
    QVERIFY(waitForCount(s.aborted, 1, kServerWaitMs));
    QCOMPARE(s.fileDone.count(), 0);
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(s.error.count(), 0);
    QVERIFY(!QFile::exists(cachePathFor(dest.filePath("REC.DAT"))));
}

void tst_FtpDownloader::controlLostMidTransfer()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("partial")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 0);
    QTRY_VERIFY(server->commands().contains("retr /REC.DAT"));
    QTest::qWait(100);
    server->dropControl();
    QVERIFY(waitForCount(s.error, 1, kServerWaitMs));
    QCOMPARE(s.firstError(), QStringLiteral("control connection disconnect"));
    QCOMPARE(s.fileDone.count(), 0);
    QCOMPARE(readFile(dest.filePath("REC.DAT")), QByteArray("partial"));
    QVERIFY(!QFile::exists(cachePathFor(dest.filePath("REC.DAT"))));
}

// The codec option governs names in commands and in the listing.
void tst_FtpDownloader::namesUseTheCodec()
{
    QTextCodec *cp1251 = QTextCodec::codecForName("Windows-1251");
    const QString name = QStringLiteral("Запись.DAT");
    FakeFtpServer *server = fakeServer();
    server->setTransfer("LIST", {FakeFtpServer::reply("150 here\r\n"), FakeFtpServer::data(cp1251->fromUnicode(name) + "\r\n"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 done\r\n")});
    server->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("abc"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 sent\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setParam({server->url(), dest.path(), QStringLiteral("codec=\"Windows-1251\"")});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.lines().first(), name);
    downloader.getFile(name, 0);
    QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
    QVERIFY(server->commands().contains("retr /" + cp1251->fromUnicode(name)));
    QCOMPARE(readFile(dest.filePath(name)), QByteArray("abc"));
}

// A command left unanswered must not block the next cycle's start().
void tst_FtpDownloader::startAfterTimeoutBeginsAfresh()
{
    FakeFtpServer *server = fakeServer();
    server->setReply("PASV", QByteArray());
    server->setTransfer("LIST", {FakeFtpServer::reply("150 here\r\n"), FakeFtpServer::data("again\r\n"),
                                 FakeFtpServer::closeData(), FakeFtpServer::reply("226 done\r\n")});
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFileList();
    QTRY_COMPARE_WITH_TIMEOUT(s.error.count(), 1, 10 * kTestReplyTimeoutMs);
    QCOMPARE(s.firstError(), QStringLiteral("timeout"));

    // The next cycle, with the server answering PASV again.
    server->clearReply("PASV");
    downloader.start();
    QTRY_COMPARE(s.started.count(), 2);
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(s.lines().first(), QStringLiteral("again"));
    QCOMPARE(s.error.count(), 1);
}

void tst_FtpDownloader::unwritableCopyIsNotFinished_data()
{
    QTest::addColumn<QList<FakeFtpServer::Step>>("steps");
    QTest::addColumn<bool>("abortSent");   // the device was still sending
    QTest::newRow("data refused while flowing")
        << QList<FakeFtpServer::Step>{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("abc"),
                                      FakeFtpServer::pause(300), FakeFtpServer::data("def"),
                                      FakeFtpServer::closeData(), FakeFtpServer::reply("226 sent\r\n")}
        << true;
    QTest::newRow("empty file cannot be completed")
        << QList<FakeFtpServer::Step>{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::closeData(),
                                      FakeFtpServer::reply("226 sent\r\n")}
        << false;
}

// A local copy that takes no data (a full disk) is never reported
// finished nor indexed; a running transfer is stopped.
void tst_FtpDownloader::unwritableCopyIsNotFinished()
{
    QFETCH(QList<FakeFtpServer::Step>, steps);
    QFETCH(bool, abortSent);
    if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
        QSKIP("no /dev/full to stand for a full disk");
    FakeFtpServer *server = fakeServer();
    server->setTransfer("RETR", steps);
    TempDir dest;
    const QString local = dest.filePath("REC.DAT");
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), local));
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 0);
    QVERIFY(waitForCount(s.error, 1, kServerWaitMs));
    QVERIFY2(s.firstError().startsWith(QStringLiteral("write error: ")), qPrintable(s.firstError()));
    QTest::qWait(3 * kTestReplyTimeoutMs);
    QCOMPARE(s.fileDone.count(), 0);
    QCOMPARE(s.error.count(), 1);
    QCOMPARE(s.aborted.count(), 0);
    QCOMPARE(server->commands().contains("abor"), abortSent);
    QVERIFY(!QFile::exists(cachePathFor(local)));
}

// The completion reply came first and the rest of the data trickles in
// slowly: the file completes as long as data keeps arriving.
void tst_FtpDownloader::slowDrainAfterCompletion()
{
    FakeFtpServer *server = fakeServer();
    QList<FakeFtpServer::Step> steps{FakeFtpServer::reply("150 sending\r\n226 sent\r\n")};
    for (const char *part : {"abc", "def", "ghi", "jkl", "mno"})
        steps << FakeFtpServer::pause(kTestReplyTimeoutMs / 2) << FakeFtpServer::data(part);
    steps << FakeFtpServer::closeData();
    server->setTransfer("RETR", steps);
    TempDir dest;
    FtpDownloader downloader;
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 0);
    QVERIFY(waitForCount(s.fileDone, 1, kServerWaitMs));
    QCOMPARE(s.error.count(), 0);
    QCOMPARE(readFile(dest.filePath("REC.DAT")), QByteArray("abcdefghijklmno"));
}

// The device confirms the transfer and closes the control connection while
// data is still on its way: the file completes, then the loss is reported.
void tst_FtpDownloader::controlLostWhileDataDrains()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n226 sent\r\n"), FakeFtpServer::data("abc"),
                                 FakeFtpServer::pause(400), FakeFtpServer::data("def"), FakeFtpServer::closeData()});
    TempDir dest;
    const QString local = dest.filePath("REC.DAT");
    FtpDownloader downloader;
    downloader.setReplyTimeout(1000);
    downloader.setParam({server->url(), dest.path(), QString()});
    DownloaderSignals s(&downloader);
    QStringList events;
    connect(&downloader, &Downloader::getFileDone, this, [&events] { events << QStringLiteral("done"); });
    connect(&downloader, &Downloader::errorOccured, this, [&events](const QString &message) { events << message; });
    loginAndWait(downloader, s);
    downloader.getFile(QStringLiteral("REC.DAT"), 0);
    QTRY_COMPARE(readFile(local), QByteArray("abc"));
    server->dropControl();
    QVERIFY(waitForCount(s.error, 1, kServerWaitMs));
    QCOMPARE(events, QStringList({"done", "control connection disconnect"}));
    QCOMPARE(readFile(local), QByteArray("abcdef"));
}

// stop() returns at once and reports stopped; the connection closes in the
// background, which is no error, and the next start begins afresh.
void tst_FtpDownloader::stopClosesWithoutWaiting()
{
    FakeFtpServer *server = fakeServer();
    FtpDownloader downloader;
    downloader.setParam({server->url(), m_root.path(), QString()});
    downloader.setReplyTimeout(kTestReplyTimeoutMs);
    DownloaderSignals s(&downloader);
    loginAndWait(downloader, s);
    downloader.stop();
    QCOMPARE(s.stopped.count(), 1); // within the call
    QTRY_VERIFY(!server->hasClient());
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(s.error.count(), 0);
    downloader.start();
    QVERIFY(waitForCount(s.started, 2, kServerWaitMs));
    QCOMPARE(s.error.count(), 0);
}

QTEST_GUILESS_MAIN(tst_FtpDownloader)
#include "tst_ftpdownloader.moc"
