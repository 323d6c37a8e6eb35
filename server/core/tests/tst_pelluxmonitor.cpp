#include "server/core/devicetreemodel.h"
#include "server/core/log/loghandler.h"
#include "server/core/monitoring/pelluxhandler.h"
#include "server/core/monitoring/pelluxmonitor.h"
#include "recording/threadend.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/core/settings/serversettings.h"
#include "server/core/settings/settingsfile.h"
#include "server/core/tests/support/signalwait.h"
#include "testsupport/testfiles.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

constexpr int kPollWaitMs = 20000;
constexpr int kHungPollMs = 1000;    // a poll blocked on a locked table is under way by then
// 10.1.2.3 with 10 in the least significant byte.
constexpr uint kAddress = 10u | 1u << 8 | 2u << 16 | 3u << 24;
constexpr uint kOtherAddress = 192u | 168u << 8 | 0u << 16 | 7u << 24;

const QString kSchema = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS station (idtypest INT, ip1 INT UNSIGNED, namest VARCHAR(64));");

} // namespace

// The monitoring poller against a real MariaDB server: the station table's
// rows become devices and go again, errors reach the log, polling survives
// a restarted and a silent server.
class tst_PelluxMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addressesAndStationTypes();
    void stationsBecomeDevicesAcrossPolls();
    void errorsAreLoggedWithoutThePassword_data();
    void errorsAreLoggedWithoutThePassword();
    void unwritableFileIsLoggedWithItsReason();
    void restartedServerIsPolledAgain();
    void silentServerEndsThePollAfterTheTimeout();
    void closingDuringAHungPollWaitsBoundedly();

private:
    QVariantList values(const QString &host, const QString &password = ServerProcess::kMysqlPassword,
                        const QString &driver = QStringLiteral("QMYSQL")) const;
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(m_db.port()); }

    TempDir m_dbRoot;
    ServerProcess m_db{ServerProcess::Mysql};
};

void tst_PelluxMonitor::initTestCase()
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Mysql, &why))
        QSKIP(qPrintable(why));
    QVERIFY2(QSqlDatabase::isDriverAvailable(QStringLiteral("QMYSQL")), "Debian package libqt5sql5-mysql is missing");
    QVERIFY2(m_db.start(m_dbRoot.path()), qPrintable(m_db.error()));
    QVERIFY2(m_db.runSql(kSchema), qPrintable(m_db.error()));
}

QVariantList tst_PelluxMonitor::values(const QString &host, const QString &password, const QString &driver) const
{
    // Period 0: one poll right after the other.
    return {true, driver, host, ServerProcess::kMysqlDatabase, ServerProcess::kMysqlUser, password, 0};
}

void tst_PelluxMonitor::addressesAndStationTypes()
{
    QCOMPARE(PelluxMonitor::addressText(kAddress), QStringLiteral("10.1.2.3"));
    QCOMPARE(PelluxMonitor::stationDeviceParams(29, kAddress, "Станция", "/data/"),
             QStringList({"Lorvan-P", "Станция", "1", "tftp://10.1.2.3/", "/data/10.1.2.3", "blksize=1500"}));
    QCOMPARE(PelluxMonitor::stationDeviceParams(39, kAddress, "", "/d/").value(3), QStringLiteral("ftp://10.1.2.3/"));
    QCOMPARE(PelluxMonitor::stationDeviceParams(39, kAddress, "", "/d/").value(5), QStringLiteral("codec=\"Windows-1251\""));
    QCOMPARE(PelluxMonitor::stationDeviceParams(49, kAddress, "", "/d/").value(0), QStringLiteral("Mirel"));
    QCOMPARE(PelluxMonitor::stationDeviceParams(43, kAddress, "", "/d/").value(0), QStringLiteral("Lorvan-S"));
    QVERIFY(PelluxMonitor::stationDeviceParams(30, kAddress, "", "/d/").isEmpty());
    QVERIFY(PelluxMonitor::stationDeviceParams(-1, kAddress, "", "/d/").isEmpty());
    // The first byte shown is the least significant one.
    QVERIFY(PelluxMonitor::isDeviceAddress(kAddress));
    for (const uint address : {0u, 0x0302010Au & 0xFFFFFF00u, 0xFFFFFFFFu, 224u, 239u | (1u << 8), 0x010101F0u})
        QVERIFY2(!PelluxMonitor::isDeviceAddress(address), qPrintable(PelluxMonitor::addressText(address)));
    QString host;
    int port = 0;
    PelluxHandler::splitHostPort(QStringLiteral("db.site:3307"), &host, &port);
    QCOMPARE(host + QString::number(port), QStringLiteral("db.site3307"));
    PelluxHandler::splitHostPort(QStringLiteral("::1"), &host, &port);
    QCOMPARE(host + QString::number(port), QStringLiteral("::1-1"));
}

