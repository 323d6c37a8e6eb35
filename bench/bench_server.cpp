// The collection server under a site's load, on loopback: 50 devices, each
// polled every minute for MINUTES minutes (default 5):
//  - 45 FTP devices on one real FTP server (pyftpdlib), one folder each,
//    each holding a recording that grows by GROWTH bytes every minute;
//  - 5 scripted devices that go silent: before the greeting, after USER,
//    after PASV, on the data connection of a listing, and in the middle of a
//    transfer.
// Run in-process through the desktop window (MainWindow, offscreen: the GUI
// thread's stalls), as the program Drovane (its CPU time without this
// harness's scripted servers and probes) and as drovane-cli serve. Reports per run: whether the 45 copies are
// byte-identical at the end and nothing was fetched twice (the FTP server's
// log counts every byte sent), how long each silent device took to give up
// against its limit (+10 % allowed), the longest gap between two polls of a
// working device, CPU time per downloaded MiB, and (desktop) the longest
// stall of the GUI thread.
//
// bench_server DATA_DIR [MINUTES=5]
#include "bench/benchsupport.h"
#include "server/core/devicetreemodel.h"
#include "server/core/tests/support/fakeftpserver.h"
#include "server/core/tests/support/listingfile.h"
#include "server/core/log/loghandler.h"
#include "server/core/downloaders/ftpdownloader.h"
#include "server/ui/mainwindow/mainwindow.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/core/settings/serversettings.h"
#include "server/core/settings/settingsfile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtConcurrent>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>

using namespace ServerUi;

