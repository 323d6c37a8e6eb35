#include "drovanelistcommand.h"

#include "cli/clioutput.h"
#include "cli/downloadsession.h"
#include "cli/drovanearguments.h"
#include "cli/listingreport.h"

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>

namespace {
const QString kProgram = QStringLiteral("drovane-cli list");
const QString kUsage = QStringLiteral("usage: drovane-cli list URL [--options TEXT] [--json]");
}

int runDrovaneListCommand(const QStringList &arguments)
{
    DrovaneArguments args({QStringLiteral("--options")}, {QStringLiteral("--json")});
    if (!args.parse(arguments) || args.positional().size() != 1) {
        CliOutput::printError(kProgram, args.error().isEmpty() ? kUsage : args.error());
        return 2;
    }
    const QString url = args.positional().first();
    const QString unsupported = unsupportedUrlMessage(url);
    if (!unsupported.isEmpty()) {
        CliOutput::printError(kProgram, unsupported);
        return 2;
    }
    // A listing writes no file; the folder parameter only has to exist.
    QTemporaryDir scratch;
    DownloadSession session({url, scratch.path(), args.value(QStringLiteral("--options"))});
    QStringList lines;
    QString error;
    if (!session.list(&lines, &error)) {
        CliOutput::printError(kProgram, error);
        return 1;
    }
    const ListingReport report = ListingReport::fromLines(lines);
    if (args.has(QStringLiteral("--json")))
        CliOutput::printOutBytes(QJsonDocument(report.toJson()).toJson(QJsonDocument::Indented));
    else
        CliOutput::printOut(report.toText());
    return 0;
}
