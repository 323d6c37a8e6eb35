#pragma once

#include "server/core/devicetreemodel.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QVariantList>

#include <memory>

class LogHandler;
class PelluxMonitor;
class ServerSession;
class QAction;
class QMenu;
class QTreeWidgetItem;
class ServerSettings;

namespace ServerUi {

class DeviceSettingWidget;
class PelluxSettingWidget;
class TrayIcon;
class TreeWidget;

// The collection server's main window: the device tree of the open settings
// files, the file and device actions, the device dialog, the tray icon and
// the log. It composes and wires them; the files and devices live in a
// DeviceTreeModel, whose every device runs its downloader and scheduler.
//
// The server writes its own files (INI file, logs) into the data folder:
// the application folder when it is writable, otherwise the per-user data
// folder. Everything lives in the GUI thread; the window never waits.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // applicationFolder (with a trailing "/"): where the program is; empty
    // means the folder of the running program.
    explicit MainWindow(const QString &applicationFolder = QString(), QWidget *parent = nullptr);
    ~MainWindow() override;

    // The folder of the server's own files, with a trailing "/".
    QString dataFolder() const { return applicationFolder; }
    DeviceTreeModel *deviceModel() const { return model; }
    TreeWidget *deviceTree() const { return tree; }
    DeviceSettingWidget *deviceSettingWidget() const { return deviceDialog.get(); }
    TrayIcon *tray() const { return trayIcon; }
    LogHandler *log() const { return logHandler; }
    PelluxMonitor *monitor() const { return pellux; }
    // The open monitoring settings dialog, null when closed.
    PelluxSettingWidget *settingsDialog() const;

signals:
    void fileNameListChanged(QStringList fileNameList, int defaultFileNameListIndex);
    void paramEdited(QStringList param);
    void paramSetDone();
    void infoSended(QString message);
    void errorSended(QString message);
    void warningSended(QString message);

public slots:
    void newFileActionTrigger();
    void openFileActionTrigger();
    void closeFileActionTrigger();
    void saveFileActionTrigger();
    void saveFileAsActionTrigger();
    void saveAllFileActionTrigger();
    void saveFileListActionTrigger();
    void addItmeActionTrigger();
    void editItemActionTrigger();
    void removeItemActionTrigger();
    void getItemFileListActionTrigger();
    void getDowloadedFileListActionTrigger();
    void setupProgrammActionTrigger();
    void aboutProgrammActionTrigger();
    void paramSet(int fileItemIndex, QStringList param);
    void showHide();
    // A device's health changed or a device went: the tray shows the sum.
    void deviceHealthChange();
    // The monitoring dialog's seven values: stored, applied, dialog closed.
    void pelluxParamSave(QVariantList param);
    void auxiliaryObjectDestroy(QObject *obj);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createMenus();
    int openSettingsFile(const QString &path);
    void startUpSettings();
    // The model's file of the current item, -1 when none.
    int currentFile() const;
    void selectFile(int file);
    // Sends the dialog its file list and the texts to edit, and shows it.
    void editDevice(DeviceTreeModel::Id device, const QStringList &params);
    // The current device's parameters, with its name and comment; false
    // for a file item or a device without parameters.
    bool currentDeviceParams(QStringList *params) const;

    QString applicationFolder;
    std::unique_ptr<ServerSettings> settings;
    ServerSession *session;    // child: the log, the model and the poller
    DeviceTreeModel *model;    // the session's
    LogHandler *logHandler;    // the session's
    TreeWidget *tree = nullptr;
    std::unique_ptr<DeviceSettingWidget> deviceDialog;
    PelluxMonitor *pellux = nullptr; // the session's
    QPointer<PelluxSettingWidget> settingsWidget;
    TrayIcon *trayIcon = nullptr;

    QAction *newFileAction = nullptr;
    QAction *openFileAction = nullptr;
    QAction *closeFileAction = nullptr;
    QAction *saveFileAction = nullptr;
    QAction *saveFileAsAction = nullptr;
    QAction *saveAllFileAction = nullptr;
    QAction *saveFileListAction = nullptr;
    QAction *addItemAction = nullptr;
    QAction *editItemAction = nullptr;
    QAction *removeItemAction = nullptr;
    QAction *getItemFileListAction = nullptr;
    QAction *getDowloadedFileListAction = nullptr;
    QAction *setupProgrammAction = nullptr;
    QAction *aboutProgrammAction = nullptr;

    QMenu *fileMenu = nullptr;
    QMenu *fileContextMenu = nullptr;
    QMenu *deviceContextMenu = nullptr;
    QMenu *constantFileContextMenu = nullptr;
    QMenu *constantDeviceContextMenu = nullptr;

    // The editable files the dialog's file list offers, by id, in its order.
    QList<DeviceTreeModel::Id> fileItems;
    // The device being edited, 0 while a new one is added.
    DeviceTreeModel::Id editItem = 0;
};

} // namespace ServerUi
