#pragma once

#include <QObject>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace ServerUi {

// The server's system tray icon ":/images/system_tray_icon.png" with the
// tool tip "Drovane" and a menu "Показать/Скрыть" / "Выход". Owned by the
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

signals:
    void showHideRequested();
    void quitRequested();

private:
    std::unique_ptr<QMenu> trayMenu;
    std::unique_ptr<QSystemTrayIcon> trayIcon;
};

} // namespace ServerUi
