#include "eventticksitem.h"

#include <QGraphicsSceneHoverEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace PlayerUi {

namespace {
const QColor kTickColour(255, 200, 0); // amber: apart from the green audio
constexpr double kLabelGap = 3;        // pixels between a tick and its count
constexpr qreal kTicksZ = 50;          // above the grid, below the row's name
} // namespace

EventTicksItem::EventTicksItem()
{
    setAcceptHoverEvents(true);
    setZValue(kTicksZ);
}

void EventTicksItem::setTicks(const QVector<Tick> &ticks, double width, double height)
{
    prepareGeometryChange();
    m_ticks = ticks;
    m_width = width;
    m_height = height;
    setToolTip(QString());
    update();
}

const EventTicksItem::Tick *EventTicksItem::tickAt(double x) const
{
    const Tick *nearest = nullptr;
    for (const Tick &tick : m_ticks) {
        if (std::abs(tick.x - x) <= kMergePx && (!nearest || std::abs(tick.x - x) < std::abs(nearest->x - x)))
            nearest = &tick;
    }
    return nearest;
}

QRectF EventTicksItem::boundingRect() const
{
    return QRectF(0, 0, m_width, m_height);
}

void EventTicksItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->setPen(QPen(kTickColour, 2));
    const double bottom = m_height - 1;
    for (const Tick &tick : m_ticks) {
        painter->drawLine(QPointF(tick.x, kTop + 12), QPointF(tick.x, bottom));
        if (tick.count > 1)
            painter->drawText(QPointF(tick.x + kLabelGap, kTop + 24), QString::number(tick.count));
    }
}

void EventTicksItem::hoverMoveEvent(QGraphicsSceneHoverEvent *event)
{
    const Tick *tick = tickAt(event->pos().x());
    QStringList lines = tick ? tick->lines : QStringList();
    if (tick && tick->count > lines.size())
        lines.append(QStringLiteral("… всего событий: %1").arg(tick->count));
    setToolTip(lines.join(QLatin1Char('\n')));
}

} // namespace PlayerUi
