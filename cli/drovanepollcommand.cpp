#include "drovanepollcommand.h"

#include "clioutput.h"
#include "deviceparams.h"
#include "downloadeventlog.h"
#include "downloader.h"
#include "downloaderfactory.h"
#include "downloaderhandler.h"
#include "downloaderwiring.h"
#include "drovanearguments.h"
#include "stopsignalwatcher.h"

#include <QEventLoop>
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
    settings->folder = args.positional().at(1);
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
    handler->setParam(device);
    handler->setPeriod(settings.periodMs);
    wireDownloaderHandler(handler, downloader);
    new DownloadEventLog(downloader, handler, &owner);
    StopSignalWatcher watcher;

    QEventLoop loop;
    int cycles = 0;
    bool fileInProgress = false;
    bool stopRequested = false;
    QObject::connect(handler, QOverload<QString, ulong>::of(&DownloaderHandler::downloadGotFile), &loop,
                     [&] { fileInProgress = true; });
    QObject::connect(handler, &DownloaderHandler::cycleFinished, &loop, [&] {
        fileInProgress = false;
        ++cycles;
        if (stopRequested || cycles == settings.cycles)
            loop.quit();
    });
    QObject::connect(&watcher, &StopSignalWatcher::stopRequested, &loop, [&] {
        // The first signal lets the file in progress finish; a second one ends at once.
        if (!fileInProgress || stopRequested)
            loop.quit();
        stopRequested = true;
    });
    handler->startCycle();
    loop.exec();
    downloader->disconnect();
    downloader->stop();
    return 0;
}
