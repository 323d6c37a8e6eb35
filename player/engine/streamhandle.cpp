#include "streamhandle.h"

#include "codecs/audiocodec.h"
#include "recording/rawstream.h"

#include <QFile>

#include <limits>

using IndexFormat::kNoTime;

namespace {

// Opens a named file for reading; null for an empty name or a failure.
FILE *openForReading(const QString &path)
{
    if (path.isEmpty())
        return nullptr;
    return fopen(QFile::encodeName(path).constData(), "rb");
}

qint64 sizeOf(FILE *file)
{
    if (!file || fseeko(file, 0, SEEK_END) != 0)
        return 0;
    const qint64 size = qMax<qint64>(0, ftello(file));
    rewind(file);
    return size;
}

int parseStreamId(const StreamDescriptor &descriptor)
{
    bool ok = false;
    const uint id = descriptor.value(QStringLiteral("ID")).toUInt(&ok, 10);
    // Data frames carry the stream number as one signed byte: larger ids
    // can never match a frame, but stay distinct from "no id".
    return ok && id <= uint(std::numeric_limits<int>::max()) ? int(id) : -1;
}

void closeFile(FILE **file)
{
    if (*file) {
        fclose(*file);
        *file = nullptr;
    }
}

} // namespace

double StreamHandle::currentTime() const
{
    return kNoTime;
}

double StreamHandle::currentDuration() const
{
    return 0;
}

StreamHandle::~StreamHandle() = default;

FileStreamHandle::FileStreamHandle(const StreamDescriptor &descriptor)
    : m_descriptor(descriptor)
    , m_streamId(parseStreamId(descriptor))
{
    m_dataFile = openForReading(descriptor.value(QStringLiteral("FILENAME")));
    m_indexFile = openForReading(descriptor.value(QStringLiteral("INDEX_FILENAME")));
    m_indexSize = sizeOf(m_indexFile);
}

FileStreamHandle::~FileStreamHandle()
{
    closeFile(&m_dataFile);
    closeFile(&m_indexFile);
}

int FileStreamHandle::open()
{
    if (!filesOpen()) {
        m_state = Closed;
        return 1;
    }
    m_state = Open;
    return 0;
}

int FileStreamHandle::next()
{
    if (m_state == Closed || m_state == AtEnd)
        return 0;
    m_state = Open;
    IndexRecord r;
    while (readRecord(m_indexFile, &r)) {
        if (r.stream != m_streamId)
            continue;
        m_record = r;
        if (!isValidRecord(r))
            return 1;
        m_state = OnRecord;
        return 0;
    }
    m_record = IndexRecord::none();
    m_state = AtEnd;
    return 0;
}

int FileStreamHandle::seek(double t)
{
    if (m_state == Closed)
        return 0;
    findRecordByTime(m_indexFile, t, &m_record);
    if (!isValidRecord(m_record)) {
        m_state = Open;
        return 1;
    }
    m_state = OnRecord;
    return 0;
}

int FileStreamHandle::close()
{
    m_state = Closed;
    closeFile(&m_dataFile);
    closeFile(&m_indexFile);
    return 0;
}

double FileStreamHandle::currentTime() const
{
    return m_state == OnRecord ? double(m_record.time) : kNoTime;
}

double FileStreamHandle::progress() const
{
    if (!m_indexFile || m_indexSize <= 0)
        return 0;
    return qBound(0.0, double(ftello(m_indexFile)) / double(m_indexSize), 1.0);
}

void FileStreamHandle::rewindIndex()
{
    rewind(m_indexFile);
    m_record = IndexRecord::none();
}

int recordPayloadLength(const IndexRecord &record)
{
    if (record.stream < 0 || record.length < quint32(RawFormat::kDataHeaderSize))
        return 0;
    return int(qMin<quint32>(record.length - RawFormat::kDataHeaderSize,
                             quint32(std::numeric_limits<int>::max())));
}

int FileStreamHandle::payloadLength() const
{
    return recordPayloadLength(m_record);
}

bool FileStreamHandle::isValidRecord(const IndexRecord &r) const
{
    return r.stream >= 0 && r.stream == m_streamId && validateRecord(m_dataFile, r);
}

std::unique_ptr<AudioCodec> FileStreamHandle::createCodec(const StreamDescriptor &descriptor)
{
    return createAudioCodec(descriptor.value(QStringLiteral("ENCODING")), kDefaultCodecRate);
}