namespace {

constexpr int kDevices = 45;
constexpr qint64 kInitialBytes = 4 * 1024 * 1024;
constexpr qint64 kGrowthBytes = 1024 * 1024;       // per device and minute
constexpr int kMsPerMinute = 60000;
constexpr int kSettleMs = 150000;                  // after the growth stops: one more poll of everyone
constexpr int kStallProbeMs = 5;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kAllowance = 1.10;
const QString kName = QStringLiteral("REC.DAT");

double cpuSecondsSelf()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of the calling thread (s).
double cpuSecondsThread()
{
    rusage usage = {};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15, the 12th and 13th after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// A silent device: how it is built, when its silence began (bench clock,
// wall time) and its limit.
struct Silent
{
    QString label;
    int limitMs = 0;
    std::unique_ptr<FakeFtpServer> fake;
    std::unique_ptr<QTcpServer> mute;   // a listener that never greets
    QString url;
    QList<QDateTime> silenceBegan;
};

class Site
{
public:
    explicit Site(const QString &dataDir) : m_dir(dataDir) {}

    bool prepare()
    {
        QDir(m_dir).removeRecursively();
        const QString root = m_dir + QStringLiteral("/root");
        for (int i = 0; i < kDevices; ++i) {
            QDir().mkpath(deviceFolder(i));
            const QString source = m_dir + QStringLiteral("/source/%1.rec").arg(i);
            QDir().mkpath(QFileInfo(source).path());
            if (!BenchSupport::writeRandomAlawRecording(source, kInitialBytes + 10 * kGrowthBytes))
                return false;
            m_sources << source;
        }
        if (!m_ftp.start(root)) {
            std::fprintf(stderr, "FTP server: %s\n", qPrintable(m_ftp.error()));
            return false;
        }
        return true;
    }

    // Serves every recording from its start again, initialBytes long.
    void reset()
    {
        for (int i = 0; i < kDevices; ++i)
            copyPrefix(i, kInitialBytes);
        m_served = kInitialBytes;
    }
    void grow()
    {
        m_served += kGrowthBytes;
        for (int i = 0; i < kDevices; ++i)
            copyPrefix(i, m_served);
    }

    QString deviceFolder(int i) const { return m_dir + QStringLiteral("/root/dev%1").arg(i, 2, 10, QLatin1Char('0')); }
    QString url(int i) const { return m_ftp.url(QStringLiteral("/dev%1/").arg(i, 2, 10, QLatin1Char('0'))); }
    QString served(int i) const { return deviceFolder(i) + QLatin1Char('/') + kName; }
    QString ftpLog() const { return m_ftp.logPath(); }

private:
    void copyPrefix(int i, qint64 bytes)
    {
        QFile source(m_sources.at(i));
        QFile target(served(i));
        if (source.open(QIODevice::ReadOnly) && target.open(QIODevice::ReadWrite)) {
            const qint64 have = target.size();
            source.seek(have);
            target.seek(have);
            target.write(source.read(qMax<qint64>(0, bytes - have)));
        }
    }

    QString m_dir;
    QStringList m_sources;
    ServerProcess m_ftp{ServerProcess::Ftp};
    qint64 m_served = 0;
};

std::vector<std::unique_ptr<Silent>> makeSilentDevices()
{
    std::vector<std::unique_ptr<Silent>> devices;
    const auto add = [&devices](const QString &label, int limitMs) {
        devices.push_back(std::make_unique<Silent>());
        devices.back()->label = label;
        devices.back()->limitMs = limitMs;
        return devices.back().get();
    };
    Silent *greeting = add(QStringLiteral("silent before the greeting"), FtpDownloader::kReplyTimeoutMs);
    greeting->mute = std::make_unique<QTcpServer>();
    greeting->mute->listen(QHostAddress::LocalHost);
    greeting->url = QStringLiteral("ftp://127.0.0.1:%1/").arg(greeting->mute->serverPort());
    QObject::connect(greeting->mute.get(), &QTcpServer::newConnection, greeting->mute.get(), [greeting] {
        while (QTcpSocket *socket = greeting->mute->nextPendingConnection()) {
            greeting->silenceBegan << QDateTime::currentDateTime();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });

    const QByteArray line = lsFileLine(QStringLiteral("HUNG.DAT"), 5000000, QDate::currentDate()).toLatin1() + "\r\n";
    const auto fake = [&](const QString &label, int limitMs, const QByteArray &silentCommand) {
        Silent *device = add(label, limitMs);
        device->fake = std::make_unique<FakeFtpServer>();
        device->fake->listen();
        device->url = device->fake->url();
        device->fake->setTransfer("LIST", {FakeFtpServer::reply("150 list\r\n"), FakeFtpServer::data(line),
                                           FakeFtpServer::closeData(), FakeFtpServer::reply("226 done\r\n")});
        QObject::connect(device->fake.get(), &FakeFtpServer::commandReceived, device->fake.get(),
                         [device, silentCommand](const QByteArray &command) {
                             if (command.startsWith(silentCommand))
                                 device->silenceBegan << QDateTime::currentDateTime();
                         });
        return device;
    };
    fake(QStringLiteral("silent after USER"), FtpDownloader::kReplyTimeoutMs, "user")->fake->setReply("USER", QByteArray());
    fake(QStringLiteral("silent after PASV"), FtpDownloader::kReplyTimeoutMs, "pasv")->fake->setReply("PASV", QByteArray());
    fake(QStringLiteral("silent data connection"), FtpDownloader::kStallTimeoutMs, "list")
        ->fake->setTransfer("LIST", {FakeFtpServer::reply("150 list\r\n")});
    fake(QStringLiteral("silent mid-transfer"), FtpDownloader::kStallTimeoutMs, "retr")
        ->fake->setTransfer("RETR", {FakeFtpServer::reply("150 sending\r\n"), FakeFtpServer::data(QByteArray(300000, 'x'))});
    return devices;
}

// Times (wall clock) of a downloader's log entries, by URL.
struct LogEvents
{
    std::map<QString, QList<QDateTime>> listStarts;
    std::map<QString, QList<QDateTime>> timeouts;
};

LogEvents readLog(const QString &path)
{
    LogEvents events;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return events;
    QMap<QString, QString> urlOf;  // downloader name -> URL
    const QRegularExpression setParam(QStringLiteral(": Set param to (\\w+): [^;]*; [^;]*; [^;]*; ([^;]+);"));
    const QRegularExpression entry(QStringLiteral("^\t(\\d\\d)\\.(\\d{3}) - \\w+ (\\w+): (.*)$"));
    QDateTime minute;
    for (const QString &line : QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char('\t'))) {
            minute = QDateTime::fromString(line, QStringLiteral("yyyy.MM.dd hh:mm"));
            continue;
        }
        const QRegularExpressionMatch setMatch = setParam.match(line);
        if (setMatch.hasMatch())
            urlOf.insert(setMatch.captured(1), setMatch.captured(2));
        const QRegularExpressionMatch match = entry.match(line);
        if (!match.hasMatch() || !urlOf.contains(match.captured(3)))
            continue;
        const QDateTime when = minute.addMSecs(match.captured(1).toInt() * 1000 + match.captured(2).toInt());
        const QString url = urlOf.value(match.captured(3));
        if (match.captured(4) == QLatin1String("Get file list start"))
            events.listStarts[url] << when;
        else if (match.captured(4) == QLatin1String("timeout"))
            events.timeouts[url] << when;
    }
    return events;
}

// RETR bytes the FTP server sent per file, from its log since `from` (bytes).
std::map<QString, qint64> sentBytes(const QString &ftpLog, qint64 from)
{
    std::map<QString, qint64> sent;
    QFile file(ftpLog);
    if (!file.open(QIODevice::ReadOnly))
        return sent;
    file.seek(from);
    const QRegularExpression retr(QStringLiteral("RETR (\\S+) completed=\\d bytes=(\\d+)"));
    for (const QString &line : QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = retr.match(line);
        if (match.hasMatch())
            sent[match.captured(1)] += match.captured(2).toLongLong();
    }
    return sent;
}

class Run
{
public:
    Run(Site &site, std::vector<std::unique_ptr<Silent>> &silent, const QString &work, int minutes)
        : m_site(site), m_silent(silent), m_work(work), m_minutes(minutes)
    {
    }

