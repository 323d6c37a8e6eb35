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
// What the output device holds ahead of the speaker: short enough for a
// seek or a mute to be heard at once, long enough not to run dry.
constexpr unsigned kOutputBufferMs = 150;

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
        m_audio->setBufferSize(ReaderGroup::samplesPerPeriod(rate, kOutputBufferMs) * int(sizeof(qint16)));
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
    if (m_state != Playing)
        return;
    m_state = Paused;
    rewindQueued();
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
    m_queuedMs = 0;
    m_seekRequested = true;
}

void PlayThread4::setSpeed(double speed)
{
    if (!SpeedStretcher::speeds().contains(speed))
        return;
    QMutexLocker locker(&m_mutex);
    if (speed == m_speed)
        return;
    m_speed = speed;
    m_stretcher.setSpeed(speed);
    // The period waiting for the output and the stretcher's queue are made
    // again at the new speed, from where the listener is.
    rewindQueued();
    m_seekRequested = true;
}

double PlayThread4::speed() const
{
    QMutexLocker locker(&m_mutex);
    return m_speed;
}

void PlayThread4::setGains(const ChannelGains &gains)
{
    QMutexLocker locker(&m_mutex);
    m_mixer.setGains(gains);
    rewindQueued();
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
    m_stretcher.configure(m_mixRate, m_mixer.samplesPerPeriod());
    for (const std::unique_ptr<AudioStreamInPartsHandle2> &reader : m_streams)
        reader->setOutputRate(m_mixRate);
    if (m_state != Finishing)
        m_state = Paused;
    m_position = 0;
    locker.unlock();

    for (int sleepMs = runPass(&output); sleepMs >= 0; sleepMs = runPass(&output)) {
        if (sleepMs > 0)
            QThread::msleep(static_cast<unsigned long>(sleepMs));
    }
}

// One pass of the loop: the ms to sleep before the next (0 after a period
// that went to the output, which paces the loop), -1 when the loop ends.
int PlayThread4::runPass(Output *output)
{
    // Lets the audio output take its queued notifications (state, errors):
    // this thread runs no event loop of its own.
    QCoreApplication::processEvents();
    QString why;
    if (!applySampleRate(output, &why)) {
        fail(why);
        return -1;
    }

    QMutexLocker locker(&m_mutex);
    if (m_state == Finishing)
        return -1;
    if (m_state != Playing)
        return int(kIdleSleepMs);

    playPeriod();
    if (m_activeStreams.isEmpty()) {
        if (m_queuedMs > 0 && !writeStretchedTail(output, &locker))
            return -1;
        if (m_state != Playing || m_seekRequested)
            return 0;
        const double before = m_position;
        afterSilentPeriod();
        checkRange();
        // A silent period played in time lasts one period at the speed; a
        // jump to the next sound plays on at once.
        return m_position == before + m_period ? int(std::lround(m_period / m_speed)) : 0;
    }
    if (!writeMixed(output, &locker))
        return -1;
    checkRange();
    return 0;
}

// Writes the mixed period (stretched when the speed is not 1x) and moves
// the position on by one period, unless a command made it stale meanwhile.
// Lock held on entry and on return; false when the output failed.
bool PlayThread4::writeMixed(Output *output, QMutexLocker *locker)
{
    if (m_speed != SpeedStretcher::kNormalSpeed) {
        // The position runs with the mix; m_queuedMs says how far that is
        // ahead of what went out.
        m_stretcher.push(m_mixer.samples(), m_mixer.samplesPerPeriod());
        const QVector<qint16> &stretched = m_stretcher.take();
        m_queuedMs = qMax(0.0, m_queuedMs + m_period - stretched.size() * 1000.0 * m_speed / m_mixRate);
        m_position += m_period;
        int written = 0;
        return writeSamples(output, locker, stretched, &written) != WriteResult::Failed;
    }
    const double positionBefore = m_position;
    const quint64 generation = m_generation;
    int written = 0;
    const WriteResult result = writeSamples(output, locker, m_mixer.samples(), m_mixer.samplesPerPeriod(), &written);
    if (result == WriteResult::Failed)
        return false;
    // A command that moved the position owns it now; after any other (a
    // pause, a mute, new streams) playback goes on from the first sample
    // that did not go out.
    if (result == WriteResult::Written && !isStale(generation))
        m_position += m_period;
    else if (m_position == positionBefore && written > 0)
        m_position += m_period * double(written) / (m_mixer.samplesPerPeriod() * int(sizeof(qint16)));
    return true;
}

// The sound ended while the stretcher still holds its last part: lets it
// out now instead of when the next sound comes (lock held; false when the
// output failed).
bool PlayThread4::writeStretchedTail(Output *output, QMutexLocker *locker)
{
    m_queuedMs = 0;
    int written = 0;
    return writeSamples(output, locker, m_stretcher.drain(), &written) != WriteResult::Failed;
}

PlayThread4::WriteResult PlayThread4::writeSamples(Output *output, QMutexLocker *locker, const QVector<qint16> &samples,
                                                   int *written)
{
    return writeSamples(output, locker, samples.constData(), samples.size(), written);
}

// Writes `count` samples without the lock (held on entry and on return);
// a failed output ends the loop.
PlayThread4::WriteResult PlayThread4::writeSamples(Output *output, QMutexLocker *locker, const qint16 *samples,
                                                   int count, int *written)
{
    *written = 0;
    if (count <= 0)
        return WriteResult::Written;
    output->setPeriod(samples, count);
    const quint64 generation = m_generation;
    locker->unlock();
    const WriteResult result = writePeriod(output, generation, written);
    if (result == WriteResult::Failed)
        fail(QStringLiteral("the sound output stopped working"));
    locker->relock();
    return result;
}

// Moves the position back over what the stretcher holds but has not played,
// so the next period starts where the listener is (lock held).
void PlayThread4::rewindQueued()
{
    m_position = qMax(0.0, m_position - m_queuedMs);
    m_queuedMs = 0;
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
    m_stretcher.configure(m_mixRate, m_mixer.samplesPerPeriod());
    rewindQueued();
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
        m_stretcher.reset();
        m_queuedMs = 0;
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
// room, polling every 10 ms. Gives up as soon as a command made the period
// stale, so a seek, a pause or a mute is heard after at most the output's
// buffer; *written receives the bytes that went out.
PlayThread4::WriteResult PlayThread4::writePeriod(Output *output, quint64 generation, int *written)
{
    int &offset = *written;
    offset = 0;
    while (offset < output->periodBytes()) {
        QCoreApplication::processEvents();
        if (output->failed())
            return WriteResult::Failed;
        {
            QMutexLocker locker(&m_mutex);
            if (m_state == Finishing || isStale(generation))
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
