#pragma once

#include "player/engine/streamhandle.h"

class AudioCodec;
class QTextCodec;

// Reading and converting one frame's payload; shared by the whole-frame
// readers and the scale readers. The raw file must stand at the first
// payload byte (as validateRecord leaves it); the frame ends at the next
// marker or the end of the file.
namespace FramePayload {

// Bytes per read of a payload piece, and the decoded-samples buffer size.
constexpr int kChunkBytes = 512;

// The text codec a text stream's "ENCODING" names; null when absent or
// unknown (the bytes are then used as they are).
QTextCodec *textCodecFor(const StreamDescriptor &descriptor);

// Reads the payload as NUL-terminated strings in pieces of up to 512 bytes
// (NUL bytes are dropped) into *payload; *output = the text decoded with
// textCodec and re-encoded as UTF-8, or the bytes unchanged without a codec.
void readText(FILE *raw, QTextCodec *textCodec, QByteArray *payload, QByteArray *output);

// Reads the whole payload into *payload and decodes it into *output
// (signed 16-bit LE samples) in pieces that fit a 512-byte buffer; without
// a decoder *output = the payload. Returns 0, or 1 when decoding failed
// (*output then holds what was decoded before).
int readAudio(FILE *raw, AudioCodec *codec, QByteArray *payload, QByteArray *output);

} // namespace FramePayload

// Text stream frames as UTF-8 text. The descriptor's "ENCODING" names the
// payload's code page (e.g. Windows-1251); absent or unknown: bytes as they are.
class TextStreamHandle : public FileStreamHandle
{
public:
    explicit TextStreamHandle(const StreamDescriptor &descriptor);

    // Needs both files and a numeric "ID"; rewinds to the first record.
    int open() override;
    // In state OnRecord: reads the frame's text into output() (NUL bytes
    // dropped), state Open, result 0. In any other state: 1.
    int readData() override;

private:
    QTextCodec *m_textCodec = nullptr; // not owned (codecs live for the process)
};

// Audio stream frames decoded whole, one frame per readData().
class AudioStreamHandle : public FileStreamHandle
{
public:
    explicit AudioStreamHandle(const StreamDescriptor &descriptor);
    ~AudioStreamHandle() override;

    // Needs both files, a numeric "ID" and a decoder for "ENCODING";
    // rewinds to the first record and resets the decoder.
    int open() override;
    // Duration (ms) of the current frame's payload in state OnRecord; 0
    // otherwise or without a decoder.
    double currentDuration() const override;
    // In state OnRecord: decodes the whole frame into output() and goes to
    // state Open; 0, or 1 when decoding failed. In any other state returns
    // 0 and leaves output() alone.
    int readData() override;

    AudioCodec *codec() const { return m_codec.get(); }

private:
    std::unique_ptr<AudioCodec> m_codec; // null for an unknown coding
};
