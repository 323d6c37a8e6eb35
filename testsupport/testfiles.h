#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

// Small file helpers shared by all tests.

// A temporary folder that exists: creating it is checked at once, so that no
// test goes on to write where there is no folder. The process stops with the
// reason when the folder cannot be made.
class TempDir : public QTemporaryDir
{
public:
    TempDir();
};

// The whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Writes `bytes` to the file (mode QIODevice::Append adds them at its end);
// false unless every byte was written.
bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly);
// Sets the file's modification time.
bool setModified(const QString &path, const QDateTime &when);

// A file of the codec reference data (codecs/tests/data).
QString codecTestData(const QString &name);

// 16-bit little-endian samples as decoders, WAV files and sound recorders
// store them (a trailing odd byte is left out).
QVector<qint16> samplesOf(const QByteArray &bytes);

// What the process writes to standard error while the capture lives (also
// from other threads): the descriptor is redirected to a temporary file and
// restored by the destructor.
class StandardErrorCapture
{
public:
    StandardErrorCapture();
    ~StandardErrorCapture();
    StandardErrorCapture(const StandardErrorCapture &) = delete;
    StandardErrorCapture &operator=(const StandardErrorCapture &) = delete;

    // The text written so far, in the local 8-bit encoding.
    QString text() const;

private:
    TempDir m_dir;
    QString m_path;
    int m_saved = -1; // the original standard error, -1 when not redirected
};
