#include "streamdataitem.h"

#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QVector>

#include <algorithm>
#include <cstring>
#include <limits>

namespace PlayerUi {

namespace {

constexpr double kFullScale = 32767;
const QString kEventTimeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz\n");
constexpr double kTextMargin = 5; // pixels inside an event box

} // namespace

// --- StreamDataItem ----------------------------------------------------------

QRectF StreamDataItem::boundingRect() const
{
    return QRectF(0, 0, m_width, m_height);
}

void StreamDataItem::setCurrentPos(double)
{
}

void StreamDataItem::setSceneRect(const QRectF &)
{
}

void StreamDataItem::setSize(double width, double height)
{
    prepareGeometryChange();
    m_width = width;
    m_height = height;
}

void StreamDataItem::setSpan(double beginning, double duration)
{
    m_beginning = beginning;
    m_duration = duration;
}

void StreamDataItem::setData(const QByteArray &data)
{
    m_data = data;
    update();
}

double StreamDataItem::sceneWidth() const
{
    return scene() ? scene()->sceneRect().width() : 0;
}

// --- AudioStreamDataItem -----------------------------------------------------

// At least one pixel wide, so that a short burst far out of zoom still
// shows as a line.
QRectF AudioStreamDataItem::boundingRect() const
{
    return QRectF(0, 0, std::max(width(), 1.0), height());
}

void AudioStreamDataItem::setRange(double begin, double duration)
{
    if (!scene())
        return;
    const double scale = sceneWidth() / duration;
    setPos(scale * (beginning() - begin), 0);
    const double w = scale * this->duration();
    if (w - width() > 0.00001 || width() - w > 0.00001)
        setSize(w, height());
}

void AudioStreamDataItem::setSceneRect(const QRectF &rect)
{
    if (rect.height() != height())
        setSize(width(), rect.height());
}

qint16 AudioStreamDataItem::sampleAt(int i) const
{
    const auto *bytes = reinterpret_cast<const uchar *>(data().constData()) + 2 * i;
    return qint16(quint16(bytes[0]) | quint16(bytes[1]) << 8);
}

double AudioStreamDataItem::yOf(int sample) const
{
    return (1 - sample / kFullScale) * height() / 2;
}

void AudioStreamDataItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const int n = data().size();
    const int samples = n / 2;
    // Without a whole sample there is no pair to join: a polyline of nothing.
    const double step = samples > 0 ? width() / samples : std::numeric_limits<double>::infinity();
    painter->setPen(Qt::green);
    if (n == 0 || step < kBlockStep) {
        // The block an outlined and filled rectangle would cover, filled in
        // one pass (a day's rows hold thousands of them). An item narrower
        // than a pixel still shows as a one-pixel line.
        painter->fillRect(QRectF(0, 0, std::max(width(), 1.0), height()), Qt::darkGreen);
    } else if (step < kEnvelopeStep) {
        paintEnvelope(painter, samples, step);
    } else {
        paintPolyline(painter, samples, step);
    }
}

// One vertical line per pixel column from the column's smallest to its
// largest sample; the sample that crosses into the next column draws the
// finished one and starts the next column empty.
void AudioStreamDataItem::paintEnvelope(QPainter *painter, int samples, double step) const
{
    QVector<QLineF> lines;
    lines.reserve(int(width()) + 2);
    const double middle = height() / 2;
    double x = 0;
    double limit = 1;
    bool any = false;
    int low = 0;
    int high = 0;
    auto column = [&](double at) {
        const double px = double(int(at));
        lines.append(QLineF(px, any ? yOf(low) : middle, px, any ? yOf(high) : middle));
    };
    for (int i = 0; i < samples; ++i, x += step) {
        const int v = sampleAt(i);
        if (x < limit) {
            low = any ? std::min(low, v) : v;
            high = any ? std::max(high, v) : v;
            any = true;
            continue;
        }
        column(x);
        any = false;
        limit += 1;
    }
    column(x);
    painter->drawLines(lines);
}

void AudioStreamDataItem::paintPolyline(QPainter *painter, int samples, double step) const
{
    if (samples < 2)
        return;
    QVector<QPointF> points(samples);
    for (int i = 0; i < samples; ++i)
        points[i] = QPointF(i * step, yOf(sampleAt(i)));
    painter->drawPolyline(points.constData(), samples);
}

// --- EventStreamDataItem2 ----------------------------------------------------

EventStreamDataItem2::EventStreamDataItem2()
    : m_span(new QGraphicsRectItem(this))
    , m_connector(new QGraphicsLineItem(this))
{
    m_span->setPen(QPen(Qt::green));
    m_span->setBrush(QBrush(Qt::green));
    m_connector->setPen(QPen(Qt::green));
    setVisible(false); // until it has text
}

void EventStreamDataItem2::setRange(double begin, double duration)
{
    if (!scene())
        return;
    const double scale = sceneWidth() / duration;
    const double tx = scale * (beginning() - begin) - x();
    m_connector->setLine(tx, kSpanHeight - y(), width() / 2, 0);
    m_span->setRect(tx, -y(), scale * this->duration(), kSpanHeight);
    m_span->setVisible(!data().isEmpty());
}

void EventStreamDataItem2::setData(const QByteArray &data)
{
    StreamDataItem::setData(data);
    m_span->setVisible(!data.isEmpty());
    setVisible(!data.isEmpty());
}

void EventStreamDataItem2::setSceneRect(const QRectF &rect)
{
    setSize(width(), qMax(kMinBoxHeight, rect.height() - y() - kBoxBottomMargin));
}

QStringList EventStreamDataItem2::texts() const
{
    QStringList list;
    for (const QByteArray &text : data().split('\0'))
        if (!text.isEmpty())
            list.append(QString::fromUtf8(text));
    return list;
}

int EventStreamDataItem2::eventCount() const
{
    const QByteArray &bytes = data();
    if (bytes.isEmpty())
        return 0;
    // Texts ended by zero bytes, or one text without an end.
    return qMax(1, int(bytes.count('\0')));
}

QString EventStreamDataItem2::text() const
{
    const QByteArray &bytes = data();
    const int end = bytes.indexOf('\0');
    return QString::fromUtf8(bytes.constData(), end < 0 ? bytes.size() : end);
}

// An event without text refuses to be shown, whoever shows it.
QVariant EventStreamDataItem2::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemVisibleChange && value.toBool() && data().isEmpty())
        return false;
    return QGraphicsItem::itemChange(change, value);
}

void EventStreamDataItem2::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (data().isEmpty())
        return;
    painter->setPen(Qt::green);
    painter->setBrush(QBrush(Qt::darkBlue));
    painter->drawRect(QRectF(0, 0, width(), height()));
    painter->setPen(Qt::yellow);
    const QString label = base().addMSecs(qint64(beginning())).toString(kEventTimeFormat) + text();
    painter->drawText(QRectF(kTextMargin, kTextMargin, width() - 2 * kTextMargin, height() - 2 * kTextMargin),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label);
}

} // namespace PlayerUi
