// velmora-cli: command-line companion of the player.
#include "cli/clioutput.h"
#include "cli/decodecommand.h"
#include "cli/exportcommand.h"
#include "cli/infocommand.h"
#include "cli/intervalscommand.h"
#include "cli/searchcommand.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

const QString kUsage = QStringLiteral(
    "usage: velmora-cli COMMAND ...\n"
    "  info FILE [--json]           sections and streams of a recording\n"
    "  export FILE OUT.wav [--begin MS] [--duration MS] [--with-pauses] [--channels ID,...] [--rate HZ] [--gain ID=DB ...]\n"
    "                               mixed audio of a time range to a WAV file\n"
    "  intervals FILE --gap SECONDS [--channels ID,...] [--json]\n"
    "                               activity intervals of the streams\n"
    "  search FILE [TEXT] [--json]  text frames containing TEXT (case-insensitive)\n"
    "  decode --encoding ENC IN OUT raw coded bytes to 16-bit little-endian samples\n");

} // namespace

namespace {

int run(const QString &command, const QStringList &arguments)
{
    if (command == QLatin1String("info"))
        return runInfoCommand(arguments);
    if (command == QLatin1String("export"))
        return runExportCommand(arguments);
    if (command == QLatin1String("intervals"))
        return runIntervalsCommand(arguments);
    if (command == QLatin1String("search"))
        return runSearchCommand(arguments);
    if (command == QLatin1String("decode"))
        return runDecodeCommand(arguments);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        CliOutput::printOut(kUsage);
        return 0;
    }
    CliOutput::printError(QStringLiteral("velmora-cli"),
                          command.isEmpty() ? QStringLiteral("no command given") : QStringLiteral("unknown command %1").arg(command));
    CliOutput::printOut(kUsage);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return CliOutput::runProgram(QStringLiteral("velmora-cli"), app.arguments(), run);
}
