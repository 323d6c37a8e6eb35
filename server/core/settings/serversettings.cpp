#include "serversettings.h"

#include "server/core/settings/deviceparams.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <limits>

namespace {

const QString kPelluxGroup = QStringLiteral("Pellux");
const QString kFileListKey = QStringLiteral("FileList");
const QString kMinFreeKey = QStringLiteral("MinFreeMB");
const QString kLogKeepDaysKey = QStringLiteral("LogKeepDays");

// A whole number >= 0 under key, or fallback.
qint64 countValue(const QSettings &settings, const QString &key, qint64 fallback)
{
    bool ok = false;
    const qint64 value = settings.value(key).toString().trimmed().toLongLong(&ok);
    return ok && value >= 0 ? value : fallback;
}
constexpr int kDefaultPollingPeriodMinutes = 5;
const QString kHiddenPassword = QStringLiteral("***");

struct PelluxKey
{
    const char *key;
    QVariant defaultValue;
};

const PelluxKey &pelluxKey(int index)
{
    static const PelluxKey keys[ServerSettings::PelluxValueCount] = {
        {"Usage", false},
        {"Driver", QStringLiteral("QMYSQL")},
        {"HostName", QString()},
        {"DatabaseName", QStringLiteral("pelluxbd")},
        {"UserName", QStringLiteral("Drovane")},
        {"Password", QString()},
        {"PollingPeriod", kDefaultPollingPeriodMinutes},
    };
    return keys[index];
}

} // namespace

int ServerSettings::pollingPeriodMinutes(const QVariant &value, QString *warning)
{
    bool ok = false;
    const qlonglong minutes = value.toString().trimmed().toLongLong(&ok);
    int used = int(qBound<qlonglong>(1, minutes, kMaxPeriodMinutes));
    if (!ok)
        used = kDefaultPollingPeriodMinutes;
    else if (minutes == 0)
        return 0;
    if ((!ok || used != minutes) && warning)
        *warning = QStringLiteral("PollingPeriod %1 is not a number of minutes from 0 to %2: %3 used")
                       .arg(value.toString()).arg(kMaxPeriodMinutes).arg(used);
    return used;
}

namespace {

bool isWritableFolder(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

QString withSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

const QString ServerSettings::kIniFileName = QStringLiteral("Drovane.ini");
const QString ServerSettings::kPelluxFileName = QStringLiteral("Pellux.xml");

ServerSettings::ServerSettings(const QString &dataFolder, const QString &iniFileName)
    : settings(std::make_unique<QSettings>(dataFolder + iniFileName, QSettings::IniFormat))
{
}

QString ServerSettings::fileName() const
{
    return settings->fileName();
}

QVariantList ServerSettings::pelluxSettings() const
{
    QVariantList values;
    for (int i = 0; i < PelluxValueCount; ++i) {
        const PelluxKey &key = pelluxKey(i);
        QVariant value = settings->value(kPelluxGroup + QLatin1Char('/') + QLatin1String(key.key), key.defaultValue);
        // Typed as the default: a damaged INI value gives the default's type.
        if (value.convert(key.defaultValue.userType()))
            values << value;
        else
            values << key.defaultValue;
    }
    return values;
}

bool ServerSettings::savePelluxSettings(const QVariantList &values)
{
    if (values.size() < PelluxValueCount)
        return false;
    settings->beginGroup(kPelluxGroup);
    for (int i = 0; i < PelluxValueCount; ++i)
        settings->setValue(QLatin1String(pelluxKey(i).key), values.at(i));
    settings->endGroup();
    settings->sync();
    // A damaged file read earlier reports FormatError; it was rewritten.
    return settings->status() != QSettings::AccessError;
}

QString ServerSettings::pelluxSettingsLogText(const QVariantList &values)
{
    QString text = QStringLiteral("New Pellux param set: ");
    for (int i = 0; i < values.size() && i < PelluxValueCount; ++i)
        text += (i == Password ? kHiddenPassword : values.at(i).toString()) + QStringLiteral("; ");
    return text;
}

QStringList ServerSettings::fileList() const
{
    return settings->value(kFileListKey).toStringList();
}

qint64 ServerSettings::minFreeBytes() const
{
    return countValue(*settings, kMinFreeKey, kDefaultMinFreeMB) * ServerSettings::kBytesPerMB;
}

int ServerSettings::logKeepDays() const
{
    return int(qMin<qint64>(countValue(*settings, kLogKeepDaysKey, 0), std::numeric_limits<int>::max()));
}

bool ServerSettings::saveFileList(const QStringList &paths)
{
    settings->setValue(kFileListKey, paths);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

QString chooseDataFolder(const QString &applicationFolder)
{
    if (isWritableFolder(applicationFolder))
        return withSlash(applicationFolder);
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(userFolder);
    return withSlash(userFolder);
}
