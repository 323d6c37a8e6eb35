#include "logwidget.h"

#include "player/ui/panels/playcontrolwidget.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

#include <limits>
#include <memory>

namespace PlayerUi {

namespace {

const QString kTitle = QStringLiteral("Журнал");
constexpr qint64 kBytesPerMiB = 1024 * 1024;
const QString kColumn0Sample = QStringLiteral(">> 00.00.0000 00:00:00 ");
constexpr int kWidth = 560; // pixels, at start
constexpr int kHeight = 480;

// A list row for an entry; the caller takes it.
QTreeWidgetItem *makeItem(const JournalModel::Entry &e)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, e.time.toString(JournalModel::kDateTimeFormat));
    item->setData(0, Qt::UserRole, e.time);
    item->setText(1, e.comment);
    return item;
}

} // namespace

LogWidget::LogWidget(QWidget *parent)
    : QWidget(parent)
{
    buildLayout();
    connectControls();
    updateTitle();
    resize(kWidth, kHeight);
}

LogWidget::~LogWidget()
{
    // The list is emptied after this object's members are gone: that is no
    // change of the journal to tell anyone about.
    disconnect(m_list->model(), nullptr, this, nullptr);
}

void LogWidget::buildLayout()
{
    m_list = new QTreeWidget;
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("Временная метка"), QStringLiteral("Комментарий")});
    m_list->setRootIsDecorated(false);
    m_list->setColumnWidth(0, m_list->fontMetrics().horizontalAdvance(kColumn0Sample));
    m_playControl = new PlayControlWidget;
    m_entryEditor = new QDateTimeEdit;
    m_entryEditor->setDisplayFormat(JournalModel::kDateTimeFormat);
    m_entryEditor->setWrapping(true);
    m_entryEditor->setTimeSpec(Qt::UTC);
    m_entryEditor->setDateTime(JournalModel::wallClock(QDateTime::currentDateTime()));
    m_commentEditor = new QLineEdit;
    m_commentEditor->setPlaceholderText(QStringLiteral("Введите Комментарий"));
    m_commentEditor->setMaxLength(JournalModel::kMaxCommentChars);
    m_addCurrent = new QPushButton(QStringLiteral("Добавить текущий"));
    m_add = new QPushButton(QStringLiteral("Добавить"));
    m_change = new QPushButton(QStringLiteral("Изменить"));
    m_remove = new QPushButton(QStringLiteral("Удалить"));
    m_new = new QPushButton(QStringLiteral("Новый"));
    m_open = new QPushButton(QStringLiteral("Открыть"));
    m_save = new QPushButton(QStringLiteral("Сохранить"));

    auto *editors = new QHBoxLayout;
    editors->addWidget(m_entryEditor);
    editors->addWidget(m_commentEditor, 1);
    auto *entryButtons = new QHBoxLayout;
    for (QPushButton *b : {m_addCurrent, m_add, m_change, m_remove})
        entryButtons->addWidget(b);
    auto *fileButtons = new QHBoxLayout;
    for (QPushButton *b : {m_new, m_open, m_save})
        fileButtons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_playControl);
    layout->addLayout(editors);
    layout->addLayout(entryButtons);
    layout->addLayout(fileButtons);
}

void LogWidget::connectControls()
{
    connect(m_list, &QTreeWidget::itemClicked, this, &LogWidget::treeWidgetItemClick);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &LogWidget::treeWidgetItemDoubleClick);
    connect(m_addCurrent, &QPushButton::clicked, this, &LogWidget::addCurrentPushButtonClick);
    connect(m_add, &QPushButton::clicked, this, &LogWidget::addPushButtonClick);
    connect(m_change, &QPushButton::clicked, this, &LogWidget::changePushButtonClick);
    connect(m_remove, &QPushButton::clicked, this, &LogWidget::removePushButtonClick);
    connect(m_new, &QPushButton::clicked, this, &LogWidget::newPushButtonClick);
    connect(m_open, &QPushButton::clicked, this, &LogWidget::openPushButtonClick);
    connect(m_save, &QPushButton::clicked, this, &LogWidget::savePushButtonClick);
    // The list mirrors the journal: every change of it shows there.
    connect(m_list->model(), &QAbstractItemModel::rowsInserted, this, &LogWidget::entriesChanged);
    connect(m_list->model(), &QAbstractItemModel::rowsRemoved, this, &LogWidget::entriesChanged);
    connect(m_list->model(), &QAbstractItemModel::modelReset, this, &LogWidget::entriesChanged);
    connect(m_commentEditor, &QLineEdit::returnPressed, this, [this] {
        if (!m_bookmarking)
            return;
        m_bookmarking = false;
        changePushButtonClick();
        emit bookmarkCommented();
    });
}

