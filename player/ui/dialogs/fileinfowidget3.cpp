#include "fileinfowidget3.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace PlayerUi {

namespace {

const QString kParameterSample = QStringLiteral(">> >>>> FIRMWAREVERSION");
const QString kValueSample = QStringLiteral("88.88.8888 88:88 UTC+88");
constexpr int kWidth = 400;  // pixels
constexpr int kHeight = 300;
constexpr int kScrollBarAllowance = 20; // pixels

} // namespace

FileInfoWidget3::FileInfoWidget3(QWidget *parent)
    : QDialog(parent)
    , m_note(new QLabel(this))
    , m_list(new QTreeWidget(this))
{
    setWindowTitle(tr("File information"));
    m_note->setWordWrap(true);
    m_note->hide();
    m_list->setHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
    const QFontMetrics metrics(m_list->font());
    m_list->setColumnWidth(0, metrics.horizontalAdvance(kParameterSample));
    m_list->setColumnWidth(1, metrics.horizontalAdvance(kValueSample));

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_note);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);

    resize(kWidth, kHeight);
    setModal(true);
}

void FileInfoWidget3::setInvalidDate(const QString &dateText)
{
    m_note->setText(QStringLiteral("Дата записи неверна (DATETIME: «%1»): время показано от начала записи.").arg(dateText));
    m_note->show();
}

void FileInfoWidget3::setSettings(QMap<QString, QMap<QString, QString>> settings)
{
    m_list->clear();
    for (auto section = settings.cbegin(); section != settings.cend(); ++section) {
        auto *top = new QTreeWidgetItem(m_list, {section.key()});
        for (auto pair = section.value().cbegin(); pair != section.value().cend(); ++pair)
            new QTreeWidgetItem(top, {pair.key(), pair.value()}); // owned by its parent item
    }
    m_list->expandAll();
    // Wide enough for the longest value as far as the screen allows.
    const int sample = QFontMetrics(m_list->font()).horizontalAdvance(kValueSample);
    m_list->resizeColumnToContents(1);
    m_list->setColumnWidth(1, qMax(sample, m_list->columnWidth(1)));
    const int needed = m_list->columnWidth(0) + m_list->columnWidth(1) + 2 * m_list->frameWidth()
        + layout()->contentsMargins().left() + layout()->contentsMargins().right() + kScrollBarAllowance;
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
    const int limit = screen.isValid() ? screen.width() : needed;
    if (needed > width())
        resize(qMin(needed, limit), height());
}

} // namespace PlayerUi
