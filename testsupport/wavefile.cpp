#include "wavefile.h"

#include "testsupport/testfiles.h"

#include <QtEndian>

WaveFile WaveFile::read(const QString &path)
{
    return {readFile(path)};
}

quint16 WaveFile::u16At(int offset) const
{
    return offset + 2 <= bytes.size() ? qFromLittleEndian<quint16>(bytes.constData() + offset) : 0;
}

quint32 WaveFile::u32At(int offset) const
{
    return offset + 4 <= bytes.size() ? qFromLittleEndian<quint32>(bytes.constData() + offset) : 0;
}

qint16 WaveFile::sample(int i) const
{
    return qFromLittleEndian<qint16>(bytes.constData() + kHeaderBytes + 2 * i);
}

QVector<qint16> WaveFile::sampleValues() const
{
    return samplesOf(bytes.mid(kHeaderBytes));
}

bool WaveFile::consistent() const
{
    return bytes.size() >= kHeaderBytes && riffSize() == quint32(bytes.size() - 8)
        && dataSize() == quint32(bytes.size() - kHeaderBytes);
}
