#include "mainwindow.h"

#include "server/core/settings/deviceparams.h"
#include "server/ui/downloadwindows/downloadedfilelistwidget.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderfactory.h"
#include "server/ui/downloadwindows/downloaderwidget2.h"
#include "server/ui/downloadwindows/downloadwindowwiring.h"
#include "server/core/log/logwiring.h"
#include "server/core/monitoring/pelluxmonitor.h"
#include "server/ui/pelluxsettings/pelluxsettingwidget.h"
#include "server/ui/devicedialog/devicesettingwidget.h"
#include "server/core/log/loghandler.h"
#include "server/ui/tray/serverimages.h"
#include "server/core/serversession.h"
#include "server/core/settings/serversettings.h"
#include "server/ui/tray/trayicon.h"
#include "server/ui/devicetree/treewidget.h"
#include "server/core/log/visibletext.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace ServerUi {

namespace {

const QString kAttention = QStringLiteral("Внимание");
const QString kFileFilter = QStringLiteral("All files( *.* )");
const QString kStartFolder = QStringLiteral(".");
constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 500;
const QString kVersionText = QStringLiteral("Drovane 4.2");
const QString kAboutText = QStringLiteral(
    "Программа предназначена для сохранения файлов записей с регистраторов переговоров по сети в автоматическом режиме");

// A modal message box without parent.
void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text);
    box.exec();
}

// The title of a device's download windows.
QString fileWindowTitle(const QStringList &params)
{
    return visibleText(QStringLiteral("Список файлов:") + paramValue(params, DeviceParam::Type) + QLatin1Char(' ')
                       + paramValue(params, DeviceParam::Comment));
}

QString programFolder()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

} // namespace

MainWindow::MainWindow(const QString &folder, QWidget *parent)
    : QMainWindow(parent)
    , applicationFolder(chooseDataFolder(folder.isEmpty() ? programFolder() : folder))
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Drovane"));
    initServerImages();
    setWindowIcon(QIcon(QStringLiteral(":/images/drovane.png")));

    // The window's own reports, and those of the model and the poller,
    // reach the log under the window's name.
    session = new ServerSession(std::make_unique<LogHandler>(applicationFolder), objectName(), this);
    connect(this, &MainWindow::infoSended, session, &ServerSession::infoSended);
    connect(this, &MainWindow::errorSended, session, &ServerSession::errorSended);
    connect(this, &MainWindow::warningSended, session, &ServerSession::warningSended);
    logHandler = session->log();
    model = session->model();
    pellux = session->startMonitor(applicationFolder);
    emit infoSended(QStringLiteral("Data folder ") + applicationFolder);

    deviceDialog = std::make_unique<DeviceSettingWidget>();
    connect(this, &MainWindow::fileNameListChanged, deviceDialog.get(), &DeviceSettingWidget::fileNameListChange,
            Qt::QueuedConnection);
    connect(this, &MainWindow::paramEdited, deviceDialog.get(), &DeviceSettingWidget::paramEdit, Qt::QueuedConnection);
    connect(this, &MainWindow::paramSetDone, deviceDialog.get(), &QWidget::close, Qt::QueuedConnection);
    connect(deviceDialog.get(), &DeviceSettingWidget::paramSet, this, &MainWindow::paramSet, Qt::QueuedConnection);

    createActions();
    tree = new TreeWidget(model, this);
    createMenus();
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &MainWindow::getDowloadedFileListActionTrigger);
    setCentralWidget(tree);

    startUpSettings();

    trayIcon = new TrayIcon(this);
    connect(trayIcon, &TrayIcon::showHideRequested, this, &MainWindow::showHide);
    connect(trayIcon, &TrayIcon::quitRequested, qApp, &QCoreApplication::quit);
    connect(model, &DeviceTreeModel::deviceHealthChanged, this, &MainWindow::deviceHealthChange);
    connect(model, &DeviceTreeModel::deviceAboutToBeRemoved, this, &MainWindow::deviceHealthChange, Qt::QueuedConnection);
    trayIcon->showHealth(model->healthSummary());
    trayIcon->show();
    resize(kWindowWidth, kWindowHeight);
}

