#include "indexcache.h"

#include "recording/recordingindexer.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QSaveFile>
#include <QTextCodec>

namespace {

const QString kCacheSuffix = QStringLiteral(".IND");

// Smallest serialised stream entry: id, empty descriptor, two counters (bytes).
constexpr qint64 kMinStreamBytes = 4 * 4;

struct CachedStream
{
    qint32 id = 0;
    QMap<QString, QString> descriptor;
    qint32 frameCount = 0;
    qint32 totalLength = 0;
};

// Everything a cache holds, read before any of it touches the indexer.
struct CacheContents
{
    SectionsMap sections;
    QByteArray codecName;
    QString fileName;
    qint32 fileSize = 0;
    QString indexPrefix;
    QList<CachedStream> streams;
    qint32 recordStream = -1, recordOffset = 0, recordLength = 0, recordTime = 0;
    qint32 tokenCount = 0;
    QByteArray token;
    bool writeIndexFiles = true;
};

bool readStreams(QDataStream &in, QList<CachedStream> *streams)
{
    qint32 count = 0;
    in >> count;
    const qint64 remaining = in.device()->bytesAvailable();
    // Each entry takes at least kMinStreamBytes: a larger count is corrupt.
    if (in.status() != QDataStream::Ok || count < 0 || qint64(count) * kMinStreamBytes > remaining)
        return false;
    for (qint32 i = 0; i < count; ++i) {
        CachedStream s;
        in >> s.id >> s.descriptor >> s.frameCount >> s.totalLength;
        if (in.status() != QDataStream::Ok)
            return false;
        streams->append(s);
    }
    return true;
}

bool readContents(const QByteArray &bytes, CacheContents *c)
{
    QDataStream in(bytes);
    in >> c->sections >> c->codecName >> c->fileName >> c->fileSize >> c->indexPrefix;
    if (in.status() != QDataStream::Ok || !readStreams(in, &c->streams))
        return false;
    in >> c->recordStream >> c->recordOffset >> c->recordLength >> c->recordTime;
    in >> c->tokenCount >> c->token >> c->writeIndexFiles;
    return in.status() == QDataStream::Ok && c->tokenCount >= 0
        && c->tokenCount <= RawFormat::kMaxToken && c->token.size() <= RawFormat::kMaxToken;
}

} // namespace

QString cachePathFor(const QString &recordingPath)
{
    return recordingPath + kCacheSuffix;
}

bool isCacheFileName(const QString &fileName)
{
    return fileName.contains(kCacheSuffix);
}

bool saveCache(const RecordingIndexer &indexer, const QString &path)
{
    if (path.isEmpty())
        return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QDataStream out(&buffer);
    out << static_cast<const QMap<QString, QMap<QString, QString>> &>(indexer.m_sections);
    out << (indexer.m_textCodec ? indexer.m_textCodec->name() : QByteArray());
    out << indexer.m_fileName << qint32(indexer.m_fileSize) << indexer.m_indexPrefix;
    out << qint32(indexer.m_streams.size());
    for (const std::unique_ptr<StreamIndexEntry> &entry : indexer.m_streams)
        out << qint32(entry->id) << entry->descriptor << qint32(entry->frameCount) << qint32(entry->totalLength);
    const IndexRecord &r = indexer.m_record;
    out << qint32(r.stream) << qint32(r.offset) << qint32(r.length) << qint32(r.time);
    out << qint32(indexer.m_tokenCount);
    out << QByteArray(reinterpret_cast<const char *>(indexer.m_token), RawFormat::kMaxToken);
    out << indexer.m_writeIndexFiles;

    // Written through a temporary file so that a failed write never leaves a half cache.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

bool loadCache(RecordingIndexer &indexer, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    CacheContents c;
    if (!readContents(bytes, &c))
        return false;

    indexer.closeFiles();
    indexer.removeIndexFiles();
    indexer.m_errorString.clear();
    indexer.m_sections = c.sections;
    indexer.m_sectionOrder.clear();
    for (auto it = c.sections.cbegin(); it != c.sections.cend(); ++it)
        indexer.m_sectionOrder.append(qMakePair(it.key(), it.value()));
    indexer.m_textCodec = c.codecName.isEmpty() ? nullptr : QTextCodec::codecForName(c.codecName);
    indexer.m_fileName = c.fileName;
    indexer.m_fileSize = c.fileSize;
    indexer.m_indexPrefix = c.indexPrefix;
    for (const CachedStream &s : qAsConst(c.streams)) {
        auto entry = std::make_unique<StreamIndexEntry>();
        entry->id = quint32(s.id);
        entry->descriptor = s.descriptor;
        entry->frameCount = s.frameCount;
        entry->totalLength = s.totalLength;
        indexer.appendStream(std::move(entry));
    }
    indexer.m_record.offset = quint64(quint32(c.recordOffset));
    indexer.m_record.length = quint32(c.recordLength);
    indexer.m_record.time = quint32(c.recordTime);
    indexer.m_record.stream = -1;
    indexer.m_tokenCount = c.tokenCount;
    memset(indexer.m_token, 0, sizeof indexer.m_token);
    memcpy(indexer.m_token, c.token.constData(), size_t(c.token.size()));
    indexer.m_writeIndexFiles = c.writeIndexFiles;
    indexer.m_state = RecordingIndexer::Idle;
    return true;
}
