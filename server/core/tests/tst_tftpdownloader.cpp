#include "server/core/downloaders/tftpdownloader.h"

#include "server/core/tests/support/downloadersignals.h"
#include "server/core/tests/support/faketftpserver.h"
#include "recording/indexcache.h"
#include "server/core/tests/support/listingfile.h"
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
#include <QUdpSocket>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

constexpr qint64 kRecordingBytes = 3 * 1024 * 1024;
constexpr int kWaitMs = 15000;
// Retransmission options for the scripted device: quick and few.
// How late a timer may fire on a busy machine (ms).
constexpr int kTimerLateMs = 700;
const QString kQuickRetransmit = QStringLiteral("retransmit_interval=100 retransmit_count=3");

QByteArray pattern(int bytes)
{
    QByteArray data(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        data[i] = char((i * 7 + i / 251) & 0xFF);
    return data;
}

// Acknowledgement of block n as the client sends it.
QByteArray ack(int block)
{
    return QByteArray("\0\4", 2) + char(block >> 8) + char(block & 0xFF);
}

// The downloader under test with its own destination folder and every
// signal it sends recorded.
struct Client
{
    explicit Client(const QString &url, const QString &options = QString())
        : paramResult(downloader.setParam({url, dest.path(), options}))
    {
    }
    QString local(const QString &name = QStringLiteral("A.DAT")) const { return dest.filePath(name); }

    TempDir dest;
    TftpDownloader downloader;
    DownloaderSignals s{&downloader};
    const int paramResult;
};

} // namespace

class tst_TftpDownloader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void parameters();

    // Against tftpd-hpa.
    void realListing();
    void realDownload_data();
    void realDownload();
    void realResumeWithoutConfirmedOffset_data();
    void realResumeWithoutConfirmedOffset();
    void realMissingFile();
    void realBlockNumbersWrap();

    // Against the scripted device.
    void defaultBlocks();
    void confirmedBlockSizeShortBlockCompletes();
    void resumeProvesThePrefix_data();
    void resumeProvesThePrefix();
    void offsetBeyondRequestRefused();
    void unsupportedOptionRefused();
    void errorPacket();
    void deviceQuirks_data();
    void deviceQuirks();
    void repeatedOptionAcknowledgementsTimeOut_data();
    void repeatedOptionAcknowledgementsTimeOut();
    void listingStopsAtZeroByte();
    void oversizedListingRefused();
    void abortStopsWriting();
    void hostileDatagrams();
    void unsafeNamesAreRefused();
    void unwritableCopyIsNotFinished_data();
    void unwritableCopyIsNotFinished();

private:
    FakeTftpServer *fakeDevice();

    TempDir m_root;
    ServerProcess m_server{ServerProcess::Tftp};
    QByteArray m_recording;
    QString m_unavailable;   // why tftpd-hpa cannot run here, empty when it can
};

void tst_TftpDownloader::initTestCase()
{
    // Without tftpd-hpa only the scripted-device cases run.
    if (!ServerProcess::available(ServerProcess::Tftp, &m_unavailable))
        return;
    m_recording = TestRecording::random(kRecordingBytes, 9);
    const QMap<QString, QByteArray> files{
        {"REC0001.DAT", m_recording},
        {"MUL512.DAT", pattern(512 * 8)},
        {"MUL1500.DAT", pattern(1500 * 4)},
        {"LAST1000.DAT", pattern(1500 * 3 + 1000)},
        {"EMPTY.DAT", QByteArray()},
        {"WRAP.DAT", pattern(8 * 65540 + 3)},
    };
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QVERIFY(writeFile(m_root.filePath(it.key()), it.value()));
    QVERIFY(writeTftpList(m_root.path(), {QStringLiteral("drwxr-xr-x 2 root root 4096 Jan 05  2024 archive")}));
    QVERIFY2(m_server.start(m_root.path()), qPrintable(m_server.error()));
}

void tst_TftpDownloader::cleanupTestCase()
{
    QVERIFY(m_server.stop());
}

void tst_TftpDownloader::init()
{
    if (QByteArray(QTest::currentTestFunction()).startsWith("real") && !m_unavailable.isEmpty())
        QSKIP(qPrintable(m_unavailable));
}

