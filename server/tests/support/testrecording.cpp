#include "testrecording.h"

#include "recordingwriter.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>

namespace TestRecording {

namespace {
constexpr int kFrameBytes = 800;
constexpr quint32 kFrameMs = 100;
}

QByteArray make(qint64 bytes, quint32 seed)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    RecordingWriter writer(&buffer);
    writer.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("01.02.2026 10:00:00")}});
    for (int stream = 1; stream <= kStreams; ++stream)
        writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QString::number(stream)},
                                                       {QStringLiteral("TYPE"), QStringLiteral("audio")},
                                                       {QStringLiteral("ENCODING"), QStringLiteral("PCMA")}});
    QRandomGenerator random(seed);
    QByteArray payload(kFrameBytes, '\0');
    for (quint32 t = 0; writer.storedSize() < bytes; t += kFrameMs) {
        for (char &byte : payload)
            byte = char(random.bounded(256));
        payload[0] = '\r';
        payload[1] = '\n';
        payload[2] = '\n';
        writer.writeDataFrame(t, quint8(1 + t / kFrameMs % kStreams), payload);
    }
    return data;
}

bool write(const QString &path, qint64 bytes, quint32 seed)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(make(bytes, seed)) >= bytes;
}

} // namespace TestRecording
