#pragma once

#include <QList>
#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class RecordingIndexer;

namespace PlayerUi {

// The channel dialog: every stream of the opened recording with its type
// and a summary; the user ticks the streams to show and play and drags them
// into another order. "ОК" commits the choice, "Отмена" (or the window's
// close button) reverts to the last committed one; either way the dialog
// reports the active stream ids in display order when anything changed.
// Lives as long as the main window; closing only hides it. GUI thread only.
class ChannelWidget : public QWidget
{
    Q_OBJECT

public:
    // Roles of column 0 ...
    static constexpr int kIdRole = Qt::UserRole;
    static constexpr int kSavedPositionRole = Qt::UserRole + 1;
    static constexpr int kSavedCheckRole = Qt::UserRole + 2;
    // ... and of column 2.
    static constexpr int kFrameCountRole = Qt::UserRole;
    static constexpr int kTotalLengthRole = Qt::UserRole + 1;
    enum Column { DescriptionColumn = 0, TypeColumn = 1, SummaryColumn = 2 };

    explicit ChannelWidget(QWidget *parent = nullptr);

    // Lists the indexer's streams (those with frames ticked, in recording
    // order) and reports them as active. Returns the sample rate the audio
    // streams name (the last one's "/rate"; 0 when it names none).
    int fill(const RecordingIndexer &indexer);
    // Ids of the ticked streams in display order.
    QList<uint> activeIds() const;
    // Audio streams listed by the last fill.
    int audioStreamCount() const { return m_audioStreams; }
    QTreeWidget *streamList() const { return m_list; }

signals:
    void activeStreamListChanged(QList<uint> activeStreamList);

public slots:
    void okPushButtonClick();
    void cancelPushButtonClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool changedSinceCommit() const;
    void commit();
    void revert();

    QTreeWidget *m_list;      // child
    QPushButton *m_ok;        // child
    QPushButton *m_cancel;    // child
    bool m_closingByOk = false;
    int m_audioStreams = 0;
};

} // namespace PlayerUi
