// Writes the seed corpora of the fuzz targets into SOURCE_ROOT/fuzz/corpus/
// <target>/: small valid or slightly damaged examples of every input the
// targets take, from which the fuzzers start. Seeds are named "seed-*" and
// rewritten on every run; other files there (minimised findings) are kept.
//   fuzz_corpusgen SOURCE_ROOT
#include "fuzz/scriptformats.h"

#include "tools/encoders.h"
#include "codecs/g726encoder.h"
#include "recording/indexcache.h"
#include "recording/recordingindexer.h"
#include "recording/recordingwriter.h"
#include "tools/testsignals.h"
#include "server/core/downloaders/tftppacket.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtEndian>

#include <cstdio>

namespace {

using Seeds = QList<QPair<QString, QByteArray>>;

constexpr int kTetraFrameBytes = 18;
constexpr int kTetraSeedFrames = 6;
constexpr int kSpeechSeed = 7;
constexpr int kSpeechSamples = 400;
constexpr int kPcmaFrameBytes = 80; // 10 ms at 8000 Hz
constexpr int kDefaultBlockBytes = 512;
constexpr int kListLinesPerFile = 4;

// The bytes of a literal without its terminating NUL (inner NULs kept).
template <int N>
QByteArray literal(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QTextCodec *cp1251()
{
    return QTextCodec::codecForName("Windows-1251");
}

QByteArray speechAlaw(int samples)
{
    return encodeALaw(SpeechSignal(kSpeechSeed).next(samples));
}

QByteArray speechG726(int samples)
{
    const QVector<qint16> pcm = SpeechSignal(kSpeechSeed).next(samples);
    G726Encoder encoder;
    QByteArray out((samples + 1) / 2, '\0');
    out.resize(encoder.encode(pcm.constData(), samples, out.data()));
    return out;
}

QByteArray fileBytes(const QString &path, int maximum)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(maximum) : QByteArray();
}

RecordingWriter::Pairs stream(int id, const char *type, const char *encoding, const QString &description)
{
    return {{QStringLiteral("ID"), QString::number(id)},
            {QStringLiteral("TYPE"), QString::fromLatin1(type)},
            {QStringLiteral("ENCODING"), QString::fromLatin1(encoding)},
            {QStringLiteral("DESCRIPTION"), description}};
}

void writeHeader(RecordingWriter *writer)
{
    writer->writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("07.12.2026 09:15:00.000 UTC+3:00")},
                                                  {QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")}});
}

// Four streams of every coding, frames with short and long gaps, content
// bytes that need escaping.
QByteArray basicRecording(const QByteArray &tetra, bool escapeEverything)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RecordingWriter writer(&buffer);
    writer.setEscapeEverything(escapeEverything);
    writeHeader(&writer);
    writer.writeSection(QStringLiteral("STREAM"), stream(1, "audio", "PCMA/8000", QStringLiteral("Диспетчер")), cp1251());
    writer.writeSection(QStringLiteral("STREAM"), stream(2, "text", "Windows-1251", QStringLiteral("События")), cp1251());
    writer.writeSection(QStringLiteral("STREAM"), stream(3, "audio", "G726-32", QStringLiteral("Борт 7")), cp1251());
    writer.writeSection(QStringLiteral("STREAM"), stream(4, "audio", "TETRA", QStringLiteral("Абонент 2041")), cp1251());
    const QByteArray alaw = speechAlaw(2 * kPcmaFrameBytes) + literal("\xFF\xAB\x00");
    writer.writeDataFrame(0, 1, alaw.left(kPcmaFrameBytes));
    writer.writeDataFrame(10, 1, alaw.mid(kPcmaFrameBytes));
    writer.writeDataFrame(40, 3, speechG726(kPcmaFrameBytes));
    writer.writeDataFrame(60, 4, tetra.left(2 * kTetraFrameBytes));
    writer.writeDataFrame(500, 2, cp1251()->fromUnicode(QStringLiteral("Вызов принят")));
    writer.writeDataFrame(2000, 1, alaw.left(kPcmaFrameBytes / 2));
    writer.writeDataFrame(2100, 4, tetra.mid(2 * kTetraFrameBytes, kTetraFrameBytes));
    writer.writeDataFrame(9000, 2, literal("end\0of\0text"));
    return bytes;
}

// One stream whose gaps cross several activity thresholds, so that many
// levels get their own intervals.
QByteArray levelsRecording()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RecordingWriter writer(&buffer);
    writeHeader(&writer);
    writer.writeSection(QStringLiteral("STREAM"), stream(1, "audio", "PCMA", QStringLiteral("Levels")));
    const QByteArray alaw = speechAlaw(16);
    for (quint32 t : {0u, 2u, 300u, 1500u, 1502u, 6000u, 30000u, 100000u, 500000u, 2000000u, 9000000u})
        writer.writeDataFrame(t, 1, alaw);
    return bytes;
}

