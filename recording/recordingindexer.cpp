#include "recordingindexer.h"

#include "recording/indexfoldercleanup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <limits>

using namespace RawFormat;

namespace {

const QString kSectionFile = QStringLiteral("FILE");
const QString kSectionOnline = QStringLiteral("ONLINE");
const QString kSectionStream = QStringLiteral("STREAM");
const QString kKeyEncoding = QStringLiteral("ENCODING");
const QString kKeyId = QStringLiteral("ID");
const QString kKeyFileName = QStringLiteral("FILENAME");
const QString kKeyIndexFileName = QStringLiteral("INDEX_FILENAME");

// Stream numbers a data frame can carry (a signed byte: 0..127).
constexpr quint32 kMaxFrameStreamId = 127;

} // namespace

RecordingIndexer::RecordingIndexer() = default;

RecordingIndexer::~RecordingIndexer()
{
    removeIndexFiles();
    if (m_rawFile)
        fclose(m_rawFile);
    dropIndexFolder();
}

bool RecordingIndexer::open(const QString &fileName)
{
    reset();
    if (fileName.isEmpty())
        return false;
    m_fileName = fileName;
    m_indexPrefix = QString::number(QDateTime::currentMSecsSinceEpoch());
    return true;
}

int RecordingIndexer::start()
{
    closeFiles();
    removeIndexFiles();
    m_sections.clear();
    m_sectionOrder.clear();
    m_textItems = 0;
    m_errorString.clear();
    m_failure = NoFailure;
    m_failureReason.clear();
    if (m_fileName.isEmpty())
        return 2;
    // Directories open for reading on some systems; they are never recordings.
    if (QFileInfo(m_fileName).isDir()) {
        m_errorString = QStringLiteral("is a directory");
        m_failure = IsDirectory;
        return 1;
    }
    m_rawFile = fopen(QFile::encodeName(m_fileName).constData(), "rb");
    if (!m_rawFile) {
        m_failureReason = QString::fromLocal8Bit(strerror(errno));
        m_errorString = m_failureReason;
        m_failure = CannotOpen;
        return 1;
    }
    // The block reader does its own buffering.
    setvbuf(m_rawFile, nullptr, _IONBF, 0);
    m_state = FrameStart;
    fseeko(m_rawFile, 0, SEEK_END);
    m_fileSize = qMax<qint64>(0, ftello(m_rawFile));
    rewind(m_rawFile);
    m_reader.attach(m_rawFile);
    return 0;
}

double RecordingIndexer::progress() const
{
    if (!m_rawFile || m_fileSize <= 0)
        return 0.0;
    return qBound(0.0, double(m_reader.position()) / double(m_fileSize), 1.0);
}

void RecordingIndexer::closeFiles()
{
    m_marking.reset();
    if (m_rawFile) {
        m_reader.attach(nullptr);
        fclose(m_rawFile);
        m_rawFile = nullptr;
    }
    for (const std::unique_ptr<StreamIndexEntry> &entry : m_streams) {
        if (entry->indexFile) {
            fclose(entry->indexFile);
            entry->indexFile = nullptr;
        }
    }
    m_state = Idle;
    m_record.stream = -1;
}

int RecordingIndexer::removeIndexFiles()
{
    m_marking.reset();
    int removed = 0;
    for (const std::unique_ptr<StreamIndexEntry> &entry : m_streams) {
        if (entry->indexFile)
            fclose(entry->indexFile);
        const QString path = entry->descriptor.value(kKeyIndexFileName);
        if (!path.isEmpty() && ::remove(path.toLocal8Bit().constData()) == 0)
            ++removed;
    }
    m_streams.clear();
    m_streamByNumber.fill(nullptr);
    return removed;
}

void RecordingIndexer::reset()
{
    removeIndexFiles();
    if (m_rawFile) {
        m_reader.attach(nullptr);
        fclose(m_rawFile);
        m_rawFile = nullptr;
    }
    dropIndexFolder();
    m_textCodec = nullptr;
    m_fileName.clear();
    m_indexPrefix.clear();
    m_sections.clear();
    m_sectionOrder.clear();
    m_textItems = 0;
    m_errorString.clear();
    m_failure = NoFailure;
    m_failureReason.clear();
    m_state = Idle;
    m_record.stream = -1;
}

