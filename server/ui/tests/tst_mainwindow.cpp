#include "testsupport/testfiles.h"
#include "server/ui/devicedialog/devicesettingwidget.h"
#include "server/core/devicetreemodel.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/log/loghandler.h"
#include "server/ui/mainwindow/mainwindow.h"
#include "server/core/monitoring/pelluxmonitor.h"
#include "server/ui/pelluxsettings/pelluxsettingwidget.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/ui/tests/modalanswer.h"
#include "server/core/settings/serversettings.h"
#include "server/core/settings/settingsfile.h"
#include "server/ui/devicetree/treewidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

using namespace ServerUi;

namespace {

constexpr int kWaitMs = 5000;
// Devices that never answer: nothing listens on port 1 of loopback.
const QString kNoDevice = QStringLiteral("ftp://127.0.0.1:1/");

QStringList device(const QString &name, const QString &url = kNoDevice)
{
    return {name, name + " comment", "1", url, "/tmp/drovane-test-unused", ""};
}

QString writeSettings(const QString &path, SettingsFile::Type type, const QList<QStringList> &devices)
{
    SettingsFile::Content content;
    content.type = type;
    content.devices = devices;
    return SettingsFile::write(path, content) == SettingsFile::Ok ? path : QString();
}

QStringList columns(QTreeWidgetItem *item)
{
    QStringList texts;
    for (int column = 0; column < TreeWidget::ColumnCount; ++column)
        texts << item->text(column);
    return texts;
}

// A running device's state column shows its health, which depends on how
// far its first cycle got: any health text stands as "<health>".
QStringList runningColumns(QTreeWidgetItem *item)
{
    QStringList texts = columns(item);
    for (int state = 0; state < kHealthStateCount; ++state) {
        if (texts.at(TreeWidget::StateColumn) == healthText(HealthState(state)))
            texts[TreeWidget::StateColumn] = QStringLiteral("<health>");
    }
    return texts;
}

QStringList menuTexts(QMenu *menu)
{
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startUpShowsTheSavedFileList();
    void contextMenus_data();
    void contextMenus();
    void templates_data();
    void templates();
    void addEditRemoveThroughTheDialog();
    void closeAsksForUnsavedChanges_data();
    void closeAsksForUnsavedChanges();
    void fileActionsAndReopening();
    void failedSaveKeepsTheFileOpen();
    void damagedFileOpensReadOnly();
    void closingWithoutTrayQuits();
    void monitoringThroughTheSettingsDialog();

private:
    std::unique_ptr<MainWindow> openWindow();
    QString logText() const;

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_editable;
    QString m_constant;
    std::unique_ptr<MainWindow> m_window;
};

void tst_MainWindow::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_editable = writeSettings(m_folder->filePath("site.xml"), SettingsFile::Type::Variable,
                               {device("Zerva"), device("Old", "http://10.0.0.1/")});
    m_constant = writeSettings(m_folder->filePath("fixed.xml"), SettingsFile::Type::Constant, {device("Lorvan")});
    QSettings ini(m_folder->filePath(ServerSettings::kIniFileName), QSettings::IniFormat);
    ini.setValue("FileList", QStringList{m_editable, m_folder->filePath("missing.xml"), m_constant, m_editable});
    ini.sync();
    m_window = openWindow();
}

void tst_MainWindow::cleanup()
{
    m_window.reset();
    m_folder.reset();
}

std::unique_ptr<MainWindow> tst_MainWindow::openWindow()
{
    auto window = std::make_unique<MainWindow>(m_folder->path() + '/');
    window->show();
    return window;
}

QString tst_MainWindow::logText() const
{
    QCoreApplication::processEvents();
    return QString::fromLocal8Bit(readFile(m_window->log()->filePath()));
}

