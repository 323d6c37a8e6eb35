#include "statusfile.h"

#include "server/core/devicetreemodel.h"
#include "server/core/settings/deviceparams.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

QJsonValue timeValue(const QDateTime &time)
{
    if (!time.isValid())
        return QJsonValue::Null;
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QDateTime timeOf(const QJsonValue &value)
{
    return value.isString() ? QDateTime::fromString(value.toString(), Qt::ISODate).toLocalTime() : QDateTime();
}

QJsonObject deviceObject(const StatusFile::Device &device)
{
    const DeviceHealthRecord &h = device.health;
    QJsonObject object;
    object.insert(QStringLiteral("name"), device.name);
    object.insert(QStringLiteral("url"), device.url);
    object.insert(QStringLiteral("state"), healthKey(h.state));
    object.insert(QStringLiteral("since"), timeValue(h.since));
    object.insert(QStringLiteral("last_success"), timeValue(h.lastSuccess));
    if (h.lastFileTime.isValid()) {
        object.insert(QStringLiteral("last_file"), QJsonObject{{QStringLiteral("name"), h.lastFileName},
                                                               {QStringLiteral("size"), double(h.lastFileSize)},
                                                               {QStringLiteral("time"), timeValue(h.lastFileTime)}});
    } else {
        object.insert(QStringLiteral("last_file"), QJsonValue::Null);
    }
    if (h.lastErrorTime.isValid()) {
        object.insert(QStringLiteral("last_error"), QJsonObject{{QStringLiteral("time"), timeValue(h.lastErrorTime)},
                                                                {QStringLiteral("text"), h.lastError}});
    } else {
        object.insert(QStringLiteral("last_error"), QJsonValue::Null);
    }
    object.insert(QStringLiteral("failures"), h.failures);
    object.insert(QStringLiteral("files_behind"), h.filesBehind);
    object.insert(QStringLiteral("bytes_today"), double(h.bytesToday));
    return object;
}

bool deviceFrom(const QJsonValue &value, StatusFile::Device *device)
{
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    DeviceHealthRecord &h = device->health;
    if (!healthFromKey(object.value(QStringLiteral("state")).toString(), &h.state))
        return false;
    device->name = object.value(QStringLiteral("name")).toString();
    device->url = object.value(QStringLiteral("url")).toString();
    h.since = timeOf(object.value(QStringLiteral("since")));
    h.lastSuccess = timeOf(object.value(QStringLiteral("last_success")));
    const QJsonObject file = object.value(QStringLiteral("last_file")).toObject();
    h.lastFileName = file.value(QStringLiteral("name")).toString();
    h.lastFileSize = qint64(file.value(QStringLiteral("size")).toDouble());
    h.lastFileTime = timeOf(file.value(QStringLiteral("time")));
    const QJsonObject error = object.value(QStringLiteral("last_error")).toObject();
    h.lastErrorTime = timeOf(error.value(QStringLiteral("time")));
    h.lastError = error.value(QStringLiteral("text")).toString();
    h.failures = object.value(QStringLiteral("failures")).toInt();
    h.filesBehind = object.value(QStringLiteral("files_behind")).toInt();
    h.bytesToday = qint64(object.value(QStringLiteral("bytes_today")).toDouble());
    return true;
}

} // namespace

namespace StatusFile {

QList<Device> devicesOf(const DeviceTreeModel &model)
{
    QList<Device> devices;
    for (int file = 0; file < model.fileCount(); ++file) {
        for (int index = 0; index < model.deviceCount(file); ++index) {
            Device device;
            if (!model.deviceHealth(file, index, &device.health))
                continue;
            const QStringList params = model.deviceParams(file, index);
            device.url = paramValue(params, DeviceParam::Url);
            const QString comment = paramValue(params, DeviceParam::Comment).trimmed();
            device.name = comment.isEmpty() ? device.url : comment;
            devices << device;
        }
    }
    return devices;
}

QByteArray toJson(const QList<Device> &devices, const QDateTime &generated)
{
    QJsonArray array;
    for (const Device &device : devices)
        array.append(deviceObject(device));
    QJsonObject root;
    root.insert(QStringLiteral("generated"), timeValue(generated));
    root.insert(QStringLiteral("devices"), array);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool write(const QString &path, const QList<Device> &devices, const QDateTime &generated, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(toJson(devices, generated));
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool read(const QString &path, QList<Device> *devices, QDateTime *generated, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!document.isObject()) {
        *error = QStringLiteral("%1 is not a status file: %2").arg(path, parse.error == QJsonParseError::NoError
                                                                             ? QStringLiteral("no JSON object")
                                                                             : parse.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    const QJsonValue list = root.value(QStringLiteral("devices"));
    if (!list.isArray()) {
        *error = QStringLiteral("%1 is not a status file: no device list").arg(path);
        return false;
    }
    devices->clear();
    for (const QJsonValue &value : list.toArray()) {
        Device device;
        if (!deviceFrom(value, &device)) {
            *error = QStringLiteral("%1 is not a status file: a device without a known state").arg(path);
            return false;
        }
        devices->append(device);
    }
    *generated = timeOf(root.value(QStringLiteral("generated")));
    return true;
}

} // namespace StatusFile
