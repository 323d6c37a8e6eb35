#include "server/core/tests/support/fakeftpserver.h"
#include "recording/indexcache.h"
#include "server/core/downloaders/listingstamp.h"
#include "server/core/tests/support/listingfile.h"
#include "recording/recordingindexer.h"
#include "server/core/settings/settingsfile.h"
#include "server/core/health/statusfile.h"
#include "server/core/settings/serversettings.h"
#include "server/core/tests/support/serverprocess.h"
#include "testsupport/testrecording.h"
#include "server/core/downloaders/verifiedcopy.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kRunTimeoutMs = 60000;
// Files of the slow folder: TFTP at 512-byte blocks takes a while (bytes).
constexpr qint64 kSlowFileBytes = 12 * 1024 * 1024;

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(DROVANE_CLI), arguments);
    Run run;
    if (!process.waitForFinished(kRunTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class tst_DrovaneCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void usageErrors_data();
    void usageErrors();
    void listJson_data();
    void listJson();
    void fetch_data();
    void fetch();
    void fetchResume_data();
    void fetchResume();
    void fetchFailures_data();
    void fetchFailures();
    void pollCycles_data();
    void pollCycles();
    void pollFinishesFileOnSigterm();
    void serveCollectsEveryDevice();
    void serveNotifiesSystemd();
    void shardsSplitTheStationTable();
    void statusExitCodes_data();
    void statusExitCodes();
    void serveStopsAfterTheFileInProgress();
    void serveUsageErrors_data();
    void serveUsageErrors();

private:
    QString url(const QString &kind, const QString &path = QStringLiteral("/")) const;

    TempDir m_ftpRoot;
    TempDir m_tftpRoot;
    TempDir m_work;      // settings files of the failure rows
    ServerProcess m_ftp{ServerProcess::Ftp};
    ServerProcess m_vsftpd{ServerProcess::Vsftpd};
    ServerProcess m_tftp{ServerProcess::Tftp};
    QString m_tftpUnavailable;
    QByteArray m_first;
    QByteArray m_second;
};

void tst_DrovaneCli::initTestCase()
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Ftp, &why))
        QFAIL(qPrintable(why));
    m_first = TestRecording::random(1500000, 31);
    m_second = TestRecording::random(600000, 32);
    for (const TempDir *root : {&m_ftpRoot, &m_tftpRoot}) {
        QVERIFY(writeFile(root->filePath("REC1.DAT"), m_first));
        QVERIFY(writeFile(root->filePath("REC2.DAT"), m_second));
        QVERIFY(writeFile(root->filePath("OLD.DAT"), TestRecording::random(1000, 33)));
        QVERIFY(setModified(root->filePath("OLD.DAT"), QDateTime::currentDateTimeUtc().addDays(-5)));
    }
    QVERIFY(QDir(m_ftpRoot.path()).mkdir("subdir"));
    QVERIFY2(m_ftp.start(m_ftpRoot.path()), qPrintable(m_ftp.error()));
    if (!ServerProcess::available(ServerProcess::Vsftpd, &why))
        QFAIL(qPrintable(why));
    QVERIFY2(m_vsftpd.start(m_ftpRoot.path()), qPrintable(m_vsftpd.error()));
    // A device list with one unescaped "&" in the second of three devices,
    // and one whose only device has a relative destination.
    QVERIFY(writeFile(m_work.filePath("damaged.xml"),
                      "<?xml version=\"1.0\"?>\n<drovane version=\"1.0\" type=\"variable\">\n"
                      " <item name=\"a\" period=\"1\" source=\"ftp://127.0.0.1/\" destination=\"/tmp/a\"/>\n"
                      " <item name=\"b & c\" period=\"1\" source=\"ftp://127.0.0.1/\" destination=\"/tmp/b\"/>\n"
                      " <item name=\"c\" period=\"1\" source=\"ftp://127.0.0.1/\" destination=\"/tmp/c\"/>\n"
                      "</drovane>\n"));
    QVERIFY(writeFile(m_work.filePath("relative.xml"),
                      "<drovane version=\"1.0\" type=\"variable\"><item name=\"a\" period=\"1\" "
                      "source=\"ftp://127.0.0.1/\" destination=\"rec\"/></drovane>"));

    if (!ServerProcess::available(ServerProcess::Tftp, &m_tftpUnavailable))
        return;
    QVERIFY(writeTftpList(m_tftpRoot.path()));
    const QString slow = m_tftpRoot.filePath("slow");
    QVERIFY(QDir().mkdir(slow));
    QVERIFY(writeFile(QDir(slow).filePath("BIG.DAT"), TestRecording::random(kSlowFileBytes, 34)));
    QVERIFY(writeTftpList(slow));
    QVERIFY2(m_tftp.start(m_tftpRoot.path()), qPrintable(m_tftp.error()));
}

