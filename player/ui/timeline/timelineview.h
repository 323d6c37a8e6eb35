#pragma once

#include <QGraphicsView>

namespace PlayerUi {

// Shows one timeline row scene at its natural size: no scroll bars, the
// scene's origin at the top left, its size following the view's. Mouse
// moves are handled and then passed on to the enclosing row widget, which
// resizes rows by their lower edge. GUI thread only.
class TimelineView : public QGraphicsView
{
    Q_OBJECT

public:
    // Point size of the axis labels and event texts.
    static constexpr qreal kFontPointSize = 8;

    explicit TimelineView(QWidget *parent = nullptr);

signals:
    void sizeChanged(QRectF rect);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};

} // namespace PlayerUi