FakeTftpServer *tst_TftpDownloader::fakeDevice()
{
    auto *device = new FakeTftpServer(this);
    if (!device->listen())
        qFatal("the scripted TFTP device cannot bind on 127.0.0.1");
    return device;
}

// The parameters as a silent device sees them: the options of the read
// request, how often it is sent and how long the client waits in all. The
// cases run side by side, each against its own device: the default
// retransmission alone takes four seconds.
void tst_TftpDownloader::parameters()
{
    struct Case
    {
        const char *name;
        QString scheme;
        QString options;
        int result;
        QByteArray requestOptions;
        int intervalMs;
        int attempts;   // sends after the first
    };
    const QList<Case> cases{
        {"defaults", "tftp", "", 0, QByteArray(), 1000, 3},
        {"blksize", "tftp", "blksize=1500", 0, QByteArray("blksize\0" "1500\0", 13), 1000, 3},
        {"retransmission", "tftp", "retransmit_count=0 retransmit_interval=200", 0, QByteArray(), 200, 0},
        {"two quick resends", "tftp", "retransmit_interval=50 retransmit_count=2", 0, QByteArray(), 50, 2},
        {"not a number", "tftp", "blksize=big retransmit_count=x", 1, QByteArray(), 1000, 3},
        {"zero interval refused", "tftp", "retransmit_interval=0", 1, QByteArray(), 1000, 3},
        {"other names ignored", "tftp", "codec=\"KOI8-R\"", 0, QByteArray(), 1000, 3},
        {"ftp scheme", "ftp", "blksize=1500", -1, QByteArray(), 0, 0},
    };
    struct Run
    {
        FakeTftpServer *device;
        std::unique_ptr<Client> client;
        qint64 endedMs = -1;
    };
    QElapsedTimer clock;
    clock.start();
    std::vector<Run> runs;
    runs.reserve(size_t(cases.size())); // the error handlers keep references into it
    for (const Case &c : cases) {
        FakeTftpServer *device = fakeDevice();
        device->setSilent(true);
        const QString url = QStringLiteral("%1://127.0.0.1:%2/").arg(c.scheme).arg(device->port());
        runs.push_back({device, std::make_unique<Client>(url, c.options)});
        Run &run = runs.back();
        QVERIFY2(run.client->paramResult == c.result, c.name);
        if (c.result < 0)
            continue;
        connect(&run.client->downloader, &Downloader::errorOccured, this,
                [&run, &clock] { run.endedMs = clock.elapsed(); });
        run.client->downloader.getFile(QStringLiteral("A.DAT"), 0);
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const Case &c = cases.at(int(i));
        if (c.result < 0)
            continue;
        DownloaderSignals &s = runs[i].client->s;
        QVERIFY2(waitForCount(s.error, 1, kWaitMs), c.name);
        QVERIFY2(s.firstError() == QLatin1String("timeout"), c.name);
        const qint64 expectedMs = qint64(c.intervalMs) * (c.attempts + 1);
        QVERIFY2(runs[i].endedMs >= expectedMs - expectedMs / 20 && runs[i].endedMs < expectedMs + kTimerLateMs,
                 qPrintable(QStringLiteral("%1: %2 ms").arg(c.name).arg(runs[i].endedMs)));
    }
    // Nothing more is sent, nothing more is reported.
    QTest::qWait(kTimerLateMs);
    for (size_t i = 0; i < runs.size(); ++i) {
        const Case &c = cases.at(int(i));
        const QList<QByteArray> requests = runs[i].device->requests();
        QVERIFY2(requests.size() == (c.result < 0 ? 0 : c.attempts + 1), c.name);
        for (const QByteArray &request : requests)
            QVERIFY2(request == QByteArray("\0\1/A.DAT\0octet\0", 15) + c.requestOptions, c.name);
        QVERIFY2(runs[i].client->s.error.count() == (c.result < 0 ? 0 : 1), c.name);
    }
}