void tst_DrovaneCli::cleanupTestCase()
{
    QVERIFY(m_ftp.stop());
    QVERIFY(m_vsftpd.stop());
    QVERIFY(m_tftp.stop());
}

void tst_DrovaneCli::init()
{
    const bool tftp = QByteArray(QTest::currentDataTag()).startsWith("tftp")
        || QByteArray(QTest::currentTestFunction()) == "pollFinishesFileOnSigterm"
        || QByteArray(QTest::currentTestFunction()) == "serveCollectsEveryDevice";
    if (tftp && !m_tftpUnavailable.isEmpty())
        QSKIP(qPrintable(m_tftpUnavailable));
}

QString tst_DrovaneCli::url(const QString &kind, const QString &path) const
{
    if (kind == QLatin1String("vsftpd"))
        return m_vsftpd.url(path);
    return kind == QLatin1String("ftp") ? m_ftp.url(path) : m_tftp.url(path);
}

void tst_DrovaneCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList() << "no command given";
    QTest::newRow("unknown command") << QStringList{"push"} << "unknown command push";
    QTest::newRow("list without URL") << QStringList{"list"} << "usage: drovane-cli list";
    QTest::newRow("unknown option") << QStringList{"list", "ftp://127.0.0.1/", "--fast"} << "unknown option --fast";
    QTest::newRow("http") << QStringList{"list", "http://127.0.0.1/"} << "unsupported URL scheme \"http\"";
    QTest::newRow("no scheme") << QStringList{"poll", "127.0.0.1", "/tmp"} << "not a device URL";
    QTest::newRow("zero period") << QStringList{"poll", "ftp://127.0.0.1/", "/tmp", "--period", "0"} << "--period";
    QTest::newRow("bad cycles") << QStringList{"poll", "ftp://127.0.0.1/", "/tmp", "--cycles", "x"} << "--cycles";
}

void tst_DrovaneCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = runCli(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

void tst_DrovaneCli::listJson_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("unparsedStart");
    QTest::newRow("ftp") << "ftp" << "" << "drwx";
    QTest::newRow("tftp blksize=1500") << "tftp" << "blksize=1500" << "total";
}

void tst_DrovaneCli::listJson()
{
    QFETCH(QString, kind);
    QFETCH(QString, options);
    QFETCH(QString, unparsedStart);
    const Run run = runCli({"list", url(kind), "--options", options, "--json"});
    QCOMPARE(run.status, 0);
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QMap<QString, QJsonObject> entries;
    for (const QJsonValue &value : object.value("entries").toArray())
        entries.insert(value.toObject().value("name").toString(), value.toObject());
    QCOMPARE(entries.keys(), QStringList({"OLD.DAT", "REC1.DAT", "REC2.DAT"}));
    QCOMPARE(qint64(entries.value("REC1.DAT").value("size").toDouble()), qint64(m_first.size()));
    const QDateTime date = QDateTime::fromString(entries.value("REC2.DAT").value("date").toString(), "yyyy-MM-ddThh:mm:ss");
    QVERIFY(date.isValid());
    QVERIFY(qAbs(date.daysTo(QDateTime::currentDateTime())) <= 1);
    const QJsonArray unparsed = object.value("unparsed").toArray();
    QCOMPARE(unparsed.size(), 1);
    QVERIFY(unparsed.first().toString().startsWith(unparsedStart));
}

void tst_DrovaneCli::fetch_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("options");
    QTest::newRow("ftp") << "ftp" << "";
    QTest::newRow("tftp") << "tftp" << "";
    QTest::newRow("tftp blksize=1500") << "tftp" << "blksize=1500";
}

void tst_DrovaneCli::fetch()
{
    QFETCH(QString, kind);
    QFETCH(QString, options);
    TempDir dest;
    const Run run = runCli({"fetch", url(kind), "REC1.DAT", dest.path(), "--options", options});
    QCOMPARE(run.status, 0);
    const QString local = dest.filePath("REC1.DAT");
    QVERIFY(readFile(local) == m_first);
    RecordingIndexer indexer;
    QVERIFY(loadCache(indexer, cachePathFor(local)));
    QCOMPARE(indexer.streamCount(), TestRecording::kRandomStreams);
    QVERIFY(run.out.contains(local));
}

