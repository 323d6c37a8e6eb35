#include "server/core/downloaders/ftpdownloader.h"

#include "server/core/tests/support/downloadersignals.h"
#include "server/core/tests/support/fakeftpserver.h"
#include "recording/indexcache.h"
#include "server/core/downloaders/listlineparser.h"
#include "recording/recordingindexer.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/core/tests/support/signalwait.h"
#include "testsupport/testrecording.h"
#include "server/core/downloaders/verifiedcopy.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextCodec>
#include <QtTest>

using Steps = QList<FakeFtpServer::Step>;
using Replies = QList<QPair<QByteArray, QByteArray>>;   // verb, reply lines
Q_DECLARE_METATYPE(FakeFtpServer::Step)

namespace {

// Short reply timer for the scripted server (ms).
constexpr int kTestReplyTimeoutMs = 200;
// Keeps the downloader's own reply timer.
constexpr int kOwnReplyTimeout = 0;
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
// Stall limit of the scripted retrievals (ms).
constexpr int kStallMs = 400;
// REST offsets expected in resumeProvesThePrefix: not checked, and 64 KiB
// before the end of the local copy.
constexpr int kAny = -1;
constexpr int kOverlapBeforeEnd = -2;

bool writeLargeFile(const QString &path, const QByteArray &head)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(head) == head.size() && file.resize(kLargeFileBytes);
}

// The commands of a whole listing cycle against the root folder.
const QList<QByteArray> kListingCommands{"user ftp", "pass kqv", "type i", "pasv", "list /"};

// The downloader under test with its own destination folder and every
// signal it sends recorded. `subfolder` (of the destination) becomes the
// device's folder instead of the destination itself.
struct Client
{
    explicit Client(const QString &url, int replyTimeoutMs = kTestReplyTimeoutMs, const QString &options = QString(),
                    const QString &subfolder = QString())
    {
        if (replyTimeoutMs != kOwnReplyTimeout)
            downloader.setReplyTimeout(replyTimeoutMs);
        downloader.setParam({url, folder(subfolder), options});
    }
    // Starts a cycle and waits for the login.
    bool login()
    {
        downloader.start();
        return waitForCount(s.started, 1, kServerWaitMs);
    }
    // Writes the local copy REC.DAT (unless `before` is null), logs in and
    // asks for REC.DAT from byte `pos`, listed with listedSize bytes.
    bool retrieve(const QByteArray &before, int pos, qint64 listedSize = Downloader::kUnknownSize)
    {
        if (!before.isNull() && !writeFile(local(), before))
            return false;
        if (!login())
            return false;
        downloader.getFile(QStringLiteral("REC.DAT"), ulong(pos), listedSize);
        return true;
    }
    QString folder(const QString &subfolder) const { return subfolder.isEmpty() ? dest.path() : dest.filePath(subfolder); }
    QString local(const QString &name = QStringLiteral("REC.DAT")) const { return dest.filePath(name); }

    TempDir dest;
    FtpDownloader downloader;
    DownloaderSignals s{&downloader};
};

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
    void listings_data();
    void listings();
    void oversizedListingRefused();
    void oddReplies_data();
    void oddReplies();
    void silenceEndsInTimeout_data();
    void silenceEndsInTimeout();
    void repeatedPreliminaryRepliesEndInTimeout_data();
    void repeatedPreliminaryRepliesEndInTimeout();
    void passiveReplyForms_data();
    void passiveReplyForms();
    void retrievals_data();
    void retrievals();
    void failedRetrievals_data();
    void failedRetrievals();
    void resumeProvesThePrefix_data();
    void resumeProvesThePrefix();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void abortBeforeTransferAnswered();
    void namesUseTheCodec();
    void startAfterTimeoutBeginsAfresh();
    void unwritableCopyIsNotFinished_data();
    void unwritableCopyIsNotFinished();
    void controlLostWhileDataDrains();
    void stopClosesWithoutWaiting();

private:
    // A scripted server owned by the test object, with these replies.
    FakeFtpServer *fakeServer(const Replies &replies = Replies());

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

FakeFtpServer *tst_FtpDownloader::fakeServer(const Replies &replies)
{
    auto *server = new FakeFtpServer(this);
    if (!server->listen())
        qFatal("the scripted FTP server cannot listen on 127.0.0.1");
    for (const auto &reply : replies)
        server->setReply(reply.first, reply.second);
    return server;
}