// The pseudo-file "list" in ls -l form (with plain line feeds).
void tst_TftpDownloader::realListing()
{
    Client c(m_server.url(), QStringLiteral("blksize=1500"));
    c.downloader.getFileList();
    QCOMPARE(c.s.listStarted.count(), 1);
    QVERIFY(waitForCount(c.s.listDone, 1, kWaitMs));
    QCOMPARE(c.s.error.count(), 0);
    QStringList names;
    for (const QString &line : c.s.lines()) {
        QString name;
        qint64 size = 0;
        QDateTime date;
        if (parseListLine(line, &name, &size, &date) == ListLineFile) {
            names.append(name);
            QCOMPARE(size, QFileInfo(m_root.filePath(name)).size());
            QVERIFY(date.daysTo(QDateTime::currentDateTime()) <= 1);
        }
    }
    QCOMPARE(names.size(), 6);
    QVERIFY(names.contains("REC0001.DAT"));
    QVERIFY(!c.dest.isValid() || QDir(c.dest.path()).isEmpty());
}

void tst_TftpDownloader::realDownload_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("options");
    QTest::newRow("recording, 512-byte blocks") << "REC0001.DAT" << "";
    QTest::newRow("recording, blksize=1500") << "REC0001.DAT" << "blksize=1500";
    QTest::newRow("multiple of 512, empty last block") << "MUL512.DAT" << "";
    QTest::newRow("multiple of 1500, empty last block") << "MUL1500.DAT" << "blksize=1500";
    QTest::newRow("last block of 1000 bytes at 1500") << "LAST1000.DAT" << "blksize=1500";
    QTest::newRow("empty file") << "EMPTY.DAT" << "blksize=1500";
}

// tftpd-hpa answers every transfer from a new port: each download below
// only completes because the client follows that port.
void tst_TftpDownloader::realDownload()
{
    QFETCH(QString, name);
    QFETCH(QString, options);
    TempDir dest;
    const QString folder = dest.filePath("device");
    TftpDownloader downloader;
    downloader.setParam({m_server.url(), folder, options});
    DownloaderSignals s(&downloader);
    downloader.getFile(name, 0);
    QCOMPARE(s.fileStarted.count(), 1);
    QCOMPARE(s.fileStarted.first().first().toString(), name);
    QVERIFY(waitForCount(s.fileDone, 1, kWaitMs));
    QCOMPARE(s.firstError(), QString());
    const QString local = QDir(folder).filePath(name);
    QVERIFY(readFile(local) == readFile(m_root.filePath(name)));
    QVERIFY(QFile::exists(cachePathFor(local)));
    if (name == QLatin1String("REC0001.DAT")) {
        RecordingIndexer indexer;
        QVERIFY(loadCache(indexer, cachePathFor(local)));
        QCOMPARE(indexer.streamCount(), TestRecording::kRandomStreams);
    }
}

void tst_TftpDownloader::realResumeWithoutConfirmedOffset_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("localBytes");
    QTest::addColumn<bool>("staleTail");   // the local copy holds wrong bytes past the remote end
    QTest::newRow("offset alone") << "" << 100000 << false;
    QTest::newRow("offset with blksize") << "blksize=1500" << 2000000 << false;
    QTest::newRow("longer stale copy") << "blksize=1500" << 10 << true;
}

// tftpd-hpa ignores "offset": the data comes from byte 0 and is written from
// byte 0, so the result is still the device's file.
void tst_TftpDownloader::realResumeWithoutConfirmedOffset()
{
    QFETCH(QString, options);
    QFETCH(int, localBytes);
    QFETCH(bool, staleTail);
    Client c(m_server.url(), options);
    const QString local = c.local("REC0001.DAT");
    QByteArray copy = m_recording.left(localBytes);
    if (staleTail)
        copy = m_recording + QByteArray(5000, 'x');
    QVERIFY(writeFile(local, copy));
    c.downloader.getFile(QStringLiteral("REC0001.DAT"), ulong(localBytes));
    QVERIFY(waitForCount(c.s.fileDone, 1, kWaitMs));
    QCOMPARE(c.s.firstError(), QString());
    QVERIFY(readFile(local) == m_recording);
    // Only a copy that is not the start of the device's file is kept.
    QCOMPARE(QFile::exists(local + ".~1~"), staleTail);
    if (staleTail)
        QVERIFY(readFile(local + ".~1~") == copy);
}

