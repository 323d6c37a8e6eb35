// The collection server's monitoring and downloaded-file list:
//   - the downloaded-file list on a folder of 1,000 recordings: time to the
//     full list (every duration in) without caches (first open, each
//     recording indexed and its ".IND" cache written) and with them (second
//     open), and the GUI thread's longest stall during each (target < 50 ms);
//   - a monitoring poll of a 500-row station table on a real MariaDB server:
//     time from switching monitoring on to every station's device started
//     (target < 1 s) and to the end of every device's first cycle (TFTP
//     stations wait for their timeout there), the GUI's longest stall
//     (target < 50 ms);
//   - 500 idle devices on four real FTP servers (pyftpdlib takes 512
//     connections each): CPU time of one polling cycle of all devices, and
//     the GUI's longest stall while they poll (target < 16 ms).
//
// The 1,000 recordings are hard links to 20 different recordings of 3 MiB
// each (8 A-law channels), so the folder costs 60 MiB of disk; the files are
// read from the page cache. The stations' addresses are 127.0.x.y, so their
// schedulers only ever talk to the loopback interface.
//
// bench_serverwindows [FOLDER]: bench-data/serverwindows by default.
#include "bench/benchsupport.h"
#include "server/core/devicetreemodel.h"
#include "server/ui/downloadwindows/downloadedfilelistwidget.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/ui/downloadwindows/filelisttree.h"
#include "server/core/monitoring/pelluxmonitor.h"
#include "server/core/tests/support/serverprocess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QEventLoop>
#include <QSqlDatabase>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace ServerUi;

namespace {

constexpr int kRecordings = 1000;
constexpr int kDistinct = 20;
constexpr qint64 kRecordingBytes = 3 * 1024 * 1024;
constexpr int kStations = 500;
constexpr int kCheckMs = 2;
const int kStationTypes[] = {PelluxMonitor::LorvanP, PelluxMonitor::Zerva, PelluxMonitor::Mirel,
                             PelluxMonitor::LorvanS};

// Runs the event loop as the program does (blocking until something
// happens), checking `done` every kCheckMs: spinning processEvents would
// poll every socket of hundreds of devices far more often than the program.
bool waitBlocking(const std::function<bool()> &done, int timeoutMs = BenchSupport::kWaitMs)
{
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || timer.elapsed() > timeoutMs)
            loop.quit();
    });
    check.start(kCheckMs);
    if (!done())
        loop.exec();
    return done();
}

