#pragma once

#include <QTreeWidget>

namespace ServerUi {

// The file tree both download windows show: columns "Имя", "Дата",
// "Размер", "Комментарий", widened for typical names, dates and sizes.
// Rows carry a refresh mark in column 3 (user role + 1).
class FileListTree : public QTreeWidget
{
    Q_OBJECT

public:
    enum Column { NameColumn = 0, DateColumn = 1, SizeColumn = 2, CommentColumn = 3, ColumnCount = 4 };
    static constexpr int kMarkRole = Qt::UserRole + 1;

    explicit FileListTree(QWidget *parent = nullptr);

    // The top-level row of the file name; null when none.
    QTreeWidgetItem *rowNamed(const QString &name) const;
    // A row's file name: shown in column 0 with its control characters
    // escaped, kept as it is in column 0's user role.
    static void setName(QTreeWidgetItem *row, const QString &name);
    static QString nameOf(const QTreeWidgetItem *row);
};

// Builds a download window's layout: the tree on the left and the given
// buttons (and widgets) on the right, top to bottom, then stretch.
void layOutFileWindow(QWidget *window, QTreeWidget *tree, const QList<QWidget *> &side);

} // namespace ServerUi
