#include "journalmodel.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

const QString kRoot = QStringLiteral("velmora");
const QString kVersion = QStringLiteral("1.0");
const QString kItem = QStringLiteral("item");
const QString kDocType = QStringLiteral("<!DOCTYPE VelmoraLog>");
const QString kFileComment = QStringLiteral(" This is file use for ...");

bool earlier(const QDateTime &t, const JournalModel::Entry &e)
{
    return t < e.time;
}

// XML 1.0 cannot carry control characters other than tab, line feed and
// carriage return: a pasted one would make the saved file unreadable.
QString xmlSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            safe.append(c);
    }
    return safe;
}

} // namespace

const QString JournalModel::kDateFormat = QStringLiteral("dd.MM.yyyy");
const QString JournalModel::kTimeFormat = QStringLiteral("hh:mm:ss");
const QString JournalModel::kDateTimeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

QDateTime JournalModel::wallClock(const QDateTime &t)
{
    const QTime time = t.time();
    return QDateTime(t.date(), QTime(time.hour(), time.minute(), time.second()), Qt::UTC);
}

QDateTime JournalModel::parse(const QString &date, const QString &time)
{
    const QDate d = QDate::fromString(date, kDateFormat);
    const QTime t = QTime::fromString(time, kTimeFormat);
    if (!d.isValid() || !t.isValid())
        return QDateTime();
    return QDateTime(d, t, Qt::UTC);
}

int JournalModel::add(const QDateTime &time, const QString &comment)
{
    const QDateTime t = wallClock(time);
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), t, earlier);
    const int i = int(at - m_entries.begin());
    m_entries.insert(i, Entry{t, xmlSafe(comment)});
    return i;
}

void JournalModel::remove(int i)
{
    if (i >= 0 && i < m_entries.size())
        m_entries.remove(i);
}

int JournalModel::change(int i, const QDateTime &time, const QString &comment)
{
    remove(i);
    return add(time, comment);
}

int JournalModel::lastAtOrBefore(const QDateTime &t) const
{
    const auto after = std::upper_bound(m_entries.begin(), m_entries.end(), t, earlier);
    return int(after - m_entries.begin()) - 1;
}

JournalModel::LoadResult JournalModel::load(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::CannotOpen;
    if (file.size() > kMaxFileBytes)
        return LoadResult::TooLarge;

    m_entries.clear();
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != kRoot || xml.attributes().value(QStringLiteral("version")) != kVersion)
        return LoadResult::Loaded;
    QVector<Entry> loaded;
    while (loaded.size() < kMaxEntries && xml.readNextStartElement()) {
        if (xml.name() == kItem) {
            const QXmlStreamAttributes a = xml.attributes();
            const QDateTime t = parse(a.value(QStringLiteral("date")).toString(), a.value(QStringLiteral("time")).toString());
            const QStringRef comment = a.value(QStringLiteral("comment"));
            if (t.isValid() && comment.size() <= kMaxCommentChars)
                loaded.append(Entry{t, comment.toString()});
        }
        xml.skipCurrentElement();
    }
    // Stable: entries of the same time keep their order in the file.
    std::stable_sort(loaded.begin(), loaded.end(), [](const Entry &a, const Entry &b) { return a.time < b.time; });
    m_entries = loaded;
    return LoadResult::Loaded;
}

bool JournalModel::save(const QString &fileName, QString *error) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.setCodec("UTF-8");
    xml.writeStartDocument(QStringLiteral("1.0"));
    xml.writeDTD(kDocType);
    xml.writeComment(kFileComment);
    xml.writeStartElement(kRoot);
    xml.writeAttribute(QStringLiteral("version"), kVersion);
    for (const Entry &e : m_entries) {
        xml.writeEmptyElement(kItem);
        xml.writeAttribute(QStringLiteral("date"), e.time.toString(kDateFormat));
        xml.writeAttribute(QStringLiteral("time"), e.time.toString(kTimeFormat));
        xml.writeAttribute(QStringLiteral("comment"), e.comment);
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
