// The program Drovane itself, as a site runs it: a portable copy whose
// folder holds Drovane.ini, collecting from real FTP and TFTP servers on
// loopback; one instance at a time, also after a crash; "--hide" with and
// without a system tray under Xvfb.
#include "server/core/tests/support/listingfile.h"
#include "testsupport/testfiles.h"
#include "recording/indexcache.h"
#include "recording/recordingindexer.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/core/settings/settingsfile.h"
#include "testsupport/testrecording.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kCollectMs = 60000;
constexpr int kStartMs = 20000;
// How long a refused start is watched for a window of its own (ms).
constexpr int kRefusedWatchMs = 1500;

// One portable copy of the program with its own folder and its own
// temporary folder (the single-instance keys live there).
class Installation
{
public:
    bool prepare(const QStringList &settingsFiles)
    {
        const QString program = m_dir.filePath("Drovane");
        if (!QFile::copy(QStringLiteral(DROVANE_PROGRAM), program) || !QDir().mkpath(m_dir.filePath("tmp"))
            || !QDir().mkpath(m_dir.filePath("run")))
            return false;
        QFile::setPermissions(m_dir.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QSettings ini(m_dir.filePath("Drovane.ini"), QSettings::IniFormat);
        ini.setValue("FileList", settingsFiles);
        ini.sync();
        return ini.status() == QSettings::NoError;
    }

    // Starts the program; display empty: offscreen.
    std::unique_ptr<QProcess> start(const QStringList &arguments = {}, const QString &display = QString()) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", m_dir.filePath("tmp"));
        environment.insert("XDG_RUNTIME_DIR", m_dir.filePath("run"));
        if (display.isEmpty()) {
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            environment.insert("QT_QPA_PLATFORM", "xcb");
            environment.insert("DISPLAY", display);
        }
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(m_dir.filePath("Drovane"), arguments);
        return process;
    }

    QStringList logs() const { return QDir(m_dir.path()).entryList({"*.log"}, QDir::Files, QDir::Name); }
    QString log(int index) const { return QString::fromLocal8Bit(readFile(m_dir.filePath(logs().value(index)))); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(kStartMs)) {
        process.kill();
        process.waitForFinished();
    }
}

QString runXwininfo(const QString &display, const QStringList &arguments)
{
    QProcess xwininfo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    xwininfo.setProcessEnvironment(environment);
    xwininfo.start("xwininfo", arguments);
    xwininfo.waitForFinished();
    return QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
}

// The map state of the main window (titled "Drovane", 800 x 500; the tray
// icon's window has the same title) on display, empty when there is none.
QString mapState(const QString &display)
{
    const QRegularExpression mainWindow("^\\s*(0x[0-9a-f]+) \"Drovane\".* 800x500\\+", QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = mainWindow.match(runXwininfo(display, {"-root", "-tree"}));
    if (!match.hasMatch())
        return QString();
    const QString out = runXwininfo(display, {"-id", match.captured(1)});
    const int at = out.indexOf("Map State: ");
    return at < 0 ? QString() : out.mid(at + 11).section('\n', 0, 0).trimmed();
}

} // namespace

class tst_DrovaneApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void collectsAndRunsOnce();
    void hideNeedsATray_data();
    void hideNeedsATray();

private:
    QTemporaryDir m_ftpRoot;
    QTemporaryDir m_tftpRoot;
    QTemporaryDir m_work;
    ServerProcess m_ftp{ServerProcess::Ftp};
    ServerProcess m_tftp{ServerProcess::Tftp};
    QByteArray m_ftpRecording;
    QByteArray m_tftpRecording;
    QString m_settings;
};

void tst_DrovaneApp::initTestCase()
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Ftp, &why) || !ServerProcess::available(ServerProcess::Tftp, &why))
        QFAIL(qPrintable(why));
    m_ftpRecording = TestRecording::random(2000000, 41);
    m_tftpRecording = TestRecording::random(700000, 42);
    QVERIFY(writeFile(m_ftpRoot.filePath("REC1.DAT"), m_ftpRecording));
    QVERIFY(writeFile(m_tftpRoot.filePath("REC1.DAT"), m_tftpRecording));
    QVERIFY(writeTftpList(m_tftpRoot.path()));
    QVERIFY2(m_ftp.start(m_ftpRoot.path()), qPrintable(m_ftp.error()));
    QVERIFY2(m_tftp.start(m_tftpRoot.path()), qPrintable(m_tftp.error()));

    SettingsFile::Content content;
    content.devices << QStringList{"Zerva", "Пост 1", "1", m_ftp.url(), m_work.filePath("ftp"), "codec=\"Windows-1251\""}
                    << QStringList{"Lorvan", "Пост 2", "1", m_tftp.url(), m_work.filePath("tftp"), "blksize=1500"};
    m_settings = m_work.filePath("site.xml");
    QCOMPARE(SettingsFile::write(m_settings, content), SettingsFile::Ok);
}

