#pragma once

#include <QDateTime>
#include <QString>

// What the device listed for a file when its local copy was last completed:
// the size and date of its listing line, kept in a small text file beside
// the copy ("NAME.IND.stamp"; a name with ".IND" is never taken for a
// recording). A copy as large as the device's file is checked again only
// when the listing has changed since: a file replaced by another of the
// same size shows a new date.
namespace ListingStamp {

struct Entry
{
    qint64 size = -1;   // bytes
    QDateTime date;     // as the listing line gave it
};

QString pathFor(const QString &copyPath);
// The stamp of a copy; false when it has none or it cannot be read.
bool read(const QString &copyPath, Entry *entry);
// Writes the stamp through a temporary file; false when it cannot be written.
bool write(const QString &copyPath, const Entry &entry);

} // namespace ListingStamp
