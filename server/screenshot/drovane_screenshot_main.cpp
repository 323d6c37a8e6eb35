// drovane-screenshot OUT_DIR: the collection server's windows as a user
// sees them, one PNG each: the main window with an editable and a read-only
// settings file open, the device dialog with the "Lorvan" template chosen,
// and (where the display has a system tray) the tray menu over the desktop.
// Run by scripts/screenshot; not installed.
#include "devicesettingwidget.h"
#include "devicetreemodel.h"
#include "mainwindow.h"
#include "serversettings.h"
#include "settingsfile.h"
#include "trayicon.h"
#include "treewidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int kSettleMs = 400;
// Devices that never answer: nothing listens on port 1 of loopback.
const QString kQuiet = QStringLiteral("127.0.0.1:1");

bool save(QWidget *widget, const QString &path)
{
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

QString writeSettings(const QString &path, SettingsFile::Type type, const QList<QStringList> &devices)
{
    SettingsFile::Content content;
    content.type = type;
    content.devices = devices;
    SettingsFile::write(path, content);
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: drovane-screenshot OUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    QTemporaryDir folder;
    const QString rec = folder.filePath("rec");
    const QString site = writeSettings(folder.filePath("Участок_Север.xml"), SettingsFile::Type::Variable,
        {{"Zerva", "Пост 1, диспетчерская", "5", "ftp://" + kQuiet + "/rec/", rec + "/post1", "codec=\"Windows-1251\""},
         {"Lorvan", "Пост 2", "1", "tftp://" + kQuiet + "/", rec + "/post2", "blksize=1500"},
         {"Zerva", "Старый регистратор", "5", "http://10.0.0.9/", rec + "/old", ""}});
    const QString fixed = writeSettings(folder.filePath("Станции.xml"), SettingsFile::Type::Constant,
        {{"Lorvan", "Станция 12", "1", "tftp://" + kQuiet + "/", rec + "/st12", "blksize=1500"},
         {"Lorvan", "Станция 14", "1", "tftp://" + kQuiet + "/", rec + "/st14", "blksize=1500"}});
    QSettings ini(folder.filePath(ServerSettings::kIniFileName), QSettings::IniFormat);
    ini.setValue("FileList", QStringList{site, fixed});
    ini.sync();

    MainWindow window(folder.path() + '/');
    // One change not saved yet, as after an edit.
    window.deviceModel()->addDevice(0, {"Zerva", "Пост 3", "5", "ftp://" + kQuiet + "/", rec + "/post3", ""});
    window.deviceTree()->expandAll();
    window.deviceTree()->setCurrentItem(window.deviceTree()->deviceItem(0, 0));
    window.move(40, 40);
    window.show();
    QTest::qWait(kSettleMs);
    bool ok = save(&window, out.filePath("drovane_main.png"));

    window.addItmeActionTrigger();
    DeviceSettingWidget *dialog = window.deviceSettingWidget();
    QTest::qWait(kSettleMs);
    dialog->findChildren<QComboBox *>().at(1)->setCurrentIndex(DeviceSettingWidget::kLorvanTemplate);
    QTest::qWait(kSettleMs);
    ok = save(dialog, out.filePath("drovane_device_dialog.png")) && ok;
    dialog->close();

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::printf("no system tray on this display: no tray menu picture\n");
        return ok ? 0 : 1;
    }
    QMenu *menu = window.tray()->menu();
    const QRect icon = window.tray()->icon()->geometry();
    menu->popup(icon.topLeft() - QPoint(0, menu->sizeHint().height()));
    QTest::qWait(kSettleMs);
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = QRect(icon.topLeft() - QPoint(320, 160), icon.bottomRight() + QPoint(10, 10)).intersected(screen->geometry());
    const bool trayOk = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .save(out.filePath("drovane_tray_menu.png"));
    std::printf("%s %s\n", trayOk ? "wrote" : "could not write", qPrintable(out.filePath("drovane_tray_menu.png")));
    menu->close();
    return ok && trayOk ? 0 : 1;
}
