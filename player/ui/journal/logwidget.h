// LogWidget: the bookmark journal window.
#pragma once

#include "player/ui/journal/journalmodel.h"

#include <QDateTime>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QDateTimeEdit;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace PlayerUi {

class PlayControlWidget;

// The bookmark journal window: time stamps with comments, kept sorted by
// time (JournalModel) and stored in an XML file. Entries are added from
// the entry editor or from the embedded play panel's position, changed and
// removed; during playback the entry at or before the play position is
// highlighted, and a double click asks for a seek to an entry through the
// play panel's moved(uint).
//
// The question about unsaved changes and the file dialogs are shown
// without blocking: the command goes on when they are answered. A save
// that fails keeps the journal's changes, tells the user and keeps the
// window open.
//
// Offsets are ms after the recording's base. Top-level window, GUI thread.
class LogWidget : public QWidget
{
    Q_OBJECT

public:
    enum class Answer { Save, Discard, Cancel, NoChanges };

    explicit LogWidget(QWidget *parent = nullptr);
    ~LogWidget() override;

    const JournalModel &model() const { return m_model; }
    QString fileName() const { return m_fileName; }
    bool isModified() const { return m_modified; }
    PlayControlWidget *playControl() const { return m_playControl; }
    QTreeWidget *entryList() const { return m_list; }
    QDateTimeEdit *entryEditor() const { return m_entryEditor; }
    QLineEdit *commentEditor() const { return m_commentEditor; }
    // The question about unsaved changes while it is shown, else null.
    QMessageBox *question() const { return m_question; }
    // The open or save file dialog while it is shown, else null.
    QFileDialog *fileDialog() const { return m_fileDialog; }
    // The message about a journal file not read whole, or the question
    // before overwriting it, while shown; else null.
    QMessageBox *notice() const { return m_notice; }
    QPushButton *addCurrentButton() const { return m_addCurrent; }
    // The recording's date is no date (its times are offsets): entries
    // cannot be taken from the play position then.
    void setDateValid(bool valid);

public slots:
    void setBase(QDateTime base);
    // Loads a journal; a file that cannot be read changes nothing.
    void openFile(QString fileName);
    bool saveFile();
    // Writes the journal (temporary file renamed over the old one); a
    // failed save changes nothing and is told. Returns whether it saved.
    bool saveFileAs(QString fileName);
    // Saves to fileName, but asks first when it is the file that was
    // loaded incompletely (its unread entries would be lost): overwrite,
    // save under another name, or cancel. `then` gets whether it saved.
    void saveFileChecked(const QString &fileName, const std::function<void(bool)> &then);
    void treeWidgetItemClick(QTreeWidgetItem *item, int column);
    void treeWidgetItemDoubleClick(QTreeWidgetItem *item, int column);
    void addCurrentPushButtonClick();
    void addPushButtonClick();
    void changePushButtonClick();
    void removePushButtonClick();
    void newPushButtonClick();
    void openPushButtonClick();
    void savePushButtonClick();
    // ts: the play position (ms after the base); state: 1 playing, 0 not.
    void currentStateChanged(uint ts, int state);
    // Also feeds the embedded play panel.
    void currentStateChanged(double ts, int state);
    // The player's B: an entry at `at` (the playhead) with an empty
    // comment, selected, and the comment editor given the keyboard; Enter
    // there stores the comment and sends bookmarkCommented().
    void bookmark(const QDateTime &at);

public:
    // An entry's time as ms after the recording's base.
    double offsetOf(const JournalModel::Entry &entry) const;

public slots:

signals:
    // The question about unsaved changes, asked on closing, was answered
    // "Cancel": the journal stays open.
    void closeCancelled();
    void bookmarkCommented();
    // An entry was added, changed or removed, or another journal was opened.
    void entriesChanged();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    using AnswerHandler = std::function<void(Answer)>;

    void buildLayout();
    void connectControls();
    // Asks about unsaved changes (or answers NoChanges at once) and hands
    // the answer on; nothing when a question is already shown.
    void askToSave(const AnswerHandler &then);
    // Saves under the stored name or, without one, a name asked for; runs
    // `done` once the journal is saved.
    // Saves, asking for a name when there is none, then runs `done`; runs
    // `dropped` instead when the save fails or the name is not given.
    void saveThen(const std::function<void()> &done, const std::function<void()> &dropped = {});
    void askFileName(bool forSaving, const std::function<void(QString)> &chosen,
                     const std::function<void()> &dropped = {});
    void clearJournal();
    void showNotice(QMessageBox::Icon icon, const QString &text, const QString &details);
    void fillList();
    QTreeWidgetItem *insertItem(int position);
    void showEntryInEditors(const QTreeWidgetItem *item);
    void updateTitle();
    void followPlayback(double ts, int state);
    QDateTime wallClockBase() const;

    JournalModel m_model;
    QTreeWidget *m_list = nullptr; // children; items in model order
    PlayControlWidget *m_playControl = nullptr;
    QDateTimeEdit *m_entryEditor = nullptr;
    QLineEdit *m_commentEditor = nullptr;
    QPushButton *m_addCurrent = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_change = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_new = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_save = nullptr;
    QTreeWidgetItem *m_selected = nullptr; // an item of m_list, or null
    QString m_fileName;                    // empty for a new journal
    bool m_modified = false;
    bool m_bookmarking = false;            // Enter in the comment editor stores a bookmark's comment
    bool m_closeAgreed = false;            // the question was answered for closing
    QPointer<QMessageBox> m_question;      // child, deleted when answered
    QPointer<QFileDialog> m_fileDialog;    // child, deleted when closed
    QPointer<QMessageBox> m_notice;        // child, deleted when closed
    // The file last loaded, when it was not read whole: how many entries
    // it held that the journal has not.
    QString m_incompleteFile;
    int m_incompleteUnread = 0;
};

} // namespace PlayerUi
