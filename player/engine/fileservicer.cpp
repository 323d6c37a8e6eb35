#include "fileservicer.h"

#include "codecs/audiocodec.h"
#include "recording/datetimetext.h"
#include "player/engine/playthread4.h"
#include "recording/recordingindexer.h"
#include "player/engine/savethread.h"
#include "player/engine/streamhandle.h"
#include "recording/threadend.h"

#include <QElapsedTimer>
#include <QTimerEvent>

namespace {

const QString kSectionFile = QStringLiteral("FILE");
const QString kKeyDateTime = QStringLiteral("DATETIME");

// The base of a recording whose "DATETIME" is missing or unreadable.
QDateTime defaultBase()
{
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
}

} // namespace

FileServicer::FileServicer(QObject *parent)
    : QObject(parent)
    , m_indexer(std::make_unique<RecordingIndexer>())
    , m_playThread(std::make_unique<PlayThread4>())
    , m_saveThread(std::make_unique<SaveThread>())
{
    m_playThread->start(QThread::InheritPriority);
    m_stateTimer = startTimer(kStatePollMs, Qt::CoarseTimer);
    connect(m_saveThread.get(), &SaveThread::progressChanged, this, &FileServicer::saveFileProgressChanged);
    connect(m_saveThread.get(), &SaveThread::exportFailed, this, &FileServicer::saveFileFailed);
    m_saveThread->start(QThread::InheritPriority);
    m_base = QDateTime::currentDateTime();
}

FileServicer::~FileServicer()
{
    killIndexTimer();
    killTimer(m_stateTimer);
    // Both are told first so that they end side by side; neither uses
    // anything of this object's, so one that does not end in time (a sound
    // card or a disk that does not answer) is left to end by itself.
    m_playThread->finish();
    m_saveThread->finish();
    endThreadWithin(std::move(m_playThread));
    endThreadWithin(std::move(m_saveThread));
    m_indexer->reset();
}

void FileServicer::setBase(QDateTime base)
{
    if (base == m_base)
        return;
    m_base = base;
    emit baseChanged(m_base);
}

void FileServicer::play()
{
    m_playThread->play();
}

void FileServicer::pause()
{
    m_playThread->pause();
}

void FileServicer::stop()
{
    m_playThread->stop();
}

void FileServicer::move(double ts)
{
    m_playThread->move(ts);
}

void FileServicer::setFileName(QString fileName)
{
    m_playThread->pause();
    m_playThread->removeStreams();
    m_saveThread->stopProcess();
    m_saveThread->removeStreams();
    m_streams.clear();
    m_savedStreams.clear();
    // Indexing of the previous recording, if any, is abandoned with it.
    killIndexTimer();
    m_hasRecording = false;
    m_span = RecordingSpan();
    m_indexer->open(fileName);
}

void FileServicer::startIndex()
{
    killIndexTimer();
    m_hasRecording = false;
    m_indexer->start();
    m_streamsMarked = 0;
    m_indexTimer = startTimer(kIndexTickMs, Qt::CoarseTimer);
    emit indexFileProgressChanged(0.0);
}

void FileServicer::stopIndex()
{
    killIndexTimer();
    m_indexer->closeFiles();
    const QString fileName = m_indexer->fileName();
    m_indexer->reset();
    if (!fileName.isEmpty())
        m_indexer->open(fileName);
    emit indexFileFinished();
}

void FileServicer::setSavedFileName(QString fileName)
{
    m_saveThread->stopProcess();
    m_saveThread->setFileName(fileName);
}

void FileServicer::setSavedRange(double begin, double duration)
{
    m_saveThread->stopProcess();
    m_saveThread->setRange(begin, duration);
}

void FileServicer::setFlagWithPause(bool flag)
{
    m_saveThread->setFlagWithPause(flag);
}

void FileServicer::setFlagPlayWithPause(bool flag)
{
    m_playThread->setFlagPlayWithPause(flag);
}

void FileServicer::startSave()
{
    m_saveThread->stopProcess();
    // A channel that is not heard is not exported at all, so the export
    // is the one of the heard channels alone, period for period.
    QList<QMap<QString, QString>> heard;
    ChannelGains gains;
    for (const QMap<QString, QString> &descriptor : qAsConst(m_streams)) {
        const QString id = descriptor.value(QStringLiteral("ID"));
        const auto gain = m_gains.constFind(id);
        if (gain != m_gains.constEnd() && gain.value() <= 0)
            continue;
        heard.append(descriptor);
        if (gain != m_gains.constEnd())
            gains.insert(id, gain.value());
    }
    if (heard != m_savedStreams) {
        m_saveThread->setStreams(heard);
        m_savedStreams = heard;
    }
    m_saveThread->setGains(gains);
    m_saveThread->startProcess();
}

void FileServicer::setSpeed(double speed)
{
    m_playThread->setSpeed(speed);
}

void FileServicer::setGains(const ChannelGains &gains)
{
    m_gains = gains;
    m_playThread->setGains(gains);
}

void FileServicer::stopSave()
{
    m_saveThread->stopProcess();
}

