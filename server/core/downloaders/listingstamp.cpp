#include "listingstamp.h"

#include "recording/indexcache.h"

#include <QFile>
#include <QSaveFile>

namespace ListingStamp {

namespace {

const QString kSuffix = QStringLiteral(".stamp");
// A stamp is two short lines; anything longer is not one.
constexpr qint64 kMaxStampBytes = 256;
const QByteArray kSizeKey = QByteArrayLiteral("size ");
const QByteArray kDateKey = QByteArrayLiteral("date ");

} // namespace

QString pathFor(const QString &copyPath)
{
    return cachePathFor(copyPath) + kSuffix;
}

bool read(const QString &copyPath, Entry *entry)
{
    QFile file(pathFor(copyPath));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = file.read(kMaxStampBytes).split('\n');
    if (lines.size() < 2 || !lines.at(0).startsWith(kSizeKey) || !lines.at(1).startsWith(kDateKey))
        return false;
    bool ok = false;
    entry->size = lines.at(0).mid(kSizeKey.size()).toLongLong(&ok);
    entry->date = QDateTime::fromString(QString::fromLatin1(lines.at(1).mid(kDateKey.size())), Qt::ISODate);
    return ok && entry->date.isValid();
}

bool write(const QString &copyPath, const Entry &entry)
{
    QSaveFile file(pathFor(copyPath));
    const QByteArray text = kSizeKey + QByteArray::number(entry.size) + '\n' + kDateKey
        + entry.date.toString(Qt::ISODate).toLatin1() + '\n';
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

} // namespace ListingStamp
