#include "framestreamhandles.h"

#include "codecs/audiocodec.h"
#include "recording/rawstream.h"

#include <QTextCodec>

namespace {

bool frameGoesOn(int last)
{
    return last != RawFormat::kFrameMarker && last != RawFormat::kEndOfFile;
}

using PieceReader = int (*)(FILE *, unsigned char *, int, int *);

// Reads the rest of the current frame into payload, piece by piece with
// `read` (readString stops text at its NUL; readBytes keeps every byte).
void readPayload(FILE *raw, PieceReader read, QByteArray *payload)
{
    unsigned char piece[FramePayload::kChunkBytes];
    payload->clear();
    int last = 0;
    do {
        int count = 0;
        last = read(raw, piece, FramePayload::kChunkBytes, &count);
        payload->append(reinterpret_cast<const char *>(piece), count);
    } while (frameGoesOn(last));
}

} // namespace

namespace FramePayload {

QTextCodec *textCodecFor(const StreamDescriptor &descriptor)
{
    const QString name = descriptor.value(QStringLiteral("ENCODING"));
    return name.isEmpty() ? nullptr : QTextCodec::codecForName(name.toLatin1());
}

void readText(FILE *raw, QTextCodec *textCodec, QByteArray *payload, QByteArray *output)
{
    readPayload(raw, readString, payload);
    *output = textCodec ? textCodec->toUnicode(*payload).toUtf8() : *payload;
}

int readAudio(FILE *raw, AudioCodec *codec, QByteArray *payload, QByteArray *output)
{
    readPayload(raw, readBytes, payload);

    output->clear();
    if (!codec) {
        *output = *payload;
        return 0;
    }
    // Coded bytes whose decoding fits the 512-byte buffer, less one
    // decodable unit so that rounding up to whole frames never overflows.
    const double bufferMs = kChunkBytes * 0.5 * 1000 / codec->sampleRate();
    const int step = codec->bytesForDuration(bufferMs) - codec->frameSize();
    if (step <= 0)
        return payload->isEmpty() ? 0 : 1;
    qint16 decoded[kChunkBytes / sizeof(qint16)];
    for (int at = 0; at < payload->size(); at += step) {
        const int bytes = qMin(step, payload->size() - at);
        int written = 0;
        if (codec->decode(payload->constData() + at, bytes, decoded, sizeof decoded, &written) != 0)
            return 1;
        output->append(reinterpret_cast<const char *>(decoded), written);
    }
    return 0;
}

} // namespace FramePayload

TextStreamHandle::TextStreamHandle(const StreamDescriptor &descriptor)
    : FileStreamHandle(descriptor)
    , m_textCodec(FramePayload::textCodecFor(descriptor))
{
}

int TextStreamHandle::open()
{
    if (!filesOpen() || m_streamId < 0) {
        m_state = Closed;
        return 1;
    }
    rewindIndex();
    m_state = Open;
    return 0;
}

int TextStreamHandle::readData()
{
    if (m_state != OnRecord)
        return 1;
    FramePayload::readText(m_dataFile, m_textCodec, &m_payload, &m_output);
    m_state = Open;
    return 0;
}

AudioStreamHandle::AudioStreamHandle(const StreamDescriptor &descriptor)
    : FileStreamHandle(descriptor)
    , m_codec(createCodec(descriptor))
{
}

AudioStreamHandle::~AudioStreamHandle() = default;

int AudioStreamHandle::open()
{
    if (!filesOpen() || m_streamId < 0 || !m_codec) {
        m_state = Closed;
        return 1;
    }
    rewindIndex();
    m_codec->reset();
    m_state = Open;
    return 0;
}

double AudioStreamHandle::currentDuration() const
{
    if (m_state != OnRecord || !m_codec)
        return 0;
    return m_codec->durationForBytes(payloadLength());
}

int AudioStreamHandle::readData()
{
    if (m_state != OnRecord)
        return 0;
    const int result = FramePayload::readAudio(m_dataFile, m_codec.get(), &m_payload, &m_output);
    m_state = Open;
    return result;
}
