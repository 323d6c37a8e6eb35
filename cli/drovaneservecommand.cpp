#include "drovaneservecommand.h"

#include "cli/clioutput.h"
#include "cli/drovanearguments.h"
#include "server/core/serverunner.h"
#include "cli/stopsignalwatcher.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace {

const QString kProgram = QStringLiteral("drovane-cli serve");
const QString kUsage = QStringLiteral("usage: drovane-cli serve [SETTINGS.xml ...] [--log-dir DIR] [--ini FILE]");
const QString kLogDir = QStringLiteral("--log-dir");
const QString kIni = QStringLiteral("--ini");

} // namespace

int runDrovaneServeCommand(const QStringList &arguments)
{
    DrovaneArguments args({kLogDir, kIni}, {});
    if (!args.parse(arguments) || (args.positional().isEmpty() && !args.has(kIni))) {
        CliOutput::printError(kProgram, args.error().isEmpty() ? kUsage : args.error());
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
    QString error;
    if (args.has(kIni) && !runner.useMonitoring(args.value(kIni), &error)) {
        CliOutput::printError(kProgram, error);
        return 1;
    }
    if (!runner.open(paths, &error)) {
        runner.flushLog();
        CliOutput::printError(kProgram, error);
        return 1;
    }
    QEventLoop loop;
    QObject::connect(&watcher, &StopSignalWatcher::stopRequested, &runner, &ServeRunner::requestStop);
    QObject::connect(&runner, &ServeRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return 0;
}
