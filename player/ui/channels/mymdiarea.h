// MyMdiArea: the timeline rows stacked one below the other.
#pragma once

#include <QMdiArea>

class QMdiSubWindow;

namespace PlayerUi {

// A vertical stack of frameless sub-windows, one per timeline row, each as
// wide as the area and one pixel below the previous one. When a row's
// height changes, the rows below it move along. GUI thread only; the area
// owns its sub-windows (each deletes itself when closed).
class MyMdiArea : public QMdiArea
{
    Q_OBJECT

public:
    static constexpr int kRowGap = 1;     // pixels between rows
    // A row's view fills it but for a border of kViewInset pixels and a strip
    // of kGripStrip pixels at the bottom, the grip for resizing.
    static constexpr int kViewInset = 1;
    static constexpr int kGripStrip = 12;

    explicit MyMdiArea(QWidget *parent = nullptr);

    // Adds widget as a new row of `height` pixels below the last one.
    QMdiSubWindow *addRow(QWidget *widget, int height);

public slots:
    // Moves every row below pos down by the height change (up when negative).
    void subWindowSizeChanged(QPoint pos, QSize oldSize, QSize newSize);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int m_width = 0; // pixels, from the last resize
};

} // namespace PlayerUi
