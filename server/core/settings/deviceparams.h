#pragma once

#include <QString>
#include <QStringList>

// A device's parameter list: six texts, in this order, as the settings files
// keep them and the device's scheduler takes them.
enum class DeviceParam {
    Type = 0,    // the device type chosen in the device dialog
    Comment = 1,
    Period = 2,  // polling period in minutes
    Url = 3,
    Folder = 4,  // local folder for the downloaded files
    Options = 5, // name=value pairs
};
constexpr int kDeviceParamCount = 6;

// A downloader's parameter list: the three texts of a device it uses.
enum class DownloaderParam {
    Url = 0,
    Folder = 1,
    Options = 2,
};
constexpr int kDownloaderParamCount = 3;

inline QString paramValue(const QStringList &params, DeviceParam which)
{
    return params.value(int(which));
}

inline QString paramValue(const QStringList &params, DownloaderParam which)
{
    return params.value(int(which));
}

// The three texts a device's downloader takes from its six.
QStringList downloaderParams(const QStringList &deviceParams);

// A device's six texts.
QStringList deviceParams(const QString &type, const QString &comment, const QString &periodMinutes,
                         const QString &url, const QString &folder, const QString &options);

// Polling periods are whole minutes, at most a week.
constexpr int kMaxPeriodMinutes = 10080;
// The polling period a device's period text gives (minutes): a number above
// a week is cut to a week, with a warning text; 0, a negative number or a
// text that is no whole number gives kDefaultDevicePeriodMinutes (0 would
// poll without pause).
constexpr int kDefaultDevicePeriodMinutes = 1;
int devicePeriodMinutes(const QString &text, QString *warning = nullptr);