void tst_PelluxMonitor::stationsBecomeDevicesAcrossPolls()
{
    QVERIFY(m_db.runSql(QStringLiteral(
        "DELETE FROM station; INSERT INTO station VALUES (29, %1, 'Станция-1'), (39, %2, 'Пост'), "
        "(43, %2, 'Дважды'), (43, %2, 'Дважды'), (7, %1, 'Чужой тип'), (NULL, NULL, NULL), "
        "(29, NULL, 'Без адреса'), (29, 0, 'Нуль'), (29, 4294967295, 'Всем'), (39, 239, 'Группа');")
                            .arg(kAddress).arg(kOtherAddress)));
    TempDir data;
    const QString folder = data.path() + '/';
    DeviceTreeModel model;
    PelluxMonitor monitor(&model, folder);
    QSignalSpy polls(&monitor, &PelluxMonitor::pollApplied);
    QSignalSpy warnings(&monitor, &PelluxMonitor::warningSended);
    monitor.apply(values(hostPort()));
    QVERIFY(monitor.isOn());
    QVERIFY(QFileInfo::exists(folder + "Pellux.xml"));
    QVERIFY(waitForCount(polls, 1, kPollWaitMs));
    const int file = monitor.fileIndex();
    QCOMPARE(model.fileType(file), SettingsFile::Type::Constant);
    QCOMPARE(model.deviceCount(file), 4);
    QCOMPARE(model.deviceParams(file, 0),
             QStringList({"Lorvan-P", "Станция-1", "1", "tftp://10.1.2.3/", folder + "10.1.2.3", "blksize=1500"}));
    QCOMPARE(model.deviceParams(file, 2).value(1), QStringLiteral("Дважды"));
    QCOMPARE(model.deviceParams(file, 3).value(1), QStringLiteral("Дважды"));
    const DeviceTreeModel::Id first = model.deviceId(file, 0);
    // Rows without a device address are no device; each is said once a run.
    QVERIFY(waitForCount(polls, 2, kPollWaitMs));
    QCOMPARE(warnings.count(), 4);
    QVERIFY(warnings.first().first().toString().contains("no device address"));

    // Later polls keep confirmed devices, drop the missing and add the new.
    QVERIFY(m_db.runSql(QStringLiteral("DELETE FROM station WHERE idtypest = 39; "
                                       "INSERT INTO station VALUES (49, %1, 'Новая');").arg(kOtherAddress)));
    // Polls of the old rows may still be queued (one poll follows the other).
    const auto names = [&] {
        QStringList texts;
        for (int d = 0; d < model.deviceCount(file); ++d)
            texts << model.deviceParams(file, d).value(0);
        return texts;
    };
    QTRY_COMPARE_WITH_TIMEOUT(names(), QStringList({"Lorvan-P", "Lorvan-S", "Lorvan-S", "Mirel"}), kPollWaitMs);
    QCOMPARE(model.deviceId(file, 0), first);
    QVERIFY(model.fileState(file) != DeviceTreeModel::NotSaved);

    // Switching off writes the file and closes it; switching on reads it back.
    monitor.apply({false, "QMYSQL", "", "", "", "", 0});
    QVERIFY(!monitor.isOn());
    QCOMPARE(model.fileCount(), 0);
    SettingsFile::Content content;
    QCOMPARE(SettingsFile::read(folder + "Pellux.xml", &content), SettingsFile::Ok);
    QCOMPARE(content.devices.size(), 4);
    QCOMPARE(content.type, SettingsFile::Type::Constant);
    monitor.apply(values(hostPort()));
    QCOMPARE(model.deviceCount(monitor.fileIndex()), 4);
    polls.clear();
    QVERIFY(waitForCount(polls, 1, kPollWaitMs));
    QCOMPARE(model.deviceCount(monitor.fileIndex()), 4);
}

