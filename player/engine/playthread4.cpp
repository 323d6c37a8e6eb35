#include "playthread4.h"

#include "codecs/audiocodec.h"
#include "player/engine/audiostreaminpartshandle2.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QMutexLocker>
#include <QtEndian>

#include <cmath>
#include <memory>

namespace {

constexpr unsigned long kIdleSleepMs = 80; // after every pass, lock released
constexpr unsigned long kRoomPollMs = 10;  // while waiting for room in the output

QAudioFormat pcmFormat(int rate)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(1);
    format.setSampleSize(16);
    format.setCodec(QStringLiteral("audio/pcm"));
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setSampleType(QAudioFormat::SignedInt);
    return format;
}

} // namespace

// The audio output of the playback loop and the period buffer it writes,
// owned by the loop's thread.
class PlayThread4::Output
{
public:
    ~Output() { close(); }

    // Starts a push-mode output at `rate` Hz on the default device; false
    // with the reason in *why.
    bool open(int rate, QString *why)
    {
        close();
        const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
        m_audio = std::make_unique<QAudioOutput>(device, pcmFormat(rate));
        m_device = m_audio->start();
        m_bytes.resize(ReaderGroup::samplesPerPeriod(rate, kPeriodMs) * int(sizeof(qint16)));
        if (m_device)
            return true;
        *why = device.isNull() ? QStringLiteral("no sound output device")
                               : QStringLiteral("the sound output \"%1\" cannot play %2 Hz").arg(device.deviceName()).arg(rate);
        return false;
    }

    void close()
    {
        if (m_audio)
            m_audio->stop();
        m_audio.reset();
        m_device = nullptr;
    }

    // The output broke down (the sound server went away): it stopped on an
    // error, a write failed, or its stream reports negative free space.
    bool failed() const
    {
        if (!m_device || m_audio->bytesFree() < 0)
            return true;
        const QAudio::Error error = m_audio->error();
        return error == QAudio::IOError || error == QAudio::FatalError
            || (m_audio->state() == QAudio::StoppedState && error != QAudio::NoError);
    }

    // Whether the output can take the next piece of the `bytes` still to
    // write: at least one of its own periods, or all of them. Waiting for
    // room for a whole mixing period would never end when the output starts
    // playing only once its buffer is full (PulseAudio pre-buffers the whole
    // 250 ms buffer, and 100 ms never fit into the last 50 ms).
    bool hasRoomFor(int bytes) const
    {
        return m_audio->bytesFree() >= qMin(bytes, qMax(1, m_audio->periodSize()));
    }

    // Stores one mixed period as little-endian 16-bit samples.
    void setPeriod(const qint16 *samples, int count)
    {
        m_bytes.resize(count * int(sizeof(qint16)));
        qToLittleEndian<qint16>(samples, count, m_bytes.data());
    }

    // Writes bytes [offset, end) of the period as far as the device takes
    // them; returns the new offset, -1 on a write error.
    int writeFrom(int offset)
    {
        const qint64 written = m_device->write(m_bytes.constData() + offset, m_bytes.size() - offset);
        return written < 0 ? -1 : offset + int(written);
    }

    int periodBytes() const { return m_bytes.size(); }

private:
    std::unique_ptr<QAudioOutput> m_audio;
    QIODevice *m_device = nullptr; // owned by m_audio
    QByteArray m_bytes;              // one mixed period, little-endian
};

PlayThread4::PlayThread4(QObject *parent)
    : QThread(parent)
    , m_mixRate(kDefaultSampleRate)
{
}

PlayThread4::~PlayThread4()
{
    if (isRunning()) {
        finish();
        wait();
    }
    removeStreams();
}

bool PlayThread4::setSampleRate(int rate)
{
    if (!SampleRate::isValid(rate))
        return false;
    return m_sampleRate.exchange(rate) != rate;
}

void PlayThread4::setRange(double begin, double duration)
{
    QMutexLocker locker(&m_mutex);
    if (duration < 0) {
        m_rangeBegin = begin + duration;
        m_rangeDuration = -duration;
    } else {
        m_rangeBegin = begin;
        m_rangeDuration = duration;
    }
}

