#include "treewidget.h"

#include "server/core/settings/deviceparams.h"
#include "server/core/devicetreemodel.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/log/visibletext.h"
#include "server/ui/health/healthmark.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>

namespace ServerUi {

const QString TreeWidget::kNotSavedText = QStringLiteral("Не сохранён");
const QString TreeWidget::kReadOnlyText = QStringLiteral("Только для чтения");
const QString TreeWidget::kUnsupportedText = QStringLiteral("Не поддерживаемые параметры");

namespace {

// Bit 1 (value 2) of a kind tells an editable file or device from a
// read-only one; without it a file's kind is ConstantFileItem.
constexpr int kEditableKindBit = 2;
// A device row's state column keeps the health state it shows (a file
// row's, its file state).
constexpr int kHealthRole = Qt::UserRole;

QString stateText(DeviceTreeModel::FileState state)
{
    switch (state) {
    case DeviceTreeModel::NotSaved:
        return TreeWidget::kNotSavedText;
    case DeviceTreeModel::ReadOnly:
        return TreeWidget::kReadOnlyText;
    case DeviceTreeModel::Saved:
        break;
    }
    return QString();
}

} // namespace

TreeWidget::TreeWidget(DeviceTreeModel *deviceModel, QWidget *parent)
    : QTreeWidget(parent)
    , model(deviceModel)
{
    setColumnCount(ColumnCount);
    setHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Комментарий"), QStringLiteral("Состояние"),
                     QStringLiteral("Источник")});
    const QFontMetrics metrics(font());
    const auto width = [&metrics](const QString &text) { return metrics.size(Qt::TextSingleLine, text).width(); };
    setColumnWidth(NameColumn, width(QString(10, QLatin1Char('W'))));
    setColumnWidth(CommentColumn, width(QString(16, QLatin1Char('W'))));
    setColumnWidth(StateColumn, width(QString(16, QLatin1Char('W'))));
    setColumnWidth(SourceColumn, width(QStringLiteral("WWWW://WWW.WWW.WWW.WWW:WW")));

    connect(this, &QTreeWidget::itemExpanded, this, &TreeWidget::fitColumns, Qt::QueuedConnection);
    connect(model, &DeviceTreeModel::fileInserted, this, &TreeWidget::fileInsert);
    connect(model, &DeviceTreeModel::fileAboutToBeRemoved, this, &TreeWidget::fileRemove);
    connect(model, &DeviceTreeModel::fileStateChanged, this, &TreeWidget::fileStateChange);
    connect(model, &DeviceTreeModel::deviceInserted, this, &TreeWidget::deviceInsert);
    connect(model, &DeviceTreeModel::deviceChanged, this, &TreeWidget::deviceChange);
    connect(model, &DeviceTreeModel::deviceAboutToBeRemoved, this, &TreeWidget::deviceRemove);
    connect(model, &DeviceTreeModel::deviceHealthChanged, this, &TreeWidget::deviceHealthChange);
}

bool TreeWidget::isFileItem(const QTreeWidgetItem *item)
{
    return item && (item->type() & ~kEditableKindBit) == ConstantFileItem;
}

QTreeWidgetItem *TreeWidget::fileItemOf(QTreeWidgetItem *item)
{
    while (item && !isFileItem(item))
        item = item->parent();
    return item;
}

bool TreeWidget::positionOf(QTreeWidgetItem *item, int *file, int *device) const
{
    QTreeWidgetItem *fileItem = fileItemOf(item);
    if (!fileItem)
        return false;
    *file = indexOfTopLevelItem(fileItem);
    *device = item == fileItem ? -1 : fileItem->indexOfChild(item);
    return *file >= 0;
}

QTreeWidgetItem *TreeWidget::deviceItem(int file, int device) const
{
    QTreeWidgetItem *parentItem = topLevelItem(file);
    return parentItem ? parentItem->child(device) : nullptr;
}

// Mouse requests arrive through the viewport, in its coordinates; a
// keyboard request (the menu key) is for the current item.
void TreeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    const bool mouse = event->reason() == QContextMenuEvent::Mouse;
    QTreeWidgetItem *item = mouse ? itemAt(event->pos()) : currentItem();
    if (!item)
        return;
    QMenu *menu = kindMenus.value(item->type());
    if (!menu)
        return;
    menu->exec(mouse ? event->globalPos() : viewport()->mapToGlobal(visualItemRect(item).center()));
}

