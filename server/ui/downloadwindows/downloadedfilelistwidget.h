#pragma once

#include "server/core/recordingduration.h"

#include <QHash>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QTreeWidgetItem;
template <typename T> class QFutureWatcher;

namespace ServerUi {

class FileListTree;

// The recordings in a device's local folder with their audio durations
// (from the ".IND" index caches; recordings without one are indexed and
// get one), and the player on a chosen recording.
//
// The folder is listed in the GUI thread; the durations are found in
// worker threads and fill in the rows as they arrive, so a large folder
// never holds up the window. Rows are kept across refreshes by name.
// Recordings without audio ("Нет звуковых данных") are hidden unless
// "Показывать все" is checked. Parentless top-level window; GUI thread.
class DownloadedFileListWidget : public QWidget
{
    Q_OBJECT

public:
    static const QString kNoAudioText;  // "Нет звуковых данных"
    static constexpr int kDurationRole = Qt::UserRole + 1; // column 2: duration, ms

    explicit DownloadedFileListWidget(QWidget *parent = nullptr);
    // Cancels the durations still being found (never waits for them).
    ~DownloadedFileListWidget() override;

    void setPlayerFolder(const QString &folder) { playerFolder = folder; }
    QString playerMessage() const;
    FileListTree *fileTree() const { return tree; }
    // True while durations are still being found.
    bool isScanning() const;

signals:
    // The player could not be started: why (for the log).
    void errorSended(QString message);
    // Every listed recording has its duration.
    void scanFinished();

public slots:
    void setSource(QString source);
    void playtPushButtonClick();
    void addDownloadedFile();
    void showAllCheckBoxStateChange(int state);

private:
    void durationReady(int index);
    void applyVisibility(QTreeWidgetItem *row);

    FileListTree *tree;
    QCheckBox *showAllCheckBox;
    QLabel *messageLabel;
    QString source;
    QString playerFolder;
    QHash<QString, QTreeWidgetItem *> rows;
    QStringList scanNames;  // the names of the scan under way, by result index
    std::unique_ptr<QFutureWatcher<RecordingDuration>> scan;
};

} // namespace ServerUi