// Frames a recorder should never write: a marker inside a header, an
// unknown frame type, duplicate and out-of-range stream ids, times out of
// order and the "no time" value, an unterminated section, a final escape.
QByteArray damagedRecording()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RecordingWriter writer(&buffer);
    writeHeader(&writer);
    writer.writeSection(QStringLiteral("STREAM"), stream(1, "audio", "PCMA", QStringLiteral("One")));
    writer.writeSection(QStringLiteral("STREAM"), stream(1, "text", "", QStringLiteral("Same id")));
    writer.writeSection(QStringLiteral("STREAM"), stream(200, "audio", "G726-32/16000", QStringLiteral("Too big")));
    writer.writeSection(QStringLiteral("STREAM"), stream(2, "audio", "TETRA/8000", QStringLiteral("Short")));
    const QByteArray alaw = speechAlaw(24);
    writer.writeDataFrame(5000, 1, alaw);
    writer.writeDataFrame(100, 1, alaw);
    writer.writeDataFrame(0xFFFFFFFFu, 1, alaw);
    writer.writeDataFrame(10, 200, alaw);
    writer.writeDataFrame(20, 2, alaw.left(kTetraFrameBytes - 1));
    writer.writeFrame(7, alaw.left(8));
    writer.writeStored(literal("\xFF\x02\x10\x00\xFF")); // header cut by a marker
    writer.writeStored(literal("\xFF\x01STREAM\0ID\0" "3")); // section without its end
    writer.writeDataFrame(30, 1, alaw.left(4));
    writer.writeStored(literal("\xFF\x02\x00\x00\x00\x00\x01\xAB"));
    return bytes;
}

Seeds recordings(const QByteArray &tetra)
{
    return {{QStringLiteral("seed-basic"), basicRecording(tetra, false)},
            {QStringLiteral("seed-escaped"), basicRecording(tetra, true)},
            {QStringLiteral("seed-levels"), levelsRecording()},
            {QStringLiteral("seed-damaged"), damagedRecording()}};
}

QByteArray number32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

Seeds streamReaderSeeds(const Seeds &recordings)
{
    // period, output rate, zoom, gap choices and a seek time (ms).
    const QList<QByteArray> headers = {
        literal("\x04\x00\x00\x00") + number32(0),
        literal("\x00\x03\x05\x02") + number32(1990),
        literal("\x07\x04\x0B\x05") + number32(120000),
        literal("\x02\x01\x14\x09") + number32(5000),
    };
    Seeds seeds;
    for (int i = 0; i < recordings.size(); ++i) {
        Q_ASSERT(headers.at(i % headers.size()).size() == StreamReadersInput::kParameterBytes);
        seeds.append({recordings.at(i).first, headers.at(i % headers.size()) + recordings.at(i).second});
    }
    // Period byte 0x84: the raw file is cut to half its size after indexing.
    seeds.append({QStringLiteral("seed-cut"), literal("\x84\x00\x02\x01") + number32(60) + recordings.first().second});
    return seeds;
}

