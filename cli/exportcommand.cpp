#include "exportcommand.h"

#include "codecs/audiocodec.h"
#include "cli/clioutput.h"
#include "cli/indexedrecording.h"
#include "player/engine/savethread.h"
#include "player/engine/streamsamplerate.h"

#include <QEventLoop>

#include <algorithm>

#include <cstdio>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral("velmora-cli export");
const QString kUsage = QStringLiteral(
    "usage: velmora-cli export FILE OUT.wav [--begin MS] [--duration MS] [--with-pauses] "
    "[--channels ID,ID,...] [--rate HZ] [--gain ID=DB ...]");
constexpr double kWholeRecording = IndexFormat::kNoTime; // ms: up to the last frame
constexpr int kBarWidth = 40;                    // characters

struct ExportOptions
{
    QString input;
    QString output;
    double begin = 0;                  // ms after the base
    double duration = kWholeRecording; // ms
    bool withPauses = false;
    QList<uint> channels;              // empty: every audio stream with frames
    int rate = 0;                      // Hz; 0: the channel dialog's rule
    QMap<uint, double> gainsDb;        // stream id -> gain in dB (--gain, repeatable)
};

// "ID=DB" with a whole stream id and a gain within the player's range.
bool parseGain(const QString &text, QMap<uint, double> *gains)
{
    const int equals = text.indexOf(QLatin1Char('='));
    bool idOk = false;
    bool dbOk = false;
    const uint id = text.left(equals).trimmed().toUInt(&idOk, 10);
    const double db = text.mid(equals + 1).trimmed().toDouble(&dbOk);
    if (equals < 0 || !idOk || !dbOk || !(db >= ReaderGroup::kGainMinDb && db <= ReaderGroup::kGainMaxDb))
        return false;
    gains->insert(id, db);
    return true;
}

bool parseMs(const QString &text, double *value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && qIsFinite(*value);
}

// Fills *options from the arguments; false with *error for bad usage.
bool parseOptions(const QStringList &arguments, ExportOptions *options, QString *error)
{
    QStringList files;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (arg == QLatin1String("--with-pauses")) {
            options->withPauses = true;
        } else if (arg == QLatin1String("--begin") || arg == QLatin1String("--duration")) {
            double *target = arg == QLatin1String("--begin") ? &options->begin : &options->duration;
            if (!hasValue || !parseMs(arguments.at(++i), target) || *target < 0) {
                *error = QStringLiteral("%1 needs a number of milliseconds").arg(arg);
                return false;
            }
        } else if (arg == QLatin1String("--channels")) {
            if (!hasValue || !parseStreamIds(arguments.at(++i), &options->channels)) {
                *error = QStringLiteral("--channels needs a list of stream ids, e.g. 1,2");
                return false;
            }
        } else if (arg == QLatin1String("--gain")) {
            if (!hasValue || !parseGain(arguments.at(++i), &options->gainsDb)) {
                *error = QStringLiteral("--gain needs ID=DB, a stream id and a gain of %1..%2 dB, e.g. 2=-6")
                             .arg(ReaderGroup::kGainMinDb).arg(ReaderGroup::kGainMaxDb);
                return false;
            }
        } else if (arg == QLatin1String("--rate")) {
            bool ok = false;
            options->rate = hasValue ? arguments.at(++i).toInt(&ok, 10) : 0;
            if (!ok || !SampleRate::isValid(options->rate)) {
                *error = QStringLiteral("--rate needs a sample rate in Hz (%1..%2)").arg(SampleRate::kMin).arg(SampleRate::kMax);
                return false;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            files.append(arg);
        }
    }
    if (files.size() != 2) {
        *error = kUsage;
        return false;
    }
    options->input = files.at(0);
    options->output = files.at(1);
    return true;
}

// A progress bar on stderr, redrawn when the whole percentage changes.
class ProgressBar
{
public:
    ProgressBar() : m_enabled(isatty(fileno(stderr)) != 0) {}
    void show(double fraction)
    {
        const int percent = int(qBound(0.0, fraction, 1.0) * 100);
        if (!m_enabled || percent == m_shown)
            return;
        m_shown = percent;
        const int filled = percent * kBarWidth / 100;
        fprintf(stderr, "\rexport [%s%s] %3d%%", QByteArray(filled, '#').constData(),
                QByteArray(kBarWidth - filled, ' ').constData(), percent);
        fflush(stderr);
    }
    void end()
    {
        if (m_enabled && m_shown >= 0)
            fputc('\n', stderr);
        m_shown = -1;
    }

private:
    bool m_enabled;
    int m_shown = -1;
};

// Runs one export on a SaveThread; true when the file was completed.
bool runExport(const ExportOptions &options, const QList<StreamDescriptor> &streams, QString *error)
{
    SaveThread thread;
    thread.setSampleRate(uint(options.rate));
    thread.setStreams(streams);
    thread.setFileName(options.output);
    thread.setRange(options.begin, options.duration);
    thread.setFlagWithPause(options.withPauses);
    ChannelGains gains;
    for (auto it = options.gainsDb.cbegin(); it != options.gainsDb.cend(); ++it)
        gains.insert(QString::number(it.key()), ReaderGroup::gainFactor(it.value()));
    thread.setGains(gains);

    ProgressBar bar;
    QEventLoop loop;
    bool completed = false;
    QObject::connect(&thread, &SaveThread::progressChanged, &loop, [&](double fraction) {
        bar.show(fraction);
        if (fraction >= 1.0 && thread.currentState() != SaveThread::Exporting) {
            completed = true;
            loop.quit();
        }
    }, Qt::QueuedConnection);
    QObject::connect(&thread, &SaveThread::exportFailed, &loop, [&](const QString &message) {
        *error = message;
        loop.quit();
    }, Qt::QueuedConnection);

    thread.start();
    thread.startProcess();
    loop.exec();
    bar.end();
    thread.finish();
    thread.wait();
    return completed;
}

} // namespace

int runExportCommand(const QStringList &arguments)
{
    ExportOptions options;
    QString error;
    if (!parseOptions(arguments, &options, &error)) {
        CliOutput::printError(kProgram, error);
        return 2;
    }
    IndexedRecording recording;
    QList<StreamDescriptor> streams;
    if (const int status = recording.openForCommand(kProgram, options.input, options.channels, &streams))
        return status;
    for (auto it = options.gainsDb.cbegin(); it != options.gainsDb.cend(); ++it) {
        const auto exported = std::find_if(streams.cbegin(), streams.cend(), [&](const StreamDescriptor &stream) {
            return stream.value(QStringLiteral("ID")) == QString::number(it.key());
        });
        if (exported == streams.cend()) {
            CliOutput::printError(kProgram, QStringLiteral("--gain names stream %1, which is not exported").arg(it.key()));
            return 2;
        }
    }
    if (options.rate == 0)
        options.rate = StreamSampleRate::outputRate(recording.allStreams());
    // Within the recording's frames, as the player exports: a range that
    // reaches beyond them would shift every time read off the file.
    recording.span().clip(&options.begin, &options.duration, kWholeRecording);
    if (!runExport(options, streams, &error)) {
        CliOutput::printError(kProgram, error.isEmpty() ? QStringLiteral("export failed") : error);
        return 1;
    }
    return 0;
}