MainWindow::~MainWindow() = default;

void MainWindow::deviceHealthChange()
{
    trayIcon->showHealth(model->healthSummary());
}

void MainWindow::createActions()
{
    const auto action = [this](const QString &text, void (MainWindow::*slot)()) {
        auto *created = new QAction(text, this);
        connect(created, &QAction::triggered, this, slot);
        return created;
    };
    newFileAction = action(QStringLiteral("Новый файл ..."), &MainWindow::newFileActionTrigger);
    openFileAction = action(QStringLiteral("Открыть файл ..."), &MainWindow::openFileActionTrigger);
    closeFileAction = action(QStringLiteral("Закрыть файл"), &MainWindow::closeFileActionTrigger);
    saveFileAction = action(QStringLiteral("Сохранить файл"), &MainWindow::saveFileActionTrigger);
    saveFileAsAction = action(QStringLiteral("Сохранить файл как ..."), &MainWindow::saveFileAsActionTrigger);
    saveAllFileAction = action(QStringLiteral("Сохранить все файлы"), &MainWindow::saveAllFileActionTrigger);
    saveFileListAction = action(QStringLiteral("Сохранить список файлов"), &MainWindow::saveFileListActionTrigger);
    addItemAction = action(QStringLiteral("Добавить запись ..."), &MainWindow::addItmeActionTrigger);
    editItemAction = action(QStringLiteral("Изменить запись ..."), &MainWindow::editItemActionTrigger);
    removeItemAction = action(QStringLiteral("Удалить запись"), &MainWindow::removeItemActionTrigger);
    getItemFileListAction = action(QStringLiteral("Показать список файлов устройства ..."),
                                   &MainWindow::getItemFileListActionTrigger);
    getDowloadedFileListAction = action(QStringLiteral("Показать список загруженных файлов ..."),
                                        &MainWindow::getDowloadedFileListActionTrigger);
    setupProgrammAction = action(QStringLiteral("Настройки ..."), &MainWindow::setupProgrammActionTrigger);
    aboutProgrammAction = action(QStringLiteral("О программе ..."), &MainWindow::aboutProgrammActionTrigger);
}

void MainWindow::createMenus()
{
    fileMenu = menuBar()->addMenu(QStringLiteral("Файл"));
    fileMenu->addActions({newFileAction, openFileAction});
    fileMenu->addSeparator();
    fileMenu->addActions({saveFileAction, saveFileAsAction, saveAllFileAction});
    fileMenu->addSeparator();
    fileMenu->addAction(closeFileAction);
    fileMenu->addSeparator();
    fileMenu->addAction(saveFileListAction);
    menuBar()->addAction(setupProgrammAction);
    menuBar()->addAction(aboutProgrammAction);

    fileContextMenu = new QMenu(this);
    fileContextMenu->addActions({saveFileAction, saveFileAsAction, closeFileAction});
    fileContextMenu->addSeparator();
    fileContextMenu->addAction(addItemAction);

    deviceContextMenu = new QMenu(this);
    deviceContextMenu->addActions({saveFileAction, saveFileAsAction, closeFileAction});
    deviceContextMenu->addSeparator();
    deviceContextMenu->addActions({addItemAction, editItemAction, removeItemAction});
    deviceContextMenu->addSeparator();
    deviceContextMenu->addActions({getItemFileListAction, getDowloadedFileListAction});

    constantFileContextMenu = new QMenu(this);
    constantFileContextMenu->addActions({saveFileAsAction, closeFileAction});

    constantDeviceContextMenu = new QMenu(this);
    constantDeviceContextMenu->addActions({saveFileAsAction, closeFileAction});
    constantDeviceContextMenu->addSeparator();
    constantDeviceContextMenu->addAction(editItemAction);
    constantDeviceContextMenu->addSeparator();
    constantDeviceContextMenu->addActions({getItemFileListAction, getDowloadedFileListAction});

    tree->setKindMenu(TreeWidget::VariableFileItem, fileContextMenu);
    tree->setKindMenu(TreeWidget::VariableDeviceItem, deviceContextMenu);
    tree->setKindMenu(TreeWidget::ConstantFileItem, constantFileContextMenu);
    tree->setKindMenu(TreeWidget::ConstantDeviceItem, constantDeviceContextMenu);
}

