#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QIODevice;
class QTextCodec;

// Writes raw recordings: text sections and data frames, each behind a frame
// marker, with content bytes equal to the marker or the escape byte stuffed.
// Used by tests, the demo generator and benchmarks. Writes to a device the
// caller owns and keeps open; the writer only appends.
class RecordingWriter
{
public:
    using Pairs = QList<QPair<QString, QString>>;

    explicit RecordingWriter(QIODevice *device);

    // A text section: the name, then key/value pairs. Names and keys are
    // written as UTF-8; values with `codec` (UTF-8 when null).
    void writeSection(const QString &name, const Pairs &pairs, QTextCodec *codec = nullptr);
    // A text section from raw strings (each is NUL-terminated on output).
    void writeSectionBytes(const QList<QByteArray> &strings);
    // A data frame of stream number `stream` (a byte) at timeMs ms after the base.
    void writeDataFrame(quint32 timeMs, quint8 stream, const QByteArray &payload);
    // A frame of any type with the given logical content after the type byte.
    void writeFrame(quint8 type, const QByteArray &content);
    // Stored bytes as they are, for damaged or hand-shaped files.
    void writeStored(const QByteArray &stored);

    // When set, every content byte but 0x00 is escaped, the type byte
    // included (recorders may escape any byte).
    void setEscapeEverything(bool on) { m_escapeEverything = on; }
    // Stored bytes written so far.
    qint64 storedSize() const { return m_stored; }
    bool ok() const { return m_ok; }

    // The stored form of logical bytes (stuffing only 0xFF and 0xAB, or all but 0x00).
    static QByteArray escape(const QByteArray &logical, bool everything = false);

private:
    void writeLogicalFrame(const QByteArray &logical);

    QIODevice *m_device;
    qint64 m_stored = 0;
    bool m_escapeEverything = false;
    bool m_ok = true;
};