// The INI file's list is reopened in order (a missing file and a repeat
// left out): kinds, columns, state texts, running devices, and the log.
void tst_MainWindow::startUpShowsTheSavedFileList()
{
    TreeWidget *tree = m_window->deviceTree();
    QCOMPARE(m_window->size(), QSize(800, 500));
    QCOMPARE(m_window->dataFolder(), m_folder->path() + '/');
    QCOMPARE(tree->topLevelItemCount(), 2);
    QTreeWidgetItem *site = tree->topLevelItem(0);
    QTreeWidgetItem *fixed = tree->topLevelItem(1);
    QCOMPARE(site->type(), int(TreeWidget::VariableFileItem));
    QCOMPARE(fixed->type(), int(TreeWidget::ConstantFileItem));
    QCOMPARE(columns(site), QStringList({"site.xml", "", "", m_folder->path()}));
    QCOMPARE(site->data(0, Qt::UserRole).toString(), m_editable);
    QCOMPARE(columns(fixed), QStringList({"fixed.xml", "", "Только для чтения", m_folder->path()}));
    QCOMPARE(fixed->data(2, Qt::UserRole).toInt(), 2);
    QCOMPARE(site->childCount(), 2);
    QCOMPARE(site->child(0)->type(), int(TreeWidget::VariableDeviceItem));
    QCOMPARE(fixed->child(0)->type(), int(TreeWidget::ConstantDeviceItem));
    QCOMPARE(runningColumns(site->child(0)), QStringList({"Zerva", "Zerva comment", "<health>", kNoDevice}));
    QCOMPARE(columns(site->child(1)), QStringList({"Old", "Old comment", "Не поддерживаемые параметры", "http://10.0.0.1/"}));
    auto *downloader = site->child(0)->data(3, Qt::UserRole).value<Downloader *>();
    auto *scheduler = site->child(0)->data(3, Qt::UserRole + 1).value<DownloaderHandler *>();
    QVERIFY(downloader && scheduler);
    QCOMPARE(scheduler->deviceParams(), device("Zerva"));
    QVERIFY(!site->child(1)->data(3, Qt::UserRole).value<Downloader *>());

    const QString log = logText();
    QVERIFY2(log.contains("Info MainWindow: Data folder " + m_folder->path() + '/'), qPrintable(log));
    QCOMPARE(log.count("Info MainWindow: Open file " + m_editable), 1);
    QVERIFY(log.contains("Error MainWindow: Can`t open file " + m_folder->filePath("missing.xml")));
    QVERIFY(log.contains(QString("Info MainWindow: Set param to %1: Zerva; Zerva comment; 1; %2; /tmp/drovane-test-unused;  at %3")
                             .arg(downloader->objectName(), kNoDevice, m_editable)));
}

void tst_MainWindow::contextMenus_data()
{
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("device");
    QTest::addColumn<QStringList>("entries");
    const QString save = "Сохранить файл", saveAs = "Сохранить файл как ...", close = "Закрыть файл";
    const QString add = "Добавить запись ...", edit = "Изменить запись ...", remove = "Удалить запись";
    const QString files = "Показать список файлов устройства ...", loaded = "Показать список загруженных файлов ...";
    QTest::newRow("editable file") << 0 << -1 << QStringList{save, saveAs, close, "-", add};
    QTest::newRow("its device") << 0 << 0 << QStringList{save, saveAs, close, "-", add, edit, remove, "-", files, loaded};
    QTest::newRow("read-only file") << 1 << -1 << QStringList{saveAs, close};
    QTest::newRow("its device") << 1 << 0 << QStringList{saveAs, close, "-", edit, "-", files, loaded};
}

// The menu of the item under the mouse; over empty space none.
void tst_MainWindow::contextMenus()
{
    QFETCH(int, file);
    QFETCH(int, device);
    QFETCH(QStringList, entries);
    TreeWidget *tree = m_window->deviceTree();
    tree->expandAll();
    QTreeWidgetItem *item = device < 0 ? tree->fileItem(file) : tree->deviceItem(file, device);
    QStringList shown;
    const auto readMenu = [&shown] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            shown = menuTexts(menu);
            menu->close();
        }
    };
    QTimer::singleShot(50, readMenu);
    const QPoint at = tree->visualItemRect(item).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(tree->viewport(), &event);
    QCOMPARE(shown, entries);

    shown.clear();
    const QPoint empty(tree->viewport()->width() / 2, tree->viewport()->height() - 2);
    QContextMenuEvent none(QContextMenuEvent::Mouse, empty, tree->viewport()->mapToGlobal(empty));
    QTimer::singleShot(50, readMenu);
    QCoreApplication::sendEvent(tree->viewport(), &none);
    QTest::qWait(100);
    QVERIFY(shown.isEmpty());
}

