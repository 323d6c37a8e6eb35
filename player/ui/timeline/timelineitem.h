#pragma once

#include "player/ui/timeline/timemodel.h"

#include <QGraphicsItem>
#include <QVector>

class QGraphicsLineItem;
class QGraphicsRectItem;
class QFontMetrics;
class QPainter;

namespace PlayerUi {

// The background item of one timeline row: draws the time axis or the
// row's grid (subclasses) and carries the red cursor line and the blue
// hatched marked area as child items. Holds its own copy of the time model.
// Bounding rectangle (0, 0, width, height) in pixels; times in ms after the
// base. GUI thread only; owned by its scene.
class TimelineItem : public QGraphicsItem
{
public:
    explicit TimelineItem(QGraphicsItem *parent = nullptr);

    QRectF boundingRect() const override;

    // Pixels. The duration follows the width (the ms per pixel stay) once
    // the item had a width.
    void setSize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }

    void setModel(const TimeModel &model);
    const TimeModel &model() const { return m_model; }
    void setBase(const QDateTime &base);
    void setRange(double begin, double duration);
    void setCurrentPos(double pos);
    void setUnit(int unit, int step = 1);

    // A negative duration is turned around; returns whether either value
    // changed.
    bool setMarkedArea(double begin, double duration);
    void clearMarkedArea();
    bool hasMarkedArea() const;
    double markedBegin() const { return m_markedBegin; }
    double markedDuration() const { return m_markedDuration; }

    const QGraphicsLineItem *cursorLine() const { return m_cursor; }
    const QGraphicsRectItem *markedRect() const { return m_marked; }

protected:
    // Calls `tick(x, t)` for every minor tick of the current unit and step
    // (chosen for the font and stored in the model) from the start of its
    // enclosing unit to the right edge; returns that start.
    template <class Tick>
    QDateTime forEachMinorTick(const QFontMetrics &metrics, Tick tick);
    // The frame every row draws first; clips to the item.
    void paintFrame(QPainter *painter) const;
    int pixelOf(double offset) const;

private:
    void placeCursor();
    void placeMarkedArea();

    int m_width = 0;
    int m_height = 0;
    TimeModel m_model;
    double m_markedBegin = 0;    // ms
    double m_markedDuration = 0; // ms, never negative
    QGraphicsLineItem *m_cursor; // child, owned by this item
    QGraphicsRectItem *m_marked; // child, owned by this item
};

// The time axis: minor ticks with their labels in the lower half, the
// labels of the enclosing unit in the upper half.
class HeaderTimelineItem : public TimelineItem
{
public:
    using TimelineItem::TimelineItem;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // The minor labels the axis draws in `metrics`' font: where each
    // text begins (pixels) and the text. None begins left of the edge.
    struct Label
    {
        int x;
        QString text;
    };
    QVector<Label> minorLabels(const QFontMetrics &metrics);

private:
    // One pass over the minor ticks: their x (when asked for) and their
    // labels; returns the start of the enclosing unit.
    QDateTime minorTicks(const QFontMetrics &metrics, QVector<int> *ticks, QVector<Label> *labels);
    void paintMajorLabels(QPainter *painter, const QDateTime &start, int labelHeight);
};

// A stream row's grid: a vertical line per minor tick, solid where the
// tick starts the enclosing unit, dotted elsewhere.
class StreamTimelineItem : public TimelineItem
{
public:
    using TimelineItem::TimelineItem;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
};

} // namespace PlayerUi
