#include "mymdiarea.h"

#include "player/ui/channels/mywidget.h"

#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QResizeEvent>

namespace PlayerUi {

namespace {

// Fixed here, not left to the style.
const QMargins kRowMargins(MyMdiArea::kViewInset, MyMdiArea::kViewInset, MyMdiArea::kViewInset, MyMdiArea::kGripStrip);

} // namespace

MyMdiArea::MyMdiArea(QWidget *parent)
    : QMdiArea(parent)
{
}

QMdiSubWindow *MyMdiArea::addRow(QWidget *widget, int height)
{
    const QList<QMdiSubWindow *> rows = subWindowList(QMdiArea::CreationOrder);
    const int y = rows.isEmpty() ? kRowGap : rows.last()->y() + rows.last()->height() + kRowGap;

    auto *row = new MyWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(kRowMargins);
    layout->addWidget(widget);

    QMdiSubWindow *window = addSubWindow(row, Qt::FramelessWindowHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->move(0, y);
    window->resize(m_width, height);
    window->show();
    connect(row, &MyWidget::sizeChanged, this, &MyMdiArea::subWindowSizeChanged);
    return window;
}

void MyMdiArea::subWindowSizeChanged(QPoint pos, QSize oldSize, QSize newSize)
{
    const int shift = newSize.height() - oldSize.height();
    for (QMdiSubWindow *window : subWindowList(QMdiArea::CreationOrder)) {
        if (window->y() > pos.y())
            window->move(window->x(), window->y() + shift);
    }
}

void MyMdiArea::resizeEvent(QResizeEvent *event)
{
    m_width = event->size().width();
    for (QMdiSubWindow *window : subWindowList(QMdiArea::CreationOrder))
        window->resize(m_width, window->height());
    QMdiArea::resizeEvent(event);
}

} // namespace PlayerUi
