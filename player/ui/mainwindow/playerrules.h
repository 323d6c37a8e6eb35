#pragma once

#include "recording/recordingindexer.h"

#include <QDateTime>
#include <QString>

namespace PlayerUi {

// The main window's rules that need no widget: titles, export names and
// ranges, navigation positions. Times are ms after the recording's base.
namespace PlayerRules {

// Title without a recording.
const QString kProgramTitle = QStringLiteral("Velmora");
// An export range reaching this far takes the whole recording (ms).
constexpr double kWholeRecording = 4294967295.0;
// A marked area shorter than this (ms) counts as none.
constexpr double kNoMarkedArea = 0.00001;
// Margin on each side when the recording is fitted into the view (of its span).
constexpr double kFitMargin = 0.01;

struct Range
{
    double begin;    // ms
    double duration; // ms
};

// What an export without a sample says (nothing is written then).
const QString kNoSoundText = QStringLiteral("В выбранном интервале нет звука.");

// The last "/"-separated component of the path followed by " Velmora";
// a recording without a valid date says so.
QString windowTitle(const QString &path, bool dateValid = true);
// Why a recording could not be opened, in the user's words: the indexer's
// failure (NoFailure: it declared no stream) with the system's reason,
// where the index files were to go in tempFolder.
QString openFailureText(RecordingIndexer::Failure failure, const QString &reason, const QString &tempFolder);
// The name unchanged when it ends in ".wav" (any case), else with ".wav" appended.
QString exportFileName(const QString &name);
// The marked area, or the whole recording when there is none.
Range exportRange(double markedBegin, double markedDuration);
// The recording from its first to its last frame (unsigned 32-bit ms)
// widened by a margin on each side; the span is taken in unsigned
// 32-bit arithmetic.
Range fileWideRange(quint32 first, quint32 last);
// Base plus pos (ms, truncated toward zero).
QDateTime dateTimeAt(const QDateTime &base, double pos);
// Ms from base to target when base is earlier, else 0.
double offsetOf(const QDateTime &base, const QDateTime &target);

} // namespace PlayerRules

} // namespace PlayerUi
