#include "journalflagsitem.h"

#include <QBrush>
#include <QGraphicsPolygonItem>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <memory>

namespace PlayerUi {

namespace {
const QColor kFlagColour(255, 80, 200); // magenta: apart from the cursor and the audio
constexpr double kFlagWidth = 9;       // pixels
constexpr double kFlagHeight = 7;
constexpr qreal kFlagsZ = 60;          // above the axis and its marked area
} // namespace

JournalFlagsItem::JournalFlagsItem()
{
    setZValue(kFlagsZ);
}

void JournalFlagsItem::setFlags(const QVector<Flag> &flags)
{
    m_flags = flags;
    // The marks are children: deleting one detaches and frees it.
    for (QGraphicsItem *mark : qAsConst(m_marks))
        std::unique_ptr<QGraphicsItem>{mark};
    m_marks.clear();
    for (const Flag &flag : m_flags) {
        auto *mark = new QGraphicsPolygonItem(QPolygonF({QPointF(0, 0), QPointF(kFlagWidth, kFlagHeight / 2), QPointF(0, kFlagHeight)}), this);
        mark->setBrush(kFlagColour);
        mark->setPen(QPen(kFlagColour));
        mark->setToolTip(flag.label);
        m_marks.append(mark);
    }
    place();
}

void JournalFlagsItem::setRange(double begin, double duration)
{
    if (!(duration > 0))
        return;
    m_begin = begin;
    m_duration = duration;
    place();
}

void JournalFlagsItem::setSize(double width, double height)
{
    prepareGeometryChange();
    m_width = width;
    m_height = height;
    place();
}

double JournalFlagsItem::xOf(const Flag &flag) const
{
    return (flag.pos - m_begin) * m_width / m_duration;
}

const JournalFlagsItem::Flag *JournalFlagsItem::flagAt(double x) const
{
    const Flag *nearest = nullptr;
    for (const Flag &flag : m_flags) {
        const double distance = std::abs(xOf(flag) - x);
        if (distance <= kHitPx && (!nearest || distance < std::abs(xOf(*nearest) - x)))
            nearest = &flag;
    }
    return nearest;
}

void JournalFlagsItem::place()
{
    for (int i = 0; i < m_marks.size(); ++i) {
        const double x = xOf(m_flags.at(i));
        m_marks.at(i)->setPos(x, 0);
        m_marks.at(i)->setVisible(x >= -kFlagWidth && x <= m_width);
    }
    update();
}

QRectF JournalFlagsItem::boundingRect() const
{
    return QRectF(0, 0, m_width, m_height);
}

void JournalFlagsItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->setPen(QPen(kFlagColour, 1, Qt::DashLine));
    for (const Flag &flag : m_flags) {
        const double x = xOf(flag);
        if (x >= 0 && x <= m_width)
            painter->drawLine(QPointF(x, 0), QPointF(x, m_height));
    }
}

} // namespace PlayerUi
