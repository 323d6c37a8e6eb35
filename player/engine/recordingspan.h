#pragma once

class RecordingIndexer;

// The stretch of a recording that holds frames, ms after its base: from
// the first frame of any stream to the end of the last one (an audio frame
// ends when its payload has played, a text frame at its time). An export
// covers no more than this, whatever range it is given: a margin around the
// recording (the view's, a typed range) would otherwise shift every time
// read off the file.
struct RecordingSpan
{
    double begin = 0;
    double end = 0;
    bool hasFrames = false;

    // The span of an indexed recording (its index files open).
    static RecordingSpan of(const RecordingIndexer &indexer);
    // Clips [rangeBegin, rangeBegin + rangeDuration) to the span (ms); a
    // range reaching `openEnd` (or beyond) runs to the span's end. A
    // duration of 0 or less results when nothing of the range lies in it.
    void clip(double *rangeBegin, double *rangeDuration, double openEnd) const;
};
