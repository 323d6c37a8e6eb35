#include "drovanepollcommand.h"

#include "cli/clioutput.h"
#include "server/core/settings/deviceparams.h"
#include "cli/downloadeventlog.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderfactory.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/downloaders/downloaderwiring.h"
#include "cli/drovanearguments.h"
#include "cli/stopsignalwatcher.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QScopedPointer>

namespace {

const QString kProgram = QStringLiteral("drovane-cli poll");
const QString kUsage = QStringLiteral("usage: drovane-cli poll URL DEST [--period MINUTES] [--options TEXT] [--cycles N]");
constexpr double kDefaultPeriodMinutes = 1.0;
constexpr double kMsPerMinute = 60000.0;
// The longest period a timer holds (ms).
constexpr double kMaxPeriodMs = 2147483647.0;

struct PollSettings
{
    QString url;
    QString folder;
    QString options;
    int periodMs = 0;
    int cycles = 0;   // 0: until a signal
};

bool readSettings(const QStringList &arguments, PollSettings *settings, QString *error)
{
    DrovaneArguments args({QStringLiteral("--period"), QStringLiteral("--options"), QStringLiteral("--cycles")}, {});
    if (!args.parse(arguments) || args.positional().size() != 2) {
        *error = args.error().isEmpty() ? kUsage : args.error();
        return false;
    }
    settings->url = args.positional().at(0);
    settings->folder = QFileInfo(args.positional().at(1)).absoluteFilePath();
    settings->options = args.value(QStringLiteral("--options"));
    *error = unsupportedUrlMessage(settings->url);
    if (!error->isEmpty())
        return false;
    bool ok = true;
    const double minutes = args.has(QStringLiteral("--period")) ? args.value(QStringLiteral("--period")).toDouble(&ok)
                                                                : kDefaultPeriodMinutes;
    if (!ok || !(minutes > 0) || minutes * kMsPerMinute > kMaxPeriodMs) {
        *error = QStringLiteral("--period needs a positive number of minutes");
        return false;
    }
    settings->periodMs = qMax(1, qRound(minutes * kMsPerMinute));
    if (args.has(QStringLiteral("--cycles"))) {
        settings->cycles = args.value(QStringLiteral("--cycles")).toInt(&ok);
        if (!ok || settings->cycles < 1) {
            *error = QStringLiteral("--cycles needs a whole number of at least 1");
            return false;
        }
    }
    return true;
}

} // namespace

int runDrovanePollCommand(const QStringList &arguments)
{
    PollSettings settings;
    QString error;
    if (!readSettings(arguments, &settings, &error)) {
        CliOutput::printError(kProgram, error);
        return 2;
    }
    QObject owner;
    const QStringList device = deviceParams(QStringLiteral("drovane-cli"), QString(), QString(), settings.url,
                                            settings.folder, settings.options);
    Downloader *downloader = createDownloader(downloaderParams(device), &owner);
    auto *handler = new DownloaderHandler(&owner);
    handler->setObjectName(downloader->objectName());
    handler->setParam(device);
    handler->setPeriod(settings.periodMs);
    wireDownloaderHandler(handler, downloader);
    new DownloadEventLog(downloader, handler, &owner);
    StopSignalWatcher watcher;

    QEventLoop loop;
    int cycles = 0;
    int failed = 0;
    bool stopRequested = false;
    QObject::connect(handler, &DownloaderHandler::cycleFinished, &loop, [&](bool succeeded) {
        ++cycles;
        failed += succeeded ? 0 : 1;
        if (stopRequested || cycles == settings.cycles)
            loop.quit();
    });
    QObject::connect(&watcher, &StopSignalWatcher::stopRequested, &loop, [&] {
        // The first signal lets the file in progress finish; a second one ends at once.
        if (!handler->isFetchingFile() || stopRequested)
            loop.quit();
        handler->endCycleAfterFile();
        stopRequested = true;
    });
    handler->startCycle();
    loop.exec();
    downloader->disconnect();
    downloader->stop();
    if (failed > 0)
        CliOutput::printError(kProgram, QStringLiteral("%1 of %2 cycles failed").arg(failed).arg(cycles));
    // Exit status 1 tells a script that nothing was collected at all.
    return cycles > 0 && failed == cycles ? 1 : 0;
}