void tst_TftpDownloader::realMissingFile()
{
    Client c(m_server.url());
    c.downloader.getFile(QStringLiteral("NOPE.DAT"), 0);
    QVERIFY(waitForCount(c.s.error, 1, kWaitMs));
    // The device's own reason is told; the refusal leaves no empty file.
    QCOMPARE(c.s.firstError(), QStringLiteral("ERROR packet receive: File not found"));
    QCOMPARE(c.s.refused.count(), 1);
    QCOMPARE(c.s.fileDone.count(), 0);
    QVERIFY(!QFile::exists(c.dest.filePath("NOPE.DAT")));
    QVERIFY(!QFile::exists(cachePathFor(c.dest.filePath("NOPE.DAT"))));
}

// More than 65535 blocks: the block number wraps to 0 and the file is whole.
void tst_TftpDownloader::realBlockNumbersWrap()
{
    Client c(m_server.url(), QStringLiteral("blksize=8"));
    c.downloader.getFile(QStringLiteral("WRAP.DAT"), 0);
    QVERIFY(waitForCount(c.s.fileDone, 1, 60000));
    QCOMPARE(c.s.firstError(), QString());
    QVERIFY(readFile(c.dest.filePath("WRAP.DAT")) == readFile(m_root.filePath("WRAP.DAT")));
}

// 1024 bytes in default blocks: 512, 512 and an empty third block.
void tst_TftpDownloader::defaultBlocks()
{
    FakeTftpServer *device = fakeDevice();
    device->setContent(pattern(1024));
    Client c(device->url(QStringLiteral("/rec/")), kQuickRetransmit);
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QVERIFY(waitForCount(c.s.fileDone, 1, kWaitMs));
    QCOMPARE(device->requests().first(), QByteArray("\0\1/rec/A.DAT\0octet\0", 19));
    QTRY_COMPARE(device->received(), QList<QByteArray>({ack(1), ack(2), ack(3)}));
    QCOMPARE(readFile(c.local()), pattern(1024));
}

void tst_TftpDownloader::confirmedBlockSizeShortBlockCompletes()
{
    FakeTftpServer *device = fakeDevice();
    device->setContent(pattern(1500 + 1499));
    device->setBlockSize(1500);
    device->setOptionAcknowledgement({{"blksize", "1500"}});
    Client c(device->url(), QStringLiteral("blksize=1500 ") + kQuickRetransmit);
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QVERIFY(waitForCount(c.s.fileDone, 1, kWaitMs));
    QVERIFY(device->requests().first().endsWith(QByteArray("octet\0blksize\0" "1500\0", 19)));
    QTRY_COMPARE(device->received(), QList<QByteArray>({ack(0), ack(1), ack(2)}));
    QCOMPARE(readFile(c.local()), pattern(2999));
}

// A confirmed offset: the data is written from that byte on.
void tst_TftpDownloader::resumeProvesThePrefix_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<bool>("offsetConfirmed");
    QTest::addColumn<qint64>("listedSize");
    QTest::addColumn<bool>("versionKept");
    const QByteArray content = TestRecording::random(200000, 4);
    const QByteArray other = TestRecording::random(200000, 5);
    QTest::newRow("offset confirmed") << content << true << qint64(content.size()) << false;
    QTest::newRow("offset confirmed, file replaced") << other << true << qint64(other.size()) << true;
    QTest::newRow("offset ignored, file replaced") << other << false << qint64(other.size()) << true;
    // The device sends more than it listed (a file still growing): the rest
    // is for the next cycle.
    QTest::newRow("more than listed") << content + "growing" << true << qint64(content.size()) << false;
}

// The local copy holds the first 150000 bytes of `content`: the request
// asks for the 64 KiB before them, which must match before anything is
// added; otherwise the copy is kept and the file fetched whole.
void tst_TftpDownloader::resumeProvesThePrefix()
{
    QFETCH(QByteArray, device);
    QFETCH(bool, offsetConfirmed);
    QFETCH(qint64, listedSize);
    QFETCH(bool, versionKept);
    const QByteArray before = TestRecording::random(200000, 4).left(150000);
    FakeTftpServer *server = fakeDevice();
    server->setContent(device);
    if (offsetConfirmed)
        server->setOptionAcknowledgement({{"offset", FakeTftpServer::kRequestedOffset}});
    Client c(server->url(), kQuickRetransmit);
    const QString local = c.local();
    QVERIFY(writeFile(local, before));
    c.downloader.getFile(QStringLiteral("A.DAT"), ulong(before.size()), listedSize);
    QVERIFY(waitForCount(c.s.fileDone, 1, kWaitMs));
    QCOMPARE(c.s.firstError(), QString());
    const QByteArray offset = QByteArray::number(before.size() - VerifiedCopy::kOverlapBytes);
    QVERIFY(server->requests().first().endsWith("octet" + QByteArray(1, '\0') + "offset" + QByteArray(1, '\0') + offset
                                                + QByteArray(1, '\0')));
    QVERIFY(readFile(local) == device.left(int(listedSize)));
    QCOMPARE(QFile::exists(local + ".~1~"), versionKept);
    if (versionKept)
        QVERIFY(readFile(local + ".~1~") == before);
    QVERIFY(QFile::exists(cachePathFor(local)));
}

