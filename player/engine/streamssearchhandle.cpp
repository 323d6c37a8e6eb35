#include "streamssearchhandle.h"

#include "player/engine/framestreamhandles.h"

#include <cmath>

using IndexFormat::kNoTime;

int StreamsSearchHandle::open()
{
    int failures = 0;
    for (TextStreamHandle *member : qAsConst(m_handles)) {
        failures += member->open();
        member->next();
    }
    m_current = nullptr;
    m_state = Open;
    return failures;
}

int StreamsSearchHandle::seek(double t)
{
    int failures = 0;
    // Each member goes to its first frame at or after t: the record in
    // force just before t (frame times are whole ms) is passed over, a
    // frame at t or later (t before the stream's first frame) is kept.
    const double before = std::ceil(t) - 1;
    for (TextStreamHandle *member : qAsConst(m_handles)) {
        failures += member->seek(before);
        if (member->state() == Open || member->currentTime() < t)
            member->next();
    }
    m_current = nullptr;
    m_state = Open;
    return failures;
}

int StreamsSearchHandle::next()
{
    if (m_current)
        m_current->next();
    m_current = nullptr;
    m_currentTime = kNoTime;
    for (TextStreamHandle *member : qAsConst(m_handles)) {
        const double t = member->currentTime();
        if (t < m_currentTime) {
            m_currentTime = t;
            m_current = member;
        }
    }
    m_state = m_current ? OnRecord : AtEnd;
    return m_current ? 1 : 0;
}

int StreamsSearchHandle::close()
{
    for (TextStreamHandle *member : qAsConst(m_handles))
        member->close();
    m_current = nullptr;
    m_state = Closed;
    return 0;
}

double StreamsSearchHandle::currentTime() const
{
    return m_state == OnRecord ? m_currentTime : kNoTime;
}

int StreamsSearchHandle::currentText(QString *out)
{
    if (m_state != OnRecord || !m_current)
        return 1;
    m_current->readData();
    const QByteArray &text = m_current->output();
    const int nul = text.indexOf('\0');
    *out = QString::fromUtf8(nul < 0 ? text : text.left(nul));
    return 0;
}

double StreamsSearchHandle::progress() const
{
    if (m_handles.isEmpty())
        return 0;
    double sum = 0;
    for (const TextStreamHandle *member : m_handles)
        sum += member->progress();
    return sum / m_handles.size();
}
