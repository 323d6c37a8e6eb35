// drovane-screenshot OUT_DIR: the collection server's windows as a user
// sees them, one PNG each: the main window with an editable and a read-only
// settings file open, the device dialog with the "Lorvan" template chosen,
// the monitoring settings dialog, a device's file list (against the FTP
// server FTP_URL, when given) and the downloaded-file list of a folder with
// copies of RECORDING, and (where the display has a system tray) the tray
// menu over the desktop.
// Usage: drovane-screenshot OUT_DIR [FTP_URL RECORDING]
// Run by scripts/screenshot; not installed.
#include "server/ui/devicedialog/devicesettingwidget.h"
#include "server/ui/downloadwindows/downloadedfilelistwidget.h"
#include "server/ui/downloadwindows/downloaderwidget2.h"
#include "server/ui/downloadwindows/filelisttree.h"
#include "server/ui/pelluxsettings/pelluxsettingwidget.h"
#include "server/core/devicetreemodel.h"
#include "server/ui/mainwindow/mainwindow.h"
#include "server/core/settings/serversettings.h"
#include "server/core/settings/settingsfile.h"
#include "server/ui/tray/trayicon.h"
#include "server/ui/devicetree/treewidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QToolTip>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace ServerUi;

namespace {

constexpr int kSettleMs = 400;
constexpr int kHealthWaitMs = 15000;
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
        std::fprintf(stderr, "usage: drovane-screenshot OUT_DIR [FTP_URL RECORDING]\n");
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

    // Monitoring settings: the password shows as dots only.
    window.setupProgrammActionTrigger();
    PelluxSettingWidget *settings = window.settingsDialog();
    settings->setParam({true, "QMYSQL", "10.0.0.5:3306", "pelluxbd", "Drovane", "not-shown", 5});
    settings->move(60, 60);
    QTest::qWait(kSettleMs);
    ok = save(settings, out.filePath("drovane_monitoring_settings.png")) && ok;
    settings->close();

    if (argc >= 4) {
        const QString ftp = QString::fromLocal8Bit(argv[2]);
        const QString recording = QString::fromLocal8Bit(argv[3]);
        const QString post = rec + "/ftp";
        QDir().mkpath(post);
        // One recording partly downloaded, one whole.
        QFile::copy(recording, post + "/20121231_2359_K1.rec");
        QFile part(post + "/20121231_2300_K2.rec");
        QFile source(recording);
        if (part.open(QIODevice::WriteOnly) && source.open(QIODevice::ReadOnly))
            part.write(source.read(source.size() / 3));
        part.close();
        const int file = window.deviceModel()->fileCount() - 1;
        window.deviceModel()->addDevice(0, {"Zerva", "Пост 4, демонстрация", "5", ftp, post, ""});
        Q_UNUSED(file);
        QTreeWidgetItem *item = window.deviceTree()->deviceItem(0, window.deviceModel()->deviceCount(0) - 1);
        window.deviceTree()->setCurrentItem(item);
        window.getItemFileListActionTrigger();
        window.getDowloadedFileListActionTrigger();
        DownloaderWidget2 *files = nullptr;
        DownloadedFileListWidget *downloaded = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!files)
                files = qobject_cast<DownloaderWidget2 *>(w);
            if (!downloaded)
                downloaded = qobject_cast<DownloadedFileListWidget *>(w);
        }
        if (files && downloaded) {
            files->move(40, 40);
            downloaded->move(80, 80);
            QTest::qWait(kSettleMs * 5);
            ok = save(files, out.filePath("drovane_device_files.png")) && ok;
            ok = save(downloaded, out.filePath("drovane_downloaded_files.png")) && ok;
            files->close();
            downloaded->close();
        } else {
            ok = false;
        }

        // The devices' health: collected, refused connections, a folder
        // that is a file, not yet polled; the tool tip of the collected one.
        QFile blocker(rec + "/taken");
        blocker.open(QIODevice::WriteOnly);
        blocker.close();
        window.deviceModel()->addDevice(0, {"Zerva", "Пост 5, папка занята файлом", "5", ftp, rec + "/taken/post5", ""});
        DeviceTreeModel *model = window.deviceModel();
        const auto stateOf = [model](int file, int device) {
            DeviceHealthRecord health;
            model->deviceHealth(file, device, &health);
            return health.state;
        };
        const int post4 = model->deviceCount(0) - 2;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < kHealthWaitMs
               && (stateOf(0, post4) != HealthState::Ok || stateOf(0, post4 + 1) != HealthState::DestinationUnwritable))
            QTest::qWait(kSettleMs);
        window.resize(1000, 420);
        QTreeWidgetItem *collected = window.deviceTree()->deviceItem(0, post4);
        window.deviceTree()->setCurrentItem(collected);
        QTest::qWait(kSettleMs);
        const QRect cell = window.deviceTree()->visualItemRect(collected);
        const QPoint tipAt = window.deviceTree()->viewport()->mapToGlobal(
            QPoint(window.deviceTree()->header()->sectionPosition(TreeWidget::StateColumn) + 20, cell.bottom()));
        QToolTip::showText(tipAt, collected->toolTip(TreeWidget::StateColumn), window.deviceTree());
        QTest::qWait(kSettleMs);
        QScreen *screen = QGuiApplication::primaryScreen();
        const QRect frame = window.frameGeometry().intersected(screen->geometry());
        ok = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                 .save(out.filePath("drovane_health.png")) && ok;
        QToolTip::hideText();
    }

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

    // The tray's tool tip: how many devices are not ok, and the worst state.
    QTest::qWait(kSettleMs);
    const QRect tipArea = QRect(icon.topLeft() - QPoint(560, 100), icon.bottomRight() + QPoint(10, 10)).intersected(screen->geometry());
    QToolTip::showText(tipArea.topLeft() + QPoint(10, 10), window.tray()->icon()->toolTip());
    QTest::qWait(kSettleMs);
    const bool tipOk = screen->grabWindow(0, tipArea.x(), tipArea.y(), tipArea.width(), tipArea.height())
                           .save(out.filePath("drovane_tray_tooltip.png"));
    std::printf("%s %s\n", tipOk ? "wrote" : "could not write", qPrintable(out.filePath("drovane_tray_tooltip.png")));
    QToolTip::hideText();
    return ok && trayOk && tipOk ? 0 : 1;
}