void tst_FtpDownloader::parameters_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("path");            // of the URL, as written
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("codec");        // names travel in it
    QTest::addColumn<QByteArray>("listCommand");  // the folder as sent

    QTest::newRow("default codec") << "ftp" << "/" << "" << 0 << QByteArray("UTF-8") << QByteArray("list /");
    QTest::newRow("KOI8-R and an ignored option") << "ftp" << "/" << "codec=\"KOI8-R\" mode=fast" << 0
                                                  << QByteArray("KOI8-R") << QByteArray("list /");
    QTest::newRow("unknown codec") << "ftp" << "/" << "codec=\"No-Such-Codec\"" << 1 << QByteArray("UTF-8")
                                   << QByteArray("list /");
    QTest::newRow("decoded path") << "ftp" << "/rec%20files/" << "" << 0 << QByteArray("UTF-8")
                                  << QByteArray("list /rec files/");
    QTest::newRow("tftp scheme") << "tftp" << "/" << "" << -1 << QByteArray() << QByteArray();
}

// The parameters as the device sees them: the folder listed and the codec
// of the names in the listing.
void tst_FtpDownloader::parameters()
{
    QFETCH(QString, scheme);
    QFETCH(QString, path);
    QFETCH(QString, options);
    QFETCH(int, result);
    QFETCH(QByteArray, codec);
    QFETCH(QByteArray, listCommand);
    const QString name = QStringLiteral("Запись.DAT");
    FakeFtpServer *server = fakeServer();
    if (!codec.isEmpty())
        server->setTransfer("LIST", FakeFtpServer::listing(QTextCodec::codecForName(codec)->fromUnicode(name) + "\r\n"));
    FtpDownloader downloader;
    const QString url = QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(server->port()).arg(path);
    QCOMPARE(downloader.setParam({url, QStringLiteral("/tmp"), options}), result);
    if (result < 0)
        return;
    DownloaderSignals s(&downloader);
    downloader.start();
    QVERIFY(waitForCount(s.started, 1, kServerWaitMs));
    downloader.getFileList();
    QVERIFY(waitForCount(s.listDone, 1, kServerWaitMs));
    QCOMPARE(server->commands().last(), listCommand);
    QCOMPARE(s.lines().first(), name);
}

// The server's own LIST output: recent files show a time, old ones a year.
void tst_FtpDownloader::realListing()
{
    Client c(m_server.url(), kOwnReplyTimeout);
    QVERIFY(c.login());
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.listDone, 1, kServerWaitMs));
    QCOMPARE(c.s.error.count(), 0);
    QCOMPARE(c.s.listStarted.count(), 1);

    const QStringList lines = c.s.lines();
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
    Client c(m_server.url(), kOwnReplyTimeout, QString(), QStringLiteral("device")); // created by the download
    QVERIFY(c.login());
    c.downloader.getFile(QStringLiteral("REC0001.DAT"), 0);
    QVERIFY(waitForCount(c.s.fileDone, 1, kServerWaitMs));
    QCOMPARE(c.s.error.count(), 0);
    QCOMPARE(c.s.fileStarted.first().first().toString(), QStringLiteral("/REC0001.DAT"));

    const QString local = QDir(c.folder(QStringLiteral("device"))).filePath("REC0001.DAT");
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
    Client c(m_server.url(), kOwnReplyTimeout);
    const QString local = c.local(QStringLiteral("REC0001.DAT"));
    QVERIFY(writeFile(local, m_recording.left(localBytes)));
    QVERIFY(c.login());
    c.downloader.getFile(QStringLiteral("REC0001.DAT"), ulong(localBytes));
    QVERIFY(waitForCount(c.s.fileDone, 1, kServerWaitMs));
    QCOMPARE(c.s.firstError(), QString());
    QVERIFY(readFile(local) == m_recording);
    QVERIFY(QFile::exists(cachePathFor(local)));
}

// An abort during a large retrieval: the partial copy is a clean prefix, no
// cache is written, and the same connection serves the next request.
void tst_FtpDownloader::realAbortThenList()
{
    Client c(m_server.url(), kOwnReplyTimeout);
    connect(&c.downloader, &Downloader::getFileStarted, &c.downloader, &Downloader::abort, Qt::QueuedConnection);
    QVERIFY(c.login());
    c.downloader.getFile(QStringLiteral("LARGE.DAT"), 0);
    QVERIFY(waitForCount(c.s.aborted, 1, kServerWaitMs));
    QCOMPARE(c.s.fileDone.count(), 0);
    const QString local = c.local(QStringLiteral("LARGE.DAT"));
    const QByteArray copy = readFile(local);
    QVERIFY(copy.size() < kLargeFileBytes);
    QVERIFY(readFile(m_root.filePath("LARGE.DAT")).startsWith(copy));
    QVERIFY(!QFile::exists(cachePathFor(local)));

    QCOMPARE(c.s.error.count(), 0);
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.listDone, 1, kServerWaitMs));
    QCOMPARE(c.s.firstError(), QString());
    QVERIFY(c.s.lines().filter("REC0001.DAT").size() == 1);
}