void tst_MainWindow::templates_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("fields");   // the six texts after choosing
    QTest::addColumn<QString>("selected");     // selected part of the source
    QTest::newRow("Lorvan") << int(DeviceSettingWidget::kLorvanTemplate)
                            << QStringList{"Lorvan", "kept", "1", "tftp://<IP адрес устройства>/", "/kept", "blksize=1500"}
                            << "<IP адрес устройства>";
    QTest::newRow("Zerva") << int(DeviceSettingWidget::kZervaTemplate)
                           << QStringList{"Zerva", "kept", "1", "ftp://<IP адрес устройства>/", "/kept", "codec=\"Windows-1251\""}
                           << "<IP адрес устройства>";
    QTest::newRow("empty template changes nothing")
        << int(DeviceSettingWidget::kEmptyTemplate) << QStringList{"Mine", "kept", "9", "ftp://h/", "/kept", "x=1"} << "";
}

// A template fills its non-empty texts, keeps the others, and puts the
// cursor on the address placeholder of the source.
void tst_MainWindow::templates()
{
    QFETCH(int, index);
    QFETCH(QStringList, fields);
    QFETCH(QString, selected);
    DeviceSettingWidget *dialog = m_window->deviceSettingWidget();
    dialog->paramEdit({"Mine", "kept", "9", "ftp://h/", "/kept", "x=1"});
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    dialog->activateWindow();
    auto *names = dialog->findChildren<QComboBox *>().at(1);
    if (index == DeviceSettingWidget::kEmptyTemplate)
        dialog->deviceNameComboBoxCurrentIndexChange(index);
    else
        names->setCurrentIndex(index);
    QCOMPARE(dialog->currentParams(), fields);
    QLineEdit *sourceEdit = nullptr;
    for (QLineEdit *edit : dialog->findChildren<QLineEdit *>()) {
        if (edit->placeholderText() == "URL")
            sourceEdit = edit;
    }
    QVERIFY(sourceEdit);
    QCOMPARE(sourceEdit->selectedText(), selected);
    if (!selected.isEmpty())
        QTRY_VERIFY(sourceEdit->hasFocus());
}

// Adding through the dialog: refused parameters keep it open with a
// warning; accepted ones add the device to the chosen file, which becomes
// unsaved. Editing a read-only file's device saves a copy into an editable
// file. Removing marks the file unsaved.
void tst_MainWindow::addEditRemoveThroughTheDialog()
{
    TreeWidget *tree = m_window->deviceTree();
    DeviceSettingWidget *dialog = m_window->deviceSettingWidget();
    QTreeWidgetItem *site = tree->topLevelItem(0);
    tree->setCurrentItem(site);
    m_window->addItmeActionTrigger();
    QTRY_VERIFY(dialog->isVisible());
    QCOMPARE(dialog->currentFileIndex(), 0);
    QCOMPARE(dialog->currentParams(), QStringList({"", "", "", "", "", ""}));

    QString seen;
    ModalAnswer::pressButton(QMessageBox::Ok, &seen);
    dialog->paramSet(0, {"Zerva", "new", "1", "ftp://<IP адрес устройства>/", "/tmp/x", ""});
    QTRY_COMPARE(seen, QString("Внимание|Некоторые параметры имею некорректные значения|"));
    QVERIFY(dialog->isVisible());
    QCOMPARE(site->childCount(), 3);
    QCOMPARE(site->text(2), QString("Не сохранён"));
    // Saving again replaces the refused device instead of adding another.
    dialog->paramSet(0, {"Zerva", "new", "1", "ftp://127.0.0.1:1/", "/tmp/x", ""});
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(site->childCount(), 3);
    QCOMPARE(runningColumns(site->child(2)), QStringList({"Zerva", "new", "<health>", "ftp://127.0.0.1:1/"}));

    // A second add while the dialog is open only raises it.
    m_window->addItmeActionTrigger();
    QTRY_VERIFY(dialog->isVisible());
    tree->setCurrentItem(site->child(0));
    m_window->addItmeActionTrigger();
    QCoreApplication::processEvents();
    QCOMPARE(dialog->currentFileIndex(), 0);
    dialog->close();

    QTreeWidgetItem *fixedDevice = tree->topLevelItem(1)->child(0);
    tree->setCurrentItem(fixedDevice);
    m_window->editItemActionTrigger();
    QTRY_VERIFY(dialog->isVisible());
    QCOMPARE(dialog->currentFileIndex(), -1);
    QCOMPARE(dialog->currentParams(), device("Lorvan"));
    dialog->paramSet(-1, device("Lorvan"));
    QCoreApplication::processEvents();
    QCOMPARE(site->childCount(), 3);
    dialog->paramSet(0, device("Lorvan copy"));
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(site->childCount(), 4);
    QCOMPARE(site->child(3)->text(0), QString("Lorvan copy"));
    QCOMPARE(fixedDevice->text(0), QString("Lorvan"));

    m_window->saveFileActionTrigger();  // current: the read-only file's device
    tree->setCurrentItem(site->child(1));
    m_window->saveFileActionTrigger();
    QCOMPARE(site->text(2), QString());
    m_window->removeItemActionTrigger();
    QCOMPARE(site->childCount(), 3);
    QCOMPARE(site->text(2), QString("Не сохранён"));
    tree->setCurrentItem(fixedDevice);
    m_window->removeItemActionTrigger();
    QCOMPARE(tree->topLevelItem(1)->childCount(), 1);
}

