#include "timelineview.h"

#include "player/ui/timeline/timelinescene.h"

#include <QMouseEvent>
#include <QResizeEvent>

namespace PlayerUi {

TimelineView::TimelineView(QWidget *parent)
    : QGraphicsView(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    // Files are dropped on the window, not on a row.
    setAcceptDrops(false);
    QFont labels = font();
    labels.setPointSizeF(kFontPointSize);
    setFont(labels);
}

void TimelineView::resizeEvent(QResizeEvent *event)
{
    if (auto *timeline = qobject_cast<TimelineScene *>(scene()))
        timeline->setSceneSize(QRectF(0, 0, event->size().width(), event->size().height()));
    QGraphicsView::resizeEvent(event);
}

void TimelineView::mouseMoveEvent(QMouseEvent *event)
{
    QGraphicsView::mouseMoveEvent(event);
    event->ignore();
}

} // namespace PlayerUi