void tst_FtpDownloader::realRefusedLogin()
{
    TempDir root;
    ServerProcess server(ServerProcess::Ftp);
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("FTPD_PASSWORD"), QStringLiteral("another"));
    QVERIFY2(server.start(root.path(), extra), qPrintable(server.error()));
    Client c(server.url(), kOwnReplyTimeout);
    QVERIFY(c.login());
    c.downloader.getFileList();
    QTRY_VERIFY_WITH_TIMEOUT(!c.s.error.isEmpty(), kServerWaitMs);
    QVERIFY2(c.s.firstError().startsWith(QStringLiteral("530")), qPrintable(c.s.firstError()));
    QTest::qWait(200);
    QCOMPARE(c.s.listDone.count(), 0);
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

    Client c(server.url(), kOwnReplyTimeout);
    const QString local = c.local(QStringLiteral("LARGE.DAT"));
    QVERIFY(c.login());
    connect(&c.downloader, &Downloader::getFileStarted, this, [&server] { server.stop(); });
    c.downloader.getFile(QStringLiteral("LARGE.DAT"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!c.s.error.isEmpty(), kServerWaitMs);
    QCOMPARE(c.s.fileDone.count(), 0);
    QVERIFY(!QFile::exists(cachePathFor(local)));
    const QByteArray copy = readFile(local);
    QVERIFY(copy.size() < kLargeFileBytes);
    QVERIFY(readFile(remote).startsWith(copy));

    // The server comes back (on another port): resume from the local size.
    QVERIFY2(server.start(root.path()), qPrintable(server.error()));
    FtpDownloader again;
    again.setParam({server.url(), c.dest.path(), QString()});
    DownloaderSignals t(&again);
    again.start();
    QVERIFY(waitForCount(t.started, 1, kServerWaitMs));
    again.getFile(QStringLiteral("LARGE.DAT"), ulong(copy.size()));
    QVERIFY(waitForCount(t.fileDone, 1, 60000));
    QCOMPARE(t.firstError(), QString());
    QCOMPARE(QFileInfo(local).size(), kLargeFileBytes);
    QVERIFY(readFile(local) == readFile(remote));
    QVERIFY(server.stop());
}

void tst_FtpDownloader::listings_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<Steps>("transfer");     // LIST
    QTest::addColumn<int>("replyTimeoutMs");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("lines");

    const QByteArray ready("220 fake ready\r\n");
    // The commands of one cycle, in order, each after the previous reply.
    QTest::newRow("command order") << ready << Replies() << FakeFtpServer::listing("line\r\n") << kTestReplyTimeoutMs
                                   << "/rec" << QStringList{"line", ""};
    // A preliminary reply leaves the listing awaited without the reply
    // timer: a completion long after the timer's period still completes it.
    QTest::newRow("completion long after the preliminary reply")
        << ready << Replies()
        << Steps{FakeFtpServer::reply("150 Opening data connection\r\n"), FakeFtpServer::pause(3 * kTestReplyTimeoutMs),
                 FakeFtpServer::data("a\r\nb\r\n"), FakeFtpServer::closeData(),
                 FakeFtpServer::reply("226 Transfer complete\r\n")}
        << kTestReplyTimeoutMs << "/" << QStringList{"a", "b", ""};
    // The completion reply arrives before the data: the listing waits for
    // the data connection to end instead of losing what is on its way.
    QTest::newRow("completion overtakes the data")
        << ready << Replies()
        << Steps{FakeFtpServer::reply("150 here\r\n226 done\r\n"), FakeFtpServer::pause(100),
                 FakeFtpServer::data("late line\r\n"), FakeFtpServer::closeData()}
        << 3 * kTestReplyTimeoutMs << "/" << QStringList{"late line", ""};
    // Several replies read in one go are all handled.
    QTest::newRow("replies in one segment")
        << QByteArray("220 hello\r\n") << Replies{{"USER", "331 pw\r\n"}}
        << Steps{FakeFtpServer::data("one\r\n"), FakeFtpServer::closeData(), FakeFtpServer::pause(50),
                 FakeFtpServer::reply("150 here\r\n226 done\r\n")}
        << kTestReplyTimeoutMs << "/" << QStringList{"one", ""};
    QTest::newRow("multi-line replies")
        << QByteArray("220-Welcome to the recorder\r\n220-Second line\r\n220 ready\r\n")
        << Replies{{"PASS", "230-Hello\r\n  indented text\r\n230 logged in\r\n"}} << FakeFtpServer::listing("x\r\n")
        << kTestReplyTimeoutMs << "/" << QStringList{"x", ""};
    // Devices without TYPE still work: a refusal only moves on.
    for (const char *reply : {"200 Type set to I\r\n", "502 TYPE not implemented\r\n", "504 no binary\r\n", "421 busy\r\n"})
        QTest::newRow(qPrintable(QStringLiteral("TYPE answered %1").arg(QString::fromLatin1(reply).trimmed())))
            << ready << Replies{{"TYPE", reply}} << FakeFtpServer::listing("x\r\n") << kTestReplyTimeoutMs << "/"
            << QStringList{"x", ""};
}