void tst_MainWindow::closeAsksForUnsavedChanges_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("devicesOnDisk");
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << 2;
    QTest::newRow("discard") << int(QMessageBox::Discard) << true << 2;
    QTest::newRow("save") << int(QMessageBox::Save) << true << 1;
}

void tst_MainWindow::closeAsksForUnsavedChanges()
{
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(int, devicesOnDisk);
    TreeWidget *tree = m_window->deviceTree();
    tree->setCurrentItem(tree->topLevelItem(0)->child(1));
    m_window->removeItemActionTrigger();
    tree->setCurrentItem(tree->topLevelItem(0));
    QString seen;
    ModalAnswer::pressButton(answer, &seen);
    m_window->closeFileActionTrigger();
    QCOMPARE(seen, QString("|Данные были изменены|Хотите сохранить изменения?"));
    QCOMPARE(tree->topLevelItemCount(), closed ? 1 : 2);
    SettingsFile::Content content;
    QCOMPARE(SettingsFile::read(m_editable, &content), SettingsFile::Ok);
    QCOMPARE(content.devices.size(), devicesOnDisk);
    if (closed)
        QVERIFY(logText().contains("Info MainWindow: File close " + m_editable));
}

// New, open, save as, save the list; a new window restores the same files
// with the same devices in the same order.
void tst_MainWindow::fileActionsAndReopening()
{
    TreeWidget *tree = m_window->deviceTree();
    DeviceTreeModel *model = m_window->deviceModel();
    QString seen;

    const QString fresh = m_folder->filePath("new.xml");
    ModalAnswer::chooseFile(fresh, &seen);
    m_window->newFileActionTrigger();
    QCOMPARE(seen, QString("Новый файл"));
    QCOMPARE(tree->topLevelItemCount(), 3);
    QCOMPARE(tree->topLevelItem(2)->text(2), QString());
    QVERIFY(QFile::exists(fresh));
    model->addDevice(2, device("Second"));
    model->addDevice(2, device("First"));

    ModalAnswer::chooseFile(m_constant, &seen);
    QString box;
    QTimer::singleShot(300, [&box] { ModalAnswer::pressButton(QMessageBox::Ok, &box); });
    m_window->openFileActionTrigger();
    QTRY_COMPARE(box, QString("Внимание|Файл с таким именем уже открыт|"));
    QCOMPARE(tree->currentItem(), tree->topLevelItem(1));

    const QString garbage = m_folder->filePath("garbage.xml");
    QVERIFY(writeFile(garbage, "<drovane version=\"2.0\"/>"));
    ModalAnswer::chooseFile(garbage);
    QTimer::singleShot(300, [&box] { ModalAnswer::pressButton(QMessageBox::Ok, &box); });
    m_window->openFileActionTrigger();
    QTRY_COMPARE(box, QString("Ошибка|Не удалось открыть файл|"));
    QCOMPARE(tree->topLevelItemCount(), 3);
    QVERIFY(logText().contains("Error MainWindow: Unsupported file format " + garbage));

    const QString copy = m_folder->filePath("copy.xml");
    ModalAnswer::chooseFile(copy);
    m_window->saveFileAsActionTrigger();
    QCOMPARE(tree->topLevelItem(1)->text(2), QString());
    QCOMPARE(tree->topLevelItem(1)->type(), int(TreeWidget::ConstantFileItem));
    QCOMPARE(tree->topLevelItem(1)->data(0, Qt::UserRole).toString(), m_constant);
    SettingsFile::Content content;
    QCOMPARE(SettingsFile::read(copy, &content), SettingsFile::Ok);
    QCOMPARE(content.type, SettingsFile::Type::Constant);

    m_window->saveAllFileActionTrigger();
    m_window->saveFileListActionTrigger();
    const QStringList expected{m_editable, m_constant, fresh};
    QCOMPARE(QSettings(m_folder->filePath(ServerSettings::kIniFileName), QSettings::IniFormat).value("FileList").toStringList(),
             expected);
    QList<QStringList> before;
    for (int f = 0; f < model->fileCount(); ++f) {
        for (int d = 0; d < model->deviceCount(f); ++d)
            before << model->deviceParams(f, d);
    }
    m_window.reset();
    m_window = openWindow();
    model = m_window->deviceModel();
    QList<QStringList> after;
    QStringList paths;
    for (int f = 0; f < model->fileCount(); ++f) {
        paths << model->filePath(f);
        for (int d = 0; d < model->deviceCount(f); ++d)
            after << model->deviceParams(f, d);
    }
    QCOMPARE(paths, expected);
    QCOMPARE(after, before);
}

