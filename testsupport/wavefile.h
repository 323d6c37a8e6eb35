#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// A 16-bit PCM WAV file as the exports write it: a 44-byte header, then the
// samples. Fields are read from their header offsets, so a wrong header
// shows as wrong values.
struct WaveFile
{
    static constexpr int kHeaderBytes = 44;

    // The file's bytes; empty when it cannot be read.
    static WaveFile read(const QString &path);

    quint16 u16At(int offset) const;
    quint32 u32At(int offset) const;
    quint32 riffSize() const { return u32At(4); }
    quint32 rate() const { return u32At(24); }
    quint32 byteRate() const { return u32At(28); }
    quint32 dataSize() const { return u32At(40); }
    // Samples after the header.
    int samples() const { return (bytes.size() - kHeaderBytes) / 2; }
    qint16 sample(int i) const;
    QVector<qint16> sampleValues() const;
    // At least a header, and both sizes in it match the file's length.
    bool consistent() const;

    QByteArray bytes;
};
