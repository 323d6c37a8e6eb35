#include "rowcontrols.h"

#include "player/engine/channelaudibility.h"

#include <QHBoxLayout>
#include <QSpinBox>
#include <QToolButton>

namespace PlayerUi {

namespace {

// Checked toggles stand out on the dark rows: mute red, solo amber.
const QString kMuteStyle = QStringLiteral("QToolButton:checked { background: #c62828; color: white; }");
const QString kSoloStyle = QStringLiteral("QToolButton:checked { background: #f9a825; color: black; }");

QToolButton *makeToggle(const QString &text, const QString &toolTip, const QString &style, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    button->setStyleSheet(style);
    return button;
}

} // namespace

RowControls::RowControls(ChannelAudibility *audibility, const QString &id, QWidget *parent)
    : QWidget(parent)
    , m_audibility(audibility)
    , m_id(id)
    , m_mute(makeToggle(QStringLiteral("M"), QStringLiteral("Выключить звук канала [ M ]"), kMuteStyle, this))
    , m_solo(makeToggle(QStringLiteral("S"), QStringLiteral("Слушать только этот канал [ S ]"), kSoloStyle, this))
    , m_gain(new QSpinBox(this))
{
    m_gain->setRange(int(ReaderGroup::kGainMinDb), int(ReaderGroup::kGainMaxDb));
    m_gain->setSuffix(QStringLiteral(" дБ"));
    m_gain->setToolTip(QStringLiteral("Усиление канала"));
    m_gain->setFocusPolicy(Qt::ClickFocus);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_mute);
    layout->addWidget(m_solo);
    layout->addWidget(m_gain);
    setAutoFillBackground(false);

    connect(m_mute, &QToolButton::toggled, this, [this](bool on) { m_audibility->setMuted(m_id, on); });
    connect(m_solo, &QToolButton::toggled, this, [this](bool on) { m_audibility->setSoloed(m_id, on); });
    connect(m_gain, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int db) { m_audibility->setGainDb(m_id, db); });
    connect(m_audibility, &ChannelAudibility::audibilityChanged, this, &RowControls::audibilityChange);
    audibilityChange();
    adjustSize();
}

void RowControls::audibilityChange()
{
    const QSignalBlocker muteBlocker(m_mute);
    const QSignalBlocker soloBlocker(m_solo);
    const QSignalBlocker gainBlocker(m_gain);
    m_mute->setChecked(m_audibility->isMuted(m_id));
    m_solo->setChecked(m_audibility->isSoloed(m_id));
    m_gain->setValue(int(m_audibility->gainDb(m_id)));
}

} // namespace PlayerUi
