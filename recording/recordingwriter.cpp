#include "recordingwriter.h"

#include "recording/rawstream.h"

#include <QIODevice>
#include <QTextCodec>
#include <QtEndian>

RecordingWriter::RecordingWriter(QIODevice *device)
    : m_device(device)
{
}

QByteArray RecordingWriter::escape(const QByteArray &logical, bool everything)
{
    QByteArray stored;
    stored.reserve(logical.size() + logical.size() / 64 + 8);
    for (const char ch : logical) {
        const int c = static_cast<unsigned char>(ch);
        // 0x00 is never escaped: its complement would store a marker byte.
        if ((everything && c != 0) || c == RawFormat::kMarker || c == RawFormat::kEscape) {
            stored.append(char(RawFormat::kEscape));
            stored.append(char(c ^ RawFormat::kEscapeMask));
        } else {
            stored.append(ch);
        }
    }
    return stored;
}

void RecordingWriter::writeStored(const QByteArray &stored)
{
    if (m_device->write(stored) != stored.size())
        m_ok = false;
    m_stored += stored.size();
}

void RecordingWriter::writeLogicalFrame(const QByteArray &logical)
{
    QByteArray stored(1, char(RawFormat::kMarker));
    stored += escape(logical, m_escapeEverything);
    writeStored(stored);
}

void RecordingWriter::writeFrame(quint8 type, const QByteArray &content)
{
    writeLogicalFrame(QByteArray(1, char(type)) + content);
}

void RecordingWriter::writeSectionBytes(const QList<QByteArray> &strings)
{
    QByteArray content;
    for (const QByteArray &s : strings) {
        content += s;
        content += '\0';
    }
    writeFrame(RawFormat::kTextSection, content);
}

void RecordingWriter::writeSection(const QString &name, const Pairs &pairs, QTextCodec *codec)
{
    QList<QByteArray> strings{name.toUtf8()};
    for (const auto &pair : pairs) {
        strings.append(pair.first.toUtf8());
        strings.append(codec ? codec->fromUnicode(pair.second) : pair.second.toUtf8());
    }
    writeSectionBytes(strings);
}

void RecordingWriter::writeDataFrame(quint32 timeMs, quint8 stream, const QByteArray &payload)
{
    QByteArray content(RawFormat::kDataHeaderTail, '\0');
    qToLittleEndian<quint32>(timeMs, content.data() + RawFormat::kDataTimeOffset - 1);
    content[RawFormat::kDataStreamOffset - 1] = char(stream);
    writeFrame(RawFormat::kDataFrame, content + payload);
}