// An offset past the one asked for would leave a hole: refused like an
// unknown option.
void tst_TftpDownloader::offsetBeyondRequestRefused()
{
    FakeTftpServer *device = fakeDevice();
    device->setContent(pattern(20000));
    device->setOptionAcknowledgement({{"offset", "9000"}});
    Client c(device->url(), kQuickRetransmit);
    const QString local = c.local();
    QVERIFY(writeFile(local, pattern(5000)));
    c.downloader.getFile(QStringLiteral("A.DAT"), 5000);
    QVERIFY(waitForCount(c.s.error, 1, kWaitMs));
    QCOMPARE(c.s.firstError(), QStringLiteral("Unsupported option"));
    QTRY_COMPARE(device->received().size(), 1);
    QCOMPARE(device->received().first().left(4), QByteArray("\0\5\0\x08", 4));
    QCOMPARE(readFile(local), pattern(5000));
}

void tst_TftpDownloader::unsupportedOptionRefused()
{
    FakeTftpServer *device = fakeDevice();
    device->setContent(pattern(100));
    device->setOptionAcknowledgement({{"tsize", "100"}});
    Client c(device->url(), kQuickRetransmit);
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QTRY_COMPARE(device->received().size(), 1);
    QCOMPARE(device->received().first(), QByteArray("\0\5\0\x08Unsupported option\0", 23));
    QVERIFY(waitForCount(c.s.error, 1, kWaitMs));
    QCOMPARE(c.s.firstError(), QStringLiteral("Unsupported option"));
    // Nothing more goes out: no retransmission of the refusal.
    QTest::qWait(400);
    QCOMPARE(device->received().size(), 1);
    QCOMPARE(c.s.fileDone.count(), 0);
}

void tst_TftpDownloader::errorPacket()
{
    FakeTftpServer *device = fakeDevice();
    device->setErrorReply(2, "Access violation");
    Client c(device->url(), kQuickRetransmit);
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.error, 1, kWaitMs));
    QCOMPARE(c.s.firstError(), QStringLiteral("ERROR packet receive: Access violation"));
    QTest::qWait(400);
    QCOMPARE(c.s.error.count(), 1);
    QCOMPARE(device->requestCount(), 1);
    QCOMPARE(c.s.listDone.count(), 0);
}

void tst_TftpDownloader::deviceQuirks_data()
{
    QTest::addColumn<QString>("quirk");
    QTest::addColumn<int>("contentBytes");
    QTest::addColumn<int>("ack2Count");   // acknowledgements of block 2; -1: not counted
    // A repeated block is acknowledged again but written once.
    QTest::newRow("duplicated block") << "duplicated" << 2000 << 2;
    // A lost block: the last acknowledgement is sent again after the interval.
    QTest::newRow("lost block") << "lost" << 2000 << 2;
    // A short data block from a port that is not the transfer's must neither
    // be written nor end the transfer.
    QTest::newRow("stray packet") << "stray" << 3000 << -1;
    QTest::newRow("answers from the listen port") << "listen port" << 1500 << -1;
}

