#include "streamsummary.h"

#include "codecs/audiocodec.h"
#include "recording/durationtext.h"
#include "recording/rawstream.h"

namespace PlayerUi {

namespace {

constexpr double kNoSoundMs = 0.0001;

} // namespace

namespace StreamSummary {

quint32 idOf(const QMap<QString, QString> &descriptor)
{
    bool ok = false;
    const uint id = descriptor.value(QStringLiteral("ID")).toUInt(&ok, 10);
    return ok ? id : kNoId;
}

double audioDurationMs(const QMap<QString, QString> &descriptor, int frameCount, int totalLength)
{
    return encodedDuration(descriptor.value(QStringLiteral("ENCODING")), RawFormat::payloadBytes(frameCount, totalLength),
                           kDefaultRate);
}

QString text(const QMap<QString, QString> &descriptor, int frameCount, int totalLength)
{
    if (descriptor.value(QStringLiteral("TYPE")) != QLatin1String("audio"))
        return QStringLiteral("Кол-во записей: %1").arg(frameCount);
    const double ms = audioDurationMs(descriptor, frameCount, totalLength);
    if (!(ms > kNoSoundMs))
        return QStringLiteral("Нет звуковых данных");
    return QStringLiteral("Длительность: ") + durationText(ms);
}

} // namespace StreamSummary

} // namespace PlayerUi
