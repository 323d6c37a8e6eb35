#include "drovanefetchcommand.h"

#include "clioutput.h"
#include "downloadsession.h"
#include "downloader.h"
#include "drovanearguments.h"
#include "indexcache.h"

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
    const bool existed = QFileInfo::exists(local);
    DownloadSession session({url, folder, args.value(QStringLiteral("--options"))});
    QString error;
    if (!session.fetch(name, pos, &error)) {
        // Leave no empty file behind for a name the device refused.
        if (!existed && Downloader::isSafeFileName(name) && QFileInfo(local).size() == 0)
            QFile::remove(local);
        CliOutput::printError(kProgram, error);
        return 1;
    }
    CliOutput::printOut(QStringLiteral("%1: %2 bytes (from byte %3), index cache %4\n")
                            .arg(local)
                            .arg(QFileInfo(local).size())
                            .arg(pos)
                            .arg(cachePathFor(local)));
    return 0;
}
