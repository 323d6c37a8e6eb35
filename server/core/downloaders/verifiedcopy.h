#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The local copy of one device file while a transfer brings the device's
// bytes into it.
//
// A copy that already holds bytes (an interrupted or earlier download) is
// continued only once the device has shown that those bytes are its file's:
// the transfer starts a little before the copy's end (kOverlapBytes) and the
// bytes that overlap are compared with the copy's before anything is
// appended. Bytes are written only past the copy's end, so what the copy
// holds is never changed, and never past the size the device listed, so a
// device that sends more than it listed cannot fill the disk.
//
// Where the transfer really begins is known (TFTP says whether it took the
// offset) or not (an FTP device may accept REST and still send from byte 0):
// then the first bytes are compared with both the copy's bytes before its
// end and its first bytes, and the one that matches decides. A copy whose
// first and last overlap bytes are the same would leave that open; it is
// then verified from byte 0.
//
// When the device's bytes are not the copy's (another file under the same
// name, a file cut shorter), state() becomes Different: the caller keeps the
// copy as a numbered version (keepVersion) and fetches the file whole.
//
// Plain file work, no signals; owned and used by one downloader in its
// thread.
class VerifiedCopy
{
public:
    // Bytes before the copy's end that the device must send again and that
    // are compared with the copy.
    static constexpr qint64 kOverlapBytes = 64 * 1024;
    static constexpr qint64 kUnknownSize = -1;

    enum class State {
        Verifying,   // the device's bytes are compared with the copy's
        Appending,   // verified; bytes go past the copy's end
        Full,        // the copy holds the listed size: the transfer may end
        Different,   // the device's bytes are another file's (reason())
        Failed,      // the copy could not be read or written (errorString())
    };

    VerifiedCopy() = default;
    ~VerifiedCopy();
    VerifiedCopy(const VerifiedCopy &) = delete;
    VerifiedCopy &operator=(const VerifiedCopy &) = delete;

    // Opens the copy at path (created when missing) for a transfer of the
    // device file, which the device listed with listedSize bytes
    // (kUnknownSize when not known). resumeFrom 0 verifies the whole copy
    // against the device's bytes from byte 0; any other value continues at
    // the copy's end. False with errorString() when the file cannot be
    // opened. A device file listed shorter than the copy is Different at
    // once.
    bool open(const QString &path, qint64 resumeFrom, qint64 listedSize);

    QString path() const { return m_file.fileName(); }
    State state() const { return m_state; }
    // Why the copy is Different.
    QString reason() const { return m_reason; }
    QString errorString() const { return m_error; }
    // The offset (bytes) the transfer should ask the device to begin at.
    qint64 requestOffset() const { return m_request; }
    // True once it is known where the device's bytes begin.
    bool isStartKnown() const { return m_startKnown; }
    // The device said where its bytes begin (bytes; 0 when it ignored the
    // offset asked for). Only before the first byte.
    void setStreamStart(qint64 offset);
    // Bytes of the copy (written and verified) after the bytes taken so far.
    qint64 size() const;

    // Takes the next bytes the device sent; the new state. Bytes past the
    // listed size are dropped.
    State receive(const char *data, qint64 count);
    // The device ended its transfer: true when the copy is now complete
    // (flushed, closed and cut where the device's data ended); false with
    // the state telling why not (Different when the device's file ended
    // before the copy's bytes were all verified, Failed when it could not
    // be completed).
    bool finish();
    // Ends without completing: the copy keeps what it holds; a file this
    // transfer created and that is still empty is removed, so that a refused
    // file leaves nothing behind.
    void discard();

    // Moves a copy at path (and its index cache) aside under the first free
    // numbered name, "NAME.~1~", "NAME.~2~" ...; the new path, or an empty
    // text with error set.
    static QString keepVersion(const QString &path, QString *error);
    // Removes a kept version (and its index cache) when its bytes are all
    // the start of the copy at path, so that it holds nothing the copy does
    // not; true when removed.
    static bool dropVersionIfPrefix(const QString &versionPath, const QString &path);
    // The system's reason for the last failed file call: never "Unknown
    // error" when errno tells more.
    static QString systemReason(const QFile &file);

private:
    State verify(const char *data, qint64 count, qint64 *used);
    State append(const char *data, qint64 count);
    bool readLocal(qint64 offset, qint64 count, QByteArray *bytes);
    State fail(const QString &reason);
    State differ(const QString &reason);
    qint64 streamOffset() const { return m_start + m_received; }

    QFile m_file;
    State m_state = State::Failed;
    QString m_reason;
    QString m_error;
    qint64 m_localSize = 0;          // the copy's bytes before this transfer
    qint64 m_listed = kUnknownSize;  // the device's listed size
    qint64 m_request = 0;            // offset asked of the device
    qint64 m_start = 0;              // where the device's bytes begin, once known
    bool m_startKnown = true;
    qint64 m_received = 0;           // bytes taken from the device
    bool m_created = false;          // open() made the file
    // While the start is not known: the copy's bytes from the offset asked
    // for to its end, and its first bytes of the same length.
    QByteArray m_overlapAtRequest;
    QByteArray m_overlapAtStart;
    qint64 m_overlapWindow = 0;      // bytes of the overlap, while the start is not known
    QByteArray m_readBuffer;
};
