#include "testfiles.h"

#include <QFile>
#include <QtEndian>

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
