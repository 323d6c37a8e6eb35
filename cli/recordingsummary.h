#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

class QJsonObject;

// What a recording holds, as found by indexing it to the end: its text
// sections in reading order and its declared streams with their time spans.
struct RecordingSummary
{
    struct Stream
    {
        int index = 0;                      // ordinal among the STREAM sections
        QMap<QString, QString> descriptor;
        int frameCount = 0;
        int totalLength = 0;                // logical bytes, 6 header bytes per frame included
        qint64 firstMs = -1;                // -1: no frame
        qint64 lastMs = -1;

        // Playing time of an audio stream's payload (header bytes excluded),
        // ms; -1 for other stream types.
        double durationMs() const;
    };

    QString fileName;
    QDateTime base;                         // invalid when DATETIME does not parse
    QList<QPair<QString, QMap<QString, QString>>> sections;
    QList<Stream> streams;

    qint64 beginMs() const;                 // smallest first-frame time, -1 when none
    qint64 endMs() const;                   // largest last-frame time, -1 when none

    // Indexes the recording (index files are removed before returning).
    // False with *error set when the file cannot be read.
    static bool read(const QString &fileName, RecordingSummary *summary, QString *error);

    QJsonObject toJson() const;
    QString toText() const;
};
