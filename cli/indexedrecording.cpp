#include "indexedrecording.h"

#include "cli/clioutput.h"
#include "recording/indexrecord.h"

#include <QFileInfo>
#include <QStringList>

bool IndexedRecording::open(const QString &fileName, QString *error)
{
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir()) {
        *error = info.isDir() ? QStringLiteral("%1: is a directory").arg(fileName)
                              : QStringLiteral("%1: no such file").arg(fileName);
        return false;
    }
    if (!m_indexer.open(fileName) || m_indexer.start() != 0) {
        *error = QStringLiteral("%1: cannot be read").arg(fileName);
        return false;
    }
    while (m_indexer.state() != RecordingIndexer::Idle)
        m_indexer.step();
    if (!m_indexer.errorString().isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(fileName, m_indexer.errorString());
        return false;
    }
    m_indexer.markAllLevels(defaultActivityThresholds());
    m_spans.clear();
    for (int i = 0; i < m_indexer.streamCount(); ++i) {
        const IndexRecord first = m_indexer.firstRecord(i);
        const IndexRecord last = m_indexer.lastRecord(i);
        m_spans.append(qMakePair(first.stream < 0 ? -1 : qint64(first.time), last.stream < 0 ? -1 : qint64(last.time)));
    }
    m_span = RecordingSpan::of(m_indexer);
    m_indexer.closeFiles();
    return true;
}

QList<StreamDescriptor> IndexedRecording::allStreams() const
{
    QList<StreamDescriptor> streams;
    for (int i = 0; i < m_indexer.streamCount(); ++i)
        streams.append(m_indexer.descriptor(i));
    return streams;
}

QList<StreamDescriptor> IndexedRecording::streamsWithFrames() const
{
    QList<StreamDescriptor> streams;
    for (int i = 0; i < m_indexer.streamCount(); ++i) {
        int frames = 0;
        const StreamDescriptor descriptor = m_indexer.descriptor(i, &frames);
        if (frames > 0)
            streams.append(descriptor);
    }
    return streams;
}

bool IndexedRecording::streamsById(const QList<uint> &ids, QList<StreamDescriptor> *streams,
                                   QString *error) const
{
    streams->clear();
    for (uint id : ids) {
        if (!m_indexer.findStream(id)) {
            *error = QStringLiteral("no stream with ID %1").arg(id);
            return false;
        }
        streams->append(m_indexer.descriptorById(id));
    }
    return true;
}

bool parseStreamIds(const QString &text, QList<uint> *ids)
{
    ids->clear();
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        bool ok = false;
        const uint id = part.trimmed().toUInt(&ok, 10);
        if (!ok)
            return false;
        ids->append(id);
    }
    return !ids->isEmpty();
}

int IndexedRecording::openForCommand(const QString &program, const QString &fileName, const QList<uint> &ids,
                                     QList<StreamDescriptor> *streams)
{
    QString error;
    if (!open(fileName, &error)) {
        CliOutput::printError(program, error);
        return 1;
    }
    *streams = streamsWithFrames();
    if (!ids.isEmpty() && !streamsById(ids, streams, &error)) {
        CliOutput::printError(program, error);
        return 2;
    }
    return 0;
}
