#include "server/core/devicetreemodel.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/health/devicehealth.h"
#include "server/core/log/loghandler.h"
#include "server/core/tests/support/fakeftpserver.h"
#include "server/core/tests/support/serverprocess.h"
#include "testsupport/testfiles.h"

#include <QTcpServer>
#include <QtTest>

namespace {

constexpr int kShortPeriodMs = 200;
constexpr int kCycles = 3;
constexpr int kWaitMs = 30000;
constexpr qint64 kNoDiskIsThatLarge = qint64(1) << 60;

// How a row's device is served.
enum class Device { ClosedPort, RealFtp, RealFtpWrongPassword, RefusingFtp, FolderIsAFile, DiskLow };

} // namespace

Q_DECLARE_METATYPE(Device)

class tst_DeviceHealth : public QObject
{
    Q_OBJECT

private slots:
    void failureTexts_data();
    void failureTexts();
    void statesOfRealDevices_data();
    void statesOfRealDevices();
    void staleAfterTheSilenceLimit();
};

void tst_DeviceHealth::failureTexts_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("key");
    QTest::newRow("refused") << "connection refused (127.0.0.1:21)" << "unreachable";
    QTest::newRow("unknown host") << "host not found (nowhere.invalid)" << "unreachable";
    QTest::newRow("tftp unknown host") << "Unknown host address nowhere.invalid" << "unreachable";
    QTest::newRow("timeout") << "timeout" << "unreachable";
    QTest::newRow("lost") << "control connection disconnect" << "unreachable";
    QTest::newRow("login") << "530 Login incorrect.\r\n" << "login-refused";
    QTest::newRow("write") << "write error: No space left on device" << "destination-unwritable";
    QTest::newRow("open") << "Can`t open file /x/REC.DAT: Permission denied" << "destination-unwritable";
    QTest::newRow("ftp refusal") << "550 No such file or directory.\r\n" << "file-refused";
    QTest::newRow("tftp refusal") << "ERROR packet receive: File not found" << "file-refused";
    QTest::newRow("unknown text") << "something else" << "unreachable";
}

void tst_DeviceHealth::failureTexts()
{
    QFETCH(QString, message);
    QFETCH(QString, key);
    QCOMPARE(healthKey(healthOfFailure(message)), key);
    HealthState state;
    QVERIFY(healthFromKey(key, &state));
    QCOMPARE(healthKey(state), key);
}

// A device on the model through several cycles: its state after the first
// cycle already (a device failing since the start is not left blank), one
// log line for the change however many cycles repeat it, and the figures.
void tst_DeviceHealth::statesOfRealDevices_data()
{
    QTest::addColumn<Device>("device");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("filesCollected");
    QTest::addColumn<int>("filesBehind");
    QTest::newRow("collected") << Device::RealFtp << "ok" << 1 << 0;
    QTest::newRow("nothing listens") << Device::ClosedPort << "unreachable" << 0 << 0;
    QTest::newRow("wrong password") << Device::RealFtpWrongPassword << "login-refused" << 0 << 0;
    QTest::newRow("file refused") << Device::RefusingFtp << "file-refused" << 0 << 1;
    QTest::newRow("destination is a file") << Device::FolderIsAFile << "destination-unwritable" << 0 << 1;
    QTest::newRow("disk low") << Device::DiskLow << "disk-low" << 0 << 1;
}

