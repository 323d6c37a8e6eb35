#include "channelwidget.h"

#include "recording/recordingindexer.h"
#include "player/engine/streamsamplerate.h"
#include "player/ui/dialogs/streamsummary.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace PlayerUi {

namespace {

// Column widths are those of these texts in the list's font.
const QString kDescriptionSample = QStringLiteral("[X] WWWWWWWWWWWWWWWW");
const QString kTypeSample = QStringLiteral("WWWWWW");
const QString kSummarySample = QStringLiteral("Кол-во записей: WWWWWW, общий размер: WWWWWWWW");
const QString kAudio = QStringLiteral("audio");
const QString kNoIdText = QStringLiteral("Нет идентификатора (ID): канал не воспроизводится");

} // namespace

ChannelWidget::ChannelWidget(QWidget *parent)
    : QWidget(parent)
    , m_list(new QTreeWidget(this))
    , m_ok(new QPushButton(QStringLiteral("ОК"), this))
    , m_cancel(new QPushButton(QStringLiteral("Отмена"), this))
{
    setWindowTitle(QStringLiteral("Каналы"));
    m_list->setHeaderLabels({QStringLiteral("Описание"), QStringLiteral("Тип"), QStringLiteral("Комментарий")});
    const QFontMetrics metrics(m_list->font());
    m_list->setColumnWidth(DescriptionColumn, metrics.horizontalAdvance(kDescriptionSample));
    m_list->setColumnWidth(TypeColumn, metrics.horizontalAdvance(kTypeSample));
    m_list->setColumnWidth(SummaryColumn, metrics.horizontalAdvance(kSummarySample));
    int columns = 0;
    for (int c = DescriptionColumn; c <= SummaryColumn; ++c)
        columns += m_list->columnWidth(c);
    m_list->setRootIsDecorated(false);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    // Wide enough for every column in this font, so no summary is cut.
    const QMargins outer = layout->contentsMargins();
    setMinimumWidth(columns + 2 * m_list->frameWidth() + outer.left() + outer.right());

    connect(m_ok, &QPushButton::clicked, this, &ChannelWidget::okPushButtonClick);
    connect(m_cancel, &QPushButton::clicked, this, &ChannelWidget::cancelPushButtonClick);
    // Escape closes the dialog as "Отмена" does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &ChannelWidget::cancelPushButtonClick);
}

int ChannelWidget::fill(const RecordingIndexer &indexer)
{
    m_list->clear();
    m_audioStreams = 0;
    QList<QMap<QString, QString>> descriptors;
    for (int i = 0; i < indexer.streamCount(); ++i) {
        int frameCount = 0;
        int totalLength = 0;
        const QMap<QString, QString> descriptor = indexer.descriptor(i, &frameCount, &totalLength);
        descriptors.append(descriptor);
        // A stream without a usable "ID" cannot be found again to play or
        // show: it is listed, unticked and off, with the reason.
        const bool playable = StreamSummary::idOf(descriptor) != StreamSummary::kNoId;
        const Qt::CheckState check = playable && frameCount > 0 ? Qt::Checked : Qt::Unchecked;

        auto *item = new QTreeWidgetItem;
        // Reordered by dragging between items, never dropped onto one.
        item->setFlags((item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
        if (!playable)
            item->setFlags(item->flags() & ~(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled));
        item->setText(DescriptionColumn, descriptor.value(QStringLiteral("DESCRIPTION")));
        item->setCheckState(DescriptionColumn, check);
        item->setData(DescriptionColumn, kIdRole, uint(StreamSummary::idOf(descriptor)));
        item->setData(DescriptionColumn, kSavedPositionRole, i);
        item->setData(DescriptionColumn, kSavedCheckRole, int(check));
        const QString type = descriptor.value(QStringLiteral("TYPE"));
        item->setText(TypeColumn, type);
        m_audioStreams += type == kAudio ? 1 : 0;
        item->setText(SummaryColumn, playable ? StreamSummary::text(descriptor, frameCount, totalLength) : kNoIdText);
        item->setData(SummaryColumn, kFrameCountRole, uint(frameCount));
        item->setData(SummaryColumn, kTotalLengthRole, uint(totalLength));
        m_list->addTopLevelItem(item);
    }
    m_closingByOk = false;
    emit activeStreamListChanged(activeIds());
    return StreamSampleRate::namedRate(descriptors);
}

QList<uint> ChannelWidget::activeIds() const
{
    QList<uint> ids;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_list->topLevelItem(i);
        if (item->checkState(DescriptionColumn) == Qt::Checked)
            ids.append(item->data(DescriptionColumn, kIdRole).toUInt());
    }
    return ids;
}

void ChannelWidget::okPushButtonClick()
{
    m_closingByOk = true;
    close();
}

void ChannelWidget::cancelPushButtonClick()
{
    m_closingByOk = false;
    close();
}

void ChannelWidget::closeEvent(QCloseEvent *event)
{
    if (changedSinceCommit()) {
        if (m_closingByOk)
            commit();
        else
            revert();
        emit activeStreamListChanged(activeIds());
    }
    m_closingByOk = false;
    event->accept();
}

bool ChannelWidget::changedSinceCommit() const
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_list->topLevelItem(i);
        if (item->data(DescriptionColumn, kSavedPositionRole).toInt() != i
            || item->data(DescriptionColumn, kSavedCheckRole).toInt() != int(item->checkState(DescriptionColumn)))
            return true;
    }
    return false;
}

void ChannelWidget::commit()
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        item->setData(DescriptionColumn, kSavedPositionRole, i);
        item->setData(DescriptionColumn, kSavedCheckRole, int(item->checkState(DescriptionColumn)));
    }
}

void ChannelWidget::revert()
{
    QList<QTreeWidgetItem *> items;
    while (m_list->topLevelItemCount() > 0)
        items.append(m_list->takeTopLevelItem(0));
    std::stable_sort(items.begin(), items.end(), [](const QTreeWidgetItem *a, const QTreeWidgetItem *b) {
        return a->data(DescriptionColumn, kSavedPositionRole).toInt() < b->data(DescriptionColumn, kSavedPositionRole).toInt();
    });
    for (QTreeWidgetItem *item : qAsConst(items)) {
        item->setCheckState(DescriptionColumn, Qt::CheckState(item->data(DescriptionColumn, kSavedCheckRole).toInt()));
        m_list->addTopLevelItem(item);
    }
}

} // namespace PlayerUi