void tst_DrovaneCli::fetchResume_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("before");   // the local copy
    QTest::addColumn<bool>("versionKept");
    const QByteArray first = TestRecording::random(1500000, 31);
    const QByteArray other = TestRecording::random(700000, 36);
    for (const char *kind : {"ftp", "vsftpd", "tftp"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 partial copy").arg(kind))) << kind << first.left(700000) << false;
        // Longer than the device's file (vsftpd sends nothing from past its
        // end), or another file's bytes: kept, and the file fetched whole.
        QTest::newRow(qPrintable(QStringLiteral("%1 longer copy").arg(kind))) << kind << first + QByteArray(5000, 'x')
                                                                             << true;
        QTest::newRow(qPrintable(QStringLiteral("%1 another file").arg(kind))) << kind << other << true;
    }
}

void tst_DrovaneCli::fetchResume()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, before);
    QFETCH(bool, versionKept);
    TempDir dest;
    const QString local = dest.filePath("REC1.DAT");
    QVERIFY(writeFile(local, before));
    const Run run = runCli({"fetch", url(kind), "REC1.DAT", dest.path(), "--resume"});
    QCOMPARE(run.status, 0);
    QVERIFY(readFile(local) == m_first);
    QVERIFY2(run.out.contains(versionKept ? "from byte 0" : "from byte 700000"), qPrintable(run.out));
    QCOMPARE(QFile::exists(local + ".~1~"), versionKept);
    if (versionKept) {
        QVERIFY(readFile(local + ".~1~") == before);
        QVERIFY2(run.err.contains("kept as " + local + ".~1~"), qPrintable(run.err));
    }
}

void tst_DrovaneCli::fetchFailures_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("ftp missing file") << "fetch" << url("ftp") << "NOPE.DAT" << "drovane-cli fetch: 550";
    QTest::newRow("tftp missing file") << "fetch" << url("tftp") << "NOPE.DAT"
                                       << "drovane-cli fetch: ERROR packet receive: File not found";
    QTest::newRow("ftp parent path") << "fetch" << url("ftp") << "../REC1.DAT" << "drovane-cli fetch: Refused unsafe file name";
    QTest::newRow("tftp absolute path") << "fetch" << url("tftp") << "/etc/passwd" << "drovane-cli fetch: Refused unsafe file name";
    // Told at once and in their own words, not as a timeout.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("ftp://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    QTest::newRow("ftp connection refused") << "fetch" << refused << "REC1.DAT" << "drovane-cli fetch: connection refused";
    QTest::newRow("ftp host not found") << "fetch" << "ftp://no-such-recorder.invalid/" << "REC1.DAT"
                                        << "drovane-cli fetch: host not found";
    QTest::newRow("poll of a refusing device") << "poll" << refused << "" << "drovane-cli poll: 3 of 3 cycles failed";
}

void tst_DrovaneCli::fetchFailures()
{
    QFETCH(QString, command);
    QFETCH(QString, url);
    QFETCH(QString, name);
    QFETCH(QString, message);
    TempDir outer;
    const QString dest = outer.filePath("dest");
    QVERIFY(QDir().mkdir(dest));
    const QStringList arguments = command == "fetch" ? QStringList{"fetch", url, name, dest}
                                                     : QStringList{"poll", url, dest, "--period", "0.001", "--cycles", "3"};
    const Run run = runCli(arguments);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith(message), qPrintable(run.err));
    QVERIFY(!run.out.contains("timeout"));
    QVERIFY(QDir(dest).isEmpty());
    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList("dest"));
}

void tst_DrovaneCli::pollCycles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("ftp") << "ftp";
    QTest::newRow("tftp") << "tftp";
}