// Devices that repeat, lose or mix up packets: the copy is still whole.
void tst_TftpDownloader::deviceQuirks()
{
    QFETCH(QString, quirk);
    QFETCH(int, contentBytes);
    QFETCH(int, ack2Count);
    FakeTftpServer *device = fakeDevice();
    device->setContent(pattern(contentBytes));
    if (quirk == QLatin1String("duplicated"))
        device->setDuplicatedBlocks({2});
    else if (quirk == QLatin1String("lost"))
        device->setLostBlocks({3});
    else if (quirk == QLatin1String("stray"))
        device->setStrayBlock(2, "stray");
    else
        device->setAnswerFromListenPort(true);
    Client c(device->url(), kQuickRetransmit);
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QVERIFY(waitForCount(c.s.fileDone, 1, kWaitMs));
    QCOMPARE(c.s.error.count(), 0);
    QCOMPARE(readFile(c.local()), pattern(contentBytes));
    if (ack2Count >= 0)
        QTRY_COMPARE(device->received().count(ack(2)), ack2Count);
}

void tst_TftpDownloader::repeatedOptionAcknowledgementsTimeOut_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("no resend") << 0;
    QTest::newRow("two resends") << 2;
}

// A device that answers only with option acknowledgements, faster than the
// retransmit interval: the first one is taken, the rest change nothing, and
// the acknowledgement of the options is sent 1 + count times before the
// transfer ends in a timeout.
void tst_TftpDownloader::repeatedOptionAcknowledgementsTimeOut()
{
    QFETCH(int, count);
    constexpr int kIntervalMs = 100;
    constexpr int kRepeatMs = 30;
    // On the stack: its repeats end with the test.
    FakeTftpServer device;
    QVERIFY(device.listen());
    device.setContent(pattern(100));
    device.setOptionAcknowledgement({{"blksize", "1024"}});
    device.setRepeatedOptionAcknowledgement(kRepeatMs);
    Client c(device.url(), QStringLiteral("blksize=1024 retransmit_interval=%1 retransmit_count=%2").arg(kIntervalMs).arg(count));
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QVERIFY(waitForCount(c.s.error, 1, kWaitMs));
    QCOMPARE(c.s.firstError(), QStringLiteral("timeout"));
    QTRY_COMPARE(device.received().count(ack(0)), count + 1);
    QTest::qWait(2 * kIntervalMs);
    QCOMPARE(device.received().count(ack(0)), count + 1);
    QCOMPARE(c.s.error.count(), 1);
    QCOMPARE(c.s.fileDone.count(), 0);
}

void tst_TftpDownloader::listingStopsAtZeroByte()
{
    FakeTftpServer *device = fakeDevice();
    device->setContent(QByteArray("line one\r\nline two\r\n\0padding", 28));
    Client c(device->url(QStringLiteral("/")), kQuickRetransmit);
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.listDone, 1, kWaitMs));
    QCOMPARE(device->requests().first(), QByteArray("\0\1/list\0octet\0", 14));
    QCOMPARE(c.s.lines(), QStringList({"line one", "line two", ""}));
}

void tst_TftpDownloader::oversizedListingRefused()
{
    constexpr int kBlock = 65464;
    FakeTftpServer *device = fakeDevice();
    device->setContent(QByteArray(Downloader::kMaxListingBytes + kBlock, 'x'));
    device->setBlockSize(kBlock);
    device->setOptionAcknowledgement({{"blksize", QByteArray::number(kBlock)}});
    Client c(device->url(), QStringLiteral("blksize=65464 ") + kQuickRetransmit);
    c.downloader.getFileList();
    QVERIFY(waitForCount(c.s.error, 1, kWaitMs));
    QCOMPARE(c.s.firstError(), Downloader::listingTooLargeMessage());
    QCOMPARE(c.s.listDone.count(), 0);
    QTRY_VERIFY(device->received().last().startsWith(QByteArray("\0\5", 2)));
}

void tst_TftpDownloader::abortStopsWriting()
{
    FakeTftpServer *device = fakeDevice();
    device->setContent(pattern(3000));
    device->setLostBlocks({3});
    Client c(device->url(), QStringLiteral("retransmit_interval=300"));
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QTRY_COMPARE(device->received().size(), 2);
    c.downloader.abort();
    QCOMPARE(c.s.aborted.count(), 1);
    QTRY_COMPARE(device->received().size(), 3);
    QCOMPARE(device->received().last(), QByteArray("\0\5\0\0Abort transmission\0", 23));
    QTest::qWait(700);
    QCOMPARE(c.s.fileDone.count(), 0);
    QCOMPARE(c.s.error.count(), 0);
    QCOMPARE(readFile(c.local()), pattern(1024));
    QVERIFY(!QFile::exists(cachePathFor(c.local())));
}

