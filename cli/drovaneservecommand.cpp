#include "drovaneservecommand.h"

#include "cli/clioutput.h"
#include "cli/drovanearguments.h"
#include "server/core/serverunner.h"
#include "cli/stopsignalwatcher.h"
#include "server/core/systemdnotifier.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace {

const QString kProgram = QStringLiteral("drovane-cli serve");
const QString kUsage = QStringLiteral(
    "usage: drovane-cli serve [SETTINGS.xml ...] [--log-dir DIR] [--ini FILE] [--status FILE] [--shard K/N]");
const QString kLogDir = QStringLiteral("--log-dir");
const QString kIni = QStringLiteral("--ini");
const QString kStatus = QStringLiteral("--status");
const QString kShard = QStringLiteral("--shard");
constexpr int kMaxShards = 1000;

// "K/N" with 0 <= K < N <= kMaxShards.
bool parseShard(const QString &text, DeviceTreeModel::Shard *shard)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    bool indexOk = false, countOk = false;
    if (parts.size() != 2)
        return false;
    shard->index = parts.at(0).toInt(&indexOk);
    shard->count = parts.at(1).toInt(&countOk);
    return indexOk && countOk && shard->count >= 1 && shard->count <= kMaxShards && shard->index >= 0
        && shard->index < shard->count;
}

} // namespace

int runDrovaneServeCommand(const QStringList &arguments)
{
    DrovaneArguments args({kLogDir, kIni, kStatus, kShard}, {});
    if (!args.parse(arguments) || (args.positional().isEmpty() && !args.has(kIni))) {
        CliOutput::printError(kProgram, args.error().isEmpty() ? kUsage : args.error());
        return 2;
    }
    DeviceTreeModel::Shard shard;
    if (args.has(kShard) && !parseShard(args.value(kShard), &shard)) {
        CliOutput::printError(kProgram, QStringLiteral("--shard takes K/N with 0 <= K < N <= %1, not \"%2\"")
                                            .arg(kMaxShards).arg(args.value(kShard)));
        return 2;
    }
    const QString logDir = args.value(kLogDir);
    if (args.has(kLogDir) && !QFileInfo(logDir).isDir() && !QDir().mkpath(logDir)) {
        CliOutput::printError(kProgram, QStringLiteral("cannot create the log folder %1").arg(logDir));
        return 1;
    }
    // Settings files are named as given; the model keeps absolute paths so
    // that the log names them unambiguously.
    QStringList paths;
    for (const QString &path : args.positional())
        paths << QFileInfo(path).absoluteFilePath();

    StopSignalWatcher watcher;
    ServeRunner runner(args.has(kLogDir) ? QFileInfo(logDir).absoluteFilePath() : QString());
    runner.setShard(shard);
    QString error;
    if (args.has(kIni) && !runner.useMonitoring(args.value(kIni), &error)) {
        CliOutput::printError(kProgram, error);
        return 1;
    }
    if (args.has(kStatus) && !runner.useStatusFile(QFileInfo(args.value(kStatus)).absoluteFilePath(), &error)) {
        CliOutput::printError(kProgram, error);
        return 1;
    }
    if (!runner.open(paths, &error)) {
        runner.flushLog();
        CliOutput::printError(kProgram, error);
        return 1;
    }
    SystemdNotifier systemd;
    systemd.ready();
    QEventLoop loop;
    QObject::connect(&watcher, &StopSignalWatcher::stopRequested, &systemd, &SystemdNotifier::stopping);
    QObject::connect(&watcher, &StopSignalWatcher::stopRequested, &runner, &ServeRunner::requestStop);
    QObject::connect(&runner, &ServeRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return 0;
}