// The INI file, then the settings files of the last saved list, in order;
// files that fail are left out (the log has why).
void MainWindow::startUpSettings()
{
    settings = std::make_unique<ServerSettings>(applicationFolder);
    model->setMinFreeBytes(settings->minFreeBytes());
    logHandler->setKeepDays(settings->logKeepDays());
    // Monitoring first: "Pellux.xml" in the saved list is then open already.
    pellux->apply(settings->pelluxSettings());
    for (const QString &path : settings->fileList()) {
        if (model->findFile(path) < 0)
            openSettingsFile(path);
    }
}

// Opens a settings file; one that was not read whole is shown read-only and
// the user is told where it is damaged (without waiting for an answer).
int MainWindow::openSettingsFile(const QString &path)
{
    const int file = model->openFile(path);
    if (file < 0)
        return file;
    qint64 line = 0, column = 0;
    const QString damage = model->fileDamage(file, &line, &column);
    if (damage.isEmpty())
        return file;
    const QString where = line > 0 ? QStringLiteral(", строка %1, столбец %2").arg(line).arg(column) : QString();
    auto *box = new QMessageBox(QMessageBox::Warning, kAttention,
                                QStringLiteral("Файл %1 прочитан не полностью%2 (%3).\n\n"
                                               "Он открыт только для чтения, устройства, прочитанные до ошибки, работают. "
                                               "Файл не будет перезаписан; его можно сохранить под другим именем "
                                               "командой «Сохранить файл как ...».")
                                    .arg(visibleText(path), where, visibleText(damage)),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return file;
}

int MainWindow::currentFile() const
{
    int file = -1, device = -1;
    return tree->positionOf(tree->currentItem(), &file, &device) ? file : -1;
}

void MainWindow::selectFile(int file)
{
    QTreeWidgetItem *item = tree->fileItem(file);
    tree->setCurrentItem(item);
    tree->scrollToItem(item);
}

void MainWindow::newFileActionTrigger()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Новый файл"), kStartFolder, kFileFilter);
    if (path.isEmpty())
        return;
    // Two items of one file would overwrite each other's devices.
    const int open = model->findFile(path);
    if (open >= 0) {
        showMessage(QMessageBox::Warning, kAttention, QStringLiteral("Файл с таким именем уже открыт"));
        selectFile(open);
        return;
    }
    bool written = false;
    model->newFile(path, &written);
    if (!written)
        showMessage(QMessageBox::Warning, kAttention, QStringLiteral("Произошла ошибка при создании файла"));
}

void MainWindow::openFileActionTrigger()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Открыть файл"), kStartFolder, kFileFilter);
    if (path.isEmpty())
        return;
    const int open = model->findFile(path);
    if (open >= 0) {
        showMessage(QMessageBox::Warning, kAttention, QStringLiteral("Файл с таким именем уже открыт"));
        selectFile(open);
        return;
    }
    if (openSettingsFile(path) < 0)
        showMessage(QMessageBox::Critical, QStringLiteral("Ошибка"), QStringLiteral("Не удалось открыть файл"));
}

void MainWindow::closeFileActionTrigger()
{
    int file = currentFile();
    // The monitoring devices' file closes only with monitoring.
    if (file < 0 || file == pellux->fileIndex())
        return;
    const DeviceTreeModel::Id id = model->fileId(file);
    if (model->fileState(file) == DeviceTreeModel::NotSaved) {
        QMessageBox box;
        box.setText(QStringLiteral("Данные были изменены"));
        box.setInformativeText(QStringLiteral("Хотите сохранить изменения?"));
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Save);
        const int answer = box.exec();
        if (answer == QMessageBox::Cancel)
            return;
        // The box ran an event loop: the file may have moved or gone.
        file = model->fileIndex(id);
        if (file < 0)
            return;
        // A file that could not be saved stays open: closing it would lose the changes.
        if (answer == QMessageBox::Save && !model->saveFile(file)) {
            showMessage(QMessageBox::Warning, kAttention, QStringLiteral("Произошла ошибка при сохранении файла"));
            return;
        }
    }
    model->closeFile(file);
}

