#pragma once

#include <QMap>
#include <QString>

namespace PlayerUi {

// What the channel dialog states about one stream, from its descriptor and
// its frame totals (no widgets). Durations in ms; sizes in bytes.
namespace StreamSummary {

// An "ID" that is not a decimal number.
constexpr quint32 kNoId = 4294967295u;
// Rate (Hz) that durations of codings without a "/rate" assume.
constexpr int kDefaultRate = 8000;

// The descriptor's "ID" as a decimal unsigned number; kNoId otherwise.
quint32 idOf(const QMap<QString, QString> &descriptor);
// Playing time of an audio stream's payload: the frame bytes without their
// headers (frameCount headers inside totalLength).
double audioDurationMs(const QMap<QString, QString> &descriptor, int frameCount, int totalLength);
// "Длительность: hh:mm:ss" or "Нет звуковых данных" for an audio stream,
// "Кол-во записей: n" for any other.
QString text(const QMap<QString, QString> &descriptor, int frameCount, int totalLength);

} // namespace StreamSummary

} // namespace PlayerUi
