#include "recordingspan.h"

#include "codecs/audiocodec.h"
#include "recording/recordingindexer.h"
#include "player/engine/streamhandle.h"

namespace {
const QString kTypeAudio = QStringLiteral("audio");
}

RecordingSpan RecordingSpan::of(const RecordingIndexer &indexer)
{
    RecordingSpan span;
    for (int i = 0; i < indexer.streamCount(); ++i) {
        const IndexRecord first = indexer.firstRecord(i);
        const IndexRecord last = indexer.lastRecord(i);
        if (first.stream < 0 || last.stream < 0)
            continue;
        const StreamDescriptor descriptor = indexer.descriptor(i);
        double end = last.time;
        if (descriptor.value(QStringLiteral("TYPE")) == kTypeAudio)
            end += encodedDuration(descriptor.value(QStringLiteral("ENCODING")), recordPayloadLength(last),
                                   FileStreamHandle::kDefaultCodecRate);
        span.begin = span.hasFrames ? qMin(span.begin, double(first.time)) : double(first.time);
        span.end = span.hasFrames ? qMax(span.end, end) : end;
        span.hasFrames = true;
    }
    return span;
}

void RecordingSpan::clip(double *rangeBegin, double *rangeDuration, double openEnd) const
{
    const double rangeEnd = *rangeBegin + *rangeDuration >= openEnd ? end : *rangeBegin + *rangeDuration;
    const double from = qMax(*rangeBegin, begin);
    const double to = qMin(rangeEnd, end);
    *rangeBegin = from;
    *rangeDuration = hasFrames ? qMax(0.0, to - from) : 0;
}