// Stops indexing for good: nothing read so far is kept.
void RecordingIndexer::refuse(const QString &message, Failure failure, const QString &reason)
{
    closeFiles();
    removeIndexFiles();
    m_sections.clear();
    m_sectionOrder.clear();
    m_errorString = message;
    m_failure = failure;
    m_failureReason = reason;
}

void RecordingIndexer::failIndexWrite(const QString &path, int error)
{
    const QString reason = QString::fromLocal8Bit(strerror(error));
    refuse(QStringLiteral("cannot write the index file %1: %2").arg(path, reason), IndexWriteFailed, reason);
}

// Buffered index records reach their files when reading ends: a full disk
// shows here at the latest.
bool RecordingIndexer::flushIndexFiles()
{
    for (const std::unique_ptr<StreamIndexEntry> &entry : m_streams) {
        errno = 0;
        if (entry->indexFile && fflush(entry->indexFile) != 0) {
            failIndexWrite(entry->descriptor.value(kKeyIndexFileName), errno);
            return false;
        }
    }
    return true;
}

void RecordingIndexer::dropIndexFolder()
{
    if (!m_indexDir)
        return;
    IndexFolderCleanup::unregisterFolder(QFile::encodeName(m_indexDir->path()));
    m_indexDir.reset();
}

QString RecordingIndexer::indexFolder() const
{
    return m_indexDir ? m_indexDir->path() : QString();
}

// --- stepping -------------------------------------------------------------

void RecordingIndexer::step()
{
    if (!m_rawFile)
        m_state = Idle; // refused or closed: nothing more to read
    if (m_state == Idle)
        return;
    if (m_state == TextSection)
        stepTextSection();
    else
        stepFrameStart();
    if (m_state == Idle && m_failure == NoFailure)
        flushIndexFiles();
}

void RecordingIndexer::stepFrameStart()
{
    // Stored position of the frame's first byte after its marker: the type
    // byte, even when the recorder escaped it.
    const qint64 framePosition = m_reader.position();
    const int c = m_reader.readByte();
    switch (c) {
    case kDataFrame:
        if (quint64(framePosition) > IndexFormat::kMaxOffset) {
            refuse(QStringLiteral("frames beyond byte %1 cannot be indexed").arg(IndexFormat::kMaxOffset), FramesOutOfReach);
            return;
        }
        m_record.offset = quint64(framePosition);
        stepDataHeader();
        return;
    case kTextSection:
        m_state = TextSection;
        stepTextSection();
        return;
    case kEndOfFile:
        m_state = Idle;
        return;
    case kFrameMarker:
        return; // an empty frame
    default:
        m_record.length = 0;
        m_record.stream = -1;
        stepSkipFrame();
        return;
    }
}

void RecordingIndexer::stepDataHeader()
{
    m_state = DataHeader;
    m_record.length = 0;
    m_record.time = 0;
    m_record.stream = -1;
    unsigned char header[kDataHeaderTail];
    int count = 0;
    const int last = m_reader.readBytes(header, kDataHeaderTail, &count);
    if (count == kDataHeaderTail) {
        m_record.time = qFromLittleEndian<quint32>(header + kDataTimeOffset - 1);
        m_record.length = kDataHeaderSize;
        m_record.stream = qint8(header[kDataStreamOffset - 1]);
    }
    if (last < 0)
        finishBy(last);
    else
        stepSkipFrame();
}

void RecordingIndexer::stepSkipFrame()
{
    m_state = SkipFrame;
    quint64 length = m_record.length;
    const int c = m_reader.skipFrame(&length);
    // The record holds 32 bits: a longer (damaged) frame saturates rather
    // than wrap to a small length.
    m_record.length = quint32(qMin<quint64>(length, std::numeric_limits<quint32>::max()));
    finishBy(c);
}

// Ends the current frame by a marker (next frame follows) or the end of the file.
void RecordingIndexer::finishBy(int result)
{
    m_state = result == kEndOfFile ? Idle : FrameEnded;
    endFrame();
}

