// drovane-cli: command-line companion of the collection server, on the
// server's own downloaders and scheduler.
#include "cli/clioutput.h"
#include "cli/drovanefetchcommand.h"
#include "cli/drovanelistcommand.h"
#include "cli/drovanepollcommand.h"
#include "cli/drovaneservecommand.h"
#include "cli/drovanestatuscommand.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

const QString kUsage = QStringLiteral(
    "usage: drovane-cli COMMAND ...\n"
    "  list URL [--options TEXT] [--json]                    a device's files\n"
    "  fetch URL NAME DEST [--resume] [--options TEXT]       download one file into DEST\n"
    "  poll URL DEST [--period MINUTES] [--options TEXT] [--cycles N]\n"
    "                                                        collect like the server\n"
    "  serve [SETTINGS.xml ...] [--log-dir DIR] [--ini FILE] [--status FILE] [--shard K/N]\n"
    "                                                        run the devices of settings\n"
    "                                                        files (and, with the INI\n"
    "                                                        file's Pellux/Usage on, of\n"
    "                                                        the monitoring database)\n"
    "                                                        until SIGINT/SIGTERM, their\n"
    "                                                        health kept in --status FILE;\n"
    "                                                        --shard K/N: this collector's\n"
    "                                                        part of the devices\n"
    "  status FILE                                           the devices' health from\n"
    "                                                        serve's status file; exit 1\n"
    "                                                        when any is not ok\n"
    "URL: ftp://HOST[:PORT]/PATH or tftp://HOST[:PORT]/PATH; TEXT: name=value pairs,\n"
    "e.g. codec=\"Windows-1251\" (FTP) or blksize=1500 (TFTP).\n");

} // namespace

namespace {

int run(const QString &command, const QStringList &arguments)
{
    if (command == QLatin1String("list"))
        return runDrovaneListCommand(arguments);
    if (command == QLatin1String("fetch"))
        return runDrovaneFetchCommand(arguments);
    if (command == QLatin1String("poll"))
        return runDrovanePollCommand(arguments);
    if (command == QLatin1String("serve"))
        return runDrovaneServeCommand(arguments);
    if (command == QLatin1String("status"))
        return runDrovaneStatusCommand(arguments);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        CliOutput::printOut(kUsage);
        return 0;
    }
    CliOutput::printError(QStringLiteral("drovane-cli"),
                          command.isEmpty() ? QStringLiteral("no command given") : QStringLiteral("unknown command %1").arg(command));
    CliOutput::printOut(kUsage);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return CliOutput::runProgram(QStringLiteral("drovane-cli"), app.arguments(), run);
}
