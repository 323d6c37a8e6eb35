#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QGraphicsItem>

class QGraphicsLineItem;
class QGraphicsRectItem;

namespace PlayerUi {

// One piece of a stream on a timeline row, as a feeder thread delivered it:
// the time span [beginning, beginning + duration] (ms after base) and its
// data (audio samples or event text; empty for an activity interval shown
// without detail). Bounding rectangle (0, 0, width, height) in pixels.
// GUI thread only; owned by its scene.
class StreamDataItem : public QGraphicsItem
{
public:
    // Size a scene gives a new item before the first range (pixels).
    static constexpr double kInitialSize = 200;

    StreamDataItem() = default;

    QRectF boundingRect() const override;

    // The view now shows [begin, begin + duration].
    virtual void setRange(double begin, double duration) = 0;
    virtual void setCurrentPos(double pos);
    // The row's scene rectangle changed (pixels).
    virtual void setSceneRect(const QRectF &rect);

    void setSize(double width, double height);
    double width() const { return m_width; }
    double height() const { return m_height; }
    void setBase(const QDateTime &base) { m_base = base; }
    QDateTime base() const { return m_base; }
    void setSpan(double beginning, double duration);
    double beginning() const { return m_beginning; }
    double duration() const { return m_duration; }
    virtual void setData(const QByteArray &data);
    const QByteArray &data() const { return m_data; }

protected:
    double sceneWidth() const;

private:
    double m_width = kInitialSize;
    double m_height = kInitialSize;
    QDateTime m_base;
    double m_beginning = 0; // ms after the base
    double m_duration = 0;  // ms
    QByteArray m_data;
};

// Audio: signed 16-bit little-endian samples spread evenly over the span,
// drawn as a polyline, a per-pixel envelope or a solid block by how many
// samples share a pixel. Placed at its span's position in the row.
class AudioStreamDataItem : public StreamDataItem
{
public:
    // Below this many pixels per sample the samples of a pixel column are
    // drawn as their minimum-maximum line, below the second as a block.
    static constexpr double kEnvelopeStep = 0.1;
    static constexpr double kBlockStep = 0.005;

    QRectF boundingRect() const override;
    void setRange(double begin, double duration) override;
    void setSceneRect(const QRectF &rect) override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    void paintEnvelope(QPainter *painter, int samples, double step) const;
    void paintPolyline(QPainter *painter, int samples, double step) const;
    double yOf(int sample) const;
    qint16 sampleAt(int i) const;
};

// A text event: a box laid out by its scene, showing the event's date-time
// and text, with a span mark on the row's top edge at the event's time and
// a connector from the mark to the box. The text is UTF-8 up to the first
// zero byte. An event without text is never shown.
class EventStreamDataItem2 : public StreamDataItem
{
public:
    static constexpr double kSpanHeight = 10; // pixels of the span mark

    EventStreamDataItem2();

    static constexpr double kMinBoxHeight = 30;   // pixels
    static constexpr double kBoxBottomMargin = 4; // pixels

    void setRange(double begin, double duration) override;
    // The box ends a few pixels above the row's bottom (never lower than
    // kMinBoxHeight), so it is seen whole.
    void setSceneRect(const QRectF &rect) override;
    void setData(const QByteArray &data) override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // The event's text as shown (a zoomed-out item's first event's).
    QString text() const;
    // A zoomed-out item's events' texts (the feeder sends each ended by a
    // zero byte), else the one text; and how many events the item holds.
    QStringList texts() const;
    int eventCount() const;
    const QGraphicsRectItem *spanRect() const { return m_span; }
    const QGraphicsLineItem *connector() const { return m_connector; }

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    QGraphicsRectItem *m_span;      // child, owned by this item
    QGraphicsLineItem *m_connector; // child, owned by this item
};

} // namespace PlayerUi
