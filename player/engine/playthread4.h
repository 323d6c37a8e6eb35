// PlayThread4: the playback thread, mixing the chosen channels into the sound card.
#pragma once

#include "player/engine/periodmixer.h"
#include "player/engine/speedstretcher.h"
#include "player/engine/streamhandle.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>

class AudioStreamInPartsHandle2;

// Plays the audio channels of an opened recording through the default sound
// output (Qt Multimedia, push mode): every 100 ms period each channel's
// period reader decodes its share, the channels are mixed with clipping and
// the period is written to the output. Keeps the play position (ms after the
// recording's base), the play state, an optional play range and the choice
// between playing silent stretches in time or skipping them. The mix may be
// played faster or slower with its pitch kept (setSpeed) and each channel
// may be muted or given a gain (setGains); the position stays in recording
// time whatever the speed.
//
// Threads: the object lives in its owner's (GUI) thread; run() is the
// playback loop and the only user of the audio output and of the readers
// outside the lock. Every operation below may be called from any thread and
// synchronises on one non-recursive mutex. The loop holds that mutex only
// while it mixes one period or repositions the readers, never while it waits
// for room in the output device or sleeps, so a command waits at most one
// period's mixing. setSampleRate and setFlagPlayWithPause store one value
// without the lock.
//
// The owner starts the thread once, calls finish() and wait() before
// deleting it; the destructor does so itself if the owner did not.
class PlayThread4 : public QThread
{
public:
    enum State {
        Idle = 0,         // constructed, loop not started yet
        OutputFailed = 1, // the audio output could not be started or died; the loop has ended
        Playing = 2,      // periods are mixed and written
        Paused = 3,       // nothing is played; the loop keeps running
        Finishing = 4,    // the loop ends at its next pass
    };

    static constexpr int kPeriodMs = 100;
    static constexpr int kDefaultSampleRate = 8000; // Hz

    explicit PlayThread4(QObject *parent = nullptr);
    ~PlayThread4() override;

    // Output rate in Hz; the loop rebuilds its output at its next pass.
    // Returns whether the rate changed (false also for a rate outside
    // SampleRate::kMin..kMax, which is refused). No lock.
    bool setSampleRate(int rate);
    int sampleRate() const { return m_sampleRate.load(); }
    // Play range in ms after the base; a negative duration extends to the
    // left of begin; a duration of 0 or less after that means no range.
    void setRange(double begin, double duration);
    void range(double *begin, double *duration) const;
    // true: silent stretches run through in time; false: they are skipped.
    // No lock.
    void setFlagPlayWithPause(bool flag);
    bool flagPlayWithPause() const { return m_playWithPause.load(); }

    // Paused -> Playing (from the range start when the position lies
    // outside the range).
    void play();
    // Playing -> Paused.
    void pause();
    // Playing or Paused -> Paused at position 0.
    void stop();
    // Playing or Paused: jump to `position` ms; the state stays.
    void move(double position);
    // Playback speed, one of SpeedStretcher::speeds() (others are refused);
    // heard from the next period on, the output buffer aside.
    void setSpeed(double speed);
    double speed() const;
    // The channels' mute and gain factors; heard from the next period on.
    void setGains(const ChannelGains &gains);
    // Any state -> Finishing; the loop then ends.
    void finish();

    // Position (ms after the base) and state (one of State); either may be null.
    void getState(double *position, int *state) const;
    // Why the output failed (state OutputFailed), for the user; empty
    // otherwise.
    QString failure() const;
    // "DESCRIPTION" values of the channels that sounded in the last played
    // period and that period's peak level (0..32767); either may be null.
    void currentStreams(QStringList *streams, short *maxValue) const;

    // Adds a period reader for an "audio" descriptor (the reader is owned
    // by this thread); false for any other "TYPE". Takes the lock only to
    // append.
    bool addStream(const StreamDescriptor &descriptor);
    // Deletes every reader; the peak level becomes 0.
    void removeStreams();
    int streamCount() const;

protected:
    void run() override;

private:
    class Output;
    enum class WriteResult { Written, Stale, Failed };

    int runPass(Output *output);
    bool writeMixed(Output *output, QMutexLocker *locker);
    bool writeStretchedTail(Output *output, QMutexLocker *locker);
    void rewindQueued();
    void fail(const QString &message);
    bool applySampleRate(Output *output, QString *why);
    void playPeriod();
    void afterSilentPeriod();
    WriteResult writePeriod(Output *output, quint64 generation, int *written);
    WriteResult writeSamples(Output *output, QMutexLocker *locker, const QVector<qint16> &samples, int *written);
    WriteResult writeSamples(Output *output, QMutexLocker *locker, const qint16 *samples, int count, int *written);
    bool isStale(quint64 generation) const;
    void checkRange();

    const int m_period = kPeriodMs;
    std::atomic<int> m_sampleRate{kDefaultSampleRate}; // Hz, as last set
    mutable QMutex m_mutex;
    // Everything below is guarded by m_mutex.
    int m_state = Idle;
    double m_rangeBegin = 0;    // ms after the base
    double m_rangeDuration = 0; // ms; <= 0: no range
    double m_position = 0;      // ms after the base
    bool m_seekRequested = false;
    QStringList m_activeStreams;
    QString m_failure;
    short m_maxValue = 0;
    std::atomic<bool> m_playWithPause{false};
    PeriodReaders m_streams;
    int m_mixRate;               // Hz the readers and the mixer work at (under the lock)
    quint64 m_generation = 0;    // bumped when the reader list changes
    PeriodMixer m_mixer;         // the loop's; used under the lock
    int m_rateInUse = 0;         // Hz; the loop's only
    double m_speed = SpeedStretcher::kNormalSpeed;
    double m_queuedMs = 0;       // recording ms in the stretcher, not yet written
    SpeedStretcher m_stretcher;  // the loop's; used under the lock
};