// Three cycles of 120 ms: both new files in the first, then nothing; the
// old file is never fetched.
void tst_DrovaneCli::pollCycles()
{
    QFETCH(QString, kind);
    TempDir dest;
    const QString folder = dest.filePath("rec");
    const Run run = runCli({"poll", url(kind), folder, "--period", "0.002", "--cycles", "3"});
    QCOMPARE(run.status, 0);
    QVERIFY(readFile(QDir(folder).filePath("REC1.DAT")) == m_first);
    QVERIFY(readFile(QDir(folder).filePath("REC2.DAT")) == m_second);
    QVERIFY(!QFile::exists(QDir(folder).filePath("OLD.DAT")));
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.filter(" request ").size(), 2);
    QVERIFY(lines.filter(" request ").first().endsWith(QStringLiteral("request REC1.DAT from byte 0 of %1").arg(m_first.size())));
    QCOMPARE(lines.filter(" getFileDone").size(), 2);
    QCOMPARE(lines.filter(" getFileListDone").size(), 3);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} %1Downloader_\\d+ \\w+")
                                       .arg(kind == QLatin1String("ftp") ? "Ftp" : "Tftp"));
    for (const QString &line : lines)
        QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
}

// SIGTERM during a download: the file in progress is finished, then the
// program ends without starting another.
void tst_DrovaneCli::pollFinishesFileOnSigterm()
{
    TempDir dest;
    QProcess process;
    process.start(QStringLiteral(DROVANE_CLI), {"poll", url("tftp", "/slow/"), dest.path(), "--period", "0.002"});
    QByteArray out;
    while (!out.contains("getFileStarted") && process.waitForReadyRead(kRunTimeoutMs))
        out += process.readAllStandardOutput();
    QVERIFY2(out.contains("getFileStarted BIG.DAT"), out.constData());
    process.terminate();
    QVERIFY(process.waitForFinished(kRunTimeoutMs));
    out += process.readAllStandardOutput();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(readFile(dest.filePath("BIG.DAT")) == readFile(m_tftpRoot.filePath("slow/BIG.DAT")));
    QVERIFY(out.contains("getFileDone"));
    QCOMPARE(out.count("getFileListStarted"), 1);
}

namespace {

// A settings file of devices, each {url, folder, options}, period 1 minute.
QString writeSettings(const QString &path, const QList<QStringList> &devices)
{
    SettingsFile::Content content;
    for (const QStringList &device : devices)
        content.devices << QStringList{"Dev", "", "1", device.value(0), device.value(1), device.value(2)};
    return SettingsFile::write(path, content) == SettingsFile::Ok ? path : QString();
}

// Runs the event loop until predicate holds or ms pass, collecting the
// process's output on the way.
bool waitFor(QProcess &process, QByteArray *out, const std::function<bool()> &predicate, int ms)
{
    constexpr int kRoundMs = 20;
    QElapsedTimer clock;
    clock.start();
    while (!predicate()) {
        if (clock.elapsed() > ms || process.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(kRoundMs);
        *out += process.readAllStandardOutput();
    }
    return true;
}

} // namespace

// serve runs an FTP and a TFTP device of one settings file: the first cycle
// of each collects its recordings, indexed, and the log file tells it
// in the server's own line format; SIGTERM ends it with status 0.
void tst_DrovaneCli::serveCollectsEveryDevice()
{
    QTemporaryDir work;
    const QString ftpFolder = work.filePath("ftp"), tftpFolder = work.filePath("tftp");
    // A third device nothing listens for: its health says so.
    QString closedUrl;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        closedUrl = QStringLiteral("ftp://127.0.0.1:%1/").arg(closed.serverPort());
    }
    const QString settings = writeSettings(work.filePath("site.xml"),
                                           {{url("ftp"), ftpFolder, "codec=\"UTF-8\""}, {url("tftp"), tftpFolder, "blksize=1500"},
                                            {closedUrl, work.filePath("closed"), ""}});
    QVERIFY(!settings.isEmpty());
    const QString status = work.filePath("status.json");
    QProcess process;
    process.start(QStringLiteral(DROVANE_CLI), {"serve", settings, "--log-dir", work.filePath("logs"), "--status", status});
    QByteArray out;
    // The status file is whole whenever it is read: a valid document with
    // every device.
    QStringList states;
    const auto readStates = [&] {
        QList<StatusFile::Device> devices;
        QDateTime generated;
        QString error;
        if (QFile::exists(status) && !StatusFile::read(status, &devices, &generated, &error))
            QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        states.clear();
        for (const StatusFile::Device &device : qAsConst(devices))
            states << healthKey(device.health.state);
    };
    const auto collected = [&] {
        readStates();
        if (states != QStringList({"ok", "ok", "unreachable"}))
            return false;
        for (const QString &folder : {ftpFolder, tftpFolder}) {
            for (const char *name : {"REC1.DAT", "REC2.DAT"}) {
                if (!QFile::exists(ListingStamp::pathFor(QDir(folder).filePath(name))))
                    return false;
            }
        }
        return true;
    };
    QVERIFY(waitFor(process, &out, collected, kRunTimeoutMs));
    process.terminate();
    QVERIFY(process.waitForFinished(kRunTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    for (const QString &folder : {ftpFolder, tftpFolder}) {
        QVERIFY(readFile(QDir(folder).filePath("REC1.DAT")) == m_first);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"REC1.DAT", "REC1.DAT.IND", "REC1.DAT.IND.stamp",
                                                                   "REC2.DAT", "REC2.DAT.IND", "REC2.DAT.IND.stamp"}));
    }
    const QStringList logs = QDir(work.filePath("logs")).entryList({"*.log"});
    QCOMPARE(logs.size(), 1);
    const QString log = QString::fromLocal8Bit(readFile(QDir(work.filePath("logs")).filePath(logs.first())));
    for (const QString &entry : {QString("Info Serve: Open file ") + settings,
                                 QString("Info Serve: Set param to FtpDownloader_0: Dev; ; 1; ") + url("ftp"),
                                 QString("Info TftpDownloader_1: Get file start REC1.DAT"),
                                 QString("Info FtpDownloader_0: Get file do"),
                                 QString("Info Serve: Serve stopped"),
                                 QString("Warning FtpDownloader_2: state: unreachable (connection refused")})
        QVERIFY2(log.contains(entry), qPrintable(entry + "\nnot in\n" + log));
    QCOMPARE(log.count("state: unreachable"), 1);
    const Run report = runCli({"status", status});
    QCOMPARE(report.status, 1);
    QVERIFY2(report.out.contains(QRegularExpression(QStringLiteral("\\s+unreachable\\s"))), qPrintable(report.out));
    QVERIFY2(report.out.contains("1 of 3 devices not ok"), qPrintable(report.out));
}

