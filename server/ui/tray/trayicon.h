#pragma once

#include "server/core/devicetreemodel.h"

#include <QIcon>
#include <QObject>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace ServerUi {

// The server's system tray icon ":/images/system_tray_icon.png" with the
// tool tip "Drovane" and a menu "Показать/Скрыть" / "Выход"; a badge of the
// worst device state and a tool tip line on the devices not ok. Owned by the
// main window; GUI thread.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon (when the desktop has a system tray).
    void show();
    // The icon is shown in a system tray: closing the window may hide it.
    bool isInTray() const;
    QMenu *menu() const { return trayMenu.get(); }
    QSystemTrayIcon *icon() const { return trayIcon.get(); }
    // Shows the devices' health: the worst state of those not ok as a badge
    // on the icon, and in the tool tip how many devices are not ok.
    void showHealth(const DeviceTreeModel::HealthSummary &summary);

signals:
    void showHideRequested();
    void quitRequested();

private:
    std::unique_ptr<QMenu> trayMenu;
    std::unique_ptr<QSystemTrayIcon> trayIcon;
    QIcon baseIcon;
    HealthState shownWorst = HealthState::Ok; // the badge shown (none for Ok)
};

} // namespace ServerUi