void LogWidget::bookmark(const QDateTime &at)
{
    m_modified = true;
    QTreeWidgetItem *item = insertItem(m_model.add(at, QString()));
    m_list->setCurrentItem(item);
    m_selected = item;
    showEntryInEditors(item);
    m_bookmarking = true;
    raise();
    activateWindow();
    m_commentEditor->setFocus();
}

// --- the recording and playback ----------------------------------------------------

void LogWidget::setBase(QDateTime base)
{
    if (base == m_playControl->base())
        return;
    m_playControl->setBase(base);
    m_entryEditor->setDateTime(JournalModel::wallClock(base));
}

double LogWidget::offsetOf(const JournalModel::Entry &entry) const
{
    return double(wallClockBase().msecsTo(entry.time));
}

QDateTime LogWidget::wallClockBase() const
{
    const QDateTime base = m_playControl->base();
    return QDateTime(base.date(), base.time(), Qt::UTC);
}

void LogWidget::currentStateChanged(uint ts, int state)
{
    followPlayback(ts, state);
}

void LogWidget::currentStateChanged(double ts, int state)
{
    const double clamped = qBound(0.0, ts, double(std::numeric_limits<uint>::max()));
    m_playControl->currentStateChange(uint(clamped), state);
    followPlayback(clamped, state);
}

void LogWidget::followPlayback(double ts, int state)
{
    if (state != PlayControlWidget::Playing || m_model.isEmpty() || m_list->hasFocus())
        return;
    const int i = m_model.lastAtOrBefore(wallClockBase().addMSecs(qint64(ts)));
    if (i < 0)
        return;
    QTreeWidgetItem *item = m_list->topLevelItem(i);
    m_selected = item;
    if (m_list->currentItem() != item) {
        m_list->setCurrentItem(item);
        m_list->scrollToItem(item, QAbstractItemView::PositionAtCenter);
    }
}

void LogWidget::treeWidgetItemDoubleClick(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    if (!item)
        return;
    const QDateTime base = wallClockBase();
    const QDateTime t = item->data(0, Qt::UserRole).toDateTime();
    // An entry further than 32 bits of ms away asks for the farthest offset.
    const qint64 ms = t < base ? 0 : base.msecsTo(t);
    emit m_playControl->moved(uint(qMin<qint64>(ms, std::numeric_limits<uint>::max())));
}

// --- entries -------------------------------------------------------------------------

QTreeWidgetItem *LogWidget::insertItem(int position)
{
    QTreeWidgetItem *item = makeItem(m_model.at(position));
    m_list->insertTopLevelItem(position, item);
    return item;
}

void LogWidget::fillList()
{
    m_selected = nullptr;
    m_list->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(m_model.count());
    for (const JournalModel::Entry &e : m_model.entries())
        items.append(makeItem(e));
    m_list->addTopLevelItems(items);
}

void LogWidget::addCurrentPushButtonClick()
{
    m_modified = true;
    insertItem(m_model.add(m_playControl->shownDateTime(), QString()));
}

void LogWidget::addPushButtonClick()
{
    m_modified = true;
    QTreeWidgetItem *item = insertItem(m_model.add(m_entryEditor->dateTime(), m_commentEditor->text()));
    m_list->setCurrentItem(item);
    m_selected = item;
}

void LogWidget::changePushButtonClick()
{
    if (!m_selected)
        return;
    m_modified = true;
    const int old = m_list->indexOfTopLevelItem(m_selected);
    const std::unique_ptr<QTreeWidgetItem> taken(m_list->takeTopLevelItem(old));
    m_selected = insertItem(m_model.change(old, m_entryEditor->dateTime(), m_commentEditor->text()));
    m_list->setCurrentItem(m_selected);
}

void LogWidget::removePushButtonClick()
{
    if (!m_selected)
        return;
    m_modified = true;
    const int i = m_list->indexOfTopLevelItem(m_selected);
    m_model.remove(i);
    const std::unique_ptr<QTreeWidgetItem> taken(m_list->takeTopLevelItem(i));
    m_selected = m_list->currentItem();
    if (m_selected)
        showEntryInEditors(m_selected);
    else
        m_commentEditor->clear();
}

