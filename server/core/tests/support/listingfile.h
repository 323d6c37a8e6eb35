#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// Device listings in "ls -l" form, as FTP servers send them and as TFTP
// devices keep them in their "list" file.

// The line of a plain file dated `date` (the "MMM dd  yyyy" form).
QString lsFileLine(const QString &name, qint64 size, const QDate &date);
// The line of a plain file modified at `time`: "MMM dd hh:mm" within the
// last half year, as "ls -l" shows recent files, else the date form.
QString lsFileLine(const QString &name, qint64 size, const QDateTime &time);

// Writes the "list" file of a TFTP device's folder: a "total" line, a line
// per file in it (the list itself left out), then `extraLines`.
bool writeTftpList(const QString &folder, const QStringList &extraLines = QStringList());
