#include "intervalscommand.h"

#include "cli/clioutput.h"
#include "cli/indexedrecording.h"
#include "player/engine/intervalstreamhandles.h"

#include <QJsonArray>
#include <QJsonObject>

#include <memory>
#include <vector>

namespace {

const QString kProgram = QStringLiteral("velmora-cli intervals");
const QString kUsage = QStringLiteral("usage: velmora-cli intervals FILE --gap SECONDS [--channels ID,ID,...] [--json]");
const QString kNameKey = QStringLiteral("DESCRIPTION");
constexpr double kMsPerSecond = 1000.0;

struct IntervalsOptions
{
    QString input;
    double gapMs = -1;
    QList<uint> channels; // empty: every stream with frames
    bool json = false;
};

bool parseOptions(const QStringList &arguments, IntervalsOptions *options, QString *error)
{
    QStringList files;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (arg == QLatin1String("--json")) {
            options->json = true;
        } else if (arg == QLatin1String("--gap")) {
            bool ok = false;
            const double seconds = hasValue ? arguments.at(++i).toDouble(&ok) : -1;
            if (!ok || !qIsFinite(seconds) || seconds < 0) {
                *error = QStringLiteral("--gap needs a number of seconds");
                return false;
            }
            options->gapMs = seconds * kMsPerSecond;
        } else if (arg == QLatin1String("--channels")) {
            if (!hasValue || !parseStreamIds(arguments.at(++i), &options->channels)) {
                *error = QStringLiteral("--channels needs a list of stream ids, e.g. 1,2");
                return false;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            files.append(arg);
        }
    }
    if (files.size() != 1 || options->gapMs < 0) {
        *error = kUsage;
        return false;
    }
    options->input = files.first();
    return true;
}

// The interval reader for a descriptor's "TYPE"; null for other types.
std::unique_ptr<IntervalStreamHandle> createMember(const StreamDescriptor &descriptor)
{
    const QString type = descriptor.value(QStringLiteral("TYPE"));
    if (type == QLatin1String("audio"))
        return std::make_unique<AudioIntervalHandle>(descriptor);
    if (type == QLatin1String("text"))
        return std::make_unique<TextIntervalHandle>(descriptor);
    return nullptr;
}

QString intervalLine(double begin, double duration, const QStringList &names)
{
    return QStringLiteral("%1\t%2\t%3\n").arg(begin, 0, 'f', 0).arg(duration, 0, 'f', 0).arg(names.join(QStringLiteral(", ")));
}

} // namespace

int runIntervalsCommand(const QStringList &arguments)
{
    IntervalsOptions options;
    QString error;
    if (!parseOptions(arguments, &options, &error)) {
        CliOutput::printError(kProgram, error);
        return 2;
    }
    IndexedRecording recording;
    QList<StreamDescriptor> streams;
    if (const int status = recording.openForCommand(kProgram, options.input, options.channels, &streams))
        return status;

    std::vector<std::unique_ptr<IntervalStreamHandle>> members;
    StreamsIntervalHandle group;
    group.setNameKey(kNameKey);
    for (const StreamDescriptor &descriptor : qAsConst(streams)) {
        if (std::unique_ptr<IntervalStreamHandle> member = createMember(descriptor)) {
            member->setMaxGap(options.gapMs);
            group.addHandle(member.get());
            members.push_back(std::move(member));
        }
    }

    // Printed as found: a recording may hold millions of intervals.
    std::unique_ptr<CliOutput::JsonArrayPrinter> json;
    if (options.json)
        json = std::make_unique<CliOutput::JsonArrayPrinter>();
    group.open();
    for (group.next(); group.state() == StreamHandle::OnRecord; group.next()) {
        if (json) {
            json->add(QJsonObject{{QStringLiteral("begin_ms"), group.currentTime()},
                                  {QStringLiteral("duration_ms"), group.currentDuration()},
                                  {QStringLiteral("names"), QJsonArray::fromStringList(group.names())}});
        } else {
            CliOutput::printOutPart(intervalLine(group.currentTime(), group.currentDuration(), group.names()).toUtf8());
        }
    }
    group.close();
    if (json)
        json->finish();
    return 0;
}
