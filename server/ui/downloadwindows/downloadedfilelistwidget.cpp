#include "downloadedfilelistwidget.h"

#include "server/ui/downloadwindows/filelisttree.h"
#include "recording/indexcache.h"
#include "server/core/playerlauncher.h"
#include "server/core/log/visibletext.h"
#include "recording/durationtext.h"

#include <QCheckBox>
#include <QDir>
#include <QFutureWatcher>
#include <QLabel>
#include <QPushButton>
#include <QtConcurrent>

#include <cmath>

namespace ServerUi {

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 500;
constexpr double kNoAudioMs = 0.00001;
constexpr double kHiddenAtMostMs = 0.0001;
constexpr int kMark = 1;

QString commentText(double ms)
{
    return ms < kNoAudioMs ? DownloadedFileListWidget::kNoAudioText : durationText(ms);
}

QDateTime createdTime(const QFileInfo &info)
{
    const QDateTime birth = info.birthTime();
    return birth.isValid() ? birth : info.lastModified();
}

} // namespace

const QString DownloadedFileListWidget::kNoAudioText = QStringLiteral("Нет звуковых данных");

DownloadedFileListWidget::DownloadedFileListWidget(QWidget *parent)
    : QWidget(parent)
{
    tree = new FileListTree(this);
    auto *play = new QPushButton(QStringLiteral("Воспроизвести"), this);
    auto *refresh = new QPushButton(QStringLiteral("Обновить"), this);
    showAllCheckBox = new QCheckBox(QStringLiteral("Показывать все"), this);
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    messageLabel->hide();
    connect(play, &QPushButton::clicked, this, &DownloadedFileListWidget::playtPushButtonClick);
    connect(refresh, &QPushButton::clicked, this, &DownloadedFileListWidget::addDownloadedFile);
    connect(showAllCheckBox, &QCheckBox::stateChanged, this, &DownloadedFileListWidget::showAllCheckBoxStateChange);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &DownloadedFileListWidget::playtPushButtonClick);
    layOutFileWindow(this, tree, {play, refresh, showAllCheckBox, messageLabel});
    resize(kWidth, kHeight);
}

DownloadedFileListWidget::~DownloadedFileListWidget()
{
    if (scan)
        scan->cancel();
}

QString DownloadedFileListWidget::playerMessage() const
{
    return messageLabel->isHidden() ? QString() : messageLabel->text();
}

bool DownloadedFileListWidget::isScanning() const
{
    return scan && scan->isRunning();
}

void DownloadedFileListWidget::setSource(QString folder)
{
    source = folder;
    addDownloadedFile();
}

void DownloadedFileListWidget::addDownloadedFile()
{
    if (scan) {
        scan->disconnect(this);
        scan->cancel();
    }
    const QFileInfoList entries = QDir(source).entryInfoList(QDir::Files, QDir::Name);
    for (QTreeWidgetItem *row : qAsConst(rows))
        row->setData(FileListTree::CommentColumn, FileListTree::kMarkRole, 0);
    QStringList paths;
    scanNames.clear();
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (isCacheFileName(name))
            continue;
        QTreeWidgetItem *&row = rows[name];
        if (!row) {
            row = new QTreeWidgetItem(tree);
            FileListTree::setName(row, name);
            row->setTextAlignment(FileListTree::SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        }
        row->setData(FileListTree::CommentColumn, FileListTree::kMarkRole, kMark);
        const QDateTime created = createdTime(entry);
        row->setText(FileListTree::DateColumn, created.toString(QStringLiteral("dd.MM.yyyy ")) + created.toString(QStringLiteral("hh:mm")));
        row->setText(FileListTree::SizeColumn, QString::number(entry.size()));
        paths << entry.absoluteFilePath();
        scanNames << name;
    }
    for (auto it = rows.begin(); it != rows.end();) {
        if (it.value()->data(FileListTree::CommentColumn, FileListTree::kMarkRole).toInt() != kMark) {
            delete it.value();
            it = rows.erase(it);
        } else {
            it.value()->setData(FileListTree::CommentColumn, FileListTree::kMarkRole, 0);
            ++it;
        }
    }
    scan = std::make_unique<QFutureWatcher<RecordingDuration>>();
    connect(scan.get(), &QFutureWatcherBase::resultReadyAt, this, &DownloadedFileListWidget::durationReady);
    connect(scan.get(), &QFutureWatcherBase::finished, this, &DownloadedFileListWidget::scanFinished);
    scan->setFuture(QtConcurrent::mapped(paths, recordingDuration));
}

void DownloadedFileListWidget::durationReady(int index)
{
    const RecordingDuration duration = scan->resultAt(index);
    QTreeWidgetItem *row = rows.value(scanNames.value(index));
    if (!row)
        return;
    row->setData(FileListTree::SizeColumn, kDurationRole, duration.ms);
    row->setText(FileListTree::CommentColumn, commentText(duration.ms));
    applyVisibility(row);
}

void DownloadedFileListWidget::applyVisibility(QTreeWidgetItem *row)
{
    const QVariant duration = row->data(FileListTree::SizeColumn, kDurationRole);
    // Rows whose duration is not known yet stay visible.
    row->setHidden(duration.isValid() && duration.toDouble() <= kHiddenAtMostMs && !showAllCheckBox->isChecked());
}

void DownloadedFileListWidget::showAllCheckBoxStateChange(int)
{
    for (QTreeWidgetItem *row : qAsConst(rows))
        applyVisibility(row);
}

void DownloadedFileListWidget::playtPushButtonClick()
{
    QTreeWidgetItem *row = tree->currentItem();
    if (!row)
        return;
    QString error;
    if (PlayerLauncher::start(source, FileListTree::nameOf(row), &error, playerFolder)) {
        messageLabel->hide();
        return;
    }
    messageLabel->setText(visibleText(error));
    messageLabel->show();
    emit errorSended(error);
}

} // namespace ServerUi
