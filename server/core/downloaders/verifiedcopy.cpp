#include "verifiedcopy.h"

#include "recording/fileerror.h"
#include "recording/indexcache.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

// Bytes compared or read from the copy at a time.
constexpr qint64 kChunkBytes = 1024 * 1024;
// Numbered versions tried before giving up ("NAME.~1~" ... ).
constexpr int kMaxVersions = 100000;

bool pathExists(const QString &path)
{
    // A dangling link is a name taken too.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

VerifiedCopy::~VerifiedCopy() = default;

QString VerifiedCopy::systemReason(const QFile &file)
{
    return fileErrorText(file, errno);
}

bool VerifiedCopy::open(const QString &path, qint64 resumeFrom, qint64 listedSize)
{
    m_file.close();
    m_file.setFileName(path);
    m_created = !pathExists(path);
    m_received = 0;
    m_reason.clear();
    m_error.clear();
    m_overlapAtRequest.clear();
    m_overlapAtStart.clear();
    errno = 0;
    // Unbuffered: every write reaches the system at once, so a full disk is
    // seen with its reason at the bytes it refuses.
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        m_error = systemReason(m_file);
        m_state = State::Failed;
        return false;
    }
    m_localSize = m_file.size();
    m_listed = listedSize;
    m_request = 0;
    m_start = 0;
    m_startKnown = true;
    m_state = m_localSize > 0 ? State::Verifying : State::Appending;
    if (m_listed >= 0 && m_listed < m_localSize) {
        differ(QStringLiteral("the device lists %1 bytes, fewer than the %2 of the local copy").arg(m_listed).arg(m_localSize));
        return true;
    }
    if (resumeFrom > 0 && m_localSize > 0) {
        const qint64 overlap = qMin(kOverlapBytes, m_localSize);
        m_request = m_localSize - overlap;
        if (m_request > 0) {
            if (!readLocal(m_request, overlap, &m_overlapAtRequest) || !readLocal(0, overlap, &m_overlapAtStart))
                return false;
            // The same bytes at both places could not tell where the device
            // began: the copy is then verified from its start.
            if (m_overlapAtRequest == m_overlapAtStart) {
                m_request = 0;
                m_overlapAtRequest.clear();
                m_overlapAtStart.clear();
            } else {
                m_start = m_request;
                m_startKnown = false;
                m_overlapWindow = overlap;
            }
        }
    }
    if (m_state == State::Appending && m_listed >= 0 && m_localSize >= m_listed)
        m_state = State::Full;
    return true;
}

void VerifiedCopy::setStreamStart(qint64 offset)
{
    if (m_received != 0 || (m_state != State::Verifying && m_state != State::Appending))
        return;
    m_start = qBound<qint64>(0, offset, m_localSize);
    m_startKnown = true;
    m_overlapAtRequest.clear();
    m_overlapAtStart.clear();
    m_state = m_start < m_localSize ? State::Verifying : State::Appending;
}

qint64 VerifiedCopy::size() const
{
    if (m_state == State::Appending || m_state == State::Full)
        return qMax(m_localSize, streamOffset());
    return m_localSize;
}

VerifiedCopy::State VerifiedCopy::receive(const char *data, qint64 count)
{
    qint64 done = 0;
    while (done < count && m_state == State::Verifying) {
        qint64 used = 0;
        verify(data + done, count - done, &used);
        done += used;
    }
    if (m_state == State::Appending && done < count)
        append(data + done, count - done);
    return m_state;
}

VerifiedCopy::State VerifiedCopy::verify(const char *data, qint64 count, qint64 *used)
{
    if (!m_startKnown) {
        // Within the overlap: the device began at the offset asked for, or
        // at byte 0 when it ignored it.
        // The window stays as long as it was: a candidate that failed is
        // dropped from it, not the window.
        const qint64 window = m_overlapWindow;
        const qint64 n = qMin(count, window - m_received);
        const bool atRequest = !m_overlapAtRequest.isEmpty()
            && std::memcmp(m_overlapAtRequest.constData() + m_received, data, size_t(n)) == 0;
        const bool atStart = !m_overlapAtStart.isEmpty()
            && std::memcmp(m_overlapAtStart.constData() + m_received, data, size_t(n)) == 0;
        *used = n;
        m_received += n;
        if (!atRequest)
            m_overlapAtRequest.clear();
        if (!atStart)
            m_overlapAtStart.clear();
        if (m_overlapAtRequest.isEmpty() && m_overlapAtStart.isEmpty())
            return differ(QStringLiteral("the device's bytes before byte %1 are not the local copy's").arg(m_localSize));
        if (m_received < window)
            return m_state;
        m_start = m_overlapAtRequest.isEmpty() ? 0 : m_request;
        m_startKnown = true;
        m_overlapAtRequest.clear();
        m_overlapAtStart.clear();
    } else {
        const qint64 offset = streamOffset();
        const qint64 n = qMin(qMin(count, m_localSize - offset), kChunkBytes);
        QByteArray local;
        if (!readLocal(offset, n, &local))
            return m_state;
        *used = n;
        if (std::memcmp(local.constData(), data, size_t(n)) != 0)
            return differ(QStringLiteral("the device's bytes at %1 are not the local copy's").arg(offset));
        m_received += n;
    }
    if (streamOffset() >= m_localSize) {
        m_state = State::Appending;
        if (m_listed >= 0 && streamOffset() >= m_listed)
            m_state = State::Full;
    }
    return m_state;
}