    // Writes the settings file; the local copies go below work/rec.
    QString settingsFile()
    {
        QDir(m_work).removeRecursively();
        // A device's folder is made on its first download, its parent not.
        QDir().mkpath(m_work + QStringLiteral("/rec"));
        SettingsFile::Content content;
        for (int i = 0; i < kDevices; ++i)
            content.devices << QStringList{"Zerva", QString::number(i), "1", m_site.url(i), local(i, QString()), ""};
        for (const auto &device : m_silent)
            content.devices << QStringList{"Zerva", device->label, "1", device->url, m_work + "/rec/silent", ""};
        const QString path = m_work + QStringLiteral("/site.xml");
        SettingsFile::write(path, content);
        return path;
    }
    QString local(int i, const QString &name = kName) const
    {
        const QString folder = m_work + QStringLiteral("/rec/dev%1").arg(i, 2, 10, QLatin1Char('0'));
        return name.isEmpty() ? folder : folder + QLatin1Char('/') + name;
    }

    // Runs the event loop through the growth and the settling, growing the
    // recordings every minute; stops early once all copies are complete
    // after the growth.
    void drive()
    {
        for (const auto &device : m_silent)
            device->silenceBegan.clear();
        m_logFrom = QFileInfo(m_site.ftpLog()).size();
        QEventLoop loop;
        QTimer growth;
        int grown = 0;
        // The recordings grow in a thread of their own: writing 45 MiB is
        // the devices' work, not the measured program's.
        QFuture<void> growing;
        QObject::connect(&growth, &QTimer::timeout, &loop, [&] {
            if (++grown < m_minutes)
                growing = QtConcurrent::run([this] {
                    const double before = cpuSecondsThread();
                    m_site.grow();
                    m_growthCpuMicroseconds += qint64((cpuSecondsThread() - before) * 1e6);
                });
            else
                growth.stop();
        });
        growth.start(kMsPerMinute);
        QTimer check;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (clock.elapsed() < qint64(m_minutes) * kMsPerMinute)
                return;
            if (allComplete() || clock.elapsed() > qint64(m_minutes) * kMsPerMinute + kSettleMs)
                loop.quit();
        });
        check.start(1000);
        loop.exec();
        growing.waitForFinished();
        m_elapsedMs = clock.elapsed();
    }

    bool allComplete() const
    {
        for (int i = 0; i < kDevices; ++i) {
            if (QFileInfo(local(i)).size() != QFileInfo(m_site.served(i)).size())
                return false;
        }
        return true;
    }

    void report(const QString &title, const QString &log, double cpuSeconds, qint64 longestStallMs) const
    {
        std::printf("== %s (%.1f min)\n", qPrintable(title), m_elapsedMs / 60000.0);
        int identical = 0;
        int twice = 0;
        double mib = 0;
        const std::map<QString, qint64> sent = sentBytes(m_site.ftpLog(), m_logFrom);
        for (int i = 0; i < kDevices; ++i) {
            identical += BenchSupport::sameContent(local(i), m_site.served(i)) ? 1 : 0;
            const qint64 size = QFileInfo(local(i)).size();
            mib += size / kMiB;
            const auto found = sent.find(m_site.served(i));
            if (found == sent.end() || found->second != size)
                ++twice;
        }
        std::printf("copies byte-identical: %d of %d; files whose bytes sent differ from their size: %d\n", identical,
                    kDevices, twice);
        const LogEvents events = readLog(log);
        for (const auto &device : m_silent) {
            qint64 worst = -1;
            int cycles = 0;
            const QList<QDateTime> timeouts = events.timeouts.count(device->url) ? events.timeouts.at(device->url)
                                                                                 : QList<QDateTime>();
            for (const QDateTime &began : device->silenceBegan) {
                for (const QDateTime &timeout : timeouts) {
                    if (timeout >= began) {
                        worst = qMax(worst, began.msecsTo(timeout));
                        ++cycles;
                        break;
                    }
                }
            }
            std::printf("%-28s limit %5d ms: longest %6lld ms over %d cycles %s\n", qPrintable(device->label),
                        device->limitMs, worst, cycles,
                        worst >= 0 && worst <= device->limitMs * kAllowance ? "ok" : "LATE OR NONE");
        }
        qint64 longestGap = 0;
        int fewest = INT32_MAX;
        for (int i = 0; i < kDevices; ++i) {
            const QList<QDateTime> starts = events.listStarts.count(m_site.url(i)) ? events.listStarts.at(m_site.url(i))
                                                                                     : QList<QDateTime>();
            fewest = qMin(fewest, int(starts.size()));
            for (int k = 1; k < starts.size(); ++k)
                longestGap = qMax(longestGap, starts.at(k - 1).msecsTo(starts.at(k)));
        }
        std::printf("working devices: fewest polls %d, longest gap between polls %lld ms (period %d ms)\n", fewest,
                    longestGap, kMsPerMinute);
        std::printf("downloaded %.1f MiB, CPU %.2f s, %.3f CPU s per MiB\n", mib, cpuSeconds, cpuSeconds / mib);
        if (longestStallMs >= 0)
            std::printf("GUI thread: longest stall %lld ms\n", longestStallMs);
    }

