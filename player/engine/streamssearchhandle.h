#pragma once

#include "player/engine/streamhandle.h"

#include <QList>

class TextStreamHandle;

// Walks the frames of several text streams in time order (ties: the first
// member in list order), so that every text of all members comes out once
// per pass. The owner adds the member readers (not owned) and calls open()
// or seek(), then next() and currentText() until the state is AtEnd. Used
// by one thread (the search panel's, or the command line's).
class StreamsSearchHandle : public StreamHandle
{
public:
    StreamsSearchHandle() = default;

    // Each member open() then next(); state Open; result = the sum of the
    // members' open() results.
    int open() override;
    // Moves the current member on and picks the member with the earliest
    // frame: state OnRecord and 1, or AtEnd and 0 when none is left.
    int next() override;
    // Each member moves to its first frame at or after t (ms); state Open;
    // next() then picks the earliest. Result = the sum of the members'
    // seek() results.
    int seek(double t) override;
    int close() override;
    // Time (ms) of the current text frame in state OnRecord, else kNoTime.
    // It stays valid after currentText() has consumed the frame.
    double currentTime() const override;
    // The current frame's text (up to its first NUL byte): 0, or 1 when
    // not on a frame.
    int currentText(QString *out);
    // The mean of the members' progress, 0..1; 0 without members.
    double progress() const;

    void setHandles(const QList<TextStreamHandle *> &handles) { m_handles = handles; }
    void addHandle(TextStreamHandle *handle) { m_handles.append(handle); }
    const QList<TextStreamHandle *> &handles() const { return m_handles; }
    // The member whose frame is current, or null.
    TextStreamHandle *current() const { return m_current; }

private:
    QList<TextStreamHandle *> m_handles; // not owned
    TextStreamHandle *m_current = nullptr;
    double m_currentTime = IndexFormat::kNoTime; // ms, of the current frame
};