void tst_DeviceHealth::statesOfRealDevices()
{
    QFETCH(Device, device);
    QFETCH(QString, key);
    QFETCH(int, filesCollected);
    QFETCH(int, filesBehind);
    const bool real = device == Device::RealFtp || device == Device::RealFtpWrongPassword || device == Device::FolderIsAFile
        || device == Device::DiskLow;
    QString why;
    if (real && !ServerProcess::available(ServerProcess::Ftp, &why))
        QFAIL(qPrintable(why));

    TempDir root;
    const QByteArray bytes(70000, 'r');
    QVERIFY(writeFile(root.filePath("REC1.DAT"), bytes));
    ServerProcess ftp(ServerProcess::Ftp);
    FakeFtpServer fake;
    QString url;
    if (real) {
        QProcessEnvironment extra;
        if (device == Device::RealFtpWrongPassword)
            extra.insert(QStringLiteral("FTPD_PASSWORD"), QStringLiteral("not-the-devices"));
        QVERIFY2(ftp.start(root.path(), extra), qPrintable(ftp.error()));
        url = ftp.url();
    } else if (device == Device::RefusingFtp) {
        QVERIFY(fake.listen());
        fake.serveFile(QStringLiteral("REC1.DAT"), bytes, QDateTime::currentDateTime(), FakeFtpServer::Fault::Refused);
        url = fake.url();
    } else {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        url = QStringLiteral("ftp://127.0.0.1:%1/").arg(closed.serverPort());
    }

    TempDir work;
    QString folder = work.filePath("rec");
    if (device == Device::FolderIsAFile) {
        QVERIFY(writeFile(work.filePath("file"), "not a folder"));
        folder = work.filePath("file/rec");
    }
    LogHandler log(work.path() + '/');
    DeviceTreeModel model;
    model.setLog(&log);
    model.setMinFreeBytes(device == Device::DiskLow ? kNoDiskIsThatLarge : 0);
    const int file = model.newFile(work.filePath("site.xml"));
    const int index = model.addDevice(file, {"Dev", "", "1", url, folder, ""});
    DownloaderHandler *scheduler = model.scheduler(file, index);
    QVERIFY(scheduler);
    // It lives in the collector thread.
    QMetaObject::invokeMethod(scheduler, [scheduler] { scheduler->setPeriod(kShortPeriodMs); }, Qt::BlockingQueuedConnection);
    DeviceHealthRecord health;
    QVERIFY(model.deviceHealth(file, index, &health));
    QCOMPARE(health.state, HealthState::NeverCollected);

    QTRY_VERIFY_WITH_TIMEOUT(model.deviceHealth(file, index, &health) && health.cycles >= 1, kWaitMs);
    QCOMPARE(healthKey(health.state), key);
    QTRY_VERIFY_WITH_TIMEOUT(model.deviceHealth(file, index, &health) && health.cycles >= kCycles, kWaitMs);
    QCOMPARE(healthKey(health.state), key);

    const bool ok = key == QLatin1String("ok") || key == QLatin1String("disk-low");
    QCOMPARE(health.lastSuccess.isValid(), ok);
    QCOMPARE(health.failures > 0, !ok);
    QCOMPARE(health.lastError.isEmpty(), ok);
    QCOMPARE(health.lastFileName.isEmpty(), filesCollected == 0);
    QCOMPARE(health.bytesToday, filesCollected * qint64(bytes.size()));
    QCOMPARE(health.filesBehind, filesBehind);
    QCOMPARE(model.healthSummary().notOk, key == QLatin1String("ok") ? 0 : 1);

    QCoreApplication::sendPostedEvents(&log, QEvent::MetaCall);
    const QString text = QString::fromLocal8Bit(readFile(log.filePath()));
    QCOMPARE(text.count(QStringLiteral("state: ")), 1);
    QCOMPARE(text.count(QStringLiteral("state: ") + key), 1);
}

// A device that collects nothing new is stale once its silence limit has
// passed at the end of a cycle, and ok again when new data comes.
void tst_DeviceHealth::staleAfterTheSilenceLimit()
{
    TempDir folder;
    QVERIFY(writeFile(folder.filePath("REC.DAT"), QByteArray(100, 'x')));
    DeviceHealth health({"Dev", "", "1", "ftp://127.0.0.1/", folder.path(), "stale=1"});
    QCOMPARE(health.silenceLimitMs(), 60000);
    QSignalSpy warnings(&health, &DeviceHealth::warningSended);
    QSignalSpy infos(&health, &DeviceHealth::infoSended);
    health.cycleStart();
    health.cycleFinish(true);
    QCOMPARE(health.record().state, HealthState::Ok);
    health.setLastNewData(QDateTime::currentDateTime().addSecs(-61));
    health.cycleStart();
    health.cycleFinish(true);
    QCOMPARE(health.record().state, HealthState::Stale);
    health.cycleStart();
    health.fileRequest(QStringLiteral("REC.DAT"), 40, 100);
    health.downloadGetFileDo();
    health.cycleFinish(true);
    QCOMPARE(health.record().state, HealthState::Ok);
    QCOMPARE(health.record().bytesToday, qint64(60));
    QCOMPARE(warnings.count(), 1);
    QVERIFY(warnings.first().first().toString().startsWith(QStringLiteral("state: stale (no new data since ")));
    QCOMPARE(infos.count(), 2);

    DeviceHealth off({"Dev", "", "1", "ftp://127.0.0.1/", folder.path(), "stale=0"});
    off.setLastNewData(QDateTime::currentDateTime().addDays(-3));
    off.cycleStart();
    off.cycleFinish(true);
    QCOMPARE(off.record().state, HealthState::Ok);
}

QTEST_GUILESS_MAIN(tst_DeviceHealth)
#include "tst_devicehealth.moc"