void tst_FtpDownloader::listings()
{
    QFETCH(QByteArray, greeting);
    QFETCH(Replies, replies);
    QFETCH(Steps, transfer);
    QFETCH(int, replyTimeoutMs);
    QFETCH(QString, path);
    QFETCH(QStringList, lines);
    FakeFtpServer *server = fakeServer(replies);
    server->setGreeting(greeting);
    server->setTransfer("LIST", transfer);
    Client c(server->url(path), replyTimeoutMs);
    QVERIFY(c.login());
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.listDone, 1, kServerWaitMs));
    QCOMPARE(c.s.lines(), lines);
    QCOMPARE(c.s.started.count(), 1);
    QCOMPARE(c.s.error.count(), 0);
    QList<QByteArray> commands = kListingCommands;
    commands.last() = "list " + path.toLatin1();
    QCOMPARE(server->commands(), commands);
}

// A listing is held in memory: one beyond the limit is refused, not stored.
void tst_FtpDownloader::oversizedListingRefused()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("LIST", FakeFtpServer::listing(QByteArray(Downloader::kMaxListingBytes + 1, 'x')));
    Client c(server->url());
    QVERIFY(c.login());
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.error, 1, kServerWaitMs));
    QCOMPARE(c.s.firstError(), Downloader::listingTooLargeMessage());
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.listDone.count(), 0);
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
    QTest::newRow("331 to TYPE is an error") << QByteArray("TYPE") << QByteArray("331 what\r\n") << false;
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
    Client c(server->url());
    c.downloader.start();
    c.downloader.getFileList();
    QTRY_VERIFY(!c.s.error.isEmpty());
    QCOMPARE(c.s.firstError(), QString::fromLatin1(reply));
    if (thenTimeout) {
        QTRY_COMPARE_WITH_TIMEOUT(c.s.error.count(), 2, 5 * kTestReplyTimeoutMs);
        QCOMPARE(c.s.error.at(1).first().toString(), QStringLiteral("timeout"));
    } else {
        QTest::qWait(2 * kTestReplyTimeoutMs);
        QCOMPARE(c.s.error.count(), 1);
    }
    QCOMPARE(c.s.listDone.count(), 0);
    // A failed exchange sends nothing after it.
    int failedAt = 0;
    while (failedAt < kListingCommands.size() && !kListingCommands.at(failedAt).startsWith(verb.toLower()))
        ++failedAt;
    QVERIFY(failedAt < kListingCommands.size());
    QCOMPARE(server->commands().mid(0, failedAt + 1), kListingCommands.mid(0, failedAt + 1));
    if (!thenTimeout)
        QCOMPARE(server->commands().size(), failedAt + 1);
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
    Client c(server->url());
    c.downloader.setStallTimeout(3 * kTestReplyTimeoutMs);
    c.downloader.start();
    c.downloader.getFileList();
    QTRY_COMPARE_WITH_TIMEOUT(c.s.error.count(), 1, 10 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.firstError(), QStringLiteral("timeout"));
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.error.count(), 1);
    QCOMPARE(c.s.listDone.count(), 0);
}

