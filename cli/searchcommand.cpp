#include "searchcommand.h"

#include "cli/clioutput.h"
#include "player/engine/framestreamhandles.h"
#include "cli/indexedrecording.h"
#include "player/engine/streamssearchhandle.h"

#include <QJsonArray>
#include <QJsonObject>

#include <memory>
#include <vector>

namespace {

const QString kProgram = QStringLiteral("velmora-cli search");
const QString kUsage = QStringLiteral("usage: velmora-cli search FILE [TEXT] [--json]");

struct SearchOptions
{
    QString input;
    QString text; // empty: every text
    bool json = false;
};

bool parseOptions(const QStringList &arguments, SearchOptions *options, QString *error)
{
    QStringList words;
    for (const QString &arg : arguments) {
        if (arg == QLatin1String("--json")) {
            options->json = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            words.append(arg);
        }
    }
    if (words.isEmpty() || words.size() > 2) {
        *error = kUsage;
        return false;
    }
    options->input = words.at(0);
    options->text = words.value(1);
    return true;
}

} // namespace

int runSearchCommand(const QStringList &arguments)
{
    SearchOptions options;
    QString error;
    if (!parseOptions(arguments, &options, &error)) {
        CliOutput::printError(kProgram, error);
        return 2;
    }
    IndexedRecording recording;
    if (!recording.open(options.input, &error)) {
        CliOutput::printError(kProgram, error);
        return 1;
    }

    std::vector<std::unique_ptr<TextStreamHandle>> members;
    StreamsSearchHandle group;
    for (const StreamDescriptor &descriptor : recording.allStreams()) {
        if (descriptor.value(QStringLiteral("TYPE")) == QLatin1String("text")) {
            members.push_back(std::make_unique<TextStreamHandle>(descriptor));
            group.addHandle(members.back().get());
        }
    }

    // Printed as found: a recording may hold millions of text frames.
    std::unique_ptr<CliOutput::JsonArrayPrinter> json;
    if (options.json)
        json = std::make_unique<CliOutput::JsonArrayPrinter>();
    group.open();
    for (group.next(); group.state() == StreamHandle::OnRecord; group.next()) {
        const double time = group.currentTime();
        QString text;
        if (group.currentText(&text) != 0 || !text.contains(options.text, Qt::CaseInsensitive))
            continue;
        if (json)
            json->add(QJsonObject{{QStringLiteral("time_ms"), time}, {QStringLiteral("text"), text}});
        else
            CliOutput::printOutPart(QStringLiteral("%1\t%2\n").arg(time, 0, 'f', 0).arg(text).toUtf8());
    }
    group.close();
    if (json)
        json->finish();
    return 0;
}
