#include "timelinescene.h"

#include "player/ui/timeline/eventticksitem.h"
#include "player/ui/timeline/streamdataitem.h"
#include "player/ui/timeline/timelineitem.h"

#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneWheelEvent>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>

namespace PlayerUi {

namespace {

constexpr double kItemGap = 5;          // pixels between laid-out items
const QString kTickTimeFormat = QStringLiteral("dd.MM hh:mm:ss");
constexpr int kTickLines = 10;           // events a tick's tool tip names
constexpr double kMaxBoxDrift = 2;       // box widths a box may stand from its event
constexpr double kTickZoomPadShare = 0.1; // of a tick's span, on each side when zooming to it
constexpr double kCursorLanding = 0.1;  // of the width, where a jumped-to cursor lands
constexpr double kWheelOut = 1.1;       // factors of the visible duration
constexpr double kWheelIn = 0.9;
const Qt::KeyboardModifiers kClickModifiers = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool sameBase(const QDateTime &a, const QDateTime &b)
{
    return a == b && a.offsetFromUtc() == b.offsetFromUtc();
}

} // namespace

TimelineScene::TimelineScene(QObject *parent)
    : QGraphicsScene(parent)
{
    // Items move with every range change; an index would only cost.
    setItemIndexMethod(QGraphicsScene::NoIndex);
}

// Items go before the scene: deleting an item takes it out of the scene.
TimelineScene::~TimelineScene()
{
    m_dataItems.clear();
    m_timelineItem.reset();
}

void TimelineScene::setTimelineItem(std::unique_ptr<TimelineItem> item)
{
    m_timelineItem = std::move(item);
    if (!m_timelineItem)
        return;
    addItem(m_timelineItem.get());
    // A fixed rectangle from the start: the default one grows with the items
    // (the cursor line may lie far out of view).
    setSceneRect(0, 0, m_timelineItem->width(), m_timelineItem->height());
}

void TimelineScene::setModel(const TimeModel &model)
{
    m_model = model;
}

// --- range, cursor, marked area ----------------------------------------------

void TimelineScene::setBase(QDateTime base)
{
    if (sameBase(base, m_model.base))
        return;
    m_model.base = base;
    emit baseChanged(base);
    if (m_timelineItem)
        m_timelineItem->setBase(base);
    hideDataItems();
    for (const auto &item : m_dataItems)
        item->setBase(base);
    restartRefresh();
    update();
}

void TimelineScene::setRange(double begin, double duration)
{
    if (!std::isfinite(begin) || !std::isfinite(duration) || duration <= 0)
        return;
    if (!TimelineMath::differs(begin, m_model.begin) && !TimelineMath::differs(duration, m_model.duration))
        return;
    m_model.begin = begin;
    m_model.duration = duration;
    emit rangeChanged(begin, duration);
    if (m_timelineItem)
        m_timelineItem->setRange(begin, duration);
    hideDataItems();
    for (const auto &item : m_dataItems)
        item->setRange(begin, duration);
    emit dataItemRangeChanged(begin, duration);
    restartRefresh();
    update();
}

void TimelineScene::setCurrentPos(double cur_pos)
{
    if (!std::isfinite(cur_pos) || !TimelineMath::differs(cur_pos, m_model.current))
        return;
    m_model.current = cur_pos;
    emit currentPosChanged(cur_pos);
    if (m_timelineItem)
        m_timelineItem->setCurrentPos(cur_pos);
    for (const auto &item : m_dataItems)
        item->setCurrentPos(cur_pos);
}

void TimelineScene::moveCurrentPos(double cur_pos)
{
    if (cur_pos < m_model.begin || cur_pos > m_model.begin + m_model.duration)
        setRange(cur_pos - kCursorLanding * m_model.duration, m_model.duration);
    setCurrentPos(cur_pos);
}

void TimelineScene::setMarkedArea(double begin, double duration)
{
    if (m_timelineItem && m_timelineItem->setMarkedArea(begin, duration))
        emit markedAreaChanged(begin, duration);
}

void TimelineScene::fitToMarkedArea()
{
    if (!m_timelineItem || !m_timelineItem->hasMarkedArea())
        return;
    const double begin = m_timelineItem->markedBegin();
    const double duration = m_timelineItem->markedDuration();
    if (!passesZoomLimit(duration))
        return;
    setRange(begin, duration);
    setCurrentPos(begin);
}

bool TimelineScene::passesZoomLimit(double duration) const
{
    return TimelineMath::withinZoomLimit(duration, sceneRect().width());
}

void TimelineScene::zoomAroundCursor(double factor)
{
    const double r = (m_model.current - m_model.begin) / m_model.duration;
    if (!(r >= 0 && r <= 1))
        return;
    const double duration = std::fabs(factor) * m_model.duration;
    const double begin = m_model.begin + r * m_model.duration - r * duration;
    if (passesZoomLimit(duration))
        setRange(begin, duration);
}

void TimelineScene::setSceneSize(const QRectF &rect)
{
    const double oldWidth = sceneRect().width();
    if (oldWidth == 0)
        return;
    m_model.duration = m_model.duration * rect.width() / oldWidth;
    setSceneRect(rect);
    if (m_timelineItem)
        m_timelineItem->setSize(qRound(rect.width()), qRound(rect.height()));
    hideDataItems();
    for (const auto &item : m_dataItems) {
        item->setRange(m_model.begin, m_model.duration);
        item->setSceneRect(rect);
    }
    emit dataItemRangeChanged(m_model.begin, m_model.duration);
    restartRefresh();
}

// --- data items --------------------------------------------------------------

std::unique_ptr<StreamDataItem> TimelineScene::makeDataItem(int subclassId, const QDateTime &base, double beginning,
                                                            double duration, const QByteArray &data) const
{
    std::unique_ptr<StreamDataItem> item;
    if (subclassId == AudioItem)
        item = std::make_unique<AudioStreamDataItem>();
    else if (subclassId == EventItem)
        item = std::make_unique<EventStreamDataItem2>();
    else
        return item;
    item->setBase(base);
    item->setSpan(beginning, duration);
    item->setSize(StreamDataItem::kInitialSize, StreamDataItem::kInitialSize);
    item->setData(data);
    return item;
}

StreamDataItem *TimelineScene::insertDataItem(size_t index, std::unique_ptr<StreamDataItem> item)
{
    StreamDataItem *raw = item.get();
    m_dataItems.insert(m_dataItems.begin() + std::ptrdiff_t(index), std::move(item));
    addItem(raw);
    return raw;
}

void TimelineScene::addDataItem(int subclassId, QDateTime base, double beginning, double duration, QByteArray data)
{
    std::unique_ptr<StreamDataItem> item = makeDataItem(subclassId, base, beginning, duration, data);
    if (!item)
        return;
    StreamDataItem *added = insertDataItem(m_dataItems.size(), std::move(item));
    added->setRange(m_model.begin, m_model.duration);
    added->setSceneRect(sceneRect());
    update();
}

size_t TimelineScene::insertionIndexFor(double beginning) const
{
    const auto at = std::upper_bound(m_dataItems.begin(), m_dataItems.end(), beginning,
                                     [](double b, const std::unique_ptr<StreamDataItem> &item) { return b < item->beginning(); });
    return size_t(at - m_dataItems.begin());
}

void TimelineScene::layoutDataItems(size_t first)
{
    double x = kItemGap;
    if (first > 0 && first <= m_dataItems.size()) {
        const StreamDataItem *before = m_dataItems[first - 1].get();
        x = before->x() + before->width() + kItemGap;
    } else {
        first = 0;
    }
    for (size_t i = first; i < m_dataItems.size(); ++i) {
        StreamDataItem *item = m_dataItems[i].get();
        item->setPos(x, item->y());
        item->setRange(m_model.begin, m_model.duration);
        x += item->width() + kItemGap;
    }
}

void TimelineScene::removeDataItem(double begin, double end, bool isInside)
{
    const auto removed = std::stable_partition(m_dataItems.begin(), m_dataItems.end(),
                                               [&](const std::unique_ptr<StreamDataItem> &item) {
        const bool overlaps = item->beginning() + item->duration() >= begin && item->beginning() <= end;
        return overlaps != isInside;
    });
    m_dataItems.erase(removed, m_dataItems.end());
    layoutDataItems();
    update();
}

void TimelineScene::hideDataItems()
{
    for (const auto &item : m_dataItems)
        item->hide();
}

void TimelineScene::restartRefresh()
{
    if (m_refreshTimer != 0)
        killTimer(m_refreshTimer);
    m_refreshTimer = startTimer(kRefreshMs, Qt::CoarseTimer);
}

void TimelineScene::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_refreshTimer) {
        QGraphicsScene::timerEvent(event);
        return;
    }
    showDataItems();
    killTimer(m_refreshTimer);
    m_refreshTimer = 0;
}