void tst_FtpDownloader::repeatedPreliminaryRepliesEndInTimeout_data()
{
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
    QFETCH(Steps, greeting);
    QFETCH(QByteArray, verb);
    QFETCH(Steps, transfer);
    QFETCH(QByteArray, kept);
    // On the stack: its repeats end with the test.
    FakeFtpServer server;
    QVERIFY(server.listen());
    server.setGreetingSteps(greeting);
    if (!transfer.isEmpty())
        server.setTransfer(verb, transfer);
    Client c(server.url());
    c.downloader.setStallTimeout(kRepeatStallMs);
    QElapsedTimer clock;
    clock.start();
    c.downloader.start();
    if (verb == "RETR")
        c.downloader.getFile(QStringLiteral("REC.DAT"), 0);
    else
        c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.error, 1, 3 * kRepeatStallMs));
    QVERIFY2(clock.elapsed() >= kRepeatStallMs - kTimerSlackMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(c.s.firstError(), QStringLiteral("timeout"));
    // The repeats still coming neither start the limit anew nor end anything.
    QTest::qWait(2 * kRepeatStallMs);
    QCOMPARE(c.s.error.count(), 1);
    QCOMPARE(c.s.listDone.count() + c.s.fileDone.count(), 0);
    if (verb == "RETR")
        QCOMPARE(readFile(c.local()), kept);
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
    Client c(server->url());
    QVERIFY(c.login());
    c.downloader.getFileList();
    QTRY_VERIFY(data.hasPendingConnections());
    QTcpSocket *connection = data.nextPendingConnection();
    connection->write("from the data port\r\n");
    connection->disconnectFromHost();
    QTRY_COMPARE(server->commands().size(), 5);
    server->sendReply("226 done\r\n");
    QVERIFY(waitForCount(c.s.listDone, 1, kServerWaitMs));
    QCOMPARE(c.s.lines(), QStringList({"from the data port", ""}));
    QCOMPARE(c.s.error.count(), 0);
}

void tst_FtpDownloader::retrievals_data()
{
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<Steps>("transfer");      // RETR
    QTest::addColumn<QByteArray>("before");   // the local copy; null: none
    QTest::addColumn<int>("pos");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("version");  // REC.DAT.~1~ after it; null: none

    // After the preliminary reply data arriving now and then keeps a
    // transfer going: only a silence of the stall limit ends it.
    Steps flowing{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("abc")};
    for (const char *part : {"def", "ghi", "jkl"})
        flowing << FakeFtpServer::pause(kStallMs / 2) << FakeFtpServer::data(part);
    flowing << FakeFtpServer::closeData() << FakeFtpServer::reply("226 sent\r\n");
    QTest::newRow("slow but flowing") << Replies() << flowing << QByteArray() << 0 << QByteArray("abcdefghijkl")
                                      << QByteArray();
    // The completion reply came first and the rest of the data trickles in
    // slowly: the file completes as long as data keeps arriving.
    Steps trickling{FakeFtpServer::reply("150 sending\r\n226 sent\r\n")};
    for (const char *part : {"abc", "def", "ghi", "jkl", "mno"})
        trickling << FakeFtpServer::pause(kTestReplyTimeoutMs / 2) << FakeFtpServer::data(part);
    trickling << FakeFtpServer::closeData();
    QTest::newRow("data trickling after the completion")
        << Replies() << trickling << QByteArray() << 0 << QByteArray("abcdefghijklmno") << QByteArray();
    // From byte 0 a refused REST does not matter: the file is fetched.
    QTest::newRow("REST refused, from byte 0") << Replies{{"REST", "502 REST not implemented\r\n"}}
                                               << FakeFtpServer::sending("whole") << QByteArray() << 0
                                               << QByteArray("whole") << QByteArray();
    // A local copy whose bytes the device does not send again is another
    // file's: it is kept beside the new copy, never overwritten.
    QTest::newRow("another file's data keeps the local copy") << Replies() << FakeFtpServer::sending("new")
                                                              << QByteArray("0123456789") << 2 << QByteArray("new")
                                                              << QByteArray("0123456789");
}

void tst_FtpDownloader::retrievals()
{
    QFETCH(Replies, replies);
    QFETCH(Steps, transfer);
    QFETCH(QByteArray, before);
    QFETCH(int, pos);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, version);
    FakeFtpServer *server = fakeServer(replies);
    server->setTransfer("RETR", transfer);
    Client c(server->url());
    c.downloader.setStallTimeout(kStallMs);
    QVERIFY(c.retrieve(before, pos));
    QVERIFY(waitForCount(c.s.fileDone, 1, kServerWaitMs));
    QCOMPARE(c.s.error.count(), 0);
    QCOMPARE(readFile(c.local()), after);
    QCOMPARE(QFile::exists(c.local() + ".~1~"), !version.isNull());
    QCOMPARE(readFile(c.local() + ".~1~"), version.isNull() ? QByteArray() : version);
}