// A fresh folder of kRecordings names over kDistinct recordings.
bool makeFolder(const QString &folder)
{
    const QString originals = folder + "/originals";
    const QString list = folder + "/list";
    QDir(list).removeRecursively();
    if (!QDir().mkpath(originals) || !QDir().mkpath(list))
        return false;
    for (int i = 0; i < kDistinct; ++i) {
        const QString path = originals + QStringLiteral("/REC%1.DAT").arg(i);
        if (QFileInfo(path).size() == 0 && !BenchSupport::writeRandomAlawRecording(path, kRecordingBytes))
            return false;
        BenchSupport::warmPageCache(path);
    }
    for (int i = 0; i < kRecordings; ++i) {
        const QString from = originals + QStringLiteral("/REC%1.DAT").arg(i % kDistinct);
        const QString to = list + QStringLiteral("/%1.DAT").arg(i, 6, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
            return false;
    }
    return true;
}

// Opens the list on the folder and waits for every duration.
void openList(const QString &folder, const char *what)
{
    BenchSupport::StallMeter stalls;
    stalls.start();
    QElapsedTimer timer;
    timer.start();
    DownloadedFileListWidget window;
    window.resize(900, 700);
    window.show();
    window.setSource(folder);
    const double listedMs = timer.nsecsElapsed() / 1e6;
    if (!waitBlocking([&] { return !window.isScanning(); }))
        printf("  %s: durations did not arrive\n", what);
    const double doneMs = timer.nsecsElapsed() / 1e6;
    printf("  %-22s names listed %6.0f ms, every duration in %7.0f ms, longest GUI stall %5.1f ms (target < 50 ms);"
           " %d rows\n",
           what, listedMs, doneMs, stalls.stopMs(), window.fileTree()->topLevelItemCount());
}

bool benchPoll(const QString &folder)
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Mysql, &why) || !QSqlDatabase::isDriverAvailable("QMYSQL")) {
        printf("monitoring poll: skipped (%s)\n", qPrintable(why.isEmpty() ? QStringLiteral("no QMYSQL driver") : why));
        return true;
    }
    ServerProcess db(ServerProcess::Mysql);
    const QString dbRoot = folder + "/mariadb";
    QDir(dbRoot).removeRecursively();
    if (!db.start(dbRoot)) {
        fprintf(stderr, "MariaDB did not start: %s\n", qPrintable(db.error()));
        return false;
    }
    QString rows;
    for (int i = 0; i < kStations; ++i) {
        // 127.0.x.y with the least significant byte first.
        const uint address = 127u | (uint((i + 1) % 256) << 16) | (uint((i + 1) / 256 + 1) << 24);
        rows += QStringLiteral("%1(%2, %3, 'Станция %4')").arg(i ? "," : "").arg(kStationTypes[i % 4]).arg(address).arg(i);
    }
    if (!db.runSql("CREATE TABLE station (idtypest INT, ip1 INT UNSIGNED, namest VARCHAR(64)); "
                   "INSERT INTO station VALUES " + rows + ";")) {
        fprintf(stderr, "cannot fill the station table: %s\n", qPrintable(db.error()));
        return false;
    }
    const QString data = folder + "/monitoring/";
    QDir(data).removeRecursively();
    QDir().mkpath(data);

    DeviceTreeModel model;
    PelluxMonitor monitor(&model, data);
    int applied = -1;
    double appliedMs = -1;
    QElapsedTimer timer;
    QObject::connect(&monitor, &PelluxMonitor::pollApplied, [&](int devices) {
        if (applied < 0) {
            applied = devices;
            appliedMs = timer.nsecsElapsed() / 1e6;
        }
    });
    const auto allRunning = [&] {
        const int file = monitor.fileIndex();
        if (file < 0 || model.deviceCount(file) < kStations)
            return false;
        for (int d = 0; d < model.deviceCount(file); ++d) {
            DeviceHealthRecord health;
            if (!model.deviceHealth(file, d, &health) || health.cycles < 1)
                return false;
        }
        return true;
    };
    double firstDeviceMs = -1;
    double allStartedMs = -1;
    int started = 0;
    QObject::connect(&model, &DeviceTreeModel::deviceStarted, [&] {
        if (firstDeviceMs < 0)
            firstDeviceMs = timer.nsecsElapsed() / 1e6;
        if (++started == kStations)
            allStartedMs = timer.nsecsElapsed() / 1e6;
    });
    timer.start();
    BenchSupport::StallMeter stalls;
    stalls.start();
    monitor.apply({true, "QMYSQL", QStringLiteral("127.0.0.1:%1").arg(db.port()), ServerProcess::kMysqlDatabase,
                   ServerProcess::kMysqlUser, ServerProcess::kMysqlPassword, 60});
    const bool ok = waitBlocking(allRunning, 120000);
    const double runningMs = timer.nsecsElapsed() / 1e6;
    waitBlocking([&] { return applied >= 0; }, 60000);
    printf("monitoring poll of a %d-row station table: first device started after %.0f ms, every device started"
           " after %.0f ms (target < 1000 ms), the poll's end applied after %.0f ms (%d devices), every device's"
           " first cycle ended after %.0f ms%s; longest GUI stall %.1f ms (target < 50 ms)\n",
           kStations, firstDeviceMs, allStartedMs, appliedMs, applied, runningMs, ok ? "" : " (NOT REACHED)",
           stalls.stopMs());
    monitor.apply({false, "QMYSQL", "", "", "", "", 0});
    db.stop();
    return ok;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// 500 devices on four FTP servers; after their first cycle (which collects