// --- mouse -------------------------------------------------------------------

double TimelineScene::offsetAt(double x) const
{
    return x * m_model.duration / sceneRect().width() + m_model.begin;
}

void TimelineScene::pressAt(double x)
{
    m_pressX = int(x);
}

void TimelineScene::releaseAt(double x, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    const bool click = button == Qt::LeftButton && m_pressX >= 0 && int(x) == m_pressX;
    if (button == Qt::LeftButton)
        m_pressX = -1;
    if (!click || sceneRect().width() <= 0)
        return;
    const double pos = offsetAt(x);
    modifiers &= kClickModifiers;
    if (modifiers == Qt::NoModifier) {
        setCurrentPos(pos);
        setMarkedArea(0, 0);
        emit cursorPlaced(m_model.current);
    } else if (modifiers == Qt::ControlModifier) {
        setCurrentPos(pos);
        emit cursorPlaced(m_model.current);
    } else if (modifiers == Qt::ShiftModifier) {
        if (m_timelineItem && m_timelineItem->hasMarkedArea()) {
            const double a = m_timelineItem->markedBegin();
            const double e = a + m_timelineItem->markedDuration();
            if (pos < (a + e) / 2)
                setMarkedArea(pos, e - pos);
            else
                setMarkedArea(a, pos - a);
        } else {
            setMarkedArea(m_model.current, pos - m_model.current);
        }
    }
}

