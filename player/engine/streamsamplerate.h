#pragma once

#include <QList>
#include <QMap>
#include <QString>

// The output sample rate for a recording's streams, as the channel dialog
// chooses it: the number after the first "/" of the "ENCODING" value of the
// last "audio" stream in list order (0 when it has none or it is not a
// decimal number).
namespace StreamSampleRate {

// Used when the rule yields no rate ("PCMA" without "/rate") or one outside
// 1000..192000 Hz, as the decoders do: below 10 Hz a 100 ms period would hold
// no sample and playback or export would never advance.
constexpr int kFallbackRate = 8000; // Hz

// The rule itself, 0 when no rate is named.
int namedRate(const QList<QMap<QString, QString>> &descriptors);
// The rule, with kFallbackRate for a rate outside 1000..192000 Hz.
int outputRate(const QList<QMap<QString, QString>> &descriptors);

} // namespace StreamSampleRate