// two small files each) every further cycle finds nothing new.
bool benchIdleDevices(const QString &folder)
{
    constexpr int kDevices = 500;
    constexpr int kServers = 4;
    constexpr int kPeriodMs = 20000;
    const QString root = folder + "/idle";
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/served");
    for (const char *name : {"REC1.DAT", "REC2.DAT"}) {
        QFile file(root + "/served/" + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(1024, 'r')) != 1024)
            return false;
    }
    std::vector<std::unique_ptr<ServerProcess>> servers;
    for (int k = 0; k < kServers; ++k) {
        servers.push_back(std::make_unique<ServerProcess>(ServerProcess::Ftp));
        if (!servers.back()->start(root + "/served")) {
            fprintf(stderr, "FTP server did not start: %s\n", qPrintable(servers.back()->error()));
            return false;
        }
    }
    DeviceTreeModel model;
    const int file = model.newFile(root + "/site.xml");
    for (int d = 0; d < kDevices; ++d) {
        model.addDevice(file, {"Dev", QStringLiteral("Device %1").arg(d), "1", servers[size_t(d % kServers)]->url(),
                               QStringLiteral("%1/dev%2").arg(root).arg(d), ""});
        DownloaderHandler *scheduler = model.scheduler(file, d);
        QMetaObject::invokeMethod(scheduler, [scheduler] { scheduler->setPeriod(kPeriodMs); }, Qt::QueuedConnection);
    }
    const auto allCycled = [&](int cycles) {
        return [&model, file, cycles] {
            for (int d = 0; d < model.deviceCount(file); ++d) {
                DeviceHealthRecord health;
                if (!model.deviceHealth(file, d, &health) || health.cycles < cycles)
                    return false;
            }
            return true;
        };
    };
    QElapsedTimer timer;
    timer.start();
    BenchSupport::StallMeter firstStalls;
    firstStalls.start();
    double cpu = cpuSeconds();
    const bool first = waitBlocking(allCycled(1), 120000);
    const double firstCpu = cpuSeconds() - cpu;
    const double firstMs = timer.nsecsElapsed() / 1e6;
    const double firstStall = firstStalls.stopMs();
    BenchSupport::StallMeter idleStalls;
    idleStalls.start();
    cpu = cpuSeconds();
    const bool idle = waitBlocking(allCycled(2), 120000);
    const double idleCpu = cpuSeconds() - cpu;
    const double idleStall = idleStalls.stopMs();
    int ok = 0;
    for (int d = 0; d < model.deviceCount(file); ++d) {
        DeviceHealthRecord health;
        model.deviceHealth(file, d, &health);
        ok += health.isOk() ? 1 : 0;
    }
    printf("%d devices on %d FTP servers: first cycle (2 files each) of all in %.0f ms%s, %.2f s CPU, longest GUI"
           " stall %.1f ms; an idle cycle of all: %.2f s CPU (this process, %.1f ms per device)%s, longest GUI stall"
           " %.1f ms (target < 16 ms) over the %d s period; %d devices ok\n",
           kDevices, kServers, firstMs, first ? "" : " (NOT REACHED)", firstCpu, firstStall, idleCpu,
           idleCpu * 1000 / kDevices, idle ? "" : " (NOT REACHED)", idleStall, kPeriodMs / 1000, ok);
    return first && idle;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = QFileInfo(app.arguments().value(1, QStringLiteral("bench-data/serverwindows"))).absoluteFilePath();
    if (!makeFolder(folder)) {
        fprintf(stderr, "cannot make the recordings in %s\n", qPrintable(folder));
        return 1;
    }
    printf("downloaded-file list on %d recordings of %lld MiB:\n", kRecordings, kRecordingBytes / 1048576);
    openList(folder + "/list", "first open (no cache)");
    openList(folder + "/list", "second open (caches)");
    const bool polled = benchPoll(folder);
    return benchIdleDevices(folder) && polled ? 0 : 1;
}
