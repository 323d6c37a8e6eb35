#include "mywidget.h"

#include <QMouseEvent>
#include <QResizeEvent>

namespace PlayerUi {

MyWidget::MyWidget(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
}

void MyWidget::mousePressEvent(QMouseEvent *event)
{
    // The drag measures from here: a press that no move preceded (a touch,
    // a window raised under the pointer) must not jump the row's height.
    m_lastPos = QPoint(qRound(event->localPos().x()), qRound(event->localPos().y()));
    m_resizing = onGrip(m_lastPos.y());
    QWidget::mousePressEvent(event);
}

void MyWidget::mouseReleaseEvent(QMouseEvent *event)
{
    m_resizing = false;
    QWidget::mouseReleaseEvent(event);
}

void MyWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos(qRound(event->localPos().x()), qRound(event->localPos().y()));
    if (!(event->buttons() & Qt::LeftButton)) {
        m_resizing = onGrip(pos.y());
        setCursor(m_resizing ? Qt::SizeVerCursor : Qt::ArrowCursor);
    } else if (m_resizing) {
        const int newHeight = height() + (pos.y() - m_lastPos.y());
        if (newHeight >= kMinRowHeight) {
            QWidget *row = parentWidget() ? parentWidget() : this;
            row->resize(row->width(), newHeight);
        }
    } else {
        QWidget::mouseMoveEvent(event);
    }
    m_lastPos = pos;
}

void MyWidget::leaveEvent(QEvent *event)
{
    m_resizing = false;
    setCursor(Qt::ArrowCursor);
    QWidget::leaveEvent(event);
}

void MyWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (event->oldSize().height() >= 0 && event->oldSize().height() != height()) {
        const QPoint pos = parentWidget() ? parentWidget()->pos() : this->pos();
        emit sizeChanged(pos, event->oldSize(), event->size());
    }
}

} // namespace PlayerUi
