#pragma once

#include <QList>
#include <QPair>
#include <QString>

// One name=value pair of a device's options text.
using DownloaderOption = QPair<QString, QString>;

// Parses an options text: name=value pairs separated by blanks, a value
// either a bare word or in double quotes (the quotes are removed). Text that
// forms no pair is skipped.
QList<DownloaderOption> parseDownloaderOptions(const QString &text);
