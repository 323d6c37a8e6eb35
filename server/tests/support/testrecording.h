#pragma once

#include <QByteArray>
#include <QString>

// Recordings for the download tests: a FILE section, two declared streams
// and data frames of pseudo-random bytes (CR, LF and zero bytes included,
// so any text-mode rewriting shows) until the file reaches at least `bytes`.
namespace TestRecording {

// The recording's bytes; the same seed gives the same bytes.
QByteArray make(qint64 bytes, quint32 seed = 1);
// Writes make(bytes, seed) to path; false when it cannot be written.
bool write(const QString &path, qint64 bytes, quint32 seed = 1);
// Number of streams make() declares.
constexpr int kStreams = 2;

} // namespace TestRecording
