#include "drovanefetchcommand.h"

#include "cli/clioutput.h"
#include "cli/downloadsession.h"
#include "server/core/downloaders/downloader.h"
#include "cli/drovanearguments.h"
#include "recording/indexcache.h"
#include "cli/listingreport.h"
#include "server/core/log/visibletext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString kProgram = QStringLiteral("drovane-cli fetch");
const QString kUsage = QStringLiteral("usage: drovane-cli fetch URL NAME DEST [--resume] [--options TEXT]");
}

int runDrovaneFetchCommand(const QStringList &arguments)
{
    DrovaneArguments args({QStringLiteral("--options")}, {QStringLiteral("--resume")});
    if (!args.parse(arguments) || args.positional().size() != 3) {
        CliOutput::printError(kProgram, args.error().isEmpty() ? kUsage : args.error());
        return 2;
    }
    const QString url = args.positional().at(0);
    const QString name = args.positional().at(1);
    const QString folder = args.positional().at(2);
    const QString unsupported = unsupportedUrlMessage(url);
    if (!unsupported.isEmpty()) {
        CliOutput::printError(kProgram, unsupported);
        return 2;
    }
    const QString local = QDir(folder).absoluteFilePath(name);
    const qulonglong pos = args.has(QStringLiteral("--resume")) ? qulonglong(QFileInfo(local).size()) : 0;
    DownloadSession session({url, QFileInfo(folder).absoluteFilePath(), args.value(QStringLiteral("--options"))});
    // The device's listing bounds the copy; a device that lists nothing
    // (or not this file) still serves the file, unbounded.
    qint64 listedSize = Downloader::kUnknownSize;
    QStringList lines;
    QString error;
    if (session.list(&lines, &error)) {
        const ListingReport listing = ListingReport::fromLines(lines);
        for (const ListingReport::Entry &entry : listing.entries()) {
            if (entry.name == name)
                listedSize = entry.size;
        }
    }
    error.clear();
    const bool ok = session.fetch(name, pos, listedSize, &error);
    for (const QString &note : session.notes())
        CliOutput::printError(kProgram, visibleText(note));
    if (!ok) {
        CliOutput::printError(kProgram, visibleText(error));
        return 1;
    }
    CliOutput::printOut(QStringLiteral("%1: %2 bytes (from byte %3), index cache %4\n")
                            .arg(visibleText(local))
                            .arg(QFileInfo(local).size())
                            .arg(session.keptVersion() ? 0 : pos)
                            .arg(visibleText(cachePathFor(local))));
    return 0;
}