void LogWidget::treeWidgetItemClick(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    m_selected = item;
    if (item)
        showEntryInEditors(item);
}

void LogWidget::showEntryInEditors(const QTreeWidgetItem *item)
{
    const QDateTime t = item->data(0, Qt::UserRole).toDateTime();
    m_entryEditor->setDateTime(t);
    m_commentEditor->setText(item->text(1));
}

// --- files ---------------------------------------------------------------------------

void LogWidget::updateTitle()
{
    setWindowTitle(m_fileName.isEmpty() ? kTitle : m_fileName.section(QLatin1Char('/'), -1) + QLatin1Char(' ') + kTitle);
}

void LogWidget::openFile(QString fileName)
{
    JournalModel loaded;
    JournalModel::LoadReport report;
    const JournalModel::LoadResult result = loaded.load(fileName, &report);
    if (result != JournalModel::LoadResult::Loaded) {
        showNotice(QMessageBox::Warning,
                   result == JournalModel::LoadResult::TooLarge
                       ? QStringLiteral("Файл %1 больше %2 МБ: это не журнал.").arg(fileName).arg(JournalModel::kMaxFileBytes / kBytesPerMiB)
                       : QStringLiteral("Не удалось открыть файл %1.").arg(fileName),
                   QString());
        return;
    }
    m_model = loaded;
    m_fileName = fileName;
    m_modified = false;
    m_incompleteFile = report.isComplete() ? QString() : fileName;
    m_incompleteUnread = report.unread;
    updateTitle();
    fillList();
    if (!report.isComplete()) {
        showNotice(QMessageBox::Warning, QStringLiteral("%1 записей не прочитано.").arg(report.unread),
                   QStringLiteral("Первая причина: %1. Файл не будет перезаписан без вопроса.").arg(report.firstReason));
    }
}

void LogWidget::showNotice(QMessageBox::Icon icon, const QString &text, const QString &details)
{
    delete m_notice;
    m_notice = new QMessageBox(icon, kTitle, text, QMessageBox::Ok, this);
    m_notice->setInformativeText(details);
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    m_notice->setWindowModality(Qt::WindowModal);
    m_notice->show();
}

void LogWidget::setDateValid(bool valid)
{
    m_addCurrent->setEnabled(valid);
    m_addCurrent->setToolTip(valid ? QString()
                                   : QStringLiteral("Дата записи неверна: положение в записи не связано с датой"));
}

void LogWidget::saveFileChecked(const QString &fileName, const std::function<void(bool)> &then)
{
    if (m_incompleteFile.isEmpty() || fileName != m_incompleteFile) {
        then(saveFileAs(fileName));
        return;
    }
    if (m_notice) {
        then(false);
        return;
    }
    m_notice = new QMessageBox(QMessageBox::Question, kTitle,
                               QStringLiteral("%1 записей не прочитано. Перезаписать файл?").arg(m_incompleteUnread),
                               QMessageBox::NoButton, this);
    m_notice->setInformativeText(QStringLiteral("Перезапись удалит из файла %1 записи, которых нет в журнале.").arg(fileName));
    QAbstractButton *overwrite = m_notice->addButton(QStringLiteral("Перезаписать"), QMessageBox::DestructiveRole);
    QAbstractButton *saveAs = m_notice->addButton(QStringLiteral("Сохранить как..."), QMessageBox::AcceptRole);
    m_notice->addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    m_notice->setDefaultButton(static_cast<QPushButton *>(saveAs));
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    m_notice->setWindowModality(Qt::WindowModal);
    QMessageBox *box = m_notice;
    connect(box, &QMessageBox::buttonClicked, this, [this, box, fileName, then, overwrite, saveAs](QAbstractButton *button) {
        box->deleteLater();
        m_notice = nullptr;
        if (button == overwrite) {
            const bool saved = saveFileAs(fileName);
            if (saved)
                m_incompleteFile.clear();
            then(saved);
        } else if (button == saveAs) {
            askFileName(
                true, [this, then](const QString &name) { saveFileChecked(name, then); }, [then] { then(false); });
        } else {
            then(false);
        }
    });
    box->show();
}

