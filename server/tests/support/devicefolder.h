#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Files of a device's folder as the download tests set them up: written
// bytes, modification dates, and the "list" pseudo-file a TFTP device serves.
namespace DeviceFolder {

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);
bool setModified(const QString &path, const QDateTime &when);
// Writes the "list" pseudo-file of a TFTP folder from its files, ls -l form.
bool writeTftpList(const QString &folder);

} // namespace DeviceFolder