void TimelineScene::wheelBy(int delta)
{
    zoomAroundCursor(delta < 0 ? kWheelOut : kWheelIn);
    update();
}

void NavigateTimelineScene::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    emit doubleClicked(event->scenePos().x());
    event->accept();
}

void NavigateTimelineScene::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressAt(event->scenePos().x());
    event->accept();
}

void NavigateTimelineScene::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsScene::mouseMoveEvent(event);
    if (event->buttons() == Qt::NoButton || sceneRect().width() <= 0)
        return;
    const double shift = (event->lastScenePos().x() - event->scenePos().x()) * model().duration / sceneRect().width();
    const double current = model().current;
    setRange(model().begin + shift, model().duration);
    setCurrentPos(current + shift);
    emit cursorPlaced(model().current);
}

void NavigateTimelineScene::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    releaseAt(event->scenePos().x(), event->button(), event->modifiers());
    event->accept();
}

void NavigateTimelineScene::wheelEvent(QGraphicsSceneWheelEvent *event)
{
    wheelBy(event->delta());
    event->accept();
}

// --- event rows --------------------------------------------------------------

void TimelineScene::showDataItems()
{
    for (const auto &item : m_dataItems)
        item->show();
}

EventTimelineScene::EventTimelineScene(QObject *parent)
    : TimelineScene(parent)
    , m_ticks(new EventTicksItem)
{
    m_ticks->hide();
    addItem(m_ticks);
    connect(this, &TimelineScene::dataItemRangeChanged, this, &EventTimelineScene::updateTicks);
}

void EventTimelineScene::removeDataItem(double begin, double end, bool isInside)
{
    TimelineScene::removeDataItem(begin, end, isInside);
    updateTicks();
}

void EventTimelineScene::showDataItems()
{
    if (!m_tickMode)
        TimelineScene::showDataItems();
}

// Items arrive one by one from the feeder: the ticks are placed once the
// queued items have been added, not after each of them.
void EventTimelineScene::updateTicks()
{
    if (m_ticksPending)
        return;
    m_ticksPending = true;
    QMetaObject::invokeMethod(this, [this] {
        m_ticksPending = false;
        placeTicks();
    }, Qt::QueuedConnection);
}