Seeds cacheSeeds(const Seeds &recordings)
{
    QTemporaryDir dir;
    Seeds seeds;
    for (const auto &recording : recordings) {
        // A fixed name keeps the seeds' stored paths alike.
        const QString path = dir.filePath(QStringLiteral("REC0001.DAT"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(recording.second);
        file.close();
        RecordingIndexer indexer;
        indexer.setWriteIndexFiles(false);
        indexer.open(path);
        indexer.start();
        while (indexer.state() != RecordingIndexer::Idle)
            indexer.step();
        indexer.closeFiles();
        saveCache(indexer, cachePathFor(path));
        seeds.append({recording.first, fileBytes(cachePathFor(path), 1 << 20)});
    }
    const QByteArray full = seeds.first().second;
    seeds.append({QStringLiteral("seed-truncated"), full.left(full.size() / 2)});
    return seeds;
}

// Rate choice, split lengths, coded bytes.
Seeds codecSeeds(const QByteArray &coded)
{
    return {{QStringLiteral("seed-whole"), literal("\x00\x00") + coded},
            {QStringLiteral("seed-split"), literal("\x01\x03\x00\x06\x02") + coded},
            {QStringLiteral("seed-oddrate"), literal("\x04\x01\x00") + coded.left(coded.size() / 3)}};
}

Seeds listLineSeeds(const QString &root)
{
    const QDate now(2026, 12, 10);
    QByteArray prefix(2, '\0');
    qToBigEndian(quint16(QDate(2000, 1, 1).daysTo(now)), prefix.data());
    Seeds seeds;
    int n = 0;
    for (const char *name : {"listing_ls.txt", "listing_pyftpdlib.txt", "listing_hostile.txt"}) {
        const QByteArray listing = fileBytes(root + QStringLiteral("/server/core/tests/data/") + QLatin1String(name), 1 << 16);
        // The first lines of each listing: "ls", an FTP server's, hostile names.
        for (const QByteArray &line : listing.split('\n').mid(0, kListLinesPerFile)) {
            if (!line.isEmpty())
                seeds.append({QStringLiteral("seed-%1").arg(++n, 2, 10, QLatin1Char('0')), prefix + line});
        }
    }
    return seeds;
}

QByteArray ftpScript(quint8 flags, const QByteArray &data, const QList<QByteArray> &replies)
{
    QByteArray script(3, char(flags));
    qToBigEndian(quint16(data.size()), script.data() + 1);
    script += data;
    for (int i = 0; i < replies.size(); ++i)
        script += (i > 0 ? QByteArray(1, FtpScript::kReplySeparator) : QByteArray()) + replies.at(i);
    return script;
}

Seeds ftpSeeds(const QByteArray &recording)
{
    using namespace FtpScript;
    const QByteArray greeting = "220 recorder ready\r\n";
    const QList<QByteArray> login = {greeting, "331 password please\r\n", "230 logged in\r\n", "200 binary\r\n"};
    const QByteArray passive = "227 Entering Passive Mode (127,0,0,1,4,1).\r\n";
    const QByteArray listing = "-rw-r--r--   1 root     root      1048576 Nov 28 08:05 REC0001.DAT\r\n"
                               "drwxr-xr-x   2 root     root         4096 Dec 07 21:20 subdir\r\n";
    const QByteArray cp1251Listing = "-rw-r--r-- 1 root root 6 Jan  5  2024 " + cp1251()->fromUnicode(QStringLiteral("Запись.DAT")) + "\r\n";
    return {
        {QStringLiteral("seed-list"), ftpScript(List, listing, login + QList<QByteArray>{passive, "150 here it comes\r\n226 done\r\n"})},
        {QStringLiteral("seed-file"), ftpScript(File, recording, login + QList<QByteArray>{passive, "350 restarting\r\n", "150 opening\r\n226 sent\r\n"})},
        {QStringLiteral("seed-resume"), ftpScript(ResumedFile | StopAtEnd, recording.right(200),
                                                   login + QList<QByteArray>{passive, "350 Restarting at 1000\r\n", "150 opening\r\n226 sent\r\n"})},
        {QStringLiteral("seed-multiline"), ftpScript(LogInOnly, QByteArray(),
                                                      {"120 wait a moment\r\n220-Welcome\r\n220-to the recorder\r\n220 ready\r\n",
                                                       "331 password please\r\n", "230-Hello\r\n230 logged in\r\n", "200 binary\r\n"})},
        {QStringLiteral("seed-refused"), ftpScript(List, listing, {greeting, "331 password please\r\n", "530 Login incorrect\r\n"})},
        {QStringLiteral("seed-abort"), ftpScript(List | AbortOnStart, listing,
                                                 login + QList<QByteArray>{passive, "150 opening\r\n", "426 aborted\r\n226 abort done\r\n"})},
        {QStringLiteral("seed-nopassive"), ftpScript(File, recording, login + QList<QByteArray>{"425 no data connection\r\n"})},
        {QStringLiteral("seed-longline"), ftpScript(LogInOnly, QByteArray(), {QByteArray(4200, 'x') + "\r\n" + greeting})},
        {QStringLiteral("seed-dropped"), ftpScript(List | CloseAtEnd | KeepDataOpen, listing, login + QList<QByteArray>{passive, "150 opening\r\n"})},
        {QStringLiteral("seed-codec"), ftpScript(List | NamedCodec, cp1251Listing, login + QList<QByteArray>{passive, "150 opening\r\n226 done\r\n"})},
    };
}

QByteArray dataPacket(quint16 block, const QByteArray &payload)
{
    QByteArray packet(4, '\0');
    qToBigEndian(quint16(TftpPacket::Data), packet.data());
    qToBigEndian(block, packet.data() + TftpPacket::kBlockOffset);
    return packet + payload;
}

QByteArray optionAcknowledgement(const QByteArray &options)
{
    QByteArray packet(2, '\0');
    qToBigEndian(quint16(TftpPacket::OptionAcknowledgement), packet.data());
    return packet + options;
}

QByteArray tftpScript(quint8 flags, const QList<QByteArray> &datagrams)
{
    QByteArray script(1, char(flags));
    for (const QByteArray &datagram : datagrams) {
        QByteArray length(2, '\0');
        qToBigEndian(quint16(datagram.size()), length.data());
        script += length + datagram;
    }
    return script;
}

Seeds tftpDownloaderSeeds(const QByteArray &recording)
{
    using namespace TftpScript;
    const QByteArray listing = "REC0001.DAT\nREC0002.DAT\n";
    const QByteArray blksize16 = TftpPacket::option("blksize", "16");
    return {
        {QStringLiteral("seed-list"), tftpScript(0, {dataPacket(1, listing)})},
        {QStringLiteral("seed-file"), tftpScript(FileNotList | AnswerFromNewPort,
                                                 {dataPacket(1, recording.left(kDefaultBlockBytes)),
                                                  dataPacket(2, recording.mid(kDefaultBlockBytes, 100))})},
        {QStringLiteral("seed-blocks"), tftpScript(FileNotList | SmallBlocks,
                                                   {optionAcknowledgement(blksize16), dataPacket(1, recording.left(16)),
                                                    dataPacket(2, recording.mid(16, 16)), dataPacket(3, recording.mid(32, 5))})},
        {QStringLiteral("seed-offset"), tftpScript(FileNotList | Resume,
                                                   {optionAcknowledgement(TftpPacket::option("offset", QByteArray::number(qulonglong(kResumePosition)))),
                                                    dataPacket(1, recording.left(40))})},
        {QStringLiteral("seed-error"), tftpScript(0, {TftpPacket::error(1, "File not found")})},
        {QStringLiteral("seed-repeats"), tftpScript(FileNotList | TwoPerPacket | StrayFirst | SmallBlocks,
                                                    {optionAcknowledgement(blksize16), dataPacket(1, recording.left(16)),
                                                     dataPacket(1, recording.left(16)), dataPacket(2, recording.mid(16, 3))})},
    };
}

Seeds tftpPacketSeeds()
{
    return {
        {QStringLiteral("seed-request"), TftpPacket::readRequest(QStringLiteral("REC0001.DAT"), TftpPacket::option("blksize", "512"), 1000)},
        {QStringLiteral("seed-ack"), TftpPacket::acknowledgement(7)},
        {QStringLiteral("seed-error"), TftpPacket::error(1, "File not found")},
        {QStringLiteral("seed-data"), dataPacket(1, "REC0001.DAT\n")},
        {QStringLiteral("seed-oack"), optionAcknowledgement(TftpPacket::option("blksize", "1024") + TftpPacket::option("offset", "0"))},
    };
}

bool writeSeeds(const QString &corpus, const QString &target, const Seeds &seeds)
{
    QDir dir(corpus + QLatin1Char('/') + target);
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    for (const QString &old : dir.entryList({QStringLiteral("seed-*")}, QDir::Files))
        dir.remove(old);
    for (const auto &seed : seeds) {
        QFile file(dir.filePath(seed.first));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed.second) != seed.second.size())
            return false;
    }
    printf("%-18s %d seeds\n", qPrintable(target), seeds.size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_corpusgen SOURCE_ROOT\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString corpus = root + QStringLiteral("/fuzz/corpus");
    const QByteArray tetra = fileBytes(root + QStringLiteral("/tools/data/tetra-speech.tetra"), kTetraSeedFrames * kTetraFrameBytes);
    const QByteArray badFrames = fileBytes(root + QStringLiteral("/codecs/tests/data/ru1-bfi.tetra"), kTetraSeedFrames * kTetraFrameBytes);
    if (tetra.size() != kTetraSeedFrames * kTetraFrameBytes || badFrames.isEmpty()) {
        fprintf(stderr, "fuzz_corpusgen: TETRA data missing under %s\n", argv[1]);
        return 1;
    }
    const Seeds raw = recordings(tetra);
    const QByteArray recording = raw.first().second;
    const bool ok = writeSeeds(corpus, QStringLiteral("indexer"), raw)
        && writeSeeds(corpus, QStringLiteral("streamreaders"), streamReaderSeeds(raw))
        && writeSeeds(corpus, QStringLiteral("indexcache"), cacheSeeds(raw))
        && writeSeeds(corpus, QStringLiteral("codec_pcma"), codecSeeds(speechAlaw(kSpeechSamples)))
        && writeSeeds(corpus, QStringLiteral("codec_g726"), codecSeeds(speechG726(kSpeechSamples)))
        && writeSeeds(corpus, QStringLiteral("codec_tetra"), codecSeeds(tetra) + Seeds{{QStringLiteral("seed-badframes"), QByteArray(2, '\0') + badFrames}})
        && writeSeeds(corpus, QStringLiteral("listline"), listLineSeeds(root))
        && writeSeeds(corpus, QStringLiteral("ftpreplies"), ftpSeeds(recording))
        && writeSeeds(corpus, QStringLiteral("tftppacket"), tftpPacketSeeds())
        && writeSeeds(corpus, QStringLiteral("tftpdownloader"), tftpDownloaderSeeds(recording));
    return ok ? 0 : 1;
}
