#include "savethread.h"

#include "codecs/audiocodec.h"
#include "player/engine/audiostreaminpartshandle2.h"

#include <QMutexLocker>

namespace {

constexpr unsigned long kIdleSleepMs = 100;
constexpr int kPcmFormat = 1;
constexpr int kChannels = 1;
constexpr int kBitsPerSample = 16;
constexpr double kFinalProgress = 1.0;
constexpr double kProgressStep = 0.001; // smallest progress change worth a report

} // namespace

SaveThread::SaveThread(QObject *parent)
    : QThread(parent)
{
}

SaveThread::~SaveThread()
{
    if (isRunning()) {
        finish();
        wait();
    }
    removeStreams();
    m_writer.close();
}

void SaveThread::setStreams(const QList<QMap<QString, QString>> &streamSettingList)
{
    removeStreams();
    QMutexLocker locker(&m_mutex);
    const int rate = m_rateInUse > 0 ? m_rateInUse : sampleRate();
    for (const QMap<QString, QString> &descriptor : streamSettingList) {
        if (std::unique_ptr<AudioStreamInPartsHandle2> reader = ReaderGroup::createPeriodReader(descriptor, kPeriodMs, rate))
            m_streams.push_back(std::move(reader));
    }
}

int SaveThread::currentState() const
{
    QMutexLocker locker(&m_mutex);
    return m_state;
}

double SaveThread::currentPosition() const
{
    QMutexLocker locker(&m_mutex);
    return m_position;
}

QString SaveThread::errorString() const
{
    QMutexLocker locker(&m_mutex);
    return m_errorString;
}

SaveThread::FailureInfo SaveThread::failure() const
{
    QMutexLocker locker(&m_mutex);
    return m_failure;
}

void SaveThread::setSampleRate(uint value)
{
    // A rate below 10 Hz would make every period empty and an export endless.
    if (value > uint(SampleRate::kMax) || !SampleRate::isValid(int(value)))
        return;
    m_sampleRate.storeRelease(int(value));
}

void SaveThread::setRange(double begin, double duration)
{
    QMutexLocker locker(&m_mutex);
    if (!isIdle())
        return;
    m_position = m_rangeBegin = begin;
    m_rangeDuration = qAbs(duration);
}

void SaveThread::setFlagWithPause(bool flag)
{
    m_withPause.storeRelease(flag ? 1 : 0);
}

void SaveThread::setGains(const ChannelGains &gains)
{
    QMutexLocker locker(&m_mutex);
    if (isIdle())
        m_mixer.setGains(gains);
}

void SaveThread::setFileName(QString fileName)
{
    QMutexLocker locker(&m_mutex);
    m_fileName = fileName;
}

void SaveThread::startProcess()
{
    QString failure;
    {
        QMutexLocker locker(&m_mutex);
        if (!isIdle())
            return;
        // The rate is fixed for the whole file: the header states it.
        if (sampleRate() != m_rateInUse)
            applySampleRate(sampleRate());
        m_position = m_rangeBegin;
        ReaderGroup::reposition(m_streams, m_position);
        m_errorString.clear();
        m_failure = FailureInfo();
        m_soundBytes = 0;
        if (!(m_rangeDuration > 0)) {
            // Nothing of the recording lies in the range.
            failExport(NoSound, QString(), &failure);
        } else if (writeHeader()) {
            m_state = Exporting;
        } else {
            m_writer.discard();
            failExport(CannotCreate, m_writer.errorString(), &failure);
        }
    }
    // Queued like the failures of the export loop, so that a receiver never
    // runs inside the caller's startProcess().
    if (!failure.isEmpty())
        QMetaObject::invokeMethod(this, [this, failure] { emit exportFailed(failure); }, Qt::QueuedConnection);
}

void SaveThread::stopProcess()
{
    QMutexLocker locker(&m_mutex);
    if (m_state != Exporting)
        return;
    m_writer.close();
    m_state = Idle;
}

void SaveThread::finish()
{
    QMutexLocker locker(&m_mutex);
    m_writer.close();
    m_state = Finishing;
}

void SaveThread::removeStreams()
{
    QMutexLocker locker(&m_mutex);
    m_streams.clear();
}

