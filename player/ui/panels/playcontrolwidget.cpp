#include "playcontrolwidget.h"

#include <QBoxLayout>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTimerEvent>

namespace PlayerUi {

namespace {

const QString kEditorFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");
const QString kOffersPlay = QStringLiteral("Воспр.");
const QString kOffersPause = QStringLiteral("Пауза");

} // namespace

PlayControlWidget::PlayControlWidget(QWidget *parent)
    : QWidget(parent)
{
    m_stop = new QPushButton(QStringLiteral("Стоп"));
    m_playPause = new QPushButton(kOffersPlay);
    m_editor = new QDateTimeEdit(QDateTime::currentDateTime());
    m_editor->setDisplayFormat(kEditorFormat);
    m_editor->setWrapping(true);
    m_move = new QPushButton(QStringLiteral("Перейти"));

    auto *layout = new QBoxLayout(QBoxLayout::LeftToRight, this);
    layout->addStretch();
    layout->addWidget(m_stop);
    layout->addWidget(m_playPause);
    layout->addWidget(m_editor);
    layout->addWidget(m_move);
    layout->addStretch();

    connect(m_playPause, &QPushButton::clicked, this, &PlayControlWidget::playPausePushButtonClick);
    connect(m_move, &QPushButton::clicked, this, &PlayControlWidget::movePushButtonClick);
    connect(m_stop, &QPushButton::clicked, this, &PlayControlWidget::stopped);
    connect(m_editor, &QDateTimeEdit::editingFinished, this, &PlayControlWidget::dateTimeEditEdittingFinish);
}

PlayControlWidget::~PlayControlWidget() = default;

QDateTime PlayControlWidget::shownDateTime() const
{
    return m_editor->dateTime();
}

void PlayControlWidget::setBase(QDateTime base)
{
    m_base = base;
    m_editor->setTimeSpec(base.timeSpec());
    m_editor->setDateTime(base);
}

void PlayControlWidget::currentStateChange(uint ts, int state)
{
    if (!m_editor->hasFocus() && m_holdTimer == 0 && m_base.isValid())
        m_editor->setDateTime(m_base.addMSecs(qint64(ts)));
    if (m_playPause->text() == kOffersPlay && state == Playing)
        m_playPause->setText(kOffersPause);
    else if (m_playPause->text() == kOffersPause && state == NotPlaying)
        m_playPause->setText(kOffersPlay);
}

void PlayControlWidget::playPausePushButtonClick()
{
    if (m_playPause->text() == kOffersPlay)
        emit played();
    else if (m_playPause->text() == kOffersPause)
        emit paused();
}

void PlayControlWidget::movePushButtonClick()
{
    const QDateTime target = m_editor->dateTime();
    // Offsets travel as 32 bits: a target further away than that wraps.
    emit moved(m_base < target ? uint(quint64(m_base.msecsTo(target))) : 0u);
    killHoldTimer();
}

void PlayControlWidget::dateTimeEditEdittingFinish()
{
    killHoldTimer();
    m_holdTimer = startTimer(kEditHoldMs, Qt::CoarseTimer);
}

void PlayControlWidget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_holdTimer && m_holdTimer != 0)
        killHoldTimer();
    else
        QWidget::timerEvent(event);
}

void PlayControlWidget::killHoldTimer()
{
    if (m_holdTimer != 0)
        killTimer(m_holdTimer);
    m_holdTimer = 0;
}

} // namespace PlayerUi
