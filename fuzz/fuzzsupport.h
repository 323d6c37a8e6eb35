#pragma once

// Shared by every fuzz target and by the replay driver: process set-up, a
// private scratch folder, invariant checks and a reader for the parameter
// bytes at the front of an input.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace FuzzSupport {

// Once per process (later calls return at once): a QCoreApplication for
// event loops and sockets, and a message handler that drops Qt's debug
// output so that millions of runs stay quiet. Fatal messages still reach
// stderr before Qt aborts.
void init();

// A folder private to this process, removed when the process exits.
QString scratchDir();
// Writes bytes to `name` inside the scratch folder (replacing it) and
// returns the file's path.
QString writeScratchFile(const QString &name, const QByteArray &bytes);

// Reports a broken invariant on stderr and aborts, which the fuzzer
// records as a crash and the replay driver as a failed test.
[[noreturn]] void fail(const char *condition, const char *file, int line);

// The input's bytes without a copy (valid while the fuzzer's buffer is).
inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
}

// Takes parameter bytes from the front of an input; past the end every
// read yields zeros, so short inputs still make a full set of parameters.
class InputReader
{
public:
    InputReader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    quint8 byte();
    quint16 number16(); // big-endian
    quint32 number32(); // big-endian
    // Up to `count` bytes (fewer at the end of the input).
    QByteArray bytes(size_t count);
    // Everything not read yet.
    QByteArray rest();
    size_t remaining() const { return m_size - m_at; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

} // namespace FuzzSupport

#define FUZZ_CHECK(condition) \
    ((condition) ? void(0) : FuzzSupport::fail(#condition, __FILE__, __LINE__))