void tst_FtpDownloader::failedRetrievals_data()
{
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<Steps>("transfer");      // RETR
    QTest::addColumn<QByteArray>("before");   // the local copy; null: none
    QTest::addColumn<int>("pos");
    QTest::addColumn<bool>("dropControl");    // once the retrieval is asked for
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("retrieved");      // RETR was sent
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("silent after the first bytes")
        << Replies() << Steps{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("abc")} << QByteArray() << 0
        << false << "timeout" << true << QByteArray("abc");
    QTest::newRow("control connection lost mid-transfer")
        << Replies() << Steps{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("partial")} << QByteArray()
        << 0 << true << "control connection disconnect" << true << QByteArray("partial");
}

// A retrieval that fails reports one error, is never finished, leaves the
// bytes that arrived and writes no cache.
void tst_FtpDownloader::failedRetrievals()
{
    QFETCH(Replies, replies);
    QFETCH(Steps, transfer);
    QFETCH(QByteArray, before);
    QFETCH(int, pos);
    QFETCH(bool, dropControl);
    QFETCH(QString, error);
    QFETCH(bool, retrieved);
    QFETCH(QByteArray, after);
    FakeFtpServer *server = fakeServer(replies);
    server->setTransfer("RETR", transfer);
    Client c(server->url());
    c.downloader.setStallTimeout(kStallMs);
    QVERIFY(c.retrieve(before, pos));
    if (dropControl) {
        QTRY_VERIFY(server->commands().contains("retr /REC.DAT"));
        QTest::qWait(100);
        server->dropControl();
    }
    QVERIFY(waitForCount(c.s.error, 1, kServerWaitMs));
    QCOMPARE(c.s.firstError(), error);
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.error.count(), 1);
    QCOMPARE(c.s.fileDone.count(), 0);
    QCOMPARE(server->commands().contains("retr /REC.DAT"), retrieved);
    QCOMPARE(readFile(c.local()), after);
    QVERIFY(!QFile::exists(cachePathFor(c.local())));
}

void tst_FtpDownloader::resumeProvesThePrefix_data()
{
    QTest::addColumn<QByteArray>("before");    // the local copy
    QTest::addColumn<QByteArray>("device");    // the device's file
    QTest::addColumn<int>("fault");            // FakeFtpServer::Fault
    QTest::addColumn<QByteArray>("rest");      // REST's reply; "ignored": 350 but sent from byte 0
    QTest::addColumn<int>("restAt");           // the REST offset expected; kAny: not checked
    QTest::addColumn<bool>("versionKept");     // the local copy kept as REC.DAT.~1~

    const QByteArray a = TestRecording::random(300000, 21);
    const QByteArray b = TestRecording::random(300000, 22);
    const QByteArray larger = TestRecording::random(400000, 23);
    const QByteArray zeros(300000, '\0');
    const int none = int(FakeFtpServer::Fault::None);
    const int beforeEnd = kOverlapBeforeEnd;
    const QByteArray ok = "350 restarting\r\n";
    // 200000 local bytes: REST asks 64 KiB before their end.
    QTest::newRow("unchanged") << a.left(200000) << a << none << ok << beforeEnd << false;
    QTest::newRow("replaced, same size") << a.left(200000) << b << none << ok << kAny << true;
    QTest::newRow("replaced, larger") << a.left(200000) << larger << none << ok << kAny << true;
    QTest::newRow("truncated below the copy") << a.left(200000) << a.left(100000) << none << ok << 0
                                              << true;
    QTest::newRow("REST ignored, unchanged") << a.left(200000) << a << none << QByteArray("ignored") << kAny
                                             << false;
    QTest::newRow("REST ignored, replaced") << a.left(200000) << b << none << QByteArray("ignored") << kAny
                                            << true;
    QTest::newRow("REST refused") << a.left(200000) << a << none << QByteArray("502 no REST\r\n") << kAny
                                  << false;
    QTest::newRow("complete copy checked") << a << a << none << ok << beforeEnd << false;
    QTest::newRow("complete copy replaced, same size") << a << b << none << ok << kAny << true;
    // Overlap and start alike: nothing would tell where an ignoring device began.
    QTest::newRow("copy of repeated bytes verified from its start") << zeros.left(200000) << zeros << none << ok
                                                                    << 0 << false;
    QTest::newRow("endless sender stops at the listed size") << QByteArray() << a << int(FakeFtpServer::Fault::Endless)
                                                              << ok << kAny << false;
    QTest::newRow("trickle after 226 stops at the listed size") << a.left(100000) << a
                                                                << int(FakeFtpServer::Fault::Trickle) << ok
                                                                << kAny << false;
}

