#pragma once

#include <QDateTime>
#include <QString>

// Result codes of parseListLine.
enum ListLineResult {
    ListLineNoMatch = -1,   // not a Unix-style listing line
    ListLineFile = 0,       // a plain file with a readable date
    ListLineNotFile = 1,    // a directory or a link
    ListLineBadDate = 2,    // a plain file whose date could not be read
};

// Parses one line of a Unix-style directory listing ("ls -l" form). For a
// plain file fills name, size (bytes) and date (local time) and returns
// ListLineFile. Dates shown with a time instead of a year (files of the last
// six months) get the year of `now`, or the year before when that would lie
// more than one day after `now`.
int parseListLine(const QString &line, QString *name, qint64 *size, QDateTime *date,
                  const QDateTime &now = QDateTime::currentDateTime());