VerifiedCopy::State VerifiedCopy::append(const char *data, qint64 count)
{
    qint64 n = count;
    if (m_listed >= 0)
        n = qMin(n, m_listed - streamOffset());
    if (n > 0) {
        if (m_file.pos() != streamOffset() && !m_file.seek(streamOffset()))
            return fail(systemReason(m_file));
        errno = 0;
        if (m_file.write(data, n) != n)
            return fail(systemReason(m_file));
        m_received += n;
    }
    if (m_listed >= 0 && streamOffset() >= m_listed)
        m_state = State::Full;
    return m_state;
}

bool VerifiedCopy::readLocal(qint64 offset, qint64 count, QByteArray *bytes)
{
    bytes->resize(int(count));
    errno = 0;
    if (!m_file.seek(offset) || m_file.read(bytes->data(), count) != count) {
        fail(QStringLiteral("cannot read the local copy: ") + systemReason(m_file));
        return false;
    }
    return true;
}

bool VerifiedCopy::finish()
{
    if (m_state == State::Verifying) {
        differ(QStringLiteral("the device's file ends at byte %1, before the %2 bytes of the local copy")
                   .arg(m_startKnown ? streamOffset() : m_received)
                   .arg(m_localSize));
        return false;
    }
    if (m_state != State::Appending && m_state != State::Full)
        return false;
    const qint64 end = size();
    errno = 0;
    if (m_file.size() != end && !m_file.resize(end)) {
        fail(systemReason(m_file));
        return false;
    }
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        fail(systemReason(m_file));
        return false;
    }
    return true;
}

void VerifiedCopy::discard()
{
    if (!m_file.isOpen())
        return;
    const bool empty = m_file.size() == 0;
    m_file.close();
    if (m_created && empty)
        QFile::remove(m_file.fileName());
}

VerifiedCopy::State VerifiedCopy::fail(const QString &reason)
{
    m_error = reason;
    m_state = State::Failed;
    return m_state;
}

VerifiedCopy::State VerifiedCopy::differ(const QString &reason)
{
    m_reason = reason;
    m_state = State::Different;
    return m_state;
}

QString VerifiedCopy::keepVersion(const QString &path, QString *error)
{
    for (int n = 1; n <= kMaxVersions; ++n) {
        const QString version = QStringLiteral("%1.~%2~").arg(path).arg(n);
        if (pathExists(version))
            continue;
        QFile file(path);
        errno = 0;
        if (!file.rename(version)) {
            *error = systemReason(file);
            return QString();
        }
        // The index cache describes the kept bytes: it goes with them.
        const QString cache = cachePathFor(path);
        if (pathExists(cache) && !QFile::rename(cache, cachePathFor(version)))
            QFile::remove(cache);
        return version;
    }
    *error = QStringLiteral("no free numbered name for %1").arg(path);
    return QString();
}

bool VerifiedCopy::dropVersionIfPrefix(const QString &versionPath, const QString &path)
{
    QFile version(versionPath);
    QFile copy(path);
    if (!version.open(QIODevice::ReadOnly) || !copy.open(QIODevice::ReadOnly) || version.size() > copy.size())
        return false;
    while (!version.atEnd()) {
        const QByteArray kept = version.read(kChunkBytes);
        if (kept.isEmpty() || copy.read(kept.size()) != kept)
            return false;
    }
    version.close();
    if (!QFile::remove(versionPath))
        return false;
    QFile::remove(cachePathFor(versionPath));
    return true;
}