// Truncated, unknown and malformed datagrams are ignored; the transfer goes
// on with the real data.
void tst_TftpDownloader::hostileDatagrams()
{
    QUdpSocket device;
    QVERIFY(device.bind(QHostAddress(QHostAddress::LocalHost), 0));
    Client c(QStringLiteral("tftp://127.0.0.1:%1/").arg(device.localPort()), kQuickRetransmit);
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QTRY_VERIFY(device.hasPendingDatagrams());
    QHostAddress client;
    quint16 clientPort = 0;
    QByteArray request(int(device.pendingDatagramSize()), '\0');
    device.readDatagram(request.data(), request.size(), &client, &clientPort);
    const QList<QByteArray> garbage{
        QByteArray(),                          // empty
        QByteArray("\0", 1),                   // half an opcode
        QByteArray("\0\3\0", 3),               // data without a whole block number
        QByteArray("\0\x09junk", 6),           // unknown opcode
        QByteArray("\0\6", 2),                 // option acknowledgement without pairs
        QByteArray("\0\3\0\x07late", 8),       // a block out of sequence
    };
    for (const QByteArray &datagram : garbage)
        device.writeDatagram(datagram, client, clientPort);
    device.writeDatagram(QByteArray("\0\3\0\1", 4) + "whole", client, clientPort);
    QVERIFY(waitForCount(c.s.fileDone, 1, kWaitMs));
    QCOMPARE(readFile(c.local()), QByteArray("whole"));
}

void tst_TftpDownloader::unsafeNamesAreRefused()
{
    FakeTftpServer *device = fakeDevice();
    TempDir outer;
    const QString folder = outer.filePath("dest");
    QVERIFY(QDir().mkdir(folder));
    TftpDownloader downloader;
    downloader.setParam({device->url(), folder, kQuickRetransmit});
    DownloaderSignals s(&downloader);
    for (const QString &name : {QStringLiteral("../escape.DAT"), QStringLiteral(".."), QStringLiteral("a/b"), QString()})
        downloader.getFile(name, 0);
    QCOMPARE(s.error.count(), 4);
    QCOMPARE(s.firstError(), Downloader::unsafeFileNameMessage(QStringLiteral("../escape.DAT")));
    QTest::qWait(100);
    QCOMPARE(device->requestCount(), 0);
    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList("dest"));
    QVERIFY(QDir(folder).isEmpty());
}

void tst_TftpDownloader::unwritableCopyIsNotFinished_data()
{
    QTest::addColumn<int>("contentBytes");
    QTest::addColumn<bool>("stoppedEarly");   // the device got an error packet instead of the last acknowledgement
    QTest::newRow("refused at the first block") << 1000 << true;
    QTest::newRow("refused while flowing") << 64 * 1024 + 100 << true;
}

// A local copy that takes no data (a full disk) is never reported
// finished nor indexed; a running transfer is stopped with an error packet.
void tst_TftpDownloader::unwritableCopyIsNotFinished()
{
    QFETCH(int, contentBytes);
    QFETCH(bool, stoppedEarly);
    if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
        QSKIP("no /dev/full to stand for a full disk");
    FakeTftpServer *device = fakeDevice();
    device->setContent(pattern(contentBytes));
    Client c(device->url(), kQuickRetransmit);
    const QString local = c.local();
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), local));
    c.downloader.getFile(QStringLiteral("A.DAT"), 0);
    QVERIFY(waitForCount(c.s.error, 1, kWaitMs));
    // The system's reason, never "Unknown error".
    QVERIFY2(c.s.firstError() == QStringLiteral("write error: No space left on device"), qPrintable(c.s.firstError()));
    QTest::qWait(500);
    QCOMPARE(c.s.fileDone.count(), 0);
    QCOMPARE(c.s.error.count(), 1);
    QVERIFY(!QFile::exists(cachePathFor(local)));
    const int lastBlock = contentBytes / 512 + 1;
    QCOMPARE(device->received().contains(ack(lastBlock)), !stoppedEarly);
    if (stoppedEarly)
        QCOMPARE(device->received().last().left(4), QByteArray("\0\5\0\3", 4));
}

QTEST_GUILESS_MAIN(tst_TftpDownloader)
#include "tst_tftpdownloader.moc"
