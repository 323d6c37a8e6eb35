#pragma once

#include "player/ui/timeline/timemodel.h"

#include <QByteArray>
#include <QDateTime>
#include <QGraphicsScene>

#include <memory>
#include <vector>

namespace PlayerUi {

class EventTicksItem;
class StreamDataItem;
class TimelineItem;

// One timeline row: its background item (axis or grid, with the cursor and
// the marked area), its time model and the data items its feeder thread
// delivers. Range changes hide the data items and show them again 100 ms
// after the last change, so dragging and zooming stay smooth while the
// feeder replaces them. Setters emit only on a change beyond 0.00001.
//
// Times are ms after the base; sizes in pixels. GUI thread only. Owns its
// items (the data items and the background item are deleted with it).
class TimelineScene : public QGraphicsScene
{
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 100;
    // Data item kinds (the feeder's kinds).
    enum ItemKind { AudioItem = 1, EventItem = 2 };

    explicit TimelineScene(QObject *parent = nullptr);
    ~TimelineScene() override;

    // Takes ownership of item, adds it to the scene and fixes the scene
    // rectangle to its size.
    void setTimelineItem(std::unique_ptr<TimelineItem> item);
    TimelineItem *timelineItem() const { return m_timelineItem.get(); }
    void setModel(const TimeModel &model);
    const TimeModel &model() const { return m_model; }
    // Data items in display order.
    int dataItemCount() const { return int(m_dataItems.size()); }
    StreamDataItem *dataItem(int i) const { return m_dataItems.at(size_t(i)).get(); }
    bool isRefreshPending() const { return m_refreshTimer != 0; }

    // The view was resized to rect: the ms per pixel stay, so the duration
    // follows the width. Nothing happens while the scene has no width.
    void setSceneSize(const QRectF &rect);
    // Zooms by factor (of the visible duration) keeping the cursor's place
    // on screen; nothing when the cursor is out of view or the result
    // breaks the zoom limit.
    void zoomAroundCursor(double factor);
    bool passesZoomLimit(double duration) const;

signals:
    void baseChanged(QDateTime base);
    void rangeChanged(double begin, double duration);
    void currentPosChanged(double dateTime);
    // The user put the cursor at pos: a click, or a drag of the view.
    void cursorPlaced(double pos);
    void markedAreaChanged(double begin, double duration);
    void dataItemRangeChanged(double begin, double duration);

public slots:
    void setBase(QDateTime base);
    void setRange(double begin, double duration);
    void setCurrentPos(double cur_pos);
    // As setCurrentPos; when pos is out of view the range first moves so
    // that it lands at a tenth of the width.
    void moveCurrentPos(double cur_pos);
    void setMarkedArea(double begin, double duration);
    void fitToMarkedArea();
    virtual void addDataItem(int subclassId, QDateTime base, double beginning, double duration, QByteArray data);
    // isInside true: removes the items that touch [begin, end]; false: the
    // items that do not.
    virtual void removeDataItem(double begin, double end, bool isInside);

protected:
    void timerEvent(QTimerEvent *event) override;
    // Shows the data items again once the range has settled.
    virtual void showDataItems();
    void hideDataItems();

    // A new item of the kind with its fields set; null for an unknown kind.
    std::unique_ptr<StreamDataItem> makeDataItem(int subclassId, const QDateTime &base, double beginning,
                                                 double duration, const QByteArray &data) const;
    // Inserts at `index` (display order) and adds to the scene.
    StreamDataItem *insertDataItem(size_t index, std::unique_ptr<StreamDataItem> item);
    // Places every item left to right from x = 5, 5 pixels apart, and gives
    // it the range.
    // Places the boxes from index `first` on, side by side after the one
    // before it; the boxes before `first` are where they belong already.
    void layoutDataItems(size_t first = 0);
    size_t insertionIndexFor(double beginning) const;

    // Mouse handling shared by the interactive rows.
    void pressAt(double x);
    // A release at the press's pixel: sets the cursor and the marked area
    // by the modifiers.
    void releaseAt(double x, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void wheelBy(int delta);
    double offsetAt(double x) const;

private:
    void restartRefresh();

    std::vector<std::unique_ptr<StreamDataItem>> m_dataItems; // display order
    std::unique_ptr<TimelineItem> m_timelineItem;
    TimeModel m_model;
    int m_refreshTimer = 0;
    int m_pressX = -1;         // pixel of the last left press, -1 when none
};

// The navigation row and the audio rows: dragging moves the content and
// the cursor with the mouse.
class NavigateTimelineScene : public TimelineScene
{
    Q_OBJECT

public:
    using TimelineScene::TimelineScene;

signals:
    // A double click at pixel x.
    void doubleClicked(double x);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    void wheelEvent(QGraphicsSceneWheelEvent *event) override;
};

// The event rows: data items are boxes laid out left to right in time
// order; dragging moves the boxes (the one under the mouse also vertically)
// and a double click lines them up again. Where the boxes do not fit in
// the row (or the feeder sends zoomed-out items), the events are ticks
// instead (EventTicksItem), crowded ones merged with a count; a double
// click on a tick zooms to its events.
class EventTimelineScene : public TimelineScene
{
    Q_OBJECT

public:
    static constexpr double kBoxTop = 40; // pixels
    // Shown around a tick's events when a double click zooms to them (ms).
    static constexpr double kTickZoomPadMs = 5000;

    explicit EventTimelineScene(QObject *parent = nullptr);

    bool showsTicks() const { return m_tickMode; }
    const EventTicksItem *ticksItem() const { return m_ticks; }

public slots:
    void addDataItem(int subclassId, QDateTime base, double beginning, double duration, QByteArray data) override;
    void removeDataItem(double begin, double end, bool isInside) override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    void wheelEvent(QGraphicsSceneWheelEvent *event) override;

    void showDataItems() override;

private:
    StreamDataItem *boxAt(const QPointF &scenePos) const;
    void updateTicks();
    void placeTicks();

    EventTicksItem *m_ticks; // owned by the scene
    bool m_tickMode = false;
    bool m_ticksPending = false; // placeTicks() is queued
};

} // namespace PlayerUi
