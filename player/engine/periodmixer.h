#pragma once

#include <QHash>
#include <QList>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class AudioStreamInPartsHandle2;

// The period readers of the playback or the export thread, owned by it.
using PeriodReaders = std::vector<std::unique_ptr<AudioStreamInPartsHandle2>>;

// A channel's "ID" -> the factor its samples are multiplied by before they
// are summed (0: left out; 10^(dB/20) for a gain in dB). Channels absent
// from the map are summed as they are.
using ChannelGains = QHash<QString, double>;

// Mixes one period of several period readers into one signed 16-bit mono
// buffer, the same way for playback and for export: every reader's samples
// are summed (whether it reported sound or not) and the sums are clipped to
// -32768..32767. A reader with a gain has each sample scaled and rounded
// to the nearest integer first; one with the factor 0 is read (it keeps its
// place) but neither summed nor counted as sounding. Owned and used by one thread (the playback or export
// thread, under its lock); the readers are not owned.
class PeriodMixer
{
public:
    // Reallocates the buffers for n samples per period.
    void setSamplesPerPeriod(int n);
    int samplesPerPeriod() const { return m_samples.size(); }
    // Replaces the gains; the next mix() uses them.
    void setGains(const ChannelGains &gains) { m_gains = gains; }
    const ChannelGains &gains() const { return m_gains; }

    // Calls readData() on each reader in order and mixes their output().
    // A reader whose output() is shorter than the period contributes
    // silence for the missing samples. Returns the number of readers that
    // reported sound; *soundingNames (when not null) receives their
    // descriptors' "DESCRIPTION" values in list order.
    int mix(const PeriodReaders &readers, QStringList *soundingNames = nullptr);

    // The mixed period: samplesPerPeriod() samples, host byte order.
    const qint16 *samples() const { return m_samples.constData(); }
    int byteCount() const { return m_samples.size() * int(sizeof(qint16)); }
    // Largest absolute value of the last mix, at most 32767 (-32768 counts
    // as 32767).
    qint16 peak() const { return m_peak; }

    // Clips one sum to the 16-bit range.
    static qint16 clip(qint32 sum);

private:
    ChannelGains m_gains;
    QVector<qint32> m_sums;
    QVector<qint16> m_samples;
    qint16 m_peak = 0;
};

namespace ReaderGroup {

// Positions every reader at t: seek(t), then next() on each reader whose
// state is then Open (t lay past the end of the record in force).
void reposition(const PeriodReaders &readers, double t);
// The smallest currentTime() over the readers (ms); kNoTime when none has
// anything left.
double earliestTime(const PeriodReaders &readers);
// Builds a period reader for an "audio" descriptor, prepared for periodMs
// periods at outputRate Hz and opened; null for any other "TYPE" (a
// reader that could not open is returned too: it yields silence).
std::unique_ptr<AudioStreamInPartsHandle2> createPeriodReader(const QMap<QString, QString> &descriptor,
                                                              unsigned periodMs, int outputRate);
// Samples per period: trunc(rate x periodMs / 1000).
int samplesPerPeriod(int rate, unsigned periodMs);
// The gains a channel may be given, in dB.
constexpr double kGainMinDb = -12;
constexpr double kGainMaxDb = 12;
// The factor of a gain in dB: 10^(dB/20).
double gainFactor(double decibels);

} // namespace ReaderGroup
