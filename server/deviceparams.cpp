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
