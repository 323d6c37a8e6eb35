#include "timelineitem.h"

#include <QBrush>
#include <QFontMetrics>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QPainter>
#include <QPen>

#include <cmath>

namespace PlayerUi {

namespace {

// The widest minor label the axis must leave room for.
const QString kLabelSample = QStringLiteral("999 АА");
constexpr qreal kMarkedAreaZOffset = -100;
const QColor kMarkedFill(110, 160, 255, 80);
const QColor kMarkedEdge(150, 190, 255);
constexpr int kLabelIndent = 5; // pixels right of a tick
constexpr double kMaxPixel = 1e9;

} // namespace

TimelineItem::TimelineItem(QGraphicsItem *parent)
    : QGraphicsItem(parent)
    , m_cursor(new QGraphicsLineItem(this))
    , m_marked(new QGraphicsRectItem(this))
{
    m_cursor->setPen(QPen(QBrush(Qt::red), 1));
    // A light veil with a bright edge: plainly seen on the dark rows, and the
    // waveforms drawn over it stay readable.
    m_marked->setPen(QPen(QBrush(kMarkedEdge), 1));
    m_marked->setBrush(QBrush(kMarkedFill));
    m_marked->setZValue(m_marked->zValue() + kMarkedAreaZOffset);
    m_marked->hide();
}

QRectF TimelineItem::boundingRect() const
{
    return QRectF(0, 0, m_width, m_height);
}

void TimelineItem::setSize(int width, int height)
{
    if (width != m_width || height != m_height)
        prepareGeometryChange();
    if (m_width != 0)
        m_model.duration = m_model.duration * width / m_width;
    m_width = width;
    m_height = height;
    placeCursor();
    placeMarkedArea();
    update();
}

void TimelineItem::setModel(const TimeModel &model)
{
    m_model = model;
    placeCursor();
    placeMarkedArea();
    update();
}

void TimelineItem::setBase(const QDateTime &base)
{
    m_model.base = base;
    update();
}

// The cursor line is placed again as well: a range change that is not
// followed by a cursor change (the cursor already at its new offset) must
// not leave the line where the old range had it.
void TimelineItem::setRange(double begin, double duration)
{
    m_model.begin = begin;
    m_model.duration = duration;
    placeCursor();
    placeMarkedArea();
    update();
}

void TimelineItem::setCurrentPos(double pos)
{
    m_model.current = pos;
    placeCursor();
}

void TimelineItem::setUnit(int unit, int step)
{
    m_model.unit = unit;
    m_model.step = step;
}

bool TimelineItem::setMarkedArea(double begin, double duration)
{
    if (duration < 0) {
        begin += duration;
        duration = -duration;
    }
    const bool changed = TimelineMath::differs(begin, m_markedBegin) || TimelineMath::differs(duration, m_markedDuration);
    m_markedBegin = begin;
    m_markedDuration = duration;
    placeMarkedArea();
    return changed;
}

void TimelineItem::clearMarkedArea()
{
    m_markedBegin = 0;
    m_markedDuration = 0;
    m_marked->hide();
}

bool TimelineItem::hasMarkedArea() const
{
    return std::fabs(m_markedDuration) > TimelineMath::kEpsilon;
}

void TimelineItem::placeCursor()
{
    const double x = TimelineMath::xOf(m_model.current, m_model.begin, m_model.duration, m_width);
    m_cursor->setLine(x, 0, x, m_height);
}

void TimelineItem::placeMarkedArea()
{
    if (!hasMarkedArea()) {
        m_marked->hide();
        return;
    }
    const double x = TimelineMath::xOf(m_markedBegin, m_model.begin, m_model.duration, m_width);
    const double w = m_markedDuration * m_width / m_model.duration;
    m_marked->setRect(x, 0, w, m_height - 1);
    m_marked->show();
}

// Ticks lie within an enclosing unit of the view; the bound only keeps the
// conversion defined for a degenerate model.
int TimelineItem::pixelOf(double offset) const
{
    return int(qBound(-kMaxPixel, TimelineMath::xOf(offset, m_model.begin, m_model.duration, m_width), kMaxPixel));
}

void TimelineItem::paintFrame(QPainter *painter) const
{
    painter->setClipRect(boundingRect());
    painter->setPen(Qt::darkGray);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRect(QPoint(0, 0), QPoint(m_width - 2, m_height - 2)));
}

