// StatusFile: every device's health as a JSON file (serve --status), written whole or not at all.
#pragma once

#include "server/core/health/devicehealth.h"

#include <QDateTime>
#include <QList>
#include <QString>

class DeviceTreeModel;

// The file drovane-cli serve --status rewrites after every cycle:
//   {"generated": TIME, "devices": [{"name", "url", "state", "since",
//    "last_success", "last_file": {"name", "size", "time"} or null,
//    "last_error": {"time", "text"} or null, "failures", "files_behind",
//    "bytes_today"}, ...]}
// TIME: ISO 8601 local time with its UTC offset; null when there is none.
// "state" is a health key ("ok", "unreachable" ...). A device's name is its
// comment, else its URL.
namespace StatusFile {

struct Device
{
    QString name;
    QString url;
    DeviceHealthRecord health;
};

// Every running device of the model, in tree order.
QList<Device> devicesOf(const DeviceTreeModel &model);

QByteArray toJson(const QList<Device> &devices, const QDateTime &generated);
// Writes through a temporary file and a rename, so that a reader never
// sees half a file; false with the reason in *error.
bool write(const QString &path, const QList<Device> &devices, const QDateTime &generated, QString *error);
// Reads a file write() made; false with the reason in *error (not JSON,
// not such a file, an unknown state).
bool read(const QString &path, QList<Device> *devices, QDateTime *generated, QString *error);

} // namespace StatusFile