bool LogWidget::saveFile()
{
    return saveFileAs(m_fileName);
}

bool LogWidget::saveFileAs(QString fileName)
{
    QString error;
    if (fileName.isEmpty() || !m_model.save(fileName, &error)) {
        auto *box = new QMessageBox(QMessageBox::Warning, kTitle, QStringLiteral("Не удалось сохранить журнал."),
                                    QMessageBox::Ok, this);
        box->setInformativeText(QStringLiteral("%1: %2").arg(fileName, error));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->show();
        return false;
    }
    m_fileName = fileName;
    m_modified = false;
    updateTitle();
    return true;
}

void LogWidget::clearJournal()
{
    m_fileName.clear();
    m_incompleteFile.clear();
    m_modified = false;
    updateTitle();
    m_model.clear();
    fillList();
}

void LogWidget::askToSave(const AnswerHandler &then)
{
    if (!m_modified) {
        then(Answer::NoChanges);
        return;
    }
    if (m_question)
        return;
    m_question = new QMessageBox(QMessageBox::Question, kTitle, QStringLiteral("Данные были изменены"),
                                 QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    m_question->setInformativeText(QStringLiteral("Хотите сохранить изменения?"));
    m_question->setDefaultButton(QMessageBox::Save);
    m_question->setAttribute(Qt::WA_DeleteOnClose);
    m_question->setWindowModality(Qt::WindowModal);
    QMessageBox *box = m_question;
    connect(box, &QMessageBox::buttonClicked, this, [this, box, then](QAbstractButton *button) {
        const QMessageBox::StandardButton which = box->standardButton(button);
        m_question = nullptr;
        box->deleteLater();
        then(which == QMessageBox::Save ? Answer::Save : which == QMessageBox::Discard ? Answer::Discard : Answer::Cancel);
    });
    box->show();
}

void LogWidget::saveThen(const std::function<void()> &done, const std::function<void()> &dropped)
{
    const auto afterSave = [done, dropped](bool saved) {
        if (saved)
            done();
        else if (dropped)
            dropped();
    };
    if (!m_fileName.isEmpty()) {
        saveFileChecked(m_fileName, afterSave);
        return;
    }
    askFileName(
        true, [this, afterSave](const QString &name) { saveFileChecked(name, afterSave); },
        [dropped] {
            if (dropped)
                dropped();
        });
}

void LogWidget::askFileName(bool forSaving, const std::function<void(QString)> &chosen,
                            const std::function<void()> &dropped)
{
    if (m_fileDialog) {
        if (dropped)
            dropped();
        return;
    }
    m_fileDialog = new QFileDialog(this, forSaving ? tr("Save log file as") : tr("Open log file"), QStringLiteral("."),
                                   tr("All files( *.* )"));
    m_fileDialog->setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    m_fileDialog->setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    m_fileDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_fileDialog, &QFileDialog::fileSelected, this, [chosen, dropped](const QString &name) {
        if (!name.isEmpty())
            chosen(name);
        else if (dropped)
            dropped();
    });
    if (dropped)
        connect(m_fileDialog, &QDialog::rejected, this, dropped);
    m_fileDialog->open();
}

void LogWidget::newPushButtonClick()
{
    askToSave([this](Answer answer) {
        if (answer == Answer::Save)
            saveThen([] {});
        else if (answer != Answer::Cancel)
            clearJournal();
    });
}

void LogWidget::openPushButtonClick()
{
    askToSave([this](Answer answer) {
        if (answer == Answer::Save)
            saveThen([] {});
        else if (answer != Answer::Cancel)
            askFileName(false, [this](const QString &name) { openFile(name); });
    });
}

void LogWidget::savePushButtonClick()
{
    askFileName(true, [this](const QString &name) { saveFileChecked(name, [](bool) {}); });
}

void LogWidget::closeEvent(QCloseEvent *event)
{
    if (!m_modified || m_closeAgreed) {
        m_closeAgreed = false;
        event->accept();
        return;
    }
    event->ignore();
    askToSave([this](Answer answer) {
        if (answer == Answer::Cancel) {
            emit closeCancelled();
            return;
        }
        const auto closeNow = [this] {
            m_closeAgreed = true;
            close();
        };
        if (answer == Answer::Save)
            saveThen(closeNow, [this] { emit closeCancelled(); });
        else
            closeNow();
    });
}

} // namespace PlayerUi