// Under systemd (Type=notify) serve says READY once its devices run, pings
// the watchdog from its event loop and says STOPPING on SIGTERM.
void tst_DrovaneCli::serveNotifiesSystemd()
{
    QTemporaryDir work;
    const QString socketPath = work.filePath("notify");
    const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QVERIFY(listener >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof(address.sun_path));
    QCOMPARE(::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof(address)), 0);
    const timeval wait{0, 200000};
    ::setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    QByteArray said;
    const auto receive = [&](const QByteArray &expected) {
        QElapsedTimer clock;
        clock.start();
        char buffer[256];
        while (!said.contains(expected) && clock.elapsed() < kRunTimeoutMs / 4) {
            const ssize_t count = ::recv(listener, buffer, sizeof(buffer), 0);
            if (count > 0)
                said += QByteArray(buffer, int(count)) + '\n';
        }
        return said.contains(expected);
    };
    const QString settings = writeSettings(work.filePath("site.xml"), {{url("ftp"), work.filePath("rec"), ""}});
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NOTIFY_SOCKET", socketPath);
    environment.insert("WATCHDOG_USEC", "300000");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DROVANE_CLI), {"serve", settings, "--log-dir", work.filePath("logs")});
    QVERIFY2(receive("READY=1"), said.constData());
    QVERIFY2(receive("WATCHDOG=1"), said.constData());
    process.terminate();
    QVERIFY2(receive("STOPPING=1"), said.constData());
    QVERIFY(process.waitForFinished(kRunTimeoutMs));
    QCOMPARE(process.exitCode(), 0);
    ::close(listener);
}