// "Save" in the close question, when the file cannot be written (its folder
// is gone): a warning, and the file with its changes stays open.
void tst_MainWindow::failedSaveKeepsTheFileOpen()
{
    const QString folder = m_folder->filePath("moved");
    QVERIFY(QDir().mkdir(folder));
    const QString path = writeSettings(folder + "/site.xml", SettingsFile::Type::Variable, {device("A"), device("B")});
    DeviceTreeModel *model = m_window->deviceModel();
    const int file = model->openFile(path);
    QVERIFY(file >= 0);
    model->removeDevice(file, 0);
    QVERIFY(QDir(folder).removeRecursively());
    m_window->deviceTree()->setCurrentItem(m_window->deviceTree()->fileItem(file));
    QString question, warning;
    ModalAnswer::pressButton(QMessageBox::Save, &question);
    QTimer::singleShot(300, [&warning] { ModalAnswer::pressButton(QMessageBox::Ok, &warning); });
    m_window->closeFileActionTrigger();
    QTRY_COMPARE(warning, QString("Внимание|Произошла ошибка при сохранении файла|"));
    QCOMPARE(model->findFile(path), file);
    QCOMPARE(model->fileState(file), DeviceTreeModel::NotSaved);
    QCOMPARE(model->deviceCount(file), 1);
    // The reason stands after the path.
    QVERIFY(logText().contains(QRegularExpression("Error MainWindow: Can`t open file " + QRegularExpression::escape(path) + ": \\S")));
}

// A settings file with one XML error opens read-only with a message naming
// the line and column, runs the devices read before the error, and is
// written only under another name.
void tst_MainWindow::damagedFileOpensReadOnly()
{
    const QString path = m_folder->filePath("broken.xml");
    const QByteArray damaged = "<?xml version=\"1.0\"?>\n<drovane version=\"1.0\" type=\"variable\">\n"
                               " <item name=\"A\" period=\"1\" source=\"ftp://127.0.0.1:1/\" destination=\"/tmp/a\"/>\n"
                               " <item name=\"B & C\" period=\"1\" source=\"ftp://127.0.0.1:1/\" destination=\"/tmp/b\"/>\n"
                               " <item name=\"C\" period=\"1\" source=\"ftp://127.0.0.1:1/\" destination=\"/tmp/c\"/>\n"
                               "</drovane>\n";
    QVERIFY(writeFile(path, damaged));
    TreeWidget *tree = m_window->deviceTree();
    DeviceTreeModel *model = m_window->deviceModel();
    ModalAnswer::chooseFile(path);
    m_window->openFileActionTrigger();
    const int file = model->findFile(path);
    QVERIFY(file >= 0);
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = m_window->findChild<QMessageBox *>()) && box->isVisible());
    QVERIFY2(box->text().contains("прочитан не полностью, строка 4, столбец"), qPrintable(box->text()));
    box->close();
    QTreeWidgetItem *item = tree->fileItem(file);
    QCOMPARE(item->type(), int(TreeWidget::ConstantFileItem));
    QCOMPARE(item->text(2), QString("Только для чтения"));
    QCOMPARE(item->childCount(), 1);
    QVERIFY(model->isDeviceSupported(file, 0));

    // "Сохранить все файлы" leaves it as it is; "Сохранить файл как ..." writes what was read.
    m_window->saveAllFileActionTrigger();
    QCOMPARE(readFile(path), damaged);
    tree->setCurrentItem(item);
    const QString copy = m_folder->filePath("repaired.xml");
    ModalAnswer::chooseFile(copy);
    m_window->saveFileAsActionTrigger();
    SettingsFile::Content content;
    QCOMPARE(SettingsFile::read(copy, &content), SettingsFile::Ok);
    QCOMPARE(content.devices.size(), 1);
    QCOMPARE(content.type, SettingsFile::Type::Variable);
    QCOMPARE(readFile(path), damaged);
    QVERIFY(logText().contains("Error MainWindow: File " + path + " was not read whole"));
}

