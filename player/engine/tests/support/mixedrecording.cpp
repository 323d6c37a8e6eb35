#include "mixedrecording.h"

#include "tools/encoders.h"
#include "testsupport/testrecording.h"
#include "tools/testsignals.h"

namespace {

constexpr int kFrameSamples = 800; // 100 ms at 8000 Hz
constexpr int kToneFrames = 10;
constexpr quint32 kFrameMs = 100;
constexpr quint32 kSecondToneMs = 500;
constexpr quint32 kTetraMs = 3500;
constexpr int kTetraFrames = 20;

} // namespace

QList<StreamDescriptor> writeMixedRecording(TestRecording &recording, quint32 startMs, const QStringList &audioNames)
{
    const QVector<qint16> tone1 = toneSignal(500, kToneFrames * kFrameSamples, 8000);
    const QVector<qint16> tone2 = toneSignal(1000, kToneFrames * kFrameSamples, 6000);
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA/8000"), audioNames.value(0));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("G726-32"), audioNames.value(1));
    recording.addStream(3, QStringLiteral("audio"), QStringLiteral("TETRA"), audioNames.value(2));
    recording.addStream(4, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    for (int k = 0; k < kToneFrames; ++k) {
        const quint32 at = startMs + quint32(k) * kFrameMs;
        recording.frame(at, 1, encodeALaw(tone1.mid(k * kFrameSamples, kFrameSamples)));
        recording.frame(at + kSecondToneMs, 2, encodeG726(tone2.mid(k * kFrameSamples, kFrameSamples)));
    }
    recording.text(startMs + 200, 4, QStringLiteral("Вызов"));
    recording.frame(startMs + kTetraMs, 3, TestRecordingData::tetraFrames(kTetraFrames));
    recording.text(startMs + kTetraMs + kFrameMs, 4, QStringLiteral("Отбой"));
    return recording.index();
}