void RecordingIndexer::endFrame()
{
    if (m_record.stream >= 0) {
        if (StreamIndexEntry *entry = m_streamByNumber[size_t(m_record.stream)]) {
            if (entry->indexFile) {
                m_record.startLevel = 0;
                m_record.endLevel = 0;
                errno = 0;
                if (!writeRecord(entry->indexFile, m_record)) {
                    failIndexWrite(entry->descriptor.value(kKeyIndexFileName), errno);
                    return;
                }
            }
            ++entry->frameCount;
            // The total is an int in caches and descriptors: saturate rather
            // than wrap for streams beyond 2 GiB.
            entry->totalLength = int(qMin<qint64>(qint64(entry->totalLength) + m_record.length,
                                                  std::numeric_limits<int>::max()));
        }
    }
    m_record.length = 0;
    m_record.time = 0;
    m_record.stream = -1;
    if (m_state == FrameEnded)
        m_state = FrameStart;
}

// --- text sections ---------------------------------------------------------

int RecordingIndexer::readToken()
{
    const int result = m_reader.readString(m_token, kMaxToken, &m_tokenCount);
    m_token[m_tokenCount] = 0;
    return result;
}

QString RecordingIndexer::tokenUtf8() const
{
    return QString::fromUtf8(reinterpret_cast<const char *>(m_token), m_tokenCount);
}

void RecordingIndexer::stepTextSection()
{
    int result = readToken();
    if (result < 0) {
        finishBy(result);
        return;
    }
    const QString name = tokenUtf8().toUpper();
    if (name.isEmpty())
        return; // the next string names the section
    if (!countTextItem())
        return;

    QMap<QString, QString> pairs;
    for (;;) {
        result = readToken();
        if (result < 0)
            break;
        const QString key = tokenUtf8().toUpper();
        result = readToken();
        if (result < 0)
            break;
        if (!countTextItem())
            return;
        const char *bytes = reinterpret_cast<const char *>(m_token);
        pairs.insert(key, m_textCodec ? m_textCodec->toUnicode(bytes, m_tokenCount)
                                      : QString::fromUtf8(bytes, m_tokenCount));
    }
    endSection(name, pairs);
    if (m_failure != NoFailure)
        return; // refused while declaring a stream
    finishBy(result);
}

void RecordingIndexer::endSection(const QString &name, const QMap<QString, QString> &pairs)
{
    m_sections.insert(name, pairs);
    m_sectionOrder.append(qMakePair(name, pairs));
    if (name == kSectionFile || name == kSectionOnline) {
        const QString codecName = pairs.value(kKeyEncoding);
        m_textCodec = codecName.isEmpty() ? nullptr : QTextCodec::codecForName(codecName.toLocal8Bit());
    } else if (name == kSectionStream) {
        declareStream(pairs);
    }
}

// Counts one more section or pair; false (and the recording refused) when
// the text outgrows what a recording of this size can hold.
bool RecordingIndexer::countTextItem()
{
    if (++m_textItems <= kBaseTextItems + m_fileSize / kBytesPerTextItem)
        return true;
    refuse(QStringLiteral("more text sections and keys than a recording of %1 bytes can hold: "
                          "the file is damaged or not a recording").arg(m_fileSize), TextOutOfProportion);
    return false;
}

// Frames reach the first stream declared with their number, and numbers
// above 127 reach none.
void RecordingIndexer::appendStream(std::unique_ptr<StreamIndexEntry> entry)
{
    if (entry->id <= kMaxFrameStreamId && !m_streamByNumber[entry->id])
        m_streamByNumber[entry->id] = entry.get();
    m_streams.push_back(std::move(entry));
}

void RecordingIndexer::declareStream(const QMap<QString, QString> &pairs)
{
    auto entry = std::make_unique<StreamIndexEntry>();
    entry->id = pairs.value(kKeyId).toUInt();
    entry->descriptor = pairs;
    entry->descriptor.insert(kKeyFileName, m_fileName);
    const bool carriesFrames = entry->id <= kMaxFrameStreamId && !m_streamByNumber[entry->id];
    if (m_writeIndexFiles && carriesFrames) {
        const QString path = createIndexPath();
        if (path.isEmpty())
            return;
        entry->descriptor.insert(kKeyIndexFileName, path);
        errno = 0;
        entry->indexFile = fopen(path.toLocal8Bit().constData(), "wb+");
        if (!entry->indexFile) {
            failIndexWrite(path, errno);
            return;
        }
    }
    appendStream(std::move(entry));
}

