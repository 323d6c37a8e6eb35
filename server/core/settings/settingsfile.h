#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A settings file of the collection server: an XML document of type
// "DrovaneSettings" whose root "drovane" (version "1.0") is either
// read-only ("constant") or editable ("variable") and holds one empty
// "item" element per device with its six parameters (DeviceParam order) as
// the attributes "name", "comment", "period", "source", "destination",
// "option".
//
// Settings files are untrusted input: reading never crashes or hangs on a
// malformed, truncated, huge or hostile file. It keeps every device that
// parsed before the damage, skips unknown elements, reads missing
// attributes as empty texts, shortens over-long texts and stops after
// kMaxDevices devices, each such case with a warning text. A file not read
// whole is Damaged: written back, it would lose devices or texts, so its
// owner keeps it read-only.
namespace SettingsFile {

// Only this many bytes of a file are read (the rest is reported).
constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;
// Devices read from one file at most.
constexpr int kMaxDevices = 2000;
// Characters kept of one attribute text.
constexpr int kMaxTextChars = 4096;

enum class Type { Constant, Variable };

struct Content
{
    Type type = Type::Variable;
    QList<QStringList> devices; // six texts each, DeviceParam order
    // Where reading met the first damage (XML error, a limit), 0 when
    // nowhere in particular, and what it was.
    qint64 damageLine = 0;
    qint64 damageColumn = 0;
    QString damage;
};

// Result codes of read() and write().
enum Status {
    Ok = 0,              // read or written (read: possibly with warnings)
    Empty = 1,           // read: the file holds no element at all
    Damaged = 2,         // read: not read whole; content has what parsed before the damage
    CannotOpen = -1,     // the file cannot be opened (read) or written (write)
    Unsupported = -2,    // read: the root is not "drovane" with version "1.0"
};

// Reads path into content. warnings receives one text per damage the reader
// stepped over (malformed XML, size or count limits, over-long texts).
Status read(const QString &path, Content *content, QStringList *warnings = nullptr);
// Parses a document already in memory (the same rules as read()).
Status parse(const QByteArray &document, Content *content, QStringList *warnings = nullptr);

// Writes content to path through a temporary file in the same folder that
// replaces the file only when complete; errorText receives the reason of a
// failure.
Status write(const QString &path, const Content &content, QString *errorText = nullptr);
// The document write() stores.
QByteArray serialize(const Content &content);

// The name of a settings file's type in its "type" attribute.
QString typeName(Type type);

} // namespace SettingsFile
