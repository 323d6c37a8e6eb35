#include "trayicon.h"

#include "server/ui/health/healthmark.h"
#include "server/ui/tray/serverimages.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace ServerUi {

namespace {

QIcon trayImage()
{
    initServerImages();
    return QIcon(QStringLiteral(":/images/system_tray_icon.png"));
}

} // namespace

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent)
    , trayMenu(std::make_unique<QMenu>())
    , trayIcon(std::make_unique<QSystemTrayIcon>(trayImage()))
    , baseIcon(trayIcon->icon())
{
    trayMenu->addAction(QStringLiteral("Показать/Скрыть"), this, &TrayIcon::showHideRequested);
    trayMenu->addAction(QStringLiteral("Выход"), this, &TrayIcon::quitRequested);
    trayIcon->setToolTip(QStringLiteral("Drovane"));
    trayIcon->setContextMenu(trayMenu.get());
}

// The icon goes before the menu it shows.
TrayIcon::~TrayIcon()
{
    trayIcon.reset();
}

void TrayIcon::show()
{
    trayIcon->show();
}

void TrayIcon::showHealth(const DeviceTreeModel::HealthSummary &summary)
{
    // Every device's report comes here: the badge is painted only when it changes.
    if (summary.worst != shownWorst) {
        shownWorst = summary.worst;
        trayIcon->setIcon(withHealthBadge(baseIcon, summary.worst));
    }
    QString tip = QStringLiteral("Drovane");
    if (summary.running > 0) {
        tip += summary.notOk == 0
            ? QStringLiteral("\nВсе устройства в порядке (%1)").arg(summary.running)
            : QStringLiteral("\nНе в порядке: %1 из %2 устройств (хуже всего: %3)")
                  .arg(summary.notOk)
                  .arg(summary.running)
                  .arg(healthText(summary.worst));
    }
    if (tip != trayIcon->toolTip())
        trayIcon->setToolTip(tip);
}

bool TrayIcon::isInTray() const
{
    return trayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace ServerUi