// Whatever the local copy and the device hold, the finished copy is the
// device's file; a local copy that is not its start is kept beside it.
void tst_FtpDownloader::resumeProvesThePrefix()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, device);
    QFETCH(int, fault);
    QFETCH(QByteArray, rest);
    QFETCH(int, restAt);
    QFETCH(bool, versionKept);
    FakeFtpServer *server = fakeServer();
    server->serveFile(QStringLiteral("REC.DAT"), device, QDateTime::currentDateTime(), FakeFtpServer::Fault(fault));
    server->setIgnoreRest(rest == "ignored");
    if (rest != "ignored")
        server->setReply("REST", rest);
    Client c(server->url(QStringLiteral("/data/")));
    QVERIFY(c.retrieve(before, before.size(), device.size()));
    QElapsedTimer time;
    time.start();
    QVERIFY(waitForCount(c.s.fileDone, 1, kServerWaitMs));
    // A device that never stops sending is cut at once, not after a timeout.
    QVERIFY(time.elapsed() < kServerWaitMs / 3);
    QCOMPARE(c.s.firstError(), QString());
    QVERIFY(readFile(c.local()) == device);
    QCOMPARE(QFile::exists(c.local() + ".~1~"), versionKept);
    QCOMPARE(c.s.versionKept.count(), versionKept ? 1 : 0);
    if (versionKept)
        QVERIFY(readFile(c.local() + ".~1~") == before);
    if (restAt == kOverlapBeforeEnd)
        restAt = before.size() - int(VerifiedCopy::kOverlapBytes);
    if (restAt != kAny)
        QVERIFY2(server->commands().contains("rest " + QByteArray::number(restAt)), server->commands().join(' ').constData());
    QVERIFY(server->commands().contains("retr /data/REC.DAT"));
    QVERIFY(QFile::exists(cachePathFor(c.local())));
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
    Client c(server->url(), kOwnReplyTimeout, QString(), QStringLiteral("dest"));
    const QString folder = c.folder(QStringLiteral("dest"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(c.login());
    QTRY_COMPARE(server->commands().size(), 3);
    c.downloader.getFile(name, 0);
    QCOMPARE(c.s.error.count(), 1);
    QCOMPARE(c.s.firstError(), Downloader::unsafeFileNameMessage(name));
    QTest::qWait(50);
    QCOMPARE(server->commands().size(), 3);
    QCOMPARE(QDir(c.dest.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList("dest"));
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
    Client c(server->url());
    QVERIFY(c.retrieve(QByteArray(), 0));
    QTRY_VERIFY(server->commands().contains("retr /REC.DAT"));
    c.downloader.abort();
    QVERIFY(waitForCount(c.s.aborted, 1, kServerWaitMs));
    QCOMPARE(c.s.fileDone.count(), 0);
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.error.count(), 0);
    QVERIFY(!QFile::exists(cachePathFor(c.local())));
}

// The codec option governs names in commands and in the listing.
void tst_FtpDownloader::namesUseTheCodec()
{
    QTextCodec *cp1251 = QTextCodec::codecForName("Windows-1251");
    const QString name = QStringLiteral("Запись.DAT");
    FakeFtpServer *server = fakeServer();
    server->setTransfer("LIST", FakeFtpServer::listing(cp1251->fromUnicode(name) + "\r\n"));
    server->setTransfer("RETR", FakeFtpServer::sending("abc"));
    Client c(server->url(), kOwnReplyTimeout, QStringLiteral("codec=\"Windows-1251\""));
    QVERIFY(c.login());
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.listDone, 1, kServerWaitMs));
    QCOMPARE(c.s.lines().first(), name);
    c.downloader.getFile(name, 0);
    QVERIFY(waitForCount(c.s.fileDone, 1, kServerWaitMs));
    QVERIFY(server->commands().contains("retr /" + cp1251->fromUnicode(name)));
    QCOMPARE(readFile(c.local(name)), QByteArray("abc"));
}

