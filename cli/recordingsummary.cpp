#include "recordingsummary.h"

#include "codecs/audiocodec.h"
#include "recording/datetimetext.h"
#include "cli/indexedrecording.h"
#include "recording/durationtext.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>


namespace {

const QString kBaseFormat = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz");

QJsonValue msOrNull(qint64 ms)
{
    return ms < 0 ? QJsonValue() : QJsonValue(double(ms));
}

QJsonObject toJsonObject(const QMap<QString, QString> &map)
{
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QString msText(qint64 ms)
{
    return ms < 0 ? QStringLiteral("-") : QString::number(ms);
}

constexpr int kDefaultRate = 8000; // Hz, when an encoding names no rate

} // namespace

double RecordingSummary::Stream::durationMs() const
{
    if (descriptor.value(QStringLiteral("TYPE")) != QLatin1String("audio"))
        return -1.0;
    return encodedDuration(descriptor.value(QStringLiteral("ENCODING")), RawFormat::payloadBytes(frameCount, totalLength),
                           kDefaultRate);
}

bool RecordingSummary::read(const QString &fileName, RecordingSummary *summary, QString *error)
{
    IndexedRecording recording;
    if (!recording.open(fileName, error))
        return false;
    const RecordingIndexer &indexer = recording.indexer();

    summary->fileName = fileName;
    summary->sections = indexer.sectionsInReadingOrder();
    // No DATETIME at all means no base, not the parser's default date.
    const QMap<QString, QString> file = indexer.sections().value(QStringLiteral("FILE"));
    const auto dateTime = file.constFind(QStringLiteral("DATETIME"));
    summary->base = dateTime == file.cend() ? QDateTime() : parseDateTime(*dateTime);
    summary->streams.clear();
    for (int i = 0; i < indexer.streamCount(); ++i) {
        Stream stream;
        stream.index = i;
        stream.descriptor = indexer.descriptor(i, &stream.frameCount, &stream.totalLength);
        stream.descriptor.remove(QStringLiteral("INDEX_FILENAME")); // gone with the recording
        stream.firstMs = recording.firstTime(i);
        stream.lastMs = recording.lastTime(i);
        summary->streams.append(stream);
    }
    return true;
}

qint64 RecordingSummary::beginMs() const
{
    qint64 begin = -1;
    for (const Stream &s : streams) {
        if (s.firstMs >= 0 && (begin < 0 || s.firstMs < begin))
            begin = s.firstMs;
    }
    return begin;
}

qint64 RecordingSummary::endMs() const
{
    qint64 end = -1;
    for (const Stream &s : streams)
        end = qMax(end, s.lastMs);
    return end;
}

QJsonObject RecordingSummary::toJson() const
{
    QJsonArray sectionArray;
    for (const auto &section : sections)
        sectionArray.append(QJsonObject{{QStringLiteral("name"), section.first},
                                        {QStringLiteral("values"), toJsonObject(section.second)}});
    QJsonArray streamArray;
    for (const Stream &s : streams) {
        const auto &d = s.descriptor;
        streamArray.append(QJsonObject{
            {QStringLiteral("index"), s.index},
            {QStringLiteral("id"), d.value(QStringLiteral("ID"))},
            {QStringLiteral("type"), d.value(QStringLiteral("TYPE"))},
            {QStringLiteral("encoding"), d.value(QStringLiteral("ENCODING"))},
            {QStringLiteral("description"), d.value(QStringLiteral("DESCRIPTION"))},
            {QStringLiteral("frames"), s.frameCount},
            {QStringLiteral("length"), s.totalLength},
            {QStringLiteral("first_ms"), msOrNull(s.firstMs)},
            {QStringLiteral("last_ms"), msOrNull(s.lastMs)},
            {QStringLiteral("duration_ms"), s.durationMs() < 0 ? QJsonValue() : QJsonValue(s.durationMs())},
        });
    }
    return QJsonObject{
        {QStringLiteral("file"), fileName},
        {QStringLiteral("base"), base.isValid() ? QJsonValue(base.toString(kBaseFormat)) : QJsonValue()},
        {QStringLiteral("begin_ms"), msOrNull(beginMs())},
        {QStringLiteral("end_ms"), msOrNull(endMs())},
        {QStringLiteral("sections"), sectionArray},
        {QStringLiteral("streams"), streamArray},
    };
}

QString RecordingSummary::toText() const
{
    QString text;
    QTextStream out(&text);
    out << "File:    " << fileName << '\n';
    out << "Base:    " << (base.isValid() ? base.toString(kBaseFormat) + QStringLiteral(" UTC") : QStringLiteral("invalid"))
        << '\n';
    out << "Range:   " << msText(beginMs()) << " .. " << msText(endMs()) << " ms\n";
    out << "Sections (" << sections.size() << "):\n";
    for (const auto &section : sections) {
        out << "  " << section.first << '\n';
        for (auto it = section.second.cbegin(); it != section.second.cend(); ++it)
            out << "    " << it.key() << " = " << it.value() << '\n';
    }
    out << "Streams (" << streams.size() << "):\n";
    for (const Stream &s : streams) {
        const auto &d = s.descriptor;
        out << "  #" << s.index << "  ID " << d.value(QStringLiteral("ID")) << "  "
            << d.value(QStringLiteral("TYPE")) << "  " << d.value(QStringLiteral("ENCODING")) << "  \""
            << d.value(QStringLiteral("DESCRIPTION")) << "\"\n";
        out << "      " << s.frameCount << " frames, " << s.totalLength << " bytes, " << msText(s.firstMs)
            << " .. " << msText(s.lastMs) << " ms";
        if (s.durationMs() >= 0)
            out << ", " << s.durationMs() / 1000.0 << " s of sound (" << durationText(s.durationMs()) << ")";
        out << '\n';
    }
    return text;
}
