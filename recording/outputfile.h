#pragma once

#include <QString>

#include <memory>

class QFile;
class QFileDevice;
class QSaveFile;

// A file a program writes its result to (an export, decoded audio).
//
// A regular file, new or existing, is written to a temporary file beside it
// and renamed over it by commit(), so a failure never leaves half a file and
// never destroys the previous one. Anything else that already exists (a
// FIFO, a terminal, a device such as /dev/null or /dev/full, or a symlink to
// one) is written straight into and never replaced by a regular file.
// Owned and used by one thread.
class OutputFile
{
public:
    OutputFile();
    ~OutputFile(); // an uncommitted file is discarded
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Opens path for writing: true, or false with errorString(). With
    // needsSeeking, pipes and sockets are refused before they are opened
    // (writing into them would block until a reader comes and the result
    // could not be completed).
    bool open(const QString &path, bool needsSeeking = false);
    bool isOpen() const;
    // The open file; null when none.
    QFileDevice *device() const;
    // Completes the file: true when everything written reached it.
    // Afterwards nothing is open.
    bool commit();
    // Drops what was written to a regular file (the previous file stays);
    // a non-regular target keeps what it has received.
    void discard();
    QString errorString() const { return m_errorString; }

private:
    std::unique_ptr<QSaveFile> m_saveFile; // regular files
    std::unique_ptr<QFile> m_directFile;   // everything else
    QString m_errorString;
};
