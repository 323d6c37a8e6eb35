// FileServicer: owner of the open recording (indexing, playback, export).
#pragma once

#include "recording/indexrecord.h"
#include "player/engine/periodmixer.h"
#include "player/engine/recordingspan.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class PlayThread4;
class RecordingIndexer;
class SaveThread;

// The one object through which the player works on an opened recording.
// Owns the indexer, the playback thread and the export thread; indexes the
// recording from a 10 ms timer with progress reports, sets the recording's
// base date-time and time range when indexing ends, forwards play, export
// and range commands to the two threads, and polls the playback thread
// every 100 ms to publish the play position and the sounding channels.
//
// Threads: lives in the GUI thread with its timers and the indexer; the
// two threads take their own locks. Times are ms after base().
class FileServicer : public QObject
{
    Q_OBJECT

public:
    // Playback states reported by currentStateChanged.
    enum PlayState { NotPlaying = 0, Playing = 1 };

    static constexpr int kIndexTickMs = 10;
    static constexpr int kStatePollMs = 100;
    // An indexing tick runs rounds of this many indexer steps ...
    static constexpr int kStepsPerRound = 256;
    // ... emitting progress every this many steps ...
    static constexpr int kProgressEvery = 16;
    // ... until a whole tick has passed (ms). The timer is then overdue and
    // fires again as soon as the waiting events are handled: indexing takes
    // the GUI thread's idle time, and no event waits longer than a tick.
    static constexpr int kTickBudgetMs = kIndexTickMs;

    explicit FileServicer(QObject *parent = nullptr);
    // Stops playback and export and waits for their threads at most
    // kThreadEndWaitMs (recording/threadend.h) before leaving them to end
    // by themselves.
    ~FileServicer() override;

    // Activity-level gap thresholds (ms, ascending) marked into the index
    // files when indexing ends; the owner sets them before indexing.
    QList<int> thresholds() const { return m_thresholds; }
    void setThresholds(const QList<int> &thresholds) { m_thresholds = thresholds; }
    // After indexing: the smallest first-frame time over all streams
    // (4294967295 when no stream has a frame) and the largest last-frame
    // time (0 when none), ms after the base.
    quint32 timeBegin() const { return m_timeBegin; }
    quint32 timeEnd() const { return m_timeEnd; }
    // The opened recording's indexer: its sections and descriptors.
    const RecordingIndexer &indexer() const { return *m_indexer; }

    QDateTime base() const { return m_base; }
    // False when the recording's "DATETIME" is missing or no date: base()
    // is then a stand-in and times are offsets from the recording's start.
    bool isBaseValid() const { return m_baseValid; }
    // After indexing: the stretch of the recording that holds frames (an
    // export covers no more).
    RecordingSpan span() const { return m_span; }
    // True once a recording was indexed to its end, was not refused and
    // declares at least one stream.
    bool hasRecording() const { return m_hasRecording; }
    // True while a recording is being indexed (the window offers no
    // playback meanwhile).
    bool isIndexing() const { return m_indexTimer != 0; }
    // The owned threads, for reading their state (not for deleting).
    PlayThread4 *playThread() const { return m_playThread.get(); }
    SaveThread *saveThread() const { return m_saveThread.get(); }

signals:
    // Indexing progress 0..1: 0 when indexing starts, then from the timer.
    void indexFileProgressChanged(double value);
    // Indexing has ended (after the base is set), or was stopped.
    void indexFileFinished();
    // The recording could not be read, was refused while it was indexed
    // (damaged, or its index files could not be written), or declares no
    // stream (not a recording); the message says why (the indexer's
    // failure() tells the kind). indexFileFinished() comes first.
    void indexFileFailed(QString message);
    // Every 100 ms: the play position and 1 while playing, else 0.
    void currentStateChanged(double ts, int state);
    // Every 100 ms: the channels that sounded in the last played period and
    // its peak level (0..32767).
    void currentStreamsValueChanged(QStringList streams, short maxValue);
    void baseChanged(QDateTime base);
    // Export progress 0..1 (relayed from the export thread).
    void saveFileProgressChanged(double value);
    // The export could not create or write its file (relayed from the
    // export thread); no progress 1 follows.
    void saveFileFailed(QString message);
    // The sound output could not be opened or stopped working: nothing
    // plays from now on. Sent once, from the state polling.
    void playFailed(QString message);

public slots:
    void setBase(QDateTime base);
    void play();
    void pause();
    void stop();
    void move(double ts);
    // Drops the streams of both threads and names the next recording; the
    // previous recording's index files are deleted. An empty name closes.
    void setFileName(QString fileName);
    void startIndex();
    // Stops indexing: the index files made so far are deleted (the file
    // name is kept, so startIndex() indexes it afresh).
    void stopIndex();
    void setSavedFileName(QString fileName);
    void setSavedRange(double begin, double duration);
    void setFlagWithPause(bool flag);
    void setFlagPlayWithPause(bool flag);
    // Exports the range with the channels heard now: those muted by the
    // gains are left out, the others mixed with their gains.
    void startSave();
    void stopSave();
    // The channels' gains by "ID" (0: not heard): playback follows them at
    // once, the next export takes them.
    void setGains(const ChannelGains &gains);
    // Playback speed (one of SpeedStretcher::speeds()); export is never stretched.
    void setSpeed(double speed);
    // Hands the descriptors of the active channels to both threads: the
    // audio ones are played and exported, in list order.
    void setStreams(QList<QMap<QString, QString>> streamSettingList);
    // The play range (a negative duration extends left of begin).
    void setMarkedArea(double begin, double duration);
    // Output rate (Hz) of playback and export; returns whether the
    // playback rate changed (a rate outside 1000..192000 Hz is refused).
    bool SetSamleRateInThread(int samplerate);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void indexTick();
    bool indexRound(int timer);
    void completeIndex();
    void findTimeRange();
    void publishPlayState();
    void killIndexTimer();

    const std::unique_ptr<RecordingIndexer> m_indexer;
    QList<int> m_thresholds;
    quint32 m_timeBegin = IndexFormat::kNoTimeStamp;
    quint32 m_timeEnd = 0;
    std::unique_ptr<PlayThread4> m_playThread; // started at construction
    std::unique_ptr<SaveThread> m_saveThread;  // started at construction
    QList<QMap<QString, QString>> m_streams;   // as last set
    QList<QMap<QString, QString>> m_savedStreams; // the export thread's
    ChannelGains m_gains;
    QDateTime m_base;
    bool m_baseValid = false;
    bool m_hasRecording = false;
    RecordingSpan m_span;
    int m_indexTimer = 0;       // 10 ms indexing timer, 0 when not indexing
    int m_streamsMarked = 0;    // streams whose levels are marked, after reading
    int m_stateTimer = 0;       // 100 ms polling timer, for the object's life
    bool m_playFailureReported = false;
};