void FileServicer::setStreams(QList<QMap<QString, QString>> streamSettingList)
{
    m_playThread->pause();
    m_playThread->removeStreams();
    m_saveThread->stopProcess();
    m_saveThread->removeStreams();
    for (const StreamDescriptor &descriptor : qAsConst(streamSettingList))
        m_playThread->addStream(descriptor);
    m_saveThread->setStreams(streamSettingList);
    m_streams = m_savedStreams = streamSettingList;
}

void FileServicer::setMarkedArea(double begin, double duration)
{
    m_playThread->setRange(begin, duration);
}

bool FileServicer::SetSamleRateInThread(int samplerate)
{
    if (!SampleRate::isValid(samplerate))
        return false;
    m_saveThread->setSampleRate(uint(samplerate));
    return m_playThread->setSampleRate(samplerate);
}

// --- timers ------------------------------------------------------------------

void FileServicer::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_stateTimer)
        publishPlayState();
    else if (event->timerId() == m_indexTimer && m_indexTimer != 0)
        indexTick();
}

// Runs rounds of indexer steps until the tick's time budget is spent or
// the file has been read. After reading, each stream's levels are marked in
// slices until the budget is spent, one stream per tick at most, and then
// the completion (the window's rows) runs in one more tick: no tick holds
// the event loop for the work of all of them (a day of 20 ms frames takes
// about a second to mark).
void FileServicer::indexTick()
{
    QElapsedTimer elapsed;
    elapsed.start();
    if (m_indexer->state() == RecordingIndexer::Idle) {
        if (m_streamsMarked < m_indexer->streamCount()) {
            // Levels are marked while the index files are still open for update.
            do {
                if (m_indexer->markStreamLevelsSlice(m_streamsMarked, m_thresholds)) {
                    ++m_streamsMarked;
                    break;
                }
            } while (elapsed.elapsed() < kTickBudgetMs);
            return;
        }
        completeIndex();
        return;
    }
    const int timer = m_indexTimer;
    while (indexRound(timer)) {
        if (elapsed.elapsed() >= kTickBudgetMs)
            return;
    }
}

// One round of up to 256 steps with progress every 16 steps; false when
// the file has been read (the completion follows on the next tick) or
// indexing was stopped meanwhile.
bool FileServicer::indexRound(int timer)
{
    for (int n = kStepsPerRound; n >= 1; --n) {
        m_indexer->step();
        if (m_indexer->state() == RecordingIndexer::Idle)
            return false;
        if (n % kProgressEvery == 0) {
            emit indexFileProgressChanged(m_indexer->progress());
            // A receiver (a progress dialog's "Stop") may have stopped
            // indexing or named another file from within the signal.
            if (m_indexTimer != timer)
                return false;
        }
    }
    return true;
}

void FileServicer::completeIndex()
{
    emit indexFileProgressChanged(m_indexer->progress());
    killIndexTimer();
    findTimeRange();
    m_span = RecordingSpan::of(*m_indexer);
    m_indexer->closeFiles();

    const QString text = m_indexer->sections().value(kSectionFile).value(kKeyDateTime);
    const QDateTime parsed = parseDateTime(text);
    m_baseValid = parsed.isValid();
    setBase(m_baseValid ? parsed : defaultBase());

    m_playThread->move(0);
    m_playThread->setRange(0, 0);
    QString failure = m_indexer->errorString();
    if (failure.isEmpty() && m_indexer->streamCount() == 0)
        failure = QStringLiteral("no stream declared: not a recording");
    m_hasRecording = failure.isEmpty();
    emit indexFileFinished();
    if (!failure.isEmpty())
        emit indexFileFailed(failure);
}

// The recording's time range over the first and last frames of every stream.
void FileServicer::findTimeRange()
{
    m_timeBegin = IndexFormat::kNoTimeStamp;
    m_timeEnd = 0;
    for (int i = 0; i < m_indexer->streamCount(); ++i) {
        const IndexRecord first = m_indexer->firstRecord(i);
        if (first.stream != -1 && first.time < m_timeBegin)
            m_timeBegin = first.time;
        const IndexRecord last = m_indexer->lastRecord(i);
        if (last.stream != -1 && last.time > m_timeEnd)
            m_timeEnd = last.time;
    }
}

void FileServicer::publishPlayState()
{
    double position = 0;
    int state = PlayThread4::Idle;
    m_playThread->getState(&position, &state);
    if (state == PlayThread4::OutputFailed && !m_playFailureReported) {
        m_playFailureReported = true;
        emit playFailed(m_playThread->failure());
    }
    emit currentStateChanged(position, state == PlayThread4::Playing ? Playing : NotPlaying);
    QStringList streams;
    short maxValue = 0;
    m_playThread->currentStreams(&streams, &maxValue);
    emit currentStreamsValueChanged(streams, maxValue);
}

void FileServicer::killIndexTimer()
{
    if (m_indexTimer != 0) {
        killTimer(m_indexTimer);
        m_indexTimer = 0;
    }
}
