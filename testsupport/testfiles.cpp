#include "testfiles.h"

#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

TempDir::TempDir()
{
    if (!isValid())
        qFatal("cannot create a temporary folder: %s", qPrintable(errorString()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode)
{
    QFile file(path);
    return file.open(mode) && file.write(bytes) == bytes.size();
}

bool setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime);
}

QString codecTestData(const QString &name)
{
    return QStringLiteral(VELMORA_CODEC_TEST_DATA "/") + name;
}

QVector<qint16> samplesOf(const QByteArray &bytes)
{
    QVector<qint16> samples(bytes.size() / 2);
    for (int i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(bytes.constData() + 2 * i);
    return samples;
}

StandardErrorCapture::StandardErrorCapture()
    : m_path(m_dir.filePath(QStringLiteral("stderr.txt")))
{
    std::fflush(stderr);
    const int target = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (target < 0)
        qFatal("cannot capture standard error in %s", qPrintable(m_path));
    m_saved = ::dup(STDERR_FILENO);
    ::dup2(target, STDERR_FILENO);
    ::close(target);
}

StandardErrorCapture::~StandardErrorCapture()
{
    std::fflush(stderr);
    if (m_saved >= 0) {
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
}

QString StandardErrorCapture::text() const
{
    std::fflush(stderr);
    return QString::fromLocal8Bit(readFile(m_path));
}
