// DownloaderWidget2: one device's file list window (fetch files by hand).
#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidgetItem;

namespace ServerUi {

class FileListTree;

// A device's file list: the files the device offers, with how much of each
// is already in the device's local folder ("Загружен на %1 %"), and a
// download on demand (resumed from the local size), optionally followed by
// the player on the downloaded file.
//
// It drives a downloader of its own (Downloader's slots and signals, wired
// queued by the main window) and runs one download at a time; the buttons
// enforce that. Parentless top-level window; GUI thread.
class DownloaderWidget2 : public QWidget
{
    Q_OBJECT

public:
    static const QString kLoadingText;   // "Загружается ..."
    static const QString kAbortedText;   // "Загрузка прервана"

    explicit DownloaderWidget2(QWidget *parent = nullptr);

    // Where the player is looked for first (empty: the program's folder).
    void setPlayerFolder(const QString &folder) { playerFolder = folder; }
    // The text shown when the player could not be started; empty otherwise.
    QString playerMessage() const;

signals:
    void downloadStarted();
    void downloadGotFileList();
    // Fetches name from byte pos (bytes) on.
    void downloadGotFile(QString name, ulong pos);
    void downloadAborted();
    void downloadStopped();
    // The player could not be started: why (for the log).
    void errorSended(QString message);

public slots:
    // The device's six parameters; the destination folder is text 4.
    void setParam(QStringList param);
    void saveFilePushButtonClick();
    void getFileListPushButtonClick();
    void playtPushButtonClick();
    void downloadStart();
    void downloadErrorOccur(QString message);
    void downloadGetFileListStart();
    void downloadGetFileListDo(QStringList fileList);
    void downloadGetFileStart(QString name);
    void downloadGetFileDo();
    void downloadAbort();
    void downloadStop();

private:
    // Enables download, refresh, abort, play.
    void setButtons(bool idle);
    // Starts downloading the current row; play: start the player afterwards.
    void downloadCurrent(bool play);
    void startPlayer(const QString &name);

    FileListTree *tree;
    QPushButton *saveFilePushButton;
    QPushButton *getFileListPushButton;
    QPushButton *abortPushButton;
    QPushButton *playPushButton;
    QLabel *messageLabel;
    QStringList param;
    QString destination;
    QString playerFolder;
    QTreeWidgetItem *downloadItem = nullptr;
};

} // namespace ServerUi