// Ticks instead of boxes when the items stand for several events each, or
// when the boxes, laid out side by side, would run past the row's width or
// land more than two boxes' widths away from their events.
void EventTimelineScene::placeTicks()
{
    const double width = sceneRect().width();
    const double scale = width / model().duration;
    double boxX = kItemGap;
    bool crowded = false;
    for (int i = 0; i < dataItemCount() && !crowded; ++i) {
        const auto *event = static_cast<const EventStreamDataItem2 *>(dataItem(i));
        const double eventX = (event->beginning() - model().begin) * scale;
        crowded = event->eventCount() > 1 || event->duration() > 0 || boxX + event->width() > width
            || std::abs(boxX - eventX) > kMaxBoxDrift * event->width();
        boxX += event->width() + kItemGap;
    }
    m_tickMode = crowded;
    if (!m_tickMode) {
        m_ticks->setTicks({}, width, sceneRect().height());
        m_ticks->hide();
        if (!isRefreshPending())
            TimelineScene::showDataItems();
        return;
    }
    QVector<EventTicksItem::Tick> ticks;
    for (int i = 0; i < dataItemCount(); ++i) {
        const auto *event = static_cast<const EventStreamDataItem2 *>(dataItem(i));
        const double x = (event->beginning() - model().begin) * scale;
        if (x < -EventTicksItem::kMergePx || x > width + EventTicksItem::kMergePx)
            continue;
        if (ticks.isEmpty() || x - ticks.last().x >= EventTicksItem::kMergePx)
            ticks.append(EventTicksItem::Tick{x, event->beginning(), event->beginning(), 0, {}});
        EventTicksItem::Tick &tick = ticks.last();
        tick.end = event->beginning() + event->duration();
        tick.count += event->eventCount();
        if (tick.lines.size() >= kTickLines)
            continue;
        const QString time = event->base().addMSecs(qint64(event->beginning())).toString(kTickTimeFormat);
        for (const QString &text : event->texts()) {
            if (tick.lines.size() < kTickLines)
                tick.lines.append(time + QStringLiteral("  ") + text);
        }
    }
    m_ticks->setTicks(ticks, width, sceneRect().height());
    m_ticks->show();
    hideDataItems();
}

void EventTimelineScene::addDataItem(int subclassId, QDateTime base, double beginning, double duration, QByteArray data)
{
    std::unique_ptr<StreamDataItem> item = makeDataItem(subclassId, base, beginning, duration, data);
    if (!item)
        return;
    item->setPos(0, kBoxTop);
    const size_t index = insertionIndexFor(beginning);
    StreamDataItem *added = insertDataItem(index, std::move(item));
    added->setSceneRect(sceneRect());
    // Boxes arrive in time order: usually only the new one moves.
    layoutDataItems(index);
    updateTicks();
    update();
}

StreamDataItem *EventTimelineScene::boxAt(const QPointF &scenePos) const
{
    for (int i = dataItemCount() - 1; i >= 0; --i) {
        StreamDataItem *item = dataItem(i);
        if (item->isVisible() && item->sceneBoundingRect().contains(scenePos))
            return item;
    }
    return nullptr;
}

void EventTimelineScene::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressAt(event->scenePos().x());
    event->accept();
}

void EventTimelineScene::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsScene::mouseMoveEvent(event);
    if (event->buttons() == Qt::NoButton)
        return;
    const QPointF delta = event->scenePos() - event->lastScenePos();
    StreamDataItem *grabbed = boxAt(event->lastScenePos());
    for (int i = 0; i < dataItemCount(); ++i) {
        StreamDataItem *item = dataItem(i);
        item->moveBy(delta.x(), item == grabbed ? delta.y() : 0);
        item->setRange(model().begin, model().duration);
    }
}

void EventTimelineScene::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    releaseAt(event->scenePos().x(), event->button(), event->modifiers());
    event->accept();
}

void EventTimelineScene::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    if (const EventTicksItem::Tick *tick = m_tickMode ? m_ticks->tickAt(event->scenePos().x()) : nullptr) {
        const double pad = qMax(kTickZoomPadMs, (tick->end - tick->begin) * kTickZoomPadShare);
        setRange(tick->begin - pad, tick->end - tick->begin + 2 * pad);
        event->accept();
        return;
    }
    for (int i = 0; i < dataItemCount(); ++i) {
        StreamDataItem *item = dataItem(i);
        item->setPos(item->x(), kBoxTop);
        item->setRange(model().begin, model().duration);
    }
    event->accept();
}

void EventTimelineScene::wheelEvent(QGraphicsSceneWheelEvent *event)
{
    wheelBy(event->delta());
    event->accept();
}

} // namespace PlayerUi
