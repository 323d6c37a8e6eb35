#include "outputfile.h"

#include "recording/fileerror.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <cerrno>

namespace {

// Existing targets that are no regular file (stat follows symlinks).
enum class Target { Regular, Stream, Device, Directory };

Target targetKind(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return Target::Regular; // new files become regular ones
    if (S_ISDIR(info.st_mode))
        return Target::Directory;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))
        return Target::Stream;
    return Target::Device;
}

} // namespace

OutputFile::OutputFile() = default;

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::open(const QString &path, bool needsSeeking)
{
    discard();
    m_errorString.clear();
    const Target kind = targetKind(path);
    if (kind == Target::Directory) {
        m_errorString = QStringLiteral("%1: is a directory").arg(path);
        return false;
    }
    if (kind == Target::Stream && needsSeeking) {
        m_errorString = QStringLiteral("%1: is a pipe or socket, which cannot hold this file").arg(path);
        return false;
    }
    QFileDevice *file = nullptr;
    if (kind == Target::Regular) {
        m_saveFile = std::make_unique<QSaveFile>(path);
        file = m_saveFile.get();
    } else {
        m_directFile = std::make_unique<QFile>(path);
        file = m_directFile.get();
    }
    errno = 0;
    if (!file->open(QIODevice::WriteOnly)) {
        m_errorString = QStringLiteral("%1: %2").arg(path, fileErrorText(*file, errno));
        m_saveFile.reset();
        m_directFile.reset();
        return false;
    }
    return true;
}

bool OutputFile::isOpen() const
{
    return m_saveFile || m_directFile;
}

QFileDevice *OutputFile::device() const
{
    if (m_saveFile)
        return m_saveFile.get();
    return m_directFile.get();
}

bool OutputFile::commit()
{
    bool ok = true;
    errno = 0;
    if (m_saveFile) {
        ok = m_saveFile->commit();
        if (!ok)
            m_errorString = QStringLiteral("%1: %2").arg(m_saveFile->fileName(), fileErrorText(*m_saveFile, errno));
        m_saveFile.reset();
    } else if (m_directFile) {
        ok = m_directFile->flush() && m_directFile->error() == QFileDevice::NoError;
        if (!ok)
            m_errorString = QStringLiteral("%1: %2").arg(m_directFile->fileName(), fileErrorText(*m_directFile, errno));
        m_directFile->close();
        m_directFile.reset();
    }
    return ok;
}

void OutputFile::discard()
{
    if (m_saveFile)
        m_saveFile->cancelWriting(); // the destructor then drops the temporary file
    m_saveFile.reset();
    m_directFile.reset();
}
