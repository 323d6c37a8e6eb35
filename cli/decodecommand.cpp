#include "decodecommand.h"

#include "codecs/audiocodec.h"
#include "cli/clioutput.h"
#include "recording/outputfile.h"

#include <QFile>
#include <QVector>
#include <QtEndian>

#include <memory>

namespace {

const QString kProgram = QStringLiteral("velmora-cli decode");
constexpr int kDefaultRate = 8000;         // Hz, as every reader passes
constexpr int kChunkBytes = 18 * 4096;     // coded bytes per decode call: whole TETRA frames
constexpr int kMaxBytesPerCodedByte = 27;  // output bytes per coded byte, worst case (TETRA 480/18)

struct DecodeArguments
{
    QString encoding;
    QString input;
    QString output;
};

bool parseArguments(const QStringList &arguments, DecodeArguments *parsed)
{
    QStringList files;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--encoding") && i + 1 < arguments.size())
            parsed->encoding = arguments.at(++i);
        else if (arg.startsWith(QLatin1String("--encoding=")))
            parsed->encoding = arg.mid(11);
        else if (arg.startsWith(QLatin1String("--")))
            return false;
        else
            files.append(arg);
    }
    if (files.size() != 2 || parsed->encoding.isEmpty())
        return false;
    parsed->input = files.at(0);
    parsed->output = files.at(1);
    return true;
}

// Decodes everything from `in` to `out`; false with *error on a write failure.
bool decodeAll(AudioCodec *codec, QFile *in, QIODevice *out, const QString &output, QString *error)
{
    QByteArray coded(kChunkBytes, '\0');
    QVector<qint16> samples(kChunkBytes * kMaxBytesPerCodedByte / 2);
    qint64 got;
    while ((got = in->read(coded.data(), kChunkBytes)) > 0) {
        int written = 0;
        if (codec->decode(coded.constData(), int(got), samples.data(), unsigned(samples.size() * 2), &written) != 0) {
            *error = QStringLiteral("decoder output buffer too small");
            return false;
        }
        if (QSysInfo::ByteOrder == QSysInfo::BigEndian)
            qToLittleEndian<qint16>(samples.constData(), written / 2, samples.data());
        if (out->write(reinterpret_cast<const char *>(samples.constData()), written) != written) {
            *error = QStringLiteral("%1: %2").arg(output, out->errorString());
            return false;
        }
    }
    if (got < 0) {
        *error = QStringLiteral("%1: %2").arg(in->fileName(), in->errorString());
        return false;
    }
    return true;
}

} // namespace

int runDecodeCommand(const QStringList &arguments)
{
    DecodeArguments args;
    if (!parseArguments(arguments, &args)) {
        CliOutput::printError(kProgram, QStringLiteral("usage: velmora-cli decode --encoding ENC IN OUT"));
        return 2;
    }
    const std::unique_ptr<AudioCodec> codec = createAudioCodec(args.encoding, kDefaultRate);
    if (!codec) {
        CliOutput::printError(kProgram, QStringLiteral("unknown encoding \"%1\" (known: PCMA, G726-32, TETRA)").arg(args.encoding));
        return 1;
    }
    QFile in(args.input);
    if (!in.open(QIODevice::ReadOnly)) {
        CliOutput::printError(kProgram, QStringLiteral("%1: %2").arg(args.input, in.errorString()));
        return 1;
    }
    OutputFile out;
    if (!out.open(args.output)) {
        CliOutput::printError(kProgram, out.errorString());
        return 1;
    }
    QString error;
    if (!decodeAll(codec.get(), &in, out.device(), args.output, &error)) {
        CliOutput::printError(kProgram, error);
        return 1;
    }
    if (!out.commit()) {
        CliOutput::printError(kProgram, out.errorString());
        return 1;
    }
    return 0;
}
