// The collection's central promise, end to end: whatever interrupts a
// download (the collector killed, the data connection dropped) and whatever
// the device does to the file meanwhile, the local copy ends as the
// device's file, an earlier copy that is not its start is kept under a
// numbered name, and nothing is reported done while the copy differs.
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/downloaders/downloaderwiring.h"
#include "server/core/tests/support/fakeftpserver.h"
#include "server/core/downloaders/ftpdownloader.h"
#include "recording/indexcache.h"
#include "server/core/downloaders/listingstamp.h"
#include "server/core/settings/settingsfile.h"
#include "server/core/tests/support/signalwait.h"
#include "testsupport/testfiles.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr int kPoints = 100;
constexpr quint32 kSeed = 20261209;
constexpr qint64 kMinFileBytes = 20000;
constexpr qint64 kMaxFileBytes = 400000;
constexpr int kWaitMs = 30000;
// The in-process collector's pause between cycles after the interruption
// (ms); the first cycle is long enough to look at the copy it left.
constexpr int kQuickPeriodMs = 20;
constexpr int kLongPeriodMs = 600000;
// The longest wait for the killed collector to have written what it received (ms).
constexpr int kSettleMs = 2000;
const QString kName = QStringLiteral("REC.DAT");

enum Change { Unchanged, ReplacedSameSize, ReplacedLarger, Truncated, RestIgnored, ChangeCount };
const char *const kChangeNames[ChangeCount] = {"unchanged", "replaced same size", "replaced larger", "truncated",
                                               "REST ignored"};

QByteArray randomBytes(QRandomGenerator &random, qint64 size)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), int(size / 4));
    for (qint64 i = size / 4 * 4; i < size; ++i)
        bytes[int(i)] = char(random.generate());
    return bytes;
}

// The device's file after the change, and whether the device then ignores REST.
QByteArray changed(Change change, const QByteArray &before, QRandomGenerator &random)
{
    switch (change) {
    case ReplacedSameSize:
        return randomBytes(random, before.size());
    case ReplacedLarger:
        return randomBytes(random, before.size() + random.bounded(1, int(kMaxFileBytes)));
    case Truncated:
        return before.left(random.bounded(1, before.size()));
    case Unchanged:
    case RestIgnored:
    case ChangeCount:
        break;
    }
    return before;
}

QString logText(const QString &folder)
{
    QString text;
    const QDir logs(folder);
    for (const QString &name : logs.entryList({QStringLiteral("*.log")}))
        text += QString::fromLocal8Bit(readFile(logs.filePath(name)));
    return text;
}

// The device's scheduler and FTP client in this process, as the server wires them.
struct Collector
{
    Collector(const QString &url, const QString &folder)
    {
        handler.setParam({QStringLiteral("Recorder"), QString(), QStringLiteral("1"), url, folder, QString()});
        handler.setPeriod(kLongPeriodMs);
        downloader.setParam({url, folder, QString()});
        wireDownloaderHandler(&handler, &downloader);
    }
    DownloaderHandler handler;
    FtpDownloader downloader;
};

} // namespace

class tst_VerifiedResume : public QObject
{
    Q_OBJECT

private slots:
    void interruptedAndChanged_data();
    void interruptedAndChanged();

private:
    // Runs drovane-cli serve on the device and kills it (SIGKILL) once
    // `point` bytes were sent; the copy it left.
    QByteArray interruptServe(FakeFtpServer &device, const QString &work, int point);
};

void tst_VerifiedResume::interruptedAndChanged_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<bool>("killServe");   // else the data connection is dropped
    QTest::addColumn<qint64>("size");       // the device's file at first
    QTest::addColumn<int>("point");         // bytes sent before the interruption
    QTest::addColumn<quint32>("seed");
    QRandomGenerator random(kSeed);
    for (int i = 0; i < kPoints; ++i) {
        const qint64 size = random.bounded(int(kMinFileBytes), int(kMaxFileBytes));
        const int point = random.bounded(1, int(size));
        const bool kill = i % 2 == 0;
        for (int change = 0; change < ChangeCount; ++change) {
            QTest::addRow("%s, %s at %d of %lld", kChangeNames[change], kill ? "serve killed" : "data dropped", point,
                          size)
                << change << kill << size << point << random.generate();
        }
    }
}

