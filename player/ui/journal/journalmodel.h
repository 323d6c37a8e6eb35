#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

namespace PlayerUi {

// The bookmark journal's entries, kept sorted by time, and its XML file
// (document type "VelmoraLog", root "velmora" version "1.0", one "item"
// element per entry with "date", "time" and "comment").
//
// Times are wall-clock values of the recording's time line, to the second
// and without a zone; they are held as QDateTime in Qt::UTC so that no
// local daylight-saving rule shifts or drops them. No widgets; GUI thread.
class JournalModel
{
public:
    struct Entry
    {
        QDateTime time; // wall clock, Qt::UTC, whole seconds
        QString comment;
    };

    // What a load could not read: the entries (elements "item") dropped,
    // why the first of them was, and the place where a damaged file
    // stopped being readable (the entries after it are counted among the
    // dropped ones).
    struct LoadReport
    {
        int unread = 0;
        QString firstReason;  // the user's words
        bool damaged = false;
        qint64 damageLine = 0;

        bool isComplete() const { return unread == 0 && !damaged; }
    };

    enum class LoadResult {
        Loaded,       // the entries that parsed replaced the old ones
        CannotOpen,   // nothing changed
        TooLarge,     // nothing changed: the file is larger than kMaxFileBytes
    };

    // Journal files larger than this are refused (bytes): a journal holds
    // bookmarks, not bulk data, and a huge file would stall the window.
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
    // Entries beyond this many are not loaded.
    static constexpr int kMaxEntries = 100000;
    // Items with longer comments are skipped (the comment editor's limit).
    static constexpr int kMaxCommentChars = 32767;

    static const QString kDateFormat; // "dd.MM.yyyy"
    static const QString kTimeFormat; // "hh:mm:ss"
    static const QString kDateTimeFormat; // "dd.MM.yyyy hh:mm:ss"

    int count() const { return m_entries.size(); }
    const Entry &at(int i) const { return m_entries.at(i); }
    const QVector<Entry> &entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.isEmpty(); }

    // Adds an entry after those of the same time (control characters XML
    // cannot carry are dropped from the comment); returns its position.
    int add(const QDateTime &time, const QString &comment);
    void remove(int i);
    // Replaces entry i and moves it to its place; returns its new position.
    int change(int i, const QDateTime &time, const QString &comment);
    void clear() { m_entries.clear(); }
    // The last entry whose time is not later than t; -1 when none is.
    int lastAtOrBefore(const QDateTime &t) const;

    // Replaces the entries with those of the file. A file whose root is not
    // "velmora" version "1.0" loads empty; items whose date-time does not
    // parse are skipped; a malformed or truncated file keeps what parsed
    // before the damage. *report (when given) tells what was not read.
    LoadResult load(const QString &fileName, LoadReport *report = nullptr);
    // Writes the file through a temporary file in the same folder renamed
    // over the old one: on failure the old file stays whole. Returns true,
    // or false with *error set.
    bool save(const QString &fileName, QString *error) const;

    // The wall clock of t (its date and time) as a Qt::UTC date-time.
    static QDateTime wallClock(const QDateTime &t);
    // Parses a date "dd.MM.yyyy" and a time "hh:mm:ss", each also with
    // single-digit day, month and hour (minute, second) and surrounding
    // spaces, as a hand-edited journal may have them; invalid when either
    // does not name a real date or time.
    static QDateTime parse(const QString &date, const QString &time);

private:
    QVector<Entry> m_entries; // ascending time; equal times in insertion order
};

} // namespace PlayerUi