void MainWindow::saveFileActionTrigger()
{
    const int file = currentFile();
    if (file < 0)
        return;
    if (!model->fileDamage(file).isEmpty()) {
        showMessage(QMessageBox::Warning, kAttention,
                    QStringLiteral("Файл прочитан не полностью и не перезаписывается; сохраните его под другим "
                                   "именем командой «Сохранить файл как ...»."));
        return;
    }
    model->saveFile(file);
}

void MainWindow::saveFileAsActionTrigger()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить как"), kStartFolder, kFileFilter);
    const int file = currentFile();
    if (path.isEmpty() || file < 0)
        return;
    if (!model->saveFile(file, path))
        showMessage(QMessageBox::Warning, kAttention, QStringLiteral("Произошла ошибка при сохранении файла"));
}

void MainWindow::saveAllFileActionTrigger()
{
    bool failed = false;
    for (int file = 0; file < model->fileCount(); ++file) {
        // A file not read whole is never written back.
        if (model->fileDamage(file).isEmpty())
            failed = !model->saveFile(file) || failed;
    }
    if (failed)
        showMessage(QMessageBox::Warning, kAttention, QStringLiteral("Произошла ошибка при сохранении файла(-ов)"));
}

void MainWindow::saveFileListActionTrigger()
{
    QStringList paths;
    for (int file = 0; file < model->fileCount(); ++file) {
        if (!model->filePath(file).isEmpty())
            paths << model->filePath(file);
    }
    if (!settings->saveFileList(paths))
        emit errorSended(QStringLiteral("Can`t open file ") + settings->fileName());
}

void MainWindow::addItmeActionTrigger()
{
    editDevice(0, QStringList());
}

void MainWindow::editItemActionTrigger()
{
    int file = -1, device = -1;
    if (!tree->positionOf(tree->currentItem(), &file, &device) || device < 0)
        return;
    editDevice(model->deviceId(file, device), model->deviceParams(file, device));
}

void MainWindow::editDevice(DeviceTreeModel::Id device, const QStringList &params)
{
    if (deviceDialog->isVisible()) {
        deviceDialog->activateWindow();
        deviceDialog->raise();
        return;
    }
    editItem = device;
    fileItems.clear();
    QStringList names;
    const int current = currentFile();
    int defaultIndex = -1;
    for (int file = 0; file < model->fileCount(); ++file) {
        if (!model->isFileEditable(file))
            continue;
        if (file == current)
            defaultIndex = fileItems.size();
        fileItems << model->fileId(file);
        names << model->filePath(file);
    }
    emit fileNameListChanged(names, defaultIndex);
    emit paramEdited(params);
}

void MainWindow::paramSet(int fileItemIndex, QStringList param)
{
    if (fileItemIndex < 0 || fileItemIndex >= fileItems.size())
        return;
    const int file = model->fileIndex(fileItems.at(fileItemIndex));
    if (file < 0)
        return;
    if (param.size() < kDeviceParamCount) {
        editItem = 0;
        emit paramSetDone();
        return;
    }
    int editFile = -1, editDevice = -1;
    bool runs = false;
    if (editItem && model->findDevice(editItem, &editFile, &editDevice) && editFile == file) {
        runs = model->setDeviceParams(file, editDevice, param);
    } else {
        // A device of another file (a read-only one, say) is copied into this file.
        const int device = model->addDevice(file, param, &runs);
        editItem = model->deviceId(file, device);
    }
    if (!runs) {
        showMessage(QMessageBox::Warning, kAttention, QStringLiteral("Некоторые параметры имею некорректные значения"));
        return;
    }
    editItem = 0;
    emit paramSetDone();
}

