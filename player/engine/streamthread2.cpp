#include "streamthread2.h"

#include "player/engine/scalestreamhandles.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>

StreamThread2::StreamThread2(std::unique_ptr<ScaleStreamHandle2> reader, const QDateTime &base, int kind,
                             QObject *parent)
    : QThread(parent)
    , m_kind(kind)
    , m_reader(std::move(reader))
    , m_base(base)
{
}

StreamThread2::~StreamThread2()
{
    if (isRunning()) {
        setStopped(true);
        wait();
    }
}

void StreamThread2::setStopped(bool stopped)
{
    QMutexLocker locker(&m_mutex);
    m_stopped.store(stopped);
    m_wake.wakeAll();
}

bool StreamThread2::isStopped() const
{
    return m_stopped.load();
}

int StreamThread2::servedLevel() const
{
    QMutexLocker locker(&m_mutex);
    return m_servedLevel;
}

void StreamThread2::setDetailThreshold(int level)
{
    QMutexLocker locker(&m_mutex);
    m_detailThreshold = level;
}

void StreamThread2::rangeChanged(double _begin, double _duration)
{
    QMutexLocker locker(&m_mutex);
    m_requested = Range{_begin, _duration};
    ++m_requestSerial;
    m_wake.wakeAll();
}

void StreamThread2::sceneRectChange(QRectF rect)
{
    QMutexLocker locker(&m_mutex);
    m_sceneWidth = rect.width();
    ++m_requestSerial;
    m_wake.wakeAll();
}

void StreamThread2::run()
{
    if (!m_reader)
        return;
    m_reader->open();
    Range requested{0, 0};
    double width = 0;
    while (takeRequest(&requested, &width)) {
        const bool rangeMoved = std::fabs(requested.begin - m_served.begin) > kEpsilon
            || std::fabs(requested.duration - m_served.duration) > kEpsilon;
        if (!rangeMoved && std::fabs(width - m_servedWidth) <= kEpsilon) {
            waitForRequest();
            continue;
        }
        serve(requested, width);
    }
    m_reader->close();
}

// Copies what the row asked for; false once the thread is to stop.
bool StreamThread2::takeRequest(Range *requested, double *width)
{
    if (isStopped())
        return false;
    QMutexLocker locker(&m_mutex);
    *requested = m_requested;
    *width = m_sceneWidth;
    m_takenSerial = m_requestSerial;
    m_threshold = m_detailThreshold;
    return true;
}

// Sleeps until a request or a stop wakes the loop (at most kIdlePollMs).
void StreamThread2::waitForRequest()
{
    QMutexLocker locker(&m_mutex);
    if (!isStopped() && m_requestSerial == m_takenSerial)
        m_wake.wait(&m_mutex, kIdlePollMs);
}

// Brings the row from the served range to the requested one: only the
// exposed strips when the two overlap at the same level, else everything.
void StreamThread2::serve(const Range &requested, double width)
{
    const Range old = m_served;
    m_servedWidth = width;
    bool levelChanged = false;
    m_reader->setScale(requested.duration / width, &levelChanged);
    m_served = requested;
    {
        QMutexLocker locker(&m_mutex);
        m_servedLevel = m_reader->level();
    }

    if (old.end() >= requested.begin && requested.end() >= old.begin && !levelChanged) {
        const double keepBegin = std::max(requested.begin, old.begin);
        const double keepEnd = std::min(requested.end(), old.end());
        emit removeDataItem(keepBegin, keepEnd, false);
        if (keepBegin > requested.begin)
            fill(requested.begin, keepBegin, FillMode::Left);
        if (requested.end() > keepEnd)
            fill(keepEnd, requested.end(), FillMode::Right);
    } else {
        emit removeDataItem(old.begin, old.end(), true);
        fill(requested.begin, requested.end(), FillMode::Full);
    }
    // A fill cut short by a stop is no served range.
    if (!stopRequested())
        emit rangeServed(requested.begin, requested.duration);
}

// Sends the items of [from, to] that are not on the row yet. The reader is
// positioned at `from` (the requested begin in the left and full modes):
// seeking there reaches the same first item as seeking the requested begin
// and skipping, without walking the kept part of the range.
void StreamThread2::fill(double from, double to, FillMode mode)
{
    m_reader->seek(std::max(0.0, from));
    skipTo(from, mode);
    sendUntil(to, mode);
}

// Moves past the items already on the row: to the first item that begins
// (right mode) or ends (left and full modes) at or after `from`.
void StreamThread2::skipTo(double from, FillMode mode)
{
    while (!stopRequested()) {
        const int state = m_reader->state();
        if (state == StreamHandle::AtEnd || state == StreamHandle::Closed)
            return;
        if (state == StreamHandle::OnRecord) {
            const double begin = m_reader->currentTime();
            const double edge = mode == FillMode::Right ? begin : begin + m_reader->currentDuration();
            if (edge >= from)
                return;
        }
        m_reader->next();
    }
}

// Sends items until one reaches `to` with its begin (right and full modes)
// or its end (left mode: an item straddling the kept range is on the row).
void StreamThread2::sendUntil(double to, FillMode mode)
{
    while (!stopRequested()) {
        const int state = m_reader->state();
        if (state == StreamHandle::AtEnd || state == StreamHandle::Closed)
            return;
        if (state == StreamHandle::OnRecord) {
            const double begin = m_reader->currentTime();
            const double edge = mode == FillMode::Left ? begin + m_reader->currentDuration() : begin;
            if (to <= edge)
                return;
            sendItem();
        }
        m_reader->next();
    }
}

// The current item: its span only at coarse levels (a text item with its
// events' texts, so a zoomed-out row can still show and count them), else
// each of its frames.
void StreamThread2::sendItem()
{
    if (m_reader->level() >= m_threshold) {
        emit addDataItem(m_kind, m_base, m_reader->currentTime(), m_reader->currentDuration(),
                         m_kind == TextItem ? itemTexts() : QByteArray());
        return;
    }
    while (!stopRequested() && m_reader->readData() == 0)
        emit addDataItem(m_kind, m_base, m_reader->frameTime(), m_reader->frameDuration(), m_reader->output());
}

// The texts of the current item's events, each ended by a zero byte; past
// kMaxItemTexts only the zero bytes, so the count stays exact.
QByteArray StreamThread2::itemTexts()
{
    QByteArray texts;
    int count = 0;
    while (!stopRequested() && m_reader->readData() == 0) {
        if (count++ < kMaxItemTexts) {
            const QByteArray &text = m_reader->output();
            const int end = text.indexOf('\0');
            texts.append(end < 0 ? text : text.left(end));
        }
        texts.append('\0');
    }
    return texts;
}
