// MyWidget: the frame of one timeline row, with a grip at its lower edge to resize it.
#pragma once

#include <QWidget>

namespace PlayerUi {

// The content of one timeline row's sub-window: holds the row's view and
// lets the user make the row taller or shorter by dragging its lower edge
// (the bottom 10 pixels). Rows never get lower than 50 pixels this way.
// Reports every height change so that the rows below can follow. GUI
// thread only.
class MyWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kGripHeight = 10; // pixels at the lower edge
    static constexpr int kMinRowHeight = 50;

    explicit MyWidget(QWidget *parent = nullptr);

    bool isResizing() const { return m_resizing; }

signals:
    // pos: the sub-window's position in the area.
    void sizeChanged(QPoint pos, QSize oldSize, QSize newSize);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool onGrip(int y) const { return y >= height() - kGripHeight; }

    bool m_resizing = false;
    QPoint m_lastPos; // pixels, rounded
};

} // namespace PlayerUi