// A command left unanswered must not block the next cycle's start().
void tst_FtpDownloader::startAfterTimeoutBeginsAfresh()
{
    FakeFtpServer *server = fakeServer();
    server->setReply("PASV", QByteArray());
    server->setTransfer("LIST", FakeFtpServer::listing("again\r\n"));
    Client c(server->url());
    QVERIFY(c.login());
    c.downloader.getFileList();
    QTRY_COMPARE_WITH_TIMEOUT(c.s.error.count(), 1, 10 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.firstError(), QStringLiteral("timeout"));

    // The next cycle, with the server answering PASV again.
    server->clearReply("PASV");
    c.downloader.start();
    QTRY_COMPARE(c.s.started.count(), 2);
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.listDone, 1, kServerWaitMs));
    QCOMPARE(c.s.lines().first(), QStringLiteral("again"));
    QCOMPARE(c.s.error.count(), 1);
}

void tst_FtpDownloader::unwritableCopyIsNotFinished_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<bool>("abortSent");   // the device was still sending
    QTest::newRow("data refused while flowing")
        << Steps{FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data("abc"), FakeFtpServer::pause(300),
                 FakeFtpServer::data("def"), FakeFtpServer::closeData(), FakeFtpServer::reply("226 sent\r\n")}
        << true;
}

// A local copy that takes no data (a full disk) is never reported
// finished nor indexed; a running transfer is stopped.
void tst_FtpDownloader::unwritableCopyIsNotFinished()
{
    QFETCH(Steps, steps);
    QFETCH(bool, abortSent);
    if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
        QSKIP("no /dev/full to stand for a full disk");
    FakeFtpServer *server = fakeServer();
    server->setTransfer("RETR", steps);
    Client c(server->url());
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), c.local()));
    QVERIFY(c.retrieve(QByteArray(), 0));
    QVERIFY(waitForCount(c.s.error, 1, kServerWaitMs));
    // The system's reason, never "Unknown error".
    QVERIFY2(c.s.firstError() == QStringLiteral("write error: No space left on device"), qPrintable(c.s.firstError()));
    QTest::qWait(3 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.fileDone.count(), 0);
    QCOMPARE(c.s.error.count(), 1);
    QCOMPARE(c.s.aborted.count(), 0);
    QCOMPARE(server->commands().contains("abor"), abortSent);
    QVERIFY(!QFile::exists(cachePathFor(c.local())));
}

// The device confirms the transfer and closes the control connection while
// data is still on its way: the file completes, then the loss is reported.
void tst_FtpDownloader::controlLostWhileDataDrains()
{
    FakeFtpServer *server = fakeServer();
    server->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n226 sent\r\n"), FakeFtpServer::data("abc"),
                                 FakeFtpServer::pause(400), FakeFtpServer::data("def"), FakeFtpServer::closeData()});
    Client c(server->url(), 1000);
    QStringList events;
    connect(&c.downloader, &Downloader::getFileDone, this, [&events] { events << QStringLiteral("done"); });
    connect(&c.downloader, &Downloader::errorOccured, this, [&events](const QString &message) { events << message; });
    QVERIFY(c.retrieve(QByteArray(), 0));
    QTRY_COMPARE(readFile(c.local()), QByteArray("abc"));
    server->dropControl();
    QVERIFY(waitForCount(c.s.error, 1, kServerWaitMs));
    QCOMPARE(events, QStringList({"done", "control connection disconnect"}));
    QCOMPARE(readFile(c.local()), QByteArray("abcdef"));
}

// stop() returns at once and reports stopped; the connection closes in the
// background, which is no error, and the next start begins afresh.
void tst_FtpDownloader::stopClosesWithoutWaiting()
{
    FakeFtpServer *server = fakeServer();
    Client c(server->url());
    QVERIFY(c.login());
    c.downloader.stop();
    QCOMPARE(c.s.stopped.count(), 1); // within the call
    QTRY_VERIFY(!server->hasClient());
    QTest::qWait(2 * kTestReplyTimeoutMs);
    QCOMPARE(c.s.error.count(), 0);
    c.downloader.start();
    QVERIFY(waitForCount(c.s.started, 2, kServerWaitMs));
    QCOMPARE(c.s.error.count(), 0);
}

QTEST_GUILESS_MAIN(tst_FtpDownloader)
#include "tst_ftpdownloader.moc"
