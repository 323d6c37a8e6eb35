#include "healthmark.h"

#include <QPainter>
#include <QPixmap>

namespace ServerUi {

namespace {

void paintMark(QPainter &painter, const QRectF &area, HealthState state)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(healthColor(state).darker(150), 1));
    painter.setBrush(healthColor(state));
    painter.drawEllipse(area.adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace

QColor healthColor(HealthState state)
{
    switch (state) {
    case HealthState::Ok:
        return QColor(0x2e, 0xa0, 0x43);
    case HealthState::NeverCollected:
        return QColor(0x9e, 0x9e, 0x9e);
    case HealthState::Stale:
        return QColor(0xe0, 0xb0, 0x00);
    case HealthState::DiskLow:
    case HealthState::FileRefused:
        return QColor(0xf0, 0x80, 0x10);
    case HealthState::DestinationUnwritable:
    case HealthState::LoginRefused:
    case HealthState::Unreachable:
        break;
    }
    return QColor(0xd0, 0x20, 0x20);
}

QIcon healthMark(HealthState state, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintMark(painter, QRectF(0, 0, size, size), state);
    painter.end();
    return QIcon(pixmap);
}

QIcon withHealthBadge(const QIcon &base, HealthState state, int size)
{
    if (state == HealthState::Ok)
        return base;
    QPixmap pixmap = base.pixmap(size, size);
    QPainter painter(&pixmap);
    const qreal badge = size / 2.0;
    paintMark(painter, QRectF(size - badge, size - badge, badge, badge), state);
    painter.end();
    return QIcon(pixmap);
}

} // namespace ServerUi
