#pragma once

#include <QMap>
#include <QTreeWidget>

class DeviceTreeModel;
class QMenu;

namespace ServerUi {

// The device tree of the server's main window: one top-level item per open
// settings file and one child per device, kept in step with a
// DeviceTreeModel (same order: a top-level item's position is its file's
// index, a child's position its device's index). Columns: "Имя",
// "Комментарий", "Состояние", "Источник".
//
// A context-menu request over an item runs the menu registered for the
// item's kind; over empty space nothing happens. GUI thread; the model is
// not owned and must outlive the tree.
class TreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    // Item kinds (QTreeWidgetItem::type()).
    enum ItemKind {
        ConstantFileItem = 1000,   // read-only settings file
        ConstantDeviceItem = 1001, // its device
        VariableFileItem = 1002,   // editable settings file
        VariableDeviceItem = 1003, // its device
    };
    enum Column { NameColumn = 0, CommentColumn = 1, StateColumn = 2, SourceColumn = 3, ColumnCount = 4 };
    // The widest a column grows to fit its texts (characters).
    static constexpr int kMaxColumnChars = 40;

    // Texts of the state column.
    static const QString kNotSavedText;    // "Не сохранён"
    static const QString kReadOnlyText;    // "Только для чтения"
    static const QString kUnsupportedText; // "Не поддерживаемые параметры"

    explicit TreeWidget(DeviceTreeModel *model, QWidget *parent = nullptr);

    // The menu run over items of a kind (not owned).
    void setKindMenu(int kind, QMenu *menu) { kindMenus.insert(kind, menu); }

    static bool isFileItem(const QTreeWidgetItem *item);
    // The file item of an item (itself or its parent), null for null.
    static QTreeWidgetItem *fileItemOf(QTreeWidgetItem *item);
    // Positions in the model of an item: its file, and its device (-1 for a
    // file item). False for null.
    bool positionOf(QTreeWidgetItem *item, int *file, int *device) const;
    QTreeWidgetItem *fileItem(int file) const { return topLevelItem(file); }
    QTreeWidgetItem *deviceItem(int file, int device) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void fileInsert(int file);
    void fileRemove(int file);
    void fileStateChange(int file);
    void deviceInsert(int file, int device);
    void deviceChange(int file, int device);
    void deviceRemove(int file, int device);
    void fillDevice(QTreeWidgetItem *item, int file, int device);
    // Widens the first three columns to their contents (never narrows).
    void fitColumns();
    void deviceHealthChange(int file, int device);
    // Shows a running device's health; true when its state's text changed.
    bool showHealth(QTreeWidgetItem *item, int file, int device);

    DeviceTreeModel *model;
    QMap<int, QMenu *> kindMenus;
};

} // namespace ServerUi
