// SaveThread: the export thread, writing a range of the chosen channels to WAV.
#pragma once

#include "recording/indexrecord.h"
#include "player/engine/periodmixer.h"
#include "player/engine/riffwriter.h"

#include <QAtomicInt>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QThread>

class AudioStreamInPartsHandle2;

// Exports a time range of the opened recording to a 16-bit mono WAV file:
// the audio streams are read, decoded and mixed in 100 ms periods exactly
// as for playback, and written as fast as the readers deliver them, with
// the silent periods (withPause) or without them.
//
// Threads: the object lives in the owner's (GUI) thread; run() is the
// export loop. Every slot may be called from any thread; they take the
// one mutex, which the loop holds for a whole period's work, except
// setSampleRate and setFlagWithPause, which store one value without it.
// The owner calls finish() and wait() before deleting the object.
class SaveThread : public QThread
{
    Q_OBJECT

public:
    enum State {
        Idle = 0,      // nothing to do; the loop sleeps 100 ms per pass
        Exporting = 1, // one period per pass
        Failed = 2,    // the last export failed (see errorString); idle otherwise
        Finishing = 3, // the loop ends at its next pass
    };

    // Why the last export failed.
    enum Failure {
        NoFailure = 0,
        CannotCreate = 1, // the file cannot be created (Failed::reason: the system's text)
        CannotWrite = 2,  // the file cannot be written or completed (reason: the system's text)
        NoSound = 3,      // a range without sound, without pauses, or one outside the recording: no file is written
    };
    struct FailureInfo
    {
        Failure kind = NoFailure;
        QString fileName;
        QString reason;
    };

    static constexpr unsigned kPeriodMs = 100;
    static constexpr int kDefaultSampleRate = 8000; // Hz
    // A range reaching this time (ms) is open-ended: "up to the last frame".
    static constexpr double kOpenEnd = IndexFormat::kNoTime;

    explicit SaveThread(QObject *parent = nullptr);
    ~SaveThread() override;

    // Replaces the readers: one period reader per descriptor whose "TYPE"
    // is "audio", prepared for 100 ms periods at the current rate. Takes
    // the lock; call while not exporting (the owner stops the export first).
    void setStreams(const QList<QMap<QString, QString>> &streamSettingList);

    // One of State (under the lock).
    int currentState() const;
    // Position (ms after the base) the export has reached.
    double currentPosition() const;
    // Why the last export failed; empty when it did not.
    QString errorString() const;
    // The same, for a caller that words it for its users.
    FailureInfo failure() const;
    int sampleRate() const { return m_sampleRate.loadAcquire(); }
    bool flagWithPause() const { return m_withPause.loadAcquire() != 0; }

signals:
    // The exported part of the range, 0..1; 1.0 when the export has ended
    // and its file is complete. Emitted from the export thread.
    void progressChanged(double percent);
    // The export could not create or write its file, or had nothing to
    // write (no sound in the range: the file is not created and a previous
    // file of that name stays); the export has ended (state Failed) and no
    // progress 1.0 follows. Emitted from the export
    // thread, or (a file that cannot be created) from this object's thread
    // through its event loop: never from within startProcess().
    void exportFailed(QString message);

public slots:
    // Output rate in Hz (rates outside 1000..192000 are ignored); noticed by
    // the loop at its next pass, which also resizes the readers' periods.
    // No lock.
    void setSampleRate(uint value);
    // Only while not exporting: the range [begin, begin + |duration|] ms.
    void setRange(double begin, double duration);
    // true: silent periods are written (an open-ended range still ends
    // after the last frame); false: skipped. No lock.
    void setFlagWithPause(bool flag);
    void setFileName(QString fileName);
    // Only while not exporting: the channels' gains (none: every channel
    // as it is, the same bytes as before gains existed).
    void setGains(const ChannelGains &gains);
    // Only while not exporting: positions the readers at the range start,
    // creates the file and writes the WAV header, then exports. When the
    // file cannot be created: state Failed and exportFailed().
    void startProcess();
    // While exporting: completes the file written so far and goes idle.
    void stopProcess();
    // Completes any open file; the loop ends at its next pass.
    void finish();
    // Deletes every reader.
    void removeStreams();

protected:
    void run() override;

private:
    bool isIdle() const { return m_state == Idle || m_state == Failed; }
    double exportOnePeriod(QString *failure);
    static bool shouldReport(double progress, double lastReported);
    double endExport(QString *failure);
    void failExport(Failure kind, const QString &reason, QString *failure);
    bool isOpenEnded() const;
    bool writeHeader();
    void applySampleRate(int rate);

    mutable QMutex m_mutex;
    int m_state = Idle;
    RiffWriter m_writer;
    QAtomicInt m_sampleRate{kDefaultSampleRate}; // Hz
    int m_rateInUse = 0;                         // Hz, the loop's current rate
    double m_rangeBegin = 0;                     // ms after the base
    double m_rangeDuration = 0;                  // ms
    double m_position = 0;                       // ms after the base
    QAtomicInt m_withPause{0};
    QString m_fileName;
    QString m_errorString;
    FailureInfo m_failure;
    qint64 m_soundBytes = 0;                      // sample bytes written by the export in progress
    PeriodReaders m_streams;
    PeriodMixer m_mixer;                          // used by the loop only
};