void tst_VerifiedResume::interruptedAndChanged()
{
    QFETCH(int, change);
    QFETCH(bool, killServe);
    QFETCH(qint64, size);
    QFETCH(int, point);
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QByteArray first = randomBytes(random, size);
    const QByteArray last = changed(Change(change), first, random);
    FakeFtpServer device;
    QVERIFY(device.listen());
    const QDateTime firstDate = QDateTime::currentDateTime().addSecs(-600);
    device.serveFile(kName, first, firstDate);
    device.setPauseAfter(point);

    TempDir work;
    const QString folder = work.filePath("rec");
    const QString local = QDir(folder).filePath(kName);
    QByteArray interrupted;
    std::unique_ptr<Collector> collector;
    const auto applyChange = [&] {
        device.serveFile(kName, last, last == first ? firstDate : firstDate.addSecs(120));
        device.setIgnoreRest(change == RestIgnored);
        device.setPauseAfter(-1);
    };

    if (killServe) {
        interrupted = interruptServe(device, work.path(), point);
        applyChange();
        device.dropTransfer();
    } else {
        collector = std::make_unique<Collector>(device.url(), folder);
        QSignalSpy ended(&collector->handler, &DownloaderHandler::cycleFinished);
        QSignalSpy paused(&device, &FakeFtpServer::transferPaused);
        collector->handler.startCycle();
        QVERIFY(waitForCount(paused, 1, kWaitMs));
        applyChange();
        device.dropTransfer();
        QVERIFY(waitForCount(ended, 1, kWaitMs));
        QCOMPARE(ended.first().first().toBool(), false);
        interrupted = readFile(local);
    }
    QVERIFY(interrupted.size() <= point);
    QVERIFY(first.startsWith(interrupted));
    QVERIFY2(!QFile::exists(cachePathFor(local)), "an interrupted copy was indexed as done");

    if (killServe) {
        QProcess serve;
        serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        serve.start(QStringLiteral(DROVANE_CLI), {QStringLiteral("serve"), work.filePath("site.xml"),
                                                  QStringLiteral("--log-dir"), work.filePath("logs2")});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ListingStamp::pathFor(local)) || serve.state() == QProcess::NotRunning,
                                 kWaitMs);
        QCOMPARE(serve.state(), QProcess::Running);
        serve.terminate();
        QVERIFY(serve.waitForFinished(kWaitMs));
        QCOMPARE(serve.exitStatus(), QProcess::NormalExit);
        QCOMPARE(serve.exitCode(), 0);
        QCOMPARE(logText(work.filePath("logs1")).count("Get file do"), 0);
        QCOMPARE(logText(work.filePath("logs2")).count("Get file do"), 1);
    } else {
        QSignalSpy done(&collector->downloader, &Downloader::getFileDone);
        bool doneWithDeviceFile = false;
        connect(&collector->downloader, &Downloader::getFileDone, this,
                [&] { doneWithDeviceFile = readFile(local) == last; });
        collector->handler.setPeriod(kQuickPeriodMs);
        collector->handler.startCycle();
        QVERIFY(waitForCount(done, 1, kWaitMs));
        QVERIFY(doneWithDeviceFile);
        QTest::qWait(kQuickPeriodMs);
        QCOMPARE(done.count(), 1);
    }

    QVERIFY2(readFile(local) == last, "the copy is not the device's file");
    QVERIFY(QFile::exists(cachePathFor(local)));
    const QStringList versions = QDir(folder).entryList({kName + QStringLiteral(".~*~")}, QDir::Files);
    if (last.startsWith(interrupted)) {
        QCOMPARE(versions, QStringList());
    } else {
        QCOMPARE(versions, QStringList(kName + QStringLiteral(".~1~")));
        QVERIFY2(readFile(local + QStringLiteral(".~1~")) == interrupted, "the earlier copy was not kept whole");
    }
}

QByteArray tst_VerifiedResume::interruptServe(FakeFtpServer &device, const QString &work, int point)
{
    const QString folder = QDir(work).filePath(QStringLiteral("rec"));
    SettingsFile::Content content;
    content.devices << QStringList{QStringLiteral("Recorder"), QString(), QStringLiteral("1"), device.url(), folder, QString()};
    if (SettingsFile::write(QDir(work).filePath(QStringLiteral("site.xml")), content) != SettingsFile::Ok)
        return QByteArray(point + 1, 'x');
    QSignalSpy paused(&device, &FakeFtpServer::transferPaused);
    QProcess serve;
    serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    serve.start(QStringLiteral(DROVANE_CLI), {QStringLiteral("serve"), QDir(work).filePath(QStringLiteral("site.xml")),
                                              QStringLiteral("--log-dir"), QDir(work).filePath(QStringLiteral("logs1"))});
    if (!waitForCount(paused, 1, kWaitMs))
        return QByteArray(point + 1, 'x');
    // Killed once the bytes sent are in the copy: an interruption that
    // leaves a copy to resume.
    const QString local = QDir(folder).filePath(kName);
    // (Not all of them on a slow machine: then the copy is shorter.)
    static_cast<void>(QTest::qWaitFor([&] { return QFileInfo(local).size() >= point; }, kSettleMs));
    serve.kill();
    serve.waitForFinished(kWaitMs);
    return readFile(QDir(folder).filePath(kName));
}

QTEST_GUILESS_MAIN(tst_VerifiedResume)
#include "tst_verifiedresume.moc"
