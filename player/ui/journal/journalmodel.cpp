#include "journalmodel.h"

#include "recording/fileerror.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <functional>
#include <cerrno>

namespace PlayerUi {

namespace {

const QString kRoot = QStringLiteral("velmora");
const QString kVersion = QStringLiteral("1.0");
const QString kItem = QStringLiteral("item");
const QString kDocType = QStringLiteral("<!DOCTYPE VelmoraLog>");
const QString kFileComment = QStringLiteral(" This is file use for ...");
const QByteArray kItemTag = QByteArrayLiteral("<item");

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

namespace {

// Splits "a<sep>b<sep>c" into three decimal numbers of between the given
// numbers of digits each; false for anything else.
bool readThreeNumbers(const QString &text, QChar separator, const int (&minDigits)[3], const int (&maxDigits)[3],
                      int (&numbers)[3])
{
    const QString trimmed = text.trimmed();
    int part = 0;
    int digits = 0;
    numbers[0] = numbers[1] = numbers[2] = 0;
    for (const QChar c : trimmed) {
        if (c == separator) {
            if (digits < minDigits[part] || ++part > 2)
                return false;
            digits = 0;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            if (++digits > maxDigits[part])
                return false;
            numbers[part] = numbers[part] * 10 + (c.unicode() - '0');
        } else {
            return false;
        }
    }
    return part == 2 && digits >= minDigits[part];
}

} // namespace

QDateTime JournalModel::parse(const QString &date, const QString &time)
{
    // Day, month, hour, minute and second take one or two digits, so both
    // written forms parse; the year takes four. Parsed by hand: a journal
    // of a hundred thousand entries loads without a stall.
    constexpr int kFewestDateDigits[3] = {1, 1, 4};
    constexpr int kMostDateDigits[3] = {2, 2, 4};
    constexpr int kFewestTimeDigits[3] = {1, 1, 1};
    constexpr int kMostTimeDigits[3] = {2, 2, 2};
    int dmy[3] = {};
    int hms[3] = {};
    if (!readThreeNumbers(date, QLatin1Char('.'), kFewestDateDigits, kMostDateDigits, dmy)
        || !readThreeNumbers(time, QLatin1Char(':'), kFewestTimeDigits, kMostTimeDigits, hms))
        return QDateTime();
    const QDate d(dmy[2], dmy[1], dmy[0]);
    const QTime t(hms[0], hms[1], hms[2]);
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

JournalModel::LoadResult JournalModel::load(const QString &fileName, LoadReport *report)
{
    LoadReport local;
    LoadReport &r = report ? *report : local;
    r = LoadReport();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::CannotOpen;
    if (file.size() > kMaxFileBytes)
        return LoadResult::TooLarge;
    const QByteArray bytes = file.readAll();

    m_entries.clear();
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != kRoot || xml.attributes().value(QStringLiteral("version")) != kVersion) {
        r.unread = bytes.count(kItemTag);
        r.damaged = true;
        r.damageLine = xml.lineNumber();
        r.firstReason = QStringLiteral("это не файл журнала");
        return LoadResult::Loaded;
    }
    QVector<Entry> loaded;
    int items = 0;
    // Counts a dropped entry; the reason of the first one is kept.
    const auto drop = [&r](const std::function<QString()> &reason) {
        if (r.firstReason.isEmpty())
            r.firstReason = reason();
        ++r.unread;
    };
    while (xml.readNextStartElement()) {
        if (xml.name() == kItem) {
            if (loaded.size() >= kMaxEntries) {
                // The rest is counted, not read: a journal holds no more.
                const int rest = qMax(0, bytes.count(kItemTag) - items);
                r.unread += rest;
                if (r.firstReason.isEmpty())
                    r.firstReason = QStringLiteral("в журнале не больше %1 записей").arg(kMaxEntries);
                items += rest;
                break;
            }
            ++items;
            const QXmlStreamAttributes a = xml.attributes();
            const QStringRef date = a.value(QStringLiteral("date"));
            const QStringRef time = a.value(QStringLiteral("time"));
            const QDateTime t = parse(date.toString(), time.toString());
            const QStringRef comment = a.value(QStringLiteral("comment"));
            if (!t.isValid())
                drop([&] { return QStringLiteral("запись %1: «%2 %3» — не дата и время").arg(items).arg(date, time); });
            else if (comment.size() > kMaxCommentChars)
                drop([&] { return QStringLiteral("запись %1: комментарий длиннее %2 знаков").arg(items).arg(kMaxCommentChars); });
            else
                loaded.append(Entry{t, comment.toString()});
        }
        xml.skipCurrentElement();
    }
    if (xml.hasError()) {
        // What follows the damage is lost to the reader: its entries count
        // as not read (an element cut by the damage among them).
        r.damaged = true;
        r.damageLine = xml.lineNumber();
        r.unread += qMax(0, bytes.count(kItemTag) - items);
        if (r.firstReason.isEmpty())
            r.firstReason = QStringLiteral("файл повреждён в строке %1").arg(r.damageLine);
    }
    // Stable: entries of the same time keep their order in the file.
    std::stable_sort(loaded.begin(), loaded.end(), [](const Entry &a, const Entry &b) { return a.time < b.time; });
    m_entries = loaded;
    return LoadResult::Loaded;
}

bool JournalModel::save(const QString &fileName, QString *error) const
{
    QSaveFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        *error = fileErrorText(file, errno);
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
    errno = 0;
    if (xml.hasError() || !file.commit()) {
        *error = fileErrorText(file, errno);
        return false;
    }
    return true;
}

} // namespace PlayerUi