// Three collectors over one station table of 60 stations: each station runs
// on exactly one of them, and together they run all.
void tst_DrovaneCli::shardsSplitTheStationTable()
{
    constexpr int kStations = 60;
    constexpr int kCollectors = 3;
    QString why;
    if (!ServerProcess::available(ServerProcess::Mysql, &why))
        QFAIL(qPrintable(why));
    QTemporaryDir work;
    ServerProcess db(ServerProcess::Mysql);
    QVERIFY2(db.start(work.filePath("mariadb")), qPrintable(db.error()));
    QString rows;
    QStringList everyUrl;
    for (int i = 1; i <= kStations; ++i) {
        // 127.0.0.i, the least significant byte first: every device is on loopback.
        const uint address = 127u | uint(i) << 24;
        rows += QStringLiteral("%1(29, %2, 'Станция %3')").arg(i > 1 ? "," : "").arg(address).arg(i);
    }
    QVERIFY2(db.runSql("CREATE TABLE station (idtypest INT, ip1 INT UNSIGNED, namest VARCHAR(64)); "
                       "INSERT INTO station VALUES " + rows + ";"),
             qPrintable(db.error()));
    std::vector<std::unique_ptr<QProcess>> collectors;
    for (int k = 0; k < kCollectors; ++k) {
        const QString folder = work.filePath(QStringLiteral("collector%1").arg(k));
        QVERIFY(QDir().mkpath(folder));
        ServerSettings settings(folder + '/');
        QVERIFY(settings.savePelluxSettings({true, "QMYSQL", QStringLiteral("127.0.0.1:%1").arg(db.port()),
                                             ServerProcess::kMysqlDatabase, ServerProcess::kMysqlUser,
                                             ServerProcess::kMysqlPassword, 60}));
        collectors.push_back(std::make_unique<QProcess>());
        collectors.back()->start(QStringLiteral(DROVANE_CLI),
                                 {"serve", "--ini", settings.fileName(), "--log-dir", folder + "/logs", "--status",
                                  folder + "/status.json", "--shard", QStringLiteral("%1/%2").arg(k).arg(kCollectors)});
    }
    QList<QStringList> urls;
    const auto allListed = [&] {
        urls.clear();
        int total = 0;
        for (int k = 0; k < kCollectors; ++k) {
            QList<StatusFile::Device> devices;
            QDateTime generated;
            QString error;
            StatusFile::read(work.filePath(QStringLiteral("collector%1/status.json").arg(k)), &devices, &generated, &error);
            QStringList listed;
            for (const StatusFile::Device &device : qAsConst(devices))
                listed << device.url;
            total += listed.size();
            urls << listed;
        }
        return total == kStations;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allListed(), kRunTimeoutMs);
    QSet<QString> seen;
    for (const QStringList &listed : qAsConst(urls)) {
        QVERIFY(!listed.isEmpty());
        for (const QString &url : listed) {
            QVERIFY2(!seen.contains(url), qPrintable(url + " runs on two collectors"));
            seen.insert(url);
        }
    }
    QCOMPARE(seen.size(), kStations);
    for (const std::unique_ptr<QProcess> &collector : collectors) {
        collector->terminate();
        QVERIFY(collector->waitForFinished(kRunTimeoutMs));
        QCOMPARE(collector->exitCode(), 0);
    }
}

// drovane-cli status: 0 when every device is ok, 1 when any is not (or
// none is listed), 2 for a file that is not a whole status file.
void tst_DrovaneCli::statusExitCodes_data()
{
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<int>("truncateTo");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("all ok") << QStringList{"ok", "ok"} << -1 << 0 << "0 of 2 devices not ok";
    QTest::newRow("one stale") << QStringList{"ok", "stale"} << -1 << 1 << "1 of 2 devices not ok";
    QTest::newRow("never collected") << QStringList{"never-collected"} << -1 << 1 << "never-collected";
    QTest::newRow("no device") << QStringList{} << -1 << 1 << "0 of 0 devices not ok";
    QTest::newRow("half a file") << QStringList{"ok", "ok"} << 40 << 2 << "is not a status file";
    QTest::newRow("unknown state") << QStringList{"fine"} << -1 << 2 << "without a known state";
}

void tst_DrovaneCli::statusExitCodes()
{
    QFETCH(QStringList, states);
    QFETCH(int, truncateTo);
    QFETCH(int, status);
    QFETCH(QString, output);
    QList<StatusFile::Device> devices;
    for (const QString &key : states) {
        StatusFile::Device device;
        device.name = QStringLiteral("Пост ") + key;
        device.url = QStringLiteral("ftp://127.0.0.1/");
        if (!healthFromKey(key, &device.health.state))
            device.health.state = HealthState::NeverCollected;
        devices << device;
    }
    QByteArray json = StatusFile::toJson(devices, QDateTime::currentDateTime());
    HealthState known;
    if (!states.isEmpty() && !healthFromKey(states.first(), &known))
        json.replace("\"never-collected\"", "\"" + states.first().toUtf8() + "\"");
    if (truncateTo >= 0)
        json.truncate(truncateTo);
    QTemporaryDir work;
    QVERIFY(writeFile(work.filePath("status.json"), json));
    const Run run = runCli({"status", work.filePath("status.json")});
    QCOMPARE(run.status, status);
    QVERIFY2((run.out + run.err).contains(output), qPrintable(run.out + run.err));
}

