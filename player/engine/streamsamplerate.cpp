#include "streamsamplerate.h"

#include "codecs/audiocodec.h"

namespace StreamSampleRate {

int namedRate(const QList<QMap<QString, QString>> &descriptors)
{
    int rate = 0;
    for (const QMap<QString, QString> &descriptor : descriptors) {
        if (descriptor.value(QStringLiteral("TYPE")) != QLatin1String("audio"))
            continue;
        const QString encoding = descriptor.value(QStringLiteral("ENCODING"));
        const int slash = encoding.indexOf(QLatin1Char('/'));
        bool ok = false;
        const int value = slash < 0 ? 0 : encoding.mid(slash + 1).section(QLatin1Char('/'), 0, 0).toInt(&ok, 10);
        rate = ok ? value : 0;
    }
    return rate;
}

int outputRate(const QList<QMap<QString, QString>> &descriptors)
{
    const int rate = namedRate(descriptors);
    return SampleRate::isValid(rate) ? rate : kFallbackRate;
}

} // namespace StreamSampleRate
