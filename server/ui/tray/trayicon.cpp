#include "trayicon.h"

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

bool TrayIcon::isInTray() const
{
    return trayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace ServerUi