// A device that stalls mid-file: SIGTERM waits for the file in progress, a
// second one ends at once and leaves the part received. The next run asks
// for the rest from 64 KiB before there; a SIGTERM during that download lets
// it finish: byte-identical, indexed, status 0 each time.
void tst_DrovaneCli::serveStopsAfterTheFileInProgress()
{
    constexpr int kPart = 150000;
    constexpr int kSecondPart = 100000;
    const QByteArray remote = TestRecording::random(400000, 35);
    FakeFtpServer device;
    QVERIFY(device.listen());
    device.serveFile(QStringLiteral("BIG.DAT"), remote);
    QSignalSpy paused(&device, &FakeFtpServer::transferPaused);
    const int restAt = kPart - int(VerifiedCopy::kOverlapBytes);

    QTemporaryDir work;
    const QString settings = writeSettings(work.filePath("stall.xml"), {{device.url(), work.path(), ""}});
    const QString local = work.filePath("BIG.DAT");
    for (const int stops : {2, 1}) {
        // The second run's transfer begins at restAt.
        device.setPauseAfter(stops == 2 ? kPart : kPart - restAt + kSecondPart);
        QProcess process;
        process.start(QStringLiteral(DROVANE_CLI), {"serve", settings});
        QByteArray out;
        const qint64 reached = stops == 2 ? kPart : kPart + kSecondPart;
        QVERIFY2(waitFor(process, &out, [&] { return !paused.isEmpty() && QFileInfo(local).size() >= reached; },
                         kRunTimeoutMs), out.constData());
        paused.clear();
        process.terminate();
        QVERIFY(waitFor(process, &out, [&] { return out.contains("Serve stop:"); }, kRunTimeoutMs));
        if (stops == 2) {
            QVERIFY(process.state() == QProcess::Running);
            process.terminate();
        } else {
            device.resumeTransfer();
        }
        QVERIFY(waitFor(process, &out, [&] { return process.state() == QProcess::NotRunning; }, kRunTimeoutMs)
                || process.state() == QProcess::NotRunning);
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        if (stops == 2) {
            device.dropTransfer();
            QVERIFY(readFile(local) == remote.left(kPart));
            QVERIFY(!QFile::exists(cachePathFor(local)));
        }
    }
    QVERIFY(device.commands().contains("rest " + QByteArray::number(restAt)));
    QVERIFY(readFile(local) == remote);
    QVERIFY(QFile::exists(cachePathFor(local)));
    QVERIFY(!QFile::exists(local + ".~1~"));
}

void tst_DrovaneCli::serveUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("no settings file") << QStringList{"serve"} << 2 << "usage: drovane-cli serve";
    QTest::newRow("log dir without value") << QStringList{"serve", "a.xml", "--log-dir"} << 2 << "needs a value";
    QTest::newRow("missing file") << QStringList{"serve", "/nonexistent/site.xml"} << 1 << "cannot open the file";
    QTest::newRow("not a settings file") << QStringList{"serve", QStringLiteral(DROVANE_CLI)} << 1 << "not a settings file";
    // A site runs the files it knows whole, or nothing.
    QTest::newRow("damaged settings file") << QStringList{"serve", m_work.filePath("damaged.xml"), "--log-dir", m_work.filePath("logs")}
                                           << 1 << "not read whole (line 4, column";
    QTest::newRow("relative destination") << QStringList{"serve", m_work.filePath("relative.xml")} << 1
                                          << "no device to run";
}

void tst_DrovaneCli::serveUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    const Run run = runCli(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    // What stopped it is in the log as well, before any device started.
    const int logDir = arguments.indexOf("--log-dir");
    if (logDir > 0 && logDir + 1 < arguments.size()) {
        const QDir logs(arguments.at(logDir + 1));
        const QString log = QString::fromLocal8Bit(readFile(logs.filePath(logs.entryList({"*.log"}).value(0))));
        QVERIFY2(log.contains("Error Serve: " + arguments.at(1) + ": " + message), qPrintable(log));
        QVERIFY(!log.contains("Set param to"));
    }
}

QTEST_GUILESS_MAIN(tst_DrovaneCli)
#include "tst_drovanecli.moc"
