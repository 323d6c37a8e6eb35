#include "listingreport.h"

#include "server/core/downloaders/listlineparser.h"
#include "server/core/log/visibletext.h"

#include <QJsonArray>

namespace {
const QString kDateFormat = QStringLiteral("yyyy-MM-ddThh:mm:ss");
}

ListingReport ListingReport::fromLines(const QStringList &lines, const QDateTime &now)
{
    ListingReport report;
    for (const QString &line : lines) {
        Entry entry;
        if (parseListLine(line, &entry.name, &entry.size, &entry.date, now) == ListLineFile)
            report.m_entries.append(entry);
        else if (!line.trimmed().isEmpty())
            report.m_unparsed.append(line);
    }
    return report;
}

QString ListingReport::toText() const
{
    QString text;
    for (const Entry &entry : m_entries)
        text += QStringLiteral("%1  %2  %3\n").arg(entry.date.toString(kDateFormat)).arg(entry.size, 12).arg(visibleText(entry.name));
    if (!m_unparsed.isEmpty()) {
        text += QStringLiteral("unparsed lines:\n");
        for (const QString &line : m_unparsed)
            text += QStringLiteral("  ") + visibleText(line) + QLatin1Char('\n');
    }
    return text;
}

QJsonObject ListingReport::toJson() const
{
    QJsonArray entries;
    for (const Entry &entry : m_entries) {
        entries.append(QJsonObject{{QStringLiteral("name"), entry.name},
                                   {QStringLiteral("size"), double(entry.size)},
                                   {QStringLiteral("date"), entry.date.toString(kDateFormat)}});
    }
    return QJsonObject{{QStringLiteral("entries"), entries},
                       {QStringLiteral("unparsed"), QJsonArray::fromStringList(m_unparsed)}};
}
