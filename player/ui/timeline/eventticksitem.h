// EventTicksItem: a text row's events as ticks, when their boxes do not fit.
#pragma once

#include <QGraphicsItem>
#include <QStringList>
#include <QVector>

namespace PlayerUi {

// Paints one tick per group of events that share a few pixels, with the
// group's count beside it when it holds more than one event; hovering a
// tick shows its events' times and texts. Coordinates are the row's scene
// pixels. GUI thread only; owned by its scene.
class EventTicksItem : public QGraphicsItem
{
public:
    struct Tick
    {
        double x = 0;       // pixels
        double begin = 0;   // ms after the base, the group's first event
        double end = 0;     // ms, its last event
        int count = 0;      // events in the group
        QStringList lines;  // "time text" of its first events, for the tool tip
    };
    // Events closer than this share a tick (pixels).
    static constexpr double kMergePx = 6;
    static constexpr double kTop = 12;  // pixels: below the row's name

    EventTicksItem();

    void setTicks(const QVector<Tick> &ticks, double width, double height);
    const QVector<Tick> &ticks() const { return m_ticks; }
    // The tick within kMergePx of x, or null.
    const Tick *tickAt(double x) const;

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void hoverMoveEvent(QGraphicsSceneHoverEvent *event) override;

private:
    QVector<Tick> m_ticks; // left to right
    double m_width = 0;
    double m_height = 0;
};

} // namespace PlayerUi
