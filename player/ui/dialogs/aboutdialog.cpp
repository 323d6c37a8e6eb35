#include "aboutdialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace PlayerUi {

namespace {

constexpr int kWidth = 520; // pixels
constexpr int kHeight = 560;

// "Открыть..." -> "Открыть"; "&Файл" -> "Файл".
QString plainText(const QAction *action)
{
    QString text = action->text();
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QLatin1String("...")))
        text.chop(3);
    return text;
}

QString keysOf(const QAction *action)
{
    QStringList keys;
    for (const QKeySequence &key : action->shortcuts())
        keys.append(key.toString(QKeySequence::NativeText));
    return keys.join(QStringLiteral(", "));
}

} // namespace

AboutDialog::AboutDialog(const QString &about, const QList<QAction *> &actions, QWidget *parent)
    : QDialog(parent)
    , m_pages(new QTabWidget(this))
    , m_keys(new QTableWidget(this))
{
    setWindowTitle(QStringLiteral("О программе"));
    auto *aboutLabel = new QLabel(about);
    aboutLabel->setWordWrap(true);
    aboutLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    aboutLabel->setMargin(12);
    m_pages->addTab(aboutLabel, QStringLiteral("О программе"));

    m_keys->setColumnCount(2);
    m_keys->setHorizontalHeaderLabels({QStringLiteral("Действие"), QStringLiteral("Клавиши")});
    m_keys->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_keys->verticalHeader()->hide();
    m_keys->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_keys->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    for (const QAction *action : actions) {
        if (action->shortcuts().isEmpty())
            continue;
        const int row = m_keys->rowCount();
        m_keys->insertRow(row);
        m_keys->setItem(row, 0, new QTableWidgetItem(plainText(action)));
        m_keys->setItem(row, 1, new QTableWidgetItem(keysOf(action)));
    }
    m_pages->addTab(m_keys, QStringLiteral("Клавиши"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(buttons);
    resize(kWidth, kHeight);
}

} // namespace PlayerUi
