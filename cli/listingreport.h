#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// A device's file list as drovane-cli shows it: the lines that parse as
// plain files (name, size in bytes, date) and the other non-empty lines.
class ListingReport
{
public:
    struct Entry
    {
        QString name;
        qint64 size = 0;
        QDateTime date;
    };

    // Parses the lines of a listing; dates without a year are placed
    // relative to now.
    static ListingReport fromLines(const QStringList &lines, const QDateTime &now = QDateTime::currentDateTime());

    const QList<Entry> &entries() const { return m_entries; }
    const QStringList &unparsed() const { return m_unparsed; }

    // One line per entry ("date  size  name"), then the unparsed lines.
    QString toText() const;
    // {"entries": [{"name", "size", "date": "yyyy-MM-ddThh:mm:ss"}], "unparsed": [...]}
    QJsonObject toJson() const;

private:
    QList<Entry> m_entries;
    QStringList m_unparsed;
};