void MainWindow::removeItemActionTrigger()
{
    QTreeWidgetItem *item = tree->currentItem();
    int file = -1, device = -1;
    if (!item || item->type() != TreeWidget::VariableDeviceItem || !tree->positionOf(item, &file, &device))
        return;
    model->removeDevice(file, device);
}

bool MainWindow::currentDeviceParams(QStringList *params) const
{
    int file = -1, device = -1;
    if (!tree->positionOf(tree->currentItem(), &file, &device) || device < 0 || !model->isDeviceSupported(file, device))
        return false;
    *params = model->deviceParams(file, device);
    return true;
}

void MainWindow::getItemFileListActionTrigger()
{
    QStringList params;
    if (!currentDeviceParams(&params))
        return;
    Downloader *downloader = createDownloader(downloaderParams(params));
    if (!downloader)
        return;
    emit infoSended(QStringLiteral("Set param to %1: %2")
                        .arg(downloader->objectName(), downloaderParams(params).join(QStringLiteral("; "))));
    auto *window = new DownloaderWidget2;
    window->setParam(params);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(fileWindowTitle(params));
    wireDownloaderWindow(window, downloader);
    connect(window, &DownloaderWidget2::errorSended, this, &MainWindow::errorSended);
    wireDownloaderLog(downloader, logHandler);
    connect(downloader, &QObject::destroyed, this, &MainWindow::auxiliaryObjectDestroy);
    window->show();
    emit window->downloadStarted();
    emit window->downloadGotFileList();
}

void MainWindow::getDowloadedFileListActionTrigger()
{
    QStringList params;
    if (!currentDeviceParams(&params))
        return;
    auto *window = new DownloadedFileListWidget;
    connect(window, &DownloadedFileListWidget::errorSended, this, &MainWindow::errorSended);
    window->setSource(paramValue(params, DeviceParam::Folder));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(fileWindowTitle(params));
    window->show();
}

PelluxSettingWidget *MainWindow::settingsDialog() const
{
    return settingsWidget.data();
}

void MainWindow::auxiliaryObjectDestroy(QObject *obj)
{
    emit infoSended(QStringLiteral("Delete %1").arg(obj->objectName()));
}

void MainWindow::setupProgrammActionTrigger()
{
    if (settingsWidget) {
        settingsWidget->activateWindow();
        settingsWidget->raise();
        return;
    }
    settingsWidget = new PelluxSettingWidget;
    settingsWidget->setParam(settings->pelluxSettings());
    settingsWidget->setAttribute(Qt::WA_DeleteOnClose);
    connect(settingsWidget, &PelluxSettingWidget::paramSaved, this, &MainWindow::pelluxParamSave);
    settingsWidget->show();
}

void MainWindow::pelluxParamSave(QVariantList param)
{
    if (settings->savePelluxSettings(param)) {
        // The password is not logged.
        emit infoSended(ServerSettings::pelluxSettingsLogText(param));
        pellux->apply(param);
    } else {
        emit errorSended(QStringLiteral("Can`t open file ") + settings->fileName());
    }
    if (settingsWidget)
        settingsWidget->close();
}

void MainWindow::aboutProgrammActionTrigger()
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("О программе"), kVersionText);
    box.setInformativeText(QStringLiteral("Собрана %1 %2\n\n%3")
                               .arg(QStringLiteral(__DATE__), QStringLiteral(__TIME__), kAboutText));
    box.exec();
}

void MainWindow::showHide()
{
    if (isVisible()) {
        hide();
        return;
    }
    show();
    raise();
    activateWindow();
}

// With a system tray the window only hides and the program runs on (it ends
// through the tray's "Выход"); without one closing is the only way out.
void MainWindow::closeEvent(QCloseEvent *event)
{
    if (trayIcon && trayIcon->isInTray()) {
        hide();
        event->ignore();
        return;
    }
    event->accept();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace ServerUi
