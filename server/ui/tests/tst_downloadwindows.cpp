#include "server/ui/downloadwindows/downloadedfilelistwidget.h"
#include "server/ui/downloadwindows/downloaderwidget2.h"
#include "server/ui/downloadwindows/filelisttree.h"
#include "server/ui/mainwindow/mainwindow.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/core/devicetreemodel.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/settings/settingsfile.h"
#include "testsupport/testfiles.h"
#include "testsupport/testrecording.h"
#include "server/ui/devicetree/treewidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

using namespace ServerUi;

namespace {

constexpr int kWaitMs = 15000;
constexpr int kDeviceFileBytes = 2048;
constexpr int kLocalPartBytes = 512;
constexpr int kLargeBytes = 64 * 1024 * 1024;

// A player stand-in: writes its own path and its argument beside itself.
bool writeFakePlayer(const QString &folder)
{
    const QString path = QDir(folder).filePath("Velmora");
    if (!writeFile(path, "#!/bin/sh\nprintf '%s\\n%s\\n' \"$0\" \"$1\" > \"$(dirname \"$0\")/started.txt\"\n"))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A recording with one PCMA stream whose frames carry `payloadBytes` bytes.
QByteArray pcmaRecording(int payloadBytes)
{
    TestRecording recording;
    recording.addStream(1, "audio", "PCMA", "Канал 1");
    constexpr int kFrameBytes = 800;
    for (int sent = 0, t = 0; sent < payloadBytes; sent += kFrameBytes, t += 100)
        recording.frame(quint32(t), 1, TestRecordingData::alaw(qMin(kFrameBytes, payloadBytes - sent)));
    return readFile(recording.finish());
}

QPushButton *button(QWidget *window, const QString &text)
{
    for (QPushButton *b : window->findChildren<QPushButton *>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

template <typename T> T *openWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<T *>(w))
            return found;
    }
    return nullptr;
}

QStringList started(const QString &folder)
{
    return QString::fromLocal8Bit(readFile(QDir(folder).filePath("started.txt"))).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// The device file list against a real FTP server through the main window,
// and the downloaded-file list on local recordings; both start the player.
class tst_DownloadWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void deviceFileListDownloadsAbortsResumesAndPlays();
    void downloadedListShowsDurationsFromCaches();
    void playerIsFoundBesideThenOnPathElseSaid_data();
    void playerIsFoundBesideThenOnPathElseSaid();

private:
    TempDir m_root;
    ServerProcess m_server{ServerProcess::Ftp};
};

void tst_DownloadWindows::initTestCase()
{
    QString why;
    if (!ServerProcess::available(ServerProcess::Ftp, &why))
        QFAIL(qPrintable(why));
    QVERIFY(writeFile(m_root.filePath("PART.DAT"), QByteArray(kDeviceFileBytes, 'p')));
    QVERIFY(writeFile(m_root.filePath("EMPTY.DAT"), QByteArray()));
    QVERIFY(writeFile(m_root.filePath("LARGE.DAT"), QByteArray(kLargeBytes, 'l')));
    QVERIFY(writeFile(m_root.filePath("REC.DAT"), pcmaRecording(8000)));
    QVERIFY2(m_server.start(m_root.path()), qPrintable(m_server.error()));
}

void tst_DownloadWindows::deviceFileListDownloadsAbortsResumesAndPlays()
{
    TempDir app, dest, player;
    QVERIFY(writeFakePlayer(player.path()));
    QVERIFY(writeFile(dest.filePath("PART.DAT"), QByteArray(kLocalPartBytes, 'p')));
    QVERIFY(writeFile(dest.filePath("EMPTY.DAT"), QByteArray()));
    SettingsFile::Content content;
    content.devices << QStringList{"Zerva", "Пост", "60", m_server.url(), dest.path(), ""};
    QCOMPARE(SettingsFile::write(app.filePath("site.xml"), content), SettingsFile::Ok);
    MainWindow window(app.path() + '/');
    // The device starts collecting at once in its own thread: its first
    // cycle is let end, and what it fetched is put back, so that the file
    // list meets the files as written above (its next cycle is an hour away).
    bool firstCycleEnded = false;
    QObject receiver;
    connect(window.deviceModel(), &DeviceTreeModel::deviceStarted, &receiver,
            [&](Downloader *, DownloaderHandler *scheduler) {
                connect(scheduler, &DownloaderHandler::cycleFinished, &receiver, [&] { firstCycleEnded = true; },
                        Qt::QueuedConnection);
            });
    QVERIFY(window.deviceModel()->openFile(app.filePath("site.xml")) >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(firstCycleEnded, kWaitMs);
    for (const QString &fetched : QDir(dest.path()).entryList(QDir::Files))
        QVERIFY(QFile::remove(dest.filePath(fetched)));
    QVERIFY(writeFile(dest.filePath("PART.DAT"), QByteArray(kLocalPartBytes, 'p')));
    QVERIFY(writeFile(dest.filePath("EMPTY.DAT"), QByteArray()));
    window.deviceTree()->setCurrentItem(window.deviceTree()->deviceItem(0, 0));
    window.getItemFileListActionTrigger();
    DownloaderWidget2 *list = openWindow<DownloaderWidget2>();
    QVERIFY(list);
    list->setPlayerFolder(player.path());
    auto *tree = list->findChild<FileListTree *>();
    QTRY_COMPARE_WITH_TIMEOUT(tree->topLevelItemCount(), 4, kWaitMs);
    QCOMPARE(list->windowTitle(), QStringLiteral("Список файлов:Zerva Пост"));
    QTreeWidgetItem *part = tree->rowNamed("PART.DAT");
    QCOMPARE(part->text(FileListTree::CommentColumn), QStringLiteral("Загружен на 25 %"));
    QCOMPARE(part->text(FileListTree::SizeColumn), QStringLiteral("2048"));
    QCOMPARE(tree->rowNamed("EMPTY.DAT")->text(FileListTree::CommentColumn), QString());
    QVERIFY(button(list, "Прервать") && !button(list, "Прервать")->isEnabled());

    // Nothing selected: nothing happens.
    tree->setCurrentItem(nullptr);
    button(list, "Загрузить файл")->click();
    QVERIFY(button(list, "Обновить")->isEnabled());

    // The partial file is resumed from its local size to the whole file.
    tree->setCurrentItem(tree->rowNamed("PART.DAT"));
    button(list, "Загрузить файл")->click();
    QTRY_COMPARE_WITH_TIMEOUT(tree->rowNamed("PART.DAT") ? tree->rowNamed("PART.DAT")->text(FileListTree::CommentColumn) : QString(),
                              QStringLiteral("Загружен на 100 %"), kWaitMs);
    QCOMPARE(readFile(dest.filePath("PART.DAT")), QByteArray(kDeviceFileBytes, 'p'));
    QVERIFY(readFile(m_server.logPath()).contains("PART.DAT"));
    QVERIFY(started(player.path()).isEmpty());

    // A large download aborted keeps its part and says so.
    QTRY_VERIFY_WITH_TIMEOUT(button(list, "Загрузить файл")->isEnabled(), kWaitMs);
    tree->setCurrentItem(tree->rowNamed("LARGE.DAT"));
    button(list, "Загрузить файл")->click();
    // What "Прервать" sends, at once: loopback would finish the file before
    // the button is enabled.
    emit list->downloadAborted();
    QTRY_COMPARE_WITH_TIMEOUT(tree->rowNamed("LARGE.DAT")->text(FileListTree::CommentColumn),
                              QStringLiteral("Загрузка прервана"), kWaitMs);
    QVERIFY(button(list, "Загрузить файл")->isEnabled());
    // Downloading again goes on from the part left and ends with the whole file.
    tree->setCurrentItem(tree->rowNamed("LARGE.DAT"));
    button(list, "Загрузить файл")->click();
    QTRY_COMPARE_WITH_TIMEOUT(tree->rowNamed("LARGE.DAT") ? tree->rowNamed("LARGE.DAT")->text(FileListTree::CommentColumn) : QString(),
                              QStringLiteral("Загружен на 100 %"), kWaitMs);
    QCOMPARE(QFileInfo(dest.filePath("LARGE.DAT")).size(), qint64(kLargeBytes));

    // "Воспроизвести" downloads, then starts the player on the full path.
    tree->setCurrentItem(tree->rowNamed("REC.DAT"));
    button(list, "Воспроизвести")->click();
    QTRY_COMPARE_WITH_TIMEOUT(started(player.path()).size(), 2, kWaitMs);
    QCOMPARE(started(player.path()), QStringList({QDir(player.path()).filePath("Velmora"), dest.filePath("REC.DAT")}));
    list->close();
}

void tst_DownloadWindows::downloadedListShowsDurationsFromCaches()
{
    TempDir folder;
    QVERIFY(writeFile(folder.filePath("ONE.DAT"), pcmaRecording(8000)));
    QVERIFY(writeFile(folder.filePath("LONG.DAT"), pcmaRecording(8000 * 3725)));
    QVERIFY(writeFile(folder.filePath("BROKEN.DAT"), QByteArray(5000, '\xff')));
    QVERIFY(writeFile(folder.filePath("X.IND.DAT"), pcmaRecording(800)));
    DownloadedFileListWidget list;
    QSignalSpy done(&list, &DownloadedFileListWidget::scanFinished);
    list.setSource(folder.path());
    QVERIFY(done.wait(kWaitMs));
    FileListTree *tree = list.fileTree();
    QCOMPARE(tree->topLevelItemCount(), 3);
    QVERIFY(!tree->rowNamed("X.IND.DAT"));
    QCOMPARE(tree->rowNamed("ONE.DAT")->text(FileListTree::CommentColumn), QStringLiteral("00:00:01"));
    QCOMPARE(tree->rowNamed("LONG.DAT")->text(FileListTree::CommentColumn), QStringLiteral("01:02:05"));
    QTreeWidgetItem *broken = tree->rowNamed("BROKEN.DAT");
    QCOMPARE(broken->text(FileListTree::CommentColumn), QStringLiteral("Нет звуковых данных"));
    QVERIFY(broken->isHidden());
    list.findChild<QCheckBox *>()->setChecked(true);
    QVERIFY(!broken->isHidden());
    QVERIFY(QFileInfo::exists(folder.filePath("ONE.DAT.IND")));

    // The second refresh reads the caches: a same-size rewrite is not re-indexed,
    // a damaged cache is, and a grown recording is too.
    QVERIFY(writeFile(folder.filePath("ONE.DAT"), QByteArray(readFile(folder.filePath("ONE.DAT")).size(), '\0')));
    QVERIFY(writeFile(folder.filePath("LONG.DAT.IND"), "damaged"));
    QVERIFY(writeFile(folder.filePath("BROKEN.DAT"), pcmaRecording(16000)));
    tree->setCurrentItem(tree->rowNamed("LONG.DAT"));
    list.addDownloadedFile();
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(tree->rowNamed("ONE.DAT")->text(FileListTree::CommentColumn), QStringLiteral("00:00:01"));
    QCOMPARE(tree->rowNamed("LONG.DAT")->text(FileListTree::CommentColumn), QStringLiteral("01:02:05"));
    QCOMPARE(tree->rowNamed("BROKEN.DAT")->text(FileListTree::CommentColumn), QStringLiteral("00:00:02"));
    QCOMPARE(tree->currentItem(), tree->rowNamed("LONG.DAT"));
}

void tst_DownloadWindows::playerIsFoundBesideThenOnPathElseSaid_data()
{
    QTest::addColumn<bool>("beside");
    QTest::addColumn<bool>("onPath");
    QTest::newRow("beside the server") << true << true;
    QTest::newRow("on the PATH") << false << true;
    QTest::newRow("nowhere") << false << false;
}

void tst_DownloadWindows::playerIsFoundBesideThenOnPathElseSaid()
{
    QFETCH(bool, beside);
    QFETCH(bool, onPath);
    TempDir programFolder, pathFolder, recordings;
    QVERIFY(writeFile(recordings.filePath("REC.DAT"), pcmaRecording(800)));
    if (beside)
        QVERIFY(writeFakePlayer(programFolder.path()));
    if (onPath)
        QVERIFY(writeFakePlayer(pathFolder.path()));
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", pathFolder.path().toLocal8Bit() + ":/usr/bin:/bin");
    DownloadedFileListWidget list;
    list.setPlayerFolder(programFolder.path());
    QSignalSpy errors(&list, &DownloadedFileListWidget::errorSended);
    list.setSource(recordings.path());
    list.fileTree()->setCurrentItem(list.fileTree()->rowNamed("REC.DAT"));
    button(&list, "Воспроизвести")->click();
    qputenv("PATH", oldPath);
    const QString ran = beside ? programFolder.path() : pathFolder.path();
    if (beside || onPath) {
        QTRY_COMPARE_WITH_TIMEOUT(started(ran), QStringList({QDir(ran).filePath("Velmora"), recordings.filePath("REC.DAT")}), kWaitMs);
        QVERIFY(errors.isEmpty());
        QVERIFY(list.playerMessage().isEmpty());
        if (beside)
            QVERIFY(started(pathFolder.path()).isEmpty());
    } else {
        QCOMPARE(errors.size(), 1);
        QVERIFY(list.playerMessage().contains("Velmora"));
    }
}

QTEST_MAIN(tst_DownloadWindows)
#include "tst_downloadwindows.moc"