void tst_PelluxMonitor::errorsAreLoggedWithoutThePassword_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("wrongPassword");
    QTest::addColumn<bool>("dropTable");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wrong password") << "QMYSQL" << true << false << "Access denied for user 'collector'";
    QTest::newRow("missing table") << "QMYSQL" << false << true << "Can't execute query: Table 'pelluxbd.station' doesn't exist";
    QTest::newRow("unknown driver") << "QNODRIVER" << false << false << "Invalid database driver";
}

void tst_PelluxMonitor::errorsAreLoggedWithoutThePassword()
{
    QFETCH(QString, driver);
    QFETCH(bool, wrongPassword);
    QFETCH(bool, dropTable);
    QFETCH(QString, expected);
    if (dropTable)
        QVERIFY(m_db.runSql(QStringLiteral("DROP TABLE station;")));
    TempDir data;
    LogHandler log(data.path() + '/');
    DeviceTreeModel model;
    PelluxMonitor monitor(&model, data.path() + '/');
    monitor.wireLog(&log);
    // A wrong password that contains the right one must not show it either.
    const QString password = wrongPassword ? ServerProcess::kMysqlPassword + "x" : ServerProcess::kMysqlPassword;
    monitor.apply(values(hostPort(), password, driver));
    QTRY_VERIFY_WITH_TIMEOUT(readFile(log.filePath()).contains("Error Pellux: "), kPollWaitMs);
    const QString text = QString::fromLocal8Bit(readFile(log.filePath()));
    QVERIFY2(text.contains("Pellux polling start"), qPrintable(text));
    QVERIFY2(text.contains("Error Pellux: " + expected), qPrintable(text));
    QVERIFY2(!text.contains(ServerProcess::kMysqlPassword), qPrintable(text));
    if (dropTable)
        QVERIFY(m_db.runSql(kSchema));
}

// Monitoring goes on in memory when its file cannot be written; the file's
// creation and its saving at switch-off are said, each with the reason.
void tst_PelluxMonitor::unwritableFileIsLoggedWithItsReason()
{
    TempDir data;
    const QString folder = data.path() + "/missing/";
    DeviceTreeModel model;
    PelluxMonitor monitor(&model, folder);
    QSignalSpy modelErrors(&model, &DeviceTreeModel::errorSended);
    QSignalSpy monitorErrors(&monitor, &PelluxMonitor::errorSended);
    monitor.apply(values(hostPort()));
    QVERIFY(monitor.isOn());
    monitor.apply({false, "QMYSQL", "", "", "", "", 0});
    QVERIFY(!monitor.isOn());
    const QRegularExpression withReason("^Can`t open file " + QRegularExpression::escape(folder + "Pellux.xml") + ": \\S");
    QCOMPARE(modelErrors.count(), 2);
    for (const QList<QVariant> &error : qAsConst(modelErrors))
        QVERIFY2(withReason.match(error.first().toString()).hasMatch(), qPrintable(error.first().toString()));
    QCOMPARE(monitorErrors.count(), 2);
    QVERIFY(monitorErrors.at(0).first().toString().contains("could not be written"));
    QVERIFY(monitorErrors.at(1).first().toString().contains("could not be saved"));
}