void PlayThread4::range(double *begin, double *duration) const
{
    QMutexLocker locker(&m_mutex);
    if (begin)
        *begin = m_rangeBegin;
    if (duration)
        *duration = m_rangeDuration;
}

void PlayThread4::setFlagPlayWithPause(bool flag)
{
    m_playWithPause.store(flag);
}

void PlayThread4::play()
{
    QMutexLocker locker(&m_mutex);
    if (m_state != Paused)
        return;
    if (m_rangeDuration > 0
        && (m_position <= m_rangeBegin || m_position - m_rangeBegin >= m_rangeDuration))
        m_position = m_rangeBegin;
    m_seekRequested = true;
    m_state = Playing;
}

void PlayThread4::pause()
{
    QMutexLocker locker(&m_mutex);
    if (m_state == Playing)
        m_state = Paused;
}

void PlayThread4::stop()
{
    QMutexLocker locker(&m_mutex);
    if (m_state != Playing && m_state != Paused)
        return;
    m_position = 0;
    m_seekRequested = true;
    m_state = Paused;
}

void PlayThread4::move(double position)
{
    QMutexLocker locker(&m_mutex);
    if (m_state != Playing && m_state != Paused)
        return;
    m_position = position;
    m_seekRequested = true;
}

void PlayThread4::finish()
{
    QMutexLocker locker(&m_mutex);
    m_state = Finishing;
}

// The loop ends in OutputFailed (lock not held by the caller).
void PlayThread4::fail(const QString &message)
{
    QMutexLocker locker(&m_mutex);
    m_state = OutputFailed;
    m_failure = message;
}

QString PlayThread4::failure() const
{
    QMutexLocker locker(&m_mutex);
    return m_failure;
}

void PlayThread4::getState(double *position, int *state) const
{
    QMutexLocker locker(&m_mutex);
    if (position)
        *position = m_position;
    if (state)
        *state = m_state;
}

void PlayThread4::currentStreams(QStringList *streams, short *maxValue) const
{
    QMutexLocker locker(&m_mutex);
    if (streams)
        *streams = m_activeStreams;
    if (maxValue)
        *maxValue = m_maxValue;
}

bool PlayThread4::addStream(const StreamDescriptor &descriptor)
{
    // Building and opening the reader (files, decoder) happens outside the lock.
    std::unique_ptr<AudioStreamInPartsHandle2> reader
        = ReaderGroup::createPeriodReader(descriptor, kPeriodMs, m_sampleRate.load());
    if (!reader)
        return false;
    QMutexLocker locker(&m_mutex);
    // The loop mixes at m_mixRate, whatever rate was asked for meanwhile.
    reader->setOutputRate(m_mixRate);
    m_streams.push_back(std::move(reader));
    ++m_generation;
    return true;
}

void PlayThread4::removeStreams()
{
    QMutexLocker locker(&m_mutex);
    m_streams.clear();
    m_maxValue = 0;
    ++m_generation;
}

int PlayThread4::streamCount() const
{
    QMutexLocker locker(&m_mutex);
    return int(m_streams.size());
}

// --- the playback loop -------------------------------------------------------

void PlayThread4::run()
{
    Output output;
    m_rateInUse = m_sampleRate.load();
    QString why;
    if (!output.open(m_rateInUse, &why)) {
        fail(why);
        return;
    }
    QMutexLocker locker(&m_mutex);
    m_mixRate = m_rateInUse;
    m_mixer.setSamplesPerPeriod(ReaderGroup::samplesPerPeriod(m_mixRate, kPeriodMs));
    for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : m_streams)
        reader->setOutputRate(m_mixRate);
    if (m_state != Finishing)
        m_state = Paused;
    m_position = 0;
    locker.unlock();

    while (runPass(&output))
        QThread::msleep(kIdleSleepMs);
}

