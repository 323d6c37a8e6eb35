#include "deviceparams.h"

QStringList downloaderParams(const QStringList &deviceParams)
{
    return {paramValue(deviceParams, DeviceParam::Url), paramValue(deviceParams, DeviceParam::Folder),
            paramValue(deviceParams, DeviceParam::Options)};
}

QStringList deviceParams(const QString &type, const QString &comment, const QString &periodMinutes,
                         const QString &url, const QString &folder, const QString &options)
{
    return {type, comment, periodMinutes, url, folder, options};
}

int devicePeriodMinutes(const QString &text, QString *warning)
{
    bool ok = false;
    const qulonglong minutes = text.trimmed().toULongLong(&ok);
    if (!ok || minutes == 0)
        return kDefaultDevicePeriodMinutes;
    if (minutes > qulonglong(kMaxPeriodMinutes)) {
        if (warning)
            *warning = QStringLiteral("polling period %1 minutes is more than a week: %2 minutes used")
                           .arg(text.trimmed()).arg(kMaxPeriodMinutes);
        return kMaxPeriodMinutes;
    }
    return int(minutes);
}
