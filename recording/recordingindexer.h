#pragma once

#include "recording/indexrecord.h"
#include "recording/rawblockreader.h"
#include "recording/streamdescriptor.h"
#include "recording/streamindexentry.h"

#include <QList>
#include <QMap>
#include <QMultiMap>
#include <QPair>
#include <QString>

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

class QTemporaryDir;
class QTextCodec;

// Every text section by upper-case name; several sections may share a name
// (a look-up by name yields the one read last).
using SectionsMap = QMultiMap<QString, QMap<QString, QString>>;

// Reads a raw recording once from front to back, one frame per step(), and
// collects its sections, its declared streams and (optionally) one index file
// per stream. Not thread-safe: the owner drives it from one thread.
//
// Index files are created in a private folder under the system temporary
// directory, owned by this indexer and removed by reset() and the destructor.
// Only streams that can carry frames get one (an "ID" of 0..127 not declared
// by an earlier stream).
//
// Recordings are untrusted: a file that would make the kept text (sections
// and their keys) grow out of proportion to its size, or whose frames lie
// beyond what an index record can address, is refused: indexing stops with
// nothing kept and errorString() says why. So does an index folder that
// cannot be made or an index file that cannot be written: a reader of the
// index files would otherwise find them empty or short.
class RecordingIndexer
{
public:
    // Text items (sections plus key/value pairs) kept for any recording ...
    static constexpr qint64 kBaseTextItems = 10000;
    // ... plus one more per this many bytes of the recording.
    static constexpr qint64 kBytesPerTextItem = 1024;

    // Why indexing failed (failure()); the programs word each for their users.
    enum Failure {
        NoFailure = 0,
        CannotOpen,        // the recording cannot be opened (failureReason(): the system's text)
        IsDirectory,
        TextOutOfProportion,
        FramesOutOfReach,
        IndexFolderFailed, // the index folder cannot be made (failureReason(): the system's text)
        IndexWriteFailed,  // an index file cannot be created or written (failureReason(): the system's text)
    };

    enum State {
        FrameStart = 0,
        DataHeader = 1,
        TextSection = 2,
        SkipFrame = 3,
        FrameEnded = 4,
        Idle = 5,
    };

    RecordingIndexer();
    ~RecordingIndexer();
    RecordingIndexer(const RecordingIndexer &) = delete;
    RecordingIndexer &operator=(const RecordingIndexer &) = delete;

    // Resets, then remembers the file name; false for an empty name.
    bool open(const QString &fileName);
    // Opens the raw file: 0 success, 1 cannot open, 2 no file name set.
    int start();
    // Indexes one frame; call until state() is Idle.
    void step();
    // Read position / file size, 0..1 (0 without a file or for an empty one).
    double progress() const;
    // Closes the raw file and the index files (entries stay); state Idle.
    void closeFiles();
    // Deletes every stream entry and its index file; returns files deleted.
    int removeIndexFiles();
    // Back to the freshly constructed state (index files and folder removed).
    void reset();

    StreamDescriptor descriptor(int position, int *frameCount = nullptr, int *totalLength = nullptr) const;
    StreamDescriptor descriptorById(quint32 id, int *frameCount = nullptr, int *totalLength = nullptr) const;
    // The first stream declared with this "ID" and its list position; null
    // when there is none.
    const StreamIndexEntry *findStream(quint32 id, int *position = nullptr) const;

    // Record n / the last record of the stream at list position `position`;
    // the result's stream is -1 when there is none.
    IndexRecord firstRecord(int position, int n = 0) const;
    IndexRecord lastRecord(int position) const;
    // Marks levels 0..n-1 with the ascending thresholds (ms) in every open index file.
    void markAllLevels(const QList<int> &thresholds);
    // The same for the stream at `position` alone.
    void markStreamLevels(int position, const QList<int> &thresholds);
    // The same a slice at a time (LevelMarking), so that an owner can spread
    // the work over turns of its event loop: call until it returns true for
    // that stream. Closing the files abandons a marking in progress.
    bool markStreamLevelsSlice(int position, const QList<int> &thresholds);

    int state() const { return m_state; }
    // Why the recording could not be opened or was refused; empty while
    // indexing goes well.
    QString errorString() const { return m_errorString; }
    Failure failure() const { return m_failure; }
    // The system's text of a failure to open or write (e.g. "No space left
    // on device"), empty for the others.
    QString failureReason() const { return m_failureReason; }
    const SectionsMap &sections() const { return m_sections; }
    // The sections in the order they were read (the multi-map keeps order only per name).
    const QList<QPair<QString, QMap<QString, QString>>> &sectionsInReadingOrder() const { return m_sectionOrder; }
    // Every declared stream in reading order.
    QList<const StreamIndexEntry *> streams() const;
    int streamCount() const { return int(m_streams.size()); }
    QString fileName() const { return m_fileName; }
    qint64 fileSize() const { return m_fileSize; }
    // Start of this recording's index file names (the stream's number
    // follows); kept in the index cache.
    QString indexPrefix() const { return m_indexPrefix; }
    // The codec section values are read with after the last section (null:
    // UTF-8); kept in the index cache.
    QTextCodec *textCodec() const { return m_textCodec; }
    bool writeIndexFiles() const { return m_writeIndexFiles; }
    void setWriteIndexFiles(bool write) { m_writeIndexFiles = write; }
    // The folder index files go to (empty until the first one is created).
    QString indexFolder() const;

private:
    friend bool saveCache(const RecordingIndexer &indexer, const QString &path);
    friend bool loadCache(RecordingIndexer &indexer, const QString &path);

    void stepFrameStart();
    void stepDataHeader();
    void stepSkipFrame();
    void stepTextSection();
    void endFrame();
    void finishBy(int result);
    void endSection(const QString &name, const QMap<QString, QString> &pairs);
    void declareStream(const QMap<QString, QString> &pairs);
    void appendStream(std::unique_ptr<StreamIndexEntry> entry);
    bool countTextItem();
    void refuse(const QString &message, Failure failure, const QString &reason = QString());
    void failIndexWrite(const QString &path, int error);
    bool flushIndexFiles();
    QString createIndexPath();
    void dropIndexFolder();
    int readToken();
    QString tokenUtf8() const;

    SectionsMap m_sections;
    QList<QPair<QString, QMap<QString, QString>>> m_sectionOrder;
    int m_state = Idle;
    QTextCodec *m_textCodec = nullptr;
    QString m_fileName;
    FILE *m_rawFile = nullptr;
    RawBlockReader m_reader;        // reads m_rawFile
    qint64 m_fileSize = 0;  // bytes
    QString m_indexPrefix;
    std::vector<std::unique_ptr<StreamIndexEntry>> m_streams;
    // The stream each frame stream number 0..127 goes to (the first one
    // declared with that "ID"); null where none is.
    std::array<StreamIndexEntry *, 128> m_streamByNumber{};
    IndexRecord m_record;
    unsigned char m_token[RawFormat::kMaxToken + 1] = {};
    int m_tokenCount = 0;
    bool m_writeIndexFiles = true;
    qint64 m_textItems = 0;         // sections and pairs kept so far
    QString m_errorString;
    Failure m_failure = NoFailure;
    QString m_failureReason;
    std::unique_ptr<QTemporaryDir> m_indexDir;
    std::unique_ptr<LevelMarking> m_marking; // on m_streams[m_markingPosition]'s index file
    int m_markingPosition = -1;
};