// The path of the next index file; empty after refusing the recording when
// the index folder cannot be made.
QString RecordingIndexer::createIndexPath()
{
    if (!m_indexDir) {
        m_indexDir.reset(new QTemporaryDir(QDir::tempPath() + QStringLiteral("/velmora-index-XXXXXX")));
        if (!m_indexDir->isValid()) {
            const QString reason = m_indexDir->errorString();
            m_indexDir.reset();
            refuse(QStringLiteral("cannot create an index folder in %1: %2").arg(QDir::tempPath(), reason),
                   IndexFolderFailed, reason);
            return QString();
        }
        IndexFolderCleanup::registerFolder(QFile::encodeName(m_indexDir->path()));
    }
    return m_indexDir->path() + QLatin1Char('/') + m_indexPrefix + QString::number(m_streams.size());
}

// --- stream look-up and records --------------------------------------------

StreamDescriptor RecordingIndexer::descriptor(int position, int *frameCount, int *totalLength) const
{
    if (position < 0 || position >= streamCount())
        return StreamDescriptor();
    const StreamIndexEntry *entry = m_streams[size_t(position)].get();
    if (frameCount)
        *frameCount = entry->frameCount;
    if (totalLength)
        *totalLength = entry->totalLength;
    return entry->descriptor;
}

StreamDescriptor RecordingIndexer::descriptorById(quint32 id, int *frameCount, int *totalLength) const
{
    int position = -1;
    if (!findStream(id, &position))
        return StreamDescriptor();
    return descriptor(position, frameCount, totalLength);
}

const StreamIndexEntry *RecordingIndexer::findStream(quint32 id, int *position) const
{
    for (size_t i = 0; i < m_streams.size(); ++i) {
        if (m_streams[i]->id == id) {
            if (position)
                *position = int(i);
            return m_streams[i].get();
        }
    }
    return nullptr;
}

QList<const StreamIndexEntry *> RecordingIndexer::streams() const
{
    QList<const StreamIndexEntry *> list;
    list.reserve(streamCount());
    for (const std::unique_ptr<StreamIndexEntry> &entry : m_streams)
        list.append(entry.get());
    return list;
}

IndexRecord RecordingIndexer::firstRecord(int position, int n) const
{
    if (position < 0 || position >= streamCount() || n < 0)
        return IndexRecord::none();
    FILE *file = m_streams[size_t(position)]->indexFile;
    if (!file)
        return IndexRecord::none();
    // Keep the write position: indexing may still be appending to the file.
    const qint64 saved = ftello(file);
    IndexRecord record;
    if (!readRecordAt(file, qint64(n) * IndexFormat::kRecordSize, &record))
        record = IndexRecord::none();
    fseeko(file, saved, SEEK_SET);
    return record;
}

IndexRecord RecordingIndexer::lastRecord(int position) const
{
    if (position < 0 || position >= streamCount())
        return IndexRecord::none();
    FILE *file = m_streams[size_t(position)]->indexFile;
    if (!file)
        return IndexRecord::none();
    const qint64 saved = ftello(file);
    IndexRecord record = IndexRecord::none();
    if (fseeko(file, -IndexFormat::kRecordSize, SEEK_END) != 0 || !readRecord(file, &record))
        record = IndexRecord::none();
    fseeko(file, saved, SEEK_SET);
    return record;
}

void RecordingIndexer::markAllLevels(const QList<int> &thresholds)
{
    for (int position = 0; position < streamCount(); ++position)
        markStreamLevels(position, thresholds);
}

void RecordingIndexer::markStreamLevels(int position, const QList<int> &thresholds)
{
    while (!markStreamLevelsSlice(position, thresholds)) {
    }
}

bool RecordingIndexer::markStreamLevelsSlice(int position, const QList<int> &thresholds)
{
    if (position < 0 || position >= streamCount())
        return true;
    StreamIndexEntry &entry = *m_streams[size_t(position)];
    if (!m_marking || m_markingPosition != position) {
        entry.levels = thresholds;
        m_marking.reset();
        if (!entry.indexFile)
            return true;
        m_marking = std::make_unique<LevelMarking>(entry.indexFile, thresholds);
        m_markingPosition = position;
    }
    if (!m_marking->step())
        return false;
    m_marking.reset();
    return true;
}
