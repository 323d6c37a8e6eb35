#include "downloaderwidget2.h"

#include "server/core/settings/deviceparams.h"
#include "server/ui/downloadwindows/filelisttree.h"
#include "server/core/downloaders/listlineparser.h"
#include "server/core/playerlauncher.h"
#include "server/core/log/visibletext.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace ServerUi {

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 500;
constexpr int kPlayRole = Qt::UserRole; // column 3: play after the download (0 or 1)
constexpr qint64 kPercent = 100;
const QString kDateFormat = QStringLiteral("dd.MM.yyyy hh:mm");

} // namespace

const QString DownloaderWidget2::kLoadingText = QStringLiteral("Загружается ...");
const QString DownloaderWidget2::kAbortedText = QStringLiteral("Загрузка прервана");

DownloaderWidget2::DownloaderWidget2(QWidget *parent)
    : QWidget(parent)
{
    tree = new FileListTree(this);
    saveFilePushButton = new QPushButton(QStringLiteral("Загрузить файл"), this);
    getFileListPushButton = new QPushButton(QStringLiteral("Обновить"), this);
    abortPushButton = new QPushButton(QStringLiteral("Прервать"), this);
    abortPushButton->setEnabled(false);
    playPushButton = new QPushButton(QStringLiteral("Воспроизвести"), this);
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    messageLabel->hide();
    connect(saveFilePushButton, &QPushButton::clicked, this, &DownloaderWidget2::saveFilePushButtonClick);
    connect(getFileListPushButton, &QPushButton::clicked, this, &DownloaderWidget2::getFileListPushButtonClick);
    connect(abortPushButton, &QPushButton::clicked, this, &DownloaderWidget2::downloadAborted);
    connect(playPushButton, &QPushButton::clicked, this, &DownloaderWidget2::playtPushButtonClick);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &DownloaderWidget2::playtPushButtonClick);
    layOutFileWindow(this, tree, {saveFilePushButton, getFileListPushButton, abortPushButton, playPushButton, messageLabel});
    resize(kWidth, kHeight);
}

QString DownloaderWidget2::playerMessage() const
{
    return messageLabel->isHidden() ? QString() : messageLabel->text();
}

void DownloaderWidget2::setParam(QStringList value)
{
    param = value;
    destination = paramValue(param, DeviceParam::Folder);
}

void DownloaderWidget2::setButtons(bool idle)
{
    saveFilePushButton->setEnabled(idle);
    getFileListPushButton->setEnabled(idle);
    abortPushButton->setEnabled(!idle);
    playPushButton->setEnabled(idle);
}

void DownloaderWidget2::getFileListPushButtonClick()
{
    emit downloadStarted();
    emit downloadGotFileList();
}

void DownloaderWidget2::downloadGetFileListStart()
{
    setButtons(false);
}

void DownloaderWidget2::downloadGetFileListDo(QStringList fileList)
{
    downloadItem = nullptr;
    setButtons(true);
    // The current row is kept across the rebuild, by name.
    const QString current = tree->currentItem() ? FileListTree::nameOf(tree->currentItem()) : QString();
    tree->clear();
    const QDir folder(destination);
    for (const QString &line : fileList) {
        QString name;
        qint64 size = 0;
        QDateTime date;
        const int parsed = parseListLine(line, &name, &size, &date);
        if (parsed != ListLineFile && parsed != ListLineBadDate)
            continue;
        auto *row = new QTreeWidgetItem(tree);
        FileListTree::setName(row, name);
        row->setText(FileListTree::DateColumn, date.isValid() ? date.toString(kDateFormat) : QString());
        row->setText(FileListTree::SizeColumn, QString::number(size));
        row->setTextAlignment(FileListTree::SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        row->setData(FileListTree::CommentColumn, kPlayRole, 0);
        const QFileInfo local(folder.filePath(name));
        if (local.isFile() && size != 0)
            row->setText(FileListTree::CommentColumn,
                         QStringLiteral("Загружен на %1 %").arg(local.size() * kPercent / size));
        if (name == current)
            tree->setCurrentItem(row);
    }
    emit downloadStopped();
}

void DownloaderWidget2::saveFilePushButtonClick()
{
    downloadCurrent(false);
}

void DownloaderWidget2::playtPushButtonClick()
{
    downloadCurrent(true);
}

void DownloaderWidget2::downloadCurrent(bool play)
{
    // One download at a time: the buttons are off while one runs, but a
    // double-click on a row is not.
    if (downloadItem)
        return;
    QTreeWidgetItem *row = tree->currentItem();
    if (!row)
        return;
    downloadItem = row;
    const QString name = FileListTree::nameOf(row);
    const QFileInfo local(QDir(destination).filePath(name));
    row->setText(FileListTree::CommentColumn, kLoadingText);
    emit downloadStarted();
    emit downloadGotFile(name, local.isFile() ? ulong(local.size()) : 0UL);
    row->setData(FileListTree::CommentColumn, kPlayRole, play ? 1 : 0);
}

void DownloaderWidget2::downloadGetFileStart(QString)
{
    setButtons(false);
}

void DownloaderWidget2::downloadGetFileDo()
{
    if (downloadItem && downloadItem->data(FileListTree::CommentColumn, kPlayRole).toInt() == 1)
        startPlayer(FileListTree::nameOf(downloadItem));
    if (downloadItem)
        downloadItem->setData(FileListTree::CommentColumn, kPlayRole, 0);
    downloadItem = nullptr;
    setButtons(true);
    // The listing again, with the new percentages; it ends with a stop.
    emit downloadGotFileList();
}

void DownloaderWidget2::downloadAbort()
{
    if (downloadItem)
        downloadItem->setText(FileListTree::CommentColumn, kAbortedText);
    downloadItem = nullptr;
    emit downloadStopped();
    setButtons(true);
}

void DownloaderWidget2::downloadErrorOccur(QString message)
{
    if (downloadItem)
        downloadItem->setText(FileListTree::CommentColumn, visibleText(message.trimmed()));
    downloadItem = nullptr;
    setButtons(true);
}

void DownloaderWidget2::downloadStart()
{
}

void DownloaderWidget2::downloadStop()
{
}

void DownloaderWidget2::startPlayer(const QString &name)
{
    QString error;
    if (PlayerLauncher::start(destination, name, &error, playerFolder)) {
        messageLabel->hide();
        return;
    }
    messageLabel->setText(visibleText(error));
    messageLabel->show();
    emit errorSended(error);
}

} // namespace ServerUi
