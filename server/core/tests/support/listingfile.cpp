#include "listingfile.h"

#include "testsupport/testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {
const QString kListName = QStringLiteral("list");
}

QString lsFileLine(const QString &name, qint64 size, const QDate &date)
{
    return QStringLiteral("-rw-r--r-- 1 root root %1 %2 %3")
        .arg(size)
        .arg(QLocale(QLocale::C).toString(date, QStringLiteral("MMM dd  yyyy")))
        .arg(name);
}

QString lsFileLine(const QString &name, qint64 size, const QDateTime &time)
{
    constexpr int kRecentDays = 180;
    if (time.daysTo(QDateTime::currentDateTime()) > kRecentDays || time > QDateTime::currentDateTime().addDays(1))
        return lsFileLine(name, size, time.date());
    return QStringLiteral("-rw-r--r-- 1 root root %1 %2 %3")
        .arg(size)
        .arg(QLocale(QLocale::C).toString(time, QStringLiteral("MMM dd hh:mm")))
        .arg(name);
}

bool writeTftpList(const QString &folder, const QStringList &extraLines)
{
    QStringList lines{QStringLiteral("total 1")};
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        if (file.fileName() != kListName)
            lines << lsFileLine(file.fileName(), file.size(), file.lastModified().date());
    }
    lines << extraLines;
    return writeFile(QDir(folder).filePath(kListName), lines.join(QLatin1Char('\n')).toLatin1() + '\n');
}