void SaveThread::run()
{
    {
        QMutexLocker locker(&m_mutex);
        applySampleRate(sampleRate());
    }
    double lastReported = -1; // progress last sent; -1 before an export's first report
    for (;;) {
        double progress = -1;
        QString failure;
        bool idle = false;
        {
            QMutexLocker locker(&m_mutex);
            // A rate change waits for the export in progress to end.
            if (sampleRate() != m_rateInUse && m_state != Exporting)
                applySampleRate(sampleRate());
            if (m_state == Exporting)
                progress = exportOnePeriod(&failure);
            if (m_state == Finishing)
                break;
            idle = isIdle();
        }
        // Signals go out without the lock, so that receivers connected
        // directly may call back into this object.
        if (!failure.isEmpty()) {
            lastReported = -1;
            emit exportFailed(failure);
        } else if (progress >= 0 && shouldReport(progress, lastReported)) {
            // One report per step of progress, not per period: a queued
            // signal per 100 ms of audio would cost more than the mixing.
            lastReported = progress >= kFinalProgress ? -1 : progress;
            emit progressChanged(progress);
        }
        if (idle)
            msleep(kIdleSleepMs);
    }
}

// One pass of the export (lock held). Returns the progress to report
// (-1: none) and sets *failure when the file could not be completed.
double SaveThread::exportOnePeriod(QString *failure)
{
    const double done = m_position - m_rangeBegin;
    if (!(done < m_rangeDuration))
        return endExport(failure);
    const int sounding = m_mixer.mix(m_streams);
    const bool withPause = flagWithPause();
    if (sounding > 0 || withPause) {
        // With pauses, an open-ended range ("the whole recording") ends
        // after the last frame of every stream instead of writing silence
        // up to the end of time.
        if (sounding == 0 && isOpenEnded() && ReaderGroup::earliestTime(m_streams) >= IndexFormat::kNoTime)
            return endExport(failure);
        if (m_writer.write(m_mixer.samples(), m_mixer.byteCount()) != 0) {
            failExport(CannotWrite, m_writer.errorString(), failure);
            return -1;
        }
        m_soundBytes += m_mixer.byteCount();
        m_position += kPeriodMs;
        return done / m_rangeDuration;
    }
    const double next = ReaderGroup::earliestTime(m_streams);
    if (next >= IndexFormat::kNoTime)
        return endExport(failure);
    m_position = next;
    ReaderGroup::reposition(m_streams, next);
    return done / m_rangeDuration;
}

bool SaveThread::shouldReport(double progress, double lastReported)
{
    return lastReported < 0 || progress >= kFinalProgress || progress < lastReported
        || progress - lastReported >= kProgressStep;
}

double SaveThread::endExport(QString *failure)
{
    // A file without a sample would look like an export of the range.
    if (m_soundBytes == 0) {
        m_writer.discard();
        failExport(NoSound, QString(), failure);
        return -1;
    }
    if (m_writer.close() != 0) {
        failExport(CannotWrite, m_writer.errorString(), failure);
        return -1;
    }
    m_state = Idle;
    return kFinalProgress;
}

// Ends the export as failed; an unfinished file is dropped (a previous file
// of that name stays).
void SaveThread::failExport(Failure kind, const QString &reason, QString *failure)
{
    m_writer.discard();
    m_failure = FailureInfo{kind, m_fileName, reason};
    switch (kind) {
    case NoSound:
        m_errorString = QStringLiteral("no sound in the range: %1 not written").arg(m_fileName);
        break;
    case CannotCreate:
        m_errorString = QStringLiteral("cannot create %1: %2").arg(m_fileName, reason);
        break;
    case CannotWrite:
    case NoFailure:
        m_errorString = QStringLiteral("cannot write %1: %2").arg(m_fileName, reason);
        break;
    }
    m_state = Failed;
    *failure = m_errorString;
}

bool SaveThread::isOpenEnded() const
{
    return m_rangeBegin + m_rangeDuration >= kOpenEnd;
}

bool SaveThread::writeHeader()
{
    const int rate = m_rateInUse;
    return m_writer.open(m_fileName.toLocal8Bit()) == 0 && m_writer.beginChunk("RIFF") == 0
        && m_writer.write("WAVE", 4) == 0 && m_writer.beginChunk("fmt ") == 0
        && m_writer.writeFormat(kPcmFormat, kChannels, rate, kBitsPerSample) == 0
        && m_writer.endChunk() == 0 && m_writer.beginChunk("data") == 0;
}

// Sizes the mixer and every reader's period for `rate` Hz (lock held).
void SaveThread::applySampleRate(int rate)
{
    const int n = ReaderGroup::samplesPerPeriod(rate, kPeriodMs);
    m_mixer.setSamplesPerPeriod(n);
    for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : m_streams)
        reader->setOutputRate(rate);
    m_rateInUse = rate;
}