// Both devices' recordings arrive byte-identical with their index caches
// and the log tells it; a second start is refused (no window, no log of its
// own) while the first runs; after the first is killed (SIGKILL leaves its
// single-instance segment behind) a new start runs.
void tst_DrovaneApp::collectsAndRunsOnce()
{
    Installation installation;
    QVERIFY(installation.prepare({m_settings}));
    const QString ftpCopy = m_work.filePath("ftp/REC1.DAT"), tftpCopy = m_work.filePath("tftp/REC1.DAT");
    std::unique_ptr<QProcess> first = installation.start();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cachePathFor(ftpCopy)) && QFile::exists(cachePathFor(tftpCopy)), kCollectMs);
    QVERIFY(readFile(ftpCopy) == m_ftpRecording);
    QVERIFY(readFile(tftpCopy) == m_tftpRecording);
    RecordingIndexer indexer;
    QVERIFY(loadCache(indexer, cachePathFor(tftpCopy)));
    QCOMPARE(indexer.streamCount(), TestRecording::kRandomStreams);

    QTRY_VERIFY(installation.log(0).contains("Info TftpDownloader_1: Get file do"));
    const QString log = installation.log(0);
    const QStringList entries{
        "Info MainWindow: Data folder " + installation.path(""),
        "Info MainWindow: Open file " + m_settings,
        QString("Info MainWindow: Set param to FtpDownloader_0: Zerva; Пост 1; 1; %1; %2; codec=\"Windows-1251\" at %3")
            .arg(m_ftp.url(), m_work.filePath("ftp"), m_settings),
        "Info FtpDownloader_0: Start", "Info FtpDownloader_0: Get file list start",
        "Info FtpDownloader_0: Get file list do", "Info FtpDownloader_0: Get file start /REC1.DAT",
        "Info FtpDownloader_0: Get file do", "Info TftpDownloader_1: Get file start REC1.DAT"};
    for (const QString &entry : entries)
        QVERIFY2(log.contains(entry), qPrintable(entry + "\nnot in\n" + log));
    QVERIFY(QRegularExpression("^\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d\n\t\\d\\d\\.\\d{3} - Info MainWindow: ").match(log).hasMatch());

    std::unique_ptr<QProcess> second = installation.start();
    QVERIFY(second->waitForStarted());
    QTest::qWait(kRefusedWatchMs);
    QCOMPARE(installation.logs().size(), 1);
    QCOMPARE(second->state(), QProcess::Running);  // its refusal box waits for the user
    stop(*second);
    QCOMPARE(first->state(), QProcess::Running);

    ::kill(pid_t(first->processId()), SIGKILL);
    QVERIFY(first->waitForFinished(kStartMs));
    std::unique_ptr<QProcess> third = installation.start();
    QTRY_VERIFY_WITH_TIMEOUT(installation.logs().size() == 2 && installation.log(1).contains("Open file " + m_settings),
                             kStartMs);
    std::unique_ptr<QProcess> fourth = installation.start();
    QTest::qWait(kRefusedWatchMs);
    QCOMPARE(installation.logs().size(), 2);
    stop(*fourth);
    stop(*third);
}

void tst_DrovaneApp::hideNeedsATray_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("shown");  // the window after "--hide"
    QTest::newRow("with a tray: only the icon") << true << false;
    QTest::newRow("without a tray: the window shows") << false << true;
}

// "--hide" starts with only the tray icon where there is a tray; without
// one the window shows, or the program could not be reached.
void tst_DrovaneApp::hideNeedsATray()
{
    QFETCH(bool, tray);
    QFETCH(bool, shown);
    const ServerProcess::Kind kind = tray ? ServerProcess::XvfbWithTray : ServerProcess::Xvfb;
    QString why;
    if (!ServerProcess::available(kind, &why))
        QSKIP(qPrintable(why));
    ServerProcess display(kind);
    QVERIFY2(display.start(QString()), qPrintable(display.error()));
    Installation installation;
    QVERIFY(installation.prepare({}));
    std::unique_ptr<QProcess> program = installation.start({"--hide"}, display.display());
    QTRY_VERIFY_WITH_TIMEOUT(installation.logs().size() == 1, kStartMs);
    const auto viewable = [&display] { return mapState(display.display()) == QLatin1String("IsViewable"); };
    if (shown)
        QTRY_VERIFY_WITH_TIMEOUT(viewable(), kStartMs);
    QTest::qWait(kRefusedWatchMs);
    QCOMPARE(viewable(), shown);
    QCOMPARE(program->state(), QProcess::Running);
    stop(*program);
}

QTEST_GUILESS_MAIN(tst_DrovaneApp)
#include "tst_drovaneapp.moc"