void TreeWidget::fileInsert(int file)
{
    const QString path = model->filePath(file);
    // A file that was not read whole is shown read-only, whatever its type.
    auto *item = new QTreeWidgetItem(model->isFileEditable(file) ? VariableFileItem : ConstantFileItem);
    item->setText(NameColumn, visibleText(path.section(QLatin1Char('/'), -1)));
    item->setData(NameColumn, Qt::UserRole, path);
    const QString folder = path.section(QLatin1Char('/'), 0, -2);
    item->setText(SourceColumn, visibleText(folder));
    item->setData(SourceColumn, Qt::UserRole, folder);
    insertTopLevelItem(file, item);
    fileStateChange(file);
    fitColumns();
}

void TreeWidget::fileRemove(int file)
{
    std::unique_ptr<QTreeWidgetItem> item(takeTopLevelItem(file));
}

void TreeWidget::fileStateChange(int file)
{
    QTreeWidgetItem *item = topLevelItem(file);
    const DeviceTreeModel::FileState state = model->fileState(file);
    item->setText(StateColumn, stateText(state));
    item->setData(StateColumn, Qt::UserRole, int(state));
}

void TreeWidget::deviceInsert(int file, int device)
{
    QTreeWidgetItem *parentItem = topLevelItem(file);
    auto *item = new QTreeWidgetItem(parentItem->type() == ConstantFileItem ? ConstantDeviceItem : VariableDeviceItem);
    parentItem->insertChild(device, item);
    fillDevice(item, file, device);
}

void TreeWidget::deviceChange(int file, int device)
{
    fillDevice(deviceItem(file, device), file, device);
}

void TreeWidget::deviceRemove(int file, int device)
{
    std::unique_ptr<QTreeWidgetItem> item(topLevelItem(file)->takeChild(device));
}

void TreeWidget::fillDevice(QTreeWidgetItem *item, int file, int device)
{
    const QStringList params = model->deviceParams(file, device);
    item->setText(NameColumn, visibleText(paramValue(params, DeviceParam::Type)));
    item->setText(CommentColumn, visibleText(paramValue(params, DeviceParam::Comment)));
    item->setText(StateColumn, model->isDeviceSupported(file, device) ? QString() : kUnsupportedText);
    item->setIcon(StateColumn, QIcon());
    item->setToolTip(StateColumn, QString());
    item->setData(StateColumn, kHealthRole, QVariant());
    item->setText(SourceColumn, visibleText(paramValue(params, DeviceParam::Url)));
    // Long texts are cut to the column's width; the tool tip shows them whole.
    for (int column : {NameColumn, CommentColumn, SourceColumn})
        item->setToolTip(column, item->text(column));
    item->setData(SourceColumn, Qt::UserRole, QVariant::fromValue(model->downloader(file, device)));
    item->setData(SourceColumn, Qt::UserRole + 1, QVariant::fromValue(model->scheduler(file, device)));
    showHealth(item, file, device);
    fitColumns();
}

// Most reports change only the figures: the columns are measured again
// (every row of the tree) only when a state's text changed.
void TreeWidget::deviceHealthChange(int file, int device)
{
    QTreeWidgetItem *item = deviceItem(file, device);
    if (item && showHealth(item, file, device))
        fitColumns();
}

bool TreeWidget::showHealth(QTreeWidgetItem *item, int file, int device)
{
    DeviceHealthRecord health;
    if (!model->deviceHealth(file, device, &health))
        return false;
    item->setToolTip(StateColumn, health.figuresText());
    const QVariant shown = item->data(StateColumn, kHealthRole);
    if (shown.isValid() && shown.toInt() == int(health.state))
        return false;
    item->setText(StateColumn, healthText(health.state));
    item->setIcon(StateColumn, healthMark(health.state));
    item->setData(StateColumn, kHealthRole, int(health.state));
    return true;
}

// Names and state texts are shown whole up to kMaxColumnChars characters
// (longer ones are cut, their tool tips show them whole), so that a long
// comment never pushes the state and the source out of view; the last
// column takes the rest.
void TreeWidget::fitColumns()
{
    const int widest = QFontMetrics(font()).averageCharWidth() * kMaxColumnChars;
    for (int column = NameColumn; column < SourceColumn; ++column) {
        const int needed = qMin(sizeHintForColumn(column), widest);
        if (needed > columnWidth(column))
            setColumnWidth(column, needed);
    }
}

} // namespace ServerUi