// One pass of the loop; false when the loop ends.
bool PlayThread4::runPass(Output *output)
{
    // Lets the audio output take its queued notifications (state, errors):
    // this thread runs no event loop of its own.
    QCoreApplication::processEvents();
    QString why;
    if (!applySampleRate(output, &why)) {
        fail(why);
        return false;
    }

    QMutexLocker locker(&m_mutex);
    if (m_state == Finishing)
        return false;
    if (m_state != Playing)
        return true;

    playPeriod();
    if (!m_activeStreams.isEmpty()) {
        const quint64 generation = m_generation;
        output->setPeriod(m_mixer.samples(), m_mixer.samplesPerPeriod());
        locker.unlock();
        const WriteResult result = writePeriod(output, generation);
        locker.relock();
        if (result == WriteResult::Failed) {
            locker.unlock();
            fail(QStringLiteral("the sound output stopped working"));
            return false;
        }
        // A command that moved, paused or replaced the streams meanwhile
        // owns the position now.
        if (isStale(generation))
            return true;
        m_position += m_period;
    } else {
        afterSilentPeriod();
    }
    checkRange();
    return true;
}

// Rebuilds the output and the period length when the rate was changed.
// Runs without the lock; false when the new output cannot be started.
bool PlayThread4::applySampleRate(Output *output, QString *why)
{
    const int wanted = m_sampleRate.load();
    if (wanted == m_rateInUse)
        return true;
    m_rateInUse = wanted;
    const bool started = output->open(wanted, why);
    QMutexLocker locker(&m_mutex);
    m_mixRate = wanted;
    m_mixer.setSamplesPerPeriod(ReaderGroup::samplesPerPeriod(m_mixRate, kPeriodMs));
    for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : m_streams)
        reader->setOutputRate(m_mixRate);
    // The readers' windows hold periods of the old length: start them afresh.
    m_seekRequested = true;
    return started;
}

// Mixes one period of every reader (under the lock).
void PlayThread4::playPeriod()
{
    if (m_seekRequested) {
        m_seekRequested = false;
        ReaderGroup::reposition(m_streams, m_position);
    }
    m_activeStreams.clear();
    m_mixer.mix(m_streams, &m_activeStreams);
    m_maxValue = m_mixer.peak();
}

// No channel sounded in the period: run through it in time, or jump to the
// next recorded sound. With nothing left to play the thread pauses where it
// is (played silence after the last frame would never end), unless pauses
// are played and a range bounds them: then it plays on to the range's end.
void PlayThread4::afterSilentPeriod()
{
    const bool withPause = m_playWithPause.load();
    const double next = ReaderGroup::earliestTime(m_streams);
    if (next >= IndexFormat::kNoTime && !(withPause && m_rangeDuration > 0)) {
        m_state = Paused;
        return;
    }
    if (withPause) {
        m_position += m_period;
        return;
    }
    m_position = next;
    ReaderGroup::reposition(m_streams, next);
}

// Writes the period without the lock, piece by piece as the output makes
// room, polling every 10 ms. Gives up before the first byte when a command
// made the period stale.
PlayThread4::WriteResult PlayThread4::writePeriod(Output *output, quint64 generation)
{
    int offset = 0;
    while (offset < output->periodBytes()) {
        QCoreApplication::processEvents();
        if (output->failed())
            return WriteResult::Failed;
        {
            // Once part of the period is out, only the end of the loop stops it.
            QMutexLocker locker(&m_mutex);
            if (m_state == Finishing || (offset == 0 && isStale(generation)))
                return WriteResult::Stale;
        }
        if (!output->hasRoomFor(output->periodBytes() - offset)) {
            QThread::msleep(kRoomPollMs);
            continue;
        }
        offset = output->writeFrom(offset);
        if (offset < 0)
            return WriteResult::Failed;
    }
    return WriteResult::Written;
}

bool PlayThread4::isStale(quint64 generation) const
{
    return m_state != Playing || m_seekRequested || m_generation != generation;
}

// Pauses at the end of the play range and returns to its start.
void PlayThread4::checkRange()
{
    if (m_state == Playing && m_rangeDuration > 0 && m_position - m_rangeBegin >= m_rangeDuration) {
        m_position = m_rangeBegin;
        m_state = Paused;
    }
}