void tst_PelluxMonitor::restartedServerIsPolledAgain()
{
    QVERIFY(m_db.runSql(QStringLiteral("DELETE FROM station; INSERT INTO station VALUES (29, %1, 'A');").arg(kAddress)));
    TempDir data;
    LogHandler log(data.path() + '/');
    DeviceTreeModel model;
    PelluxMonitor monitor(&model, data.path() + '/');
    monitor.wireLog(&log);
    QSignalSpy polls(&monitor, &PelluxMonitor::pollApplied);
    monitor.apply(values(hostPort()));
    QVERIFY(waitForCount(polls, 1, kPollWaitMs));
    QVERIFY(m_db.stop());
    QTRY_VERIFY_WITH_TIMEOUT(readFile(log.filePath()).contains("Error Pellux: Can't connect"), kPollWaitMs);
    // The devices stay while the database is away.
    QCOMPARE(model.deviceCount(monitor.fileIndex()), 1);
    QVERIFY2(m_db.start(m_dbRoot.path()), qPrintable(m_db.error()));
    polls.clear();
    QVERIFY(waitForCount(polls, 1, kPollWaitMs));
    QCOMPARE(model.deviceCount(monitor.fileIndex()), 1);
}

void tst_PelluxMonitor::silentServerEndsThePollAfterTheTimeout()
{
    // Accepts connections and never says a word.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> held;
    connect(&silent, &QTcpServer::newConnection, this, [&] { held << silent.nextPendingConnection(); });
    PelluxHandler handler;
    QThread thread;
    handler.moveToThread(&thread);
    thread.start();
    QSignalSpy errors(&handler, &PelluxHandler::errorOccured);
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(&handler, "setParam", Qt::QueuedConnection,
                              Q_ARG(QStringList, QStringList({"QMYSQL", QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()),
                                                              "pelluxbd", "collector", "pw-of-nobody"})));
    QMetaObject::invokeMethod(&handler, "pollingStart", Qt::QueuedConnection, Q_ARG(short, 0));
    // Two failed polls: the first ended by the timeout, and polling went on.
    QVERIFY(waitForCount(errors, 2, 2 * PelluxHandler::kLongestPollMs + kPollWaitMs));
    QVERIFY(clock.elapsed() < 2 * PelluxHandler::kLongestPollMs);
    QVERIFY(!held.isEmpty());
    QMetaObject::invokeMethod(&handler, "pollingStop", Qt::QueuedConnection);
    thread.quit();
    QVERIFY(thread.wait(PelluxHandler::kLongestPollMs + kPollWaitMs));
    qDeleteAll(held);
}

// A window closed while a poll hangs on a database that does not answer
// (its table locked by another session) waits no longer than the bound: the
// poller's thread ends by itself when the poll does.
void tst_PelluxMonitor::closingDuringAHungPollWaitsBoundedly()
{
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("locker"));
        locker.setHostName(QStringLiteral("127.0.0.1"));
        locker.setPort(m_db.port());
        locker.setDatabaseName(ServerProcess::kMysqlDatabase);
        locker.setUserName(ServerProcess::kMysqlUser);
        locker.setPassword(ServerProcess::kMysqlPassword);
        QVERIFY2(locker.open(), qPrintable(locker.lastError().text()));
        QSqlQuery lock(locker);
        QVERIFY2(lock.exec(QStringLiteral("LOCK TABLES station WRITE")), qPrintable(lock.lastError().text()));

        DeviceTreeModel model;
        TempDir data;
        auto monitor = std::make_unique<PelluxMonitor>(&model, data.path() + '/');
        monitor->apply(values(hostPort()));
        QTest::qWait(kHungPollMs);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("QThread did not stop within %1 ms and is left to end by itself")
                                                          .arg(kThreadEndWaitMs)));
        QElapsedTimer clock;
        clock.start();
        monitor.reset();
        QVERIFY2(clock.elapsed() < qint64(kThreadEndWaitMs) + kHungPollMs, qPrintable(QString::number(clock.elapsed())));
        // The table is free again: the poll ends, and the thread with it.
        QVERIFY(lock.exec(QStringLiteral("UNLOCK TABLES")));
        QTest::qWait(kHungPollMs);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
}

QTEST_GUILESS_MAIN(tst_PelluxMonitor)
#include "tst_pelluxmonitor.moc"
