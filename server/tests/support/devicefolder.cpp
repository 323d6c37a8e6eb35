#include "devicefolder.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringList>

namespace DeviceFolder {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime);
}

bool writeTftpList(const QString &folder)
{
    QStringList lines{QStringLiteral("total 1")};
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        if (file.fileName() == QLatin1String("list"))
            continue;
        lines << QStringLiteral("-rw-r--r-- 1 root root %1 %2 %3")
                     .arg(file.size())
                     .arg(QLocale(QLocale::C).toString(file.lastModified(), QStringLiteral("MMM dd  yyyy")))
                     .arg(file.fileName());
    }
    return writeFile(QDir(folder).filePath(QStringLiteral("list")), lines.join(QLatin1Char('\n')).toLatin1() + '\n');
}

} // namespace DeviceFolder
