#include "infocommand.h"

#include "cli/clioutput.h"
#include "cli/recordingsummary.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString kProgram = QStringLiteral("velmora-cli info");
}

int runInfoCommand(const QStringList &arguments)
{
    QStringList files;
    bool json = false;
    for (const QString &arg : arguments) {
        if (arg == QLatin1String("--json"))
            json = true;
        else if (arg.startsWith(QLatin1String("--"))) {
            CliOutput::printError(kProgram, QStringLiteral("unknown option %1").arg(arg));
            return 2;
        } else {
            files.append(arg);
        }
    }
    if (files.size() != 1) {
        CliOutput::printError(kProgram, QStringLiteral("usage: velmora-cli info FILE [--json]"));
        return 2;
    }

    RecordingSummary summary;
    QString error;
    if (!RecordingSummary::read(files.first(), &summary, &error)) {
        CliOutput::printError(kProgram, error);
        return 1;
    }
    if (json)
        CliOutput::printOutBytes(QJsonDocument(summary.toJson()).toJson(QJsonDocument::Indented));
    else
        CliOutput::printOut(summary.toText());
    return 0;
}