template <class Tick>
QDateTime TimelineItem::forEachMinorTick(const QFontMetrics &metrics, Tick tick)
{
    const double labelWidth = metrics.horizontalAdvance(kLabelSample);
    const double pixelsPerSecond = m_width / (m_model.duration / 1000.0);
    const TickUnits::Tick chosen = TickUnits::chooseTick(pixelsPerSecond, labelWidth + kLabelIndent);
    setUnit(chosen.unit, chosen.step);
    const QDateTime first = m_model.base.addMSecs(qint64(m_model.begin));
    const QDateTime start = TickUnits::firstTick(first, chosen);
    const double end = m_model.begin + m_model.duration;
    for (QDateTime t = start; double(m_model.base.msecsTo(t)) < end; t = TickUnits::advance(t, chosen))
        tick(pixelOf(double(m_model.base.msecsTo(t))), t);
    return TickUnits::startOfEnclosing(first, chosen.unit);
}

// --- the time axis -----------------------------------------------------------

void HeaderTimelineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (width() <= 0 || model().duration <= 0)
        return;
    paintFrame(painter);
    const QFontMetrics metrics(painter->font());
    const int h = metrics.height();
    const int rowSplit = 3 * h / 2;
    const QPen grid(Qt::darkGray);
    const QPen label(Qt::green);
    QVector<int> ticks;
    QVector<Label> labels;
    const QDateTime start = minorTicks(metrics, &ticks, &labels);
    painter->setPen(grid);
    for (int x : qAsConst(ticks))
        painter->drawLine(x, rowSplit, x, height());
    painter->setPen(label);
    for (const Label &minor : qAsConst(labels))
        painter->drawText(minor.x, 3 * h, minor.text);
    paintMajorLabels(painter, start, h);
    painter->setPen(grid);
    painter->drawLine(0, rowSplit, width(), rowSplit);
}

QVector<HeaderTimelineItem::Label> HeaderTimelineItem::minorLabels(const QFontMetrics &metrics)
{
    QVector<Label> labels;
    minorTicks(metrics, nullptr, &labels);
    return labels;
}

QDateTime HeaderTimelineItem::minorTicks(const QFontMetrics &metrics, QVector<int> *ticks, QVector<Label> *labels)
{
    return forEachMinorTick(metrics, [&](int x, const QDateTime &t) {
        if (ticks)
            ticks->append(x);
        // A label the left edge would cut is left out.
        if (x + kLabelIndent >= 0)
            labels->append({x + kLabelIndent, TickUnits::minorLabel(t, model().unit)});
    });
}

void HeaderTimelineItem::paintMajorLabels(QPainter *painter, const QDateTime &start, int labelHeight)
{
    const int major = model().unit + 1;
    if (major >= TickUnits::Count)
        return;
    const QString format = TickUnits::majorFormat(major);
    const QPen grid(Qt::darkGray);
    const QPen label(Qt::green);
    const QFontMetrics metrics(painter->font());
    const int rowSplit = 3 * labelHeight / 2;
    const double end = model().begin + model().duration;

    const QString firstText = start.toString(format);
    QDateTime t = TickUnits::advance(start, major);
    int x = pixelOf(double(model().base.msecsTo(t)));
    if (metrics.horizontalAdvance(format) + kLabelIndent < x) {
        painter->setPen(label);
        painter->drawText(kLabelIndent, labelHeight, firstText);
    }
    for (; double(model().base.msecsTo(t)) < end; t = TickUnits::advance(t, major)) {
        x = pixelOf(double(model().base.msecsTo(t)));
        painter->setPen(grid);
        painter->drawLine(x, 0, x, rowSplit);
        painter->setPen(label);
        painter->drawText(x + kLabelIndent, labelHeight, t.toString(format));
    }
}

// --- a stream row's grid -----------------------------------------------------

void StreamTimelineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (width() <= 0 || model().duration <= 0)
        return;
    paintFrame(painter);
    const QPen solid(Qt::darkGray);
    const QPen dotted(QBrush(Qt::darkGray), 1, Qt::DotLine);
    forEachMinorTick(QFontMetrics(painter->font()), [&](int x, const QDateTime &t) {
        painter->setPen(TickUnits::startsEnclosing(t, model().unit) ? solid : dotted);
        painter->drawLine(x, 0, x, height());
    });
}

} // namespace PlayerUi