private:
    Site &m_site;
    std::vector<std::unique_ptr<Silent>> &m_silent;
    QString m_work;
    int m_minutes;
    qint64 m_logFrom = 0;
    qint64 m_elapsedMs = 0;
    std::atomic<qint64> m_growthCpuMicroseconds{0};

public:
    // CPU time the growing of the recordings took in this process (s).
    double growthCpuSeconds() const { return m_growthCpuMicroseconds / 1e6; }
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_server DATA_DIR [MINUTES=5]\n");
        return 2;
    }
    const QString dataDir = QString::fromLocal8Bit(argv[1]);
    const int minutes = argc > 2 ? qMax(1, atoi(argv[2])) : 5;
    Site site(dataDir + QStringLiteral("/site"));
    if (!site.prepare())
        return 1;
    std::vector<std::unique_ptr<Silent>> silent = makeSilentDevices();

    {
        // The desktop program's window with the settings file in its list.
        site.reset();
        Run run(site, silent, dataDir + QStringLiteral("/desktop"), minutes);
        const QString settings = run.settingsFile();
        const QString folder = dataDir + QStringLiteral("/desktop/app/");
        QDir().mkpath(folder);
        QSettings(folder + ServerSettings::kIniFileName, QSettings::IniFormat).setValue("FileList", QStringList{settings});
        const double cpuBefore = cpuSecondsSelf();
        MainWindow window(folder);
        window.show();
        qint64 longestStall = 0;
        QDateTime worstAt;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 stall = sinceTick.restart() - kStallProbeMs;
            if (stall > longestStall) {
                longestStall = stall;
                worstAt = QDateTime::currentDateTime();
            }
        });
        probe.start(kStallProbeMs);
        run.drive();
        probe.stop();
        // The program's share: without the growing of the devices' recordings.
        const double cpu = cpuSecondsSelf() - cpuBefore - run.growthCpuSeconds();
        const QString log = window.log()->filePath();
        run.report(QStringLiteral("Drovane (desktop window, in this process)"), log, cpu, longestStall);
        std::printf("(longest stall ended at %s)\n", qPrintable(worstAt.toString(QStringLiteral("hh:mm:ss.zzz"))));
    }
    {
        // The program Drovane itself (a portable copy, offscreen): its CPU
        // time alone, without this harness.
        site.reset();
        Run run(site, silent, dataDir + QStringLiteral("/program"), minutes);
        const QString settings = run.settingsFile();
        const QString folder = dataDir + QStringLiteral("/program/app/");
        QDir().mkpath(folder + QStringLiteral("tmp"));
        QFile::copy(QStringLiteral(DROVANE_PROGRAM), folder + QStringLiteral("Drovane"));
        QSettings(folder + ServerSettings::kIniFileName, QSettings::IniFormat).setValue("FileList", QStringList{settings});
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TMPDIR"), folder + QStringLiteral("tmp"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.start(folder + QStringLiteral("Drovane"), QStringList());
        program.waitForStarted();
        run.drive();
        const double cpu = cpuSecondsOf(program.processId());
        program.terminate();
        program.waitForFinished(120000);
        const QStringList logs = QDir(folder).entryList({QStringLiteral("*.log")});
        run.report(QStringLiteral("Drovane (the program, offscreen)"), folder + logs.value(0), cpu, -1);
    }
    {
        site.reset();
        Run run(site, silent, dataDir + QStringLiteral("/serve"), minutes);
        const QString settings = run.settingsFile();
        const QString logDir = dataDir + QStringLiteral("/serve/log");
        QProcess serve;
        serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        serve.setStandardOutputFile(QProcess::nullDevice());
        serve.start(QStringLiteral(DROVANE_CLI), {QStringLiteral("serve"), settings, QStringLiteral("--log-dir"), logDir});
        serve.waitForStarted();
        run.drive();
        const double cpu = cpuSecondsOf(serve.processId());
        serve.terminate();
        serve.waitForFinished(120000);
        const QStringList logs = QDir(logDir).entryList({QStringLiteral("*.log")});
        run.report(QStringLiteral("drovane-cli serve"), logDir + QLatin1Char('/') + logs.value(0), cpu, -1);
    }
    return 0;
}