// Without a system tray (offscreen) closing the window ends the program.
void tst_MainWindow::closingWithoutTrayQuits()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    QEventLoop loop;
    QTimer::singleShot(kWaitMs, &loop, [&loop] { loop.exit(1); });
    QTimer::singleShot(0, m_window.get(), &QWidget::close);
    QCOMPARE(loop.exec(), 0);
    QVERIFY(!m_window->isVisible());
}

// The settings dialog switches monitoring on against a real MariaDB server:
// its stations appear under "Pellux.xml", which the menu cannot close;
// switching off writes the file; the password is in no log line.
void tst_MainWindow::monitoringThroughTheSettingsDialog()
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Mysql, &why))
        QSKIP(qPrintable(why));
    TempDir dbRoot;
    ServerProcess db(ServerProcess::Mysql);
    QVERIFY2(db.start(dbRoot.path()), qPrintable(db.error()));
    QVERIFY(db.runSql("CREATE TABLE station (idtypest INT, ip1 INT UNSIGNED, namest VARCHAR(64));"
                      "INSERT INTO station VALUES (29, 50462986, 'Станция 1'), (39, 117549248, 'Пост 2');"));
    m_window->setupProgrammActionTrigger();
    PelluxSettingWidget *dialog = m_window->settingsDialog();
    QVERIFY(dialog && dialog->isVisible());
    m_window->setupProgrammActionTrigger();
    QCOMPARE(m_window->settingsDialog(), dialog);
    // The dialog's own four (the spin box has one inside).
    const QList<QLineEdit *> edits = dialog->findChildren<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(edits.size(), 4);
    QCOMPARE(edits.at(3)->echoMode(), QLineEdit::Password);
    dialog->findChild<QCheckBox *>()->setChecked(true);
    edits.at(0)->setText(QStringLiteral("127.0.0.1:%1").arg(db.port()));
    edits.at(2)->setText(ServerProcess::kMysqlUser);
    edits.at(3)->setText(ServerProcess::kMysqlPassword);
    dialog->findChild<QSpinBox *>()->setValue(1);
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == "Сохранить")
            button->click();
    }
    QTRY_VERIFY(!m_window->settingsDialog());
    TreeWidget *tree = m_window->deviceTree();
    QCOMPARE(tree->topLevelItemCount(), 3);
    QTreeWidgetItem *pellux = tree->topLevelItem(2);
    QCOMPARE(pellux->type(), int(TreeWidget::ConstantFileItem));
    QTRY_COMPARE_WITH_TIMEOUT(pellux->childCount(), 2, 20000);
    QCOMPARE(columns(pellux->child(0)).mid(0, 2), QStringList({"Lorvan-P", "Станция 1"}));
    QCOMPARE(pellux->child(1)->text(TreeWidget::SourceColumn), QString("ftp://192.168.1.7/"));
    tree->setCurrentItem(pellux->child(0));
    m_window->closeFileActionTrigger();
    QCOMPARE(tree->topLevelItemCount(), 3);

    m_window->setupProgrammActionTrigger();
    m_window->settingsDialog()->findChild<QCheckBox *>()->setChecked(false);
    m_window->settingsDialog()->savePushButtonClick();
    QTRY_COMPARE(tree->topLevelItemCount(), 2);
    SettingsFile::Content content;
    QCOMPARE(SettingsFile::read(m_folder->filePath("Pellux.xml"), &content), SettingsFile::Ok);
    QCOMPARE(content.devices.size(), 2);
    QCOMPARE(content.devices.at(0).value(4), m_folder->path() + "/10.1.2.3");
    QTRY_VERIFY(logText().contains("Pellux polling stop"));
    QVERIFY(logText().contains("New Pellux param set: true; QMYSQL; 127.0.0.1:"));
    QVERIFY(!logText().contains(ServerProcess::kMysqlPassword));
    QVERIFY(QSettings(m_folder->filePath(ServerSettings::kIniFileName), QSettings::IniFormat).value("Pellux/Usage").toBool() == false);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
