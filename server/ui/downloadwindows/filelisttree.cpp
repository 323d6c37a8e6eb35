#include "filelisttree.h"
#include "server/core/log/visibletext.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

namespace ServerUi {

namespace {

// Column widths in letters "W" of the tree's font.
constexpr int kNameLetters = 16;
constexpr int kDateLetters = 16;
constexpr int kSizeLetters = 9;
// The widest comment the windows write, and the room a cell keeps around
// its text (pixels, both sides together).
const QString kWidestComment = QStringLiteral("Загружен на 100 %");
constexpr int kCellPadding = 24;

int lettersWidth(const QFontMetrics &metrics, int letters)
{
    return metrics.size(Qt::TextSingleLine, QString(letters, QLatin1Char('W'))).width();
}

} // namespace

FileListTree::FileListTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(ColumnCount);
    setHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Дата"), QStringLiteral("Размер"),
                     QStringLiteral("Комментарий")});
    setRootIsDecorated(false);
    // Every row is one line of text: the view need not measure each row
    // again whenever a duration arrives in a list of thousands.
    setUniformRowHeights(true);
    const QFontMetrics metrics(font());
    setColumnWidth(NameColumn, lettersWidth(metrics, kNameLetters));
    setColumnWidth(DateColumn, lettersWidth(metrics, kDateLetters));
    setColumnWidth(SizeColumn, lettersWidth(metrics, kSizeLetters));
    setColumnWidth(CommentColumn, qMax(lettersWidth(metrics, kDateLetters),
                                       metrics.size(Qt::TextSingleLine, kWidestComment).width() + kCellPadding));
    // Wide enough for every column: no comment is cut.
    int columns = 0;
    for (int column = 0; column < ColumnCount; ++column)
        columns += columnWidth(column);
    setMinimumWidth(columns + 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

QTreeWidgetItem *FileListTree::rowNamed(const QString &name) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (nameOf(topLevelItem(i)) == name)
            return topLevelItem(i);
    }
    return nullptr;
}

void FileListTree::setName(QTreeWidgetItem *row, const QString &name)
{
    row->setText(NameColumn, visibleText(name));
    row->setData(NameColumn, Qt::UserRole, name);
}

QString FileListTree::nameOf(const QTreeWidgetItem *row)
{
    return row->data(NameColumn, Qt::UserRole).toString();
}

void layOutFileWindow(QWidget *window, QTreeWidget *tree, const QList<QWidget *> &side)
{
    auto *column = new QVBoxLayout;
    for (QWidget *widget : side)
        column->addWidget(widget);
    column->addStretch();
    auto *layout = new QHBoxLayout(window);
    layout->addWidget(tree, 1);
    layout->addLayout(column);
}

} // namespace ServerUi
