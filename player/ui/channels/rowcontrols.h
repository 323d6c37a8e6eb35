// RowControls: an audio row's mute and solo toggles and its gain.
#pragma once

#include <QString>
#include <QWidget>

class ChannelAudibility;
class QSpinBox;
class QToolButton;

namespace PlayerUi {

// Shows and edits one channel's entry of the listener's choice (mute,
// solo, gain in dB) from the top left of its row. Follows every change of
// the choice, so the keys M and S show here too.
//
// GUI thread only. The choice is not owned and must outlive the controls.
class RowControls : public QWidget
{
    Q_OBJECT

public:
    RowControls(ChannelAudibility *audibility, const QString &id, QWidget *parent = nullptr);

    QToolButton *muteButton() const { return m_mute; }
    QToolButton *soloButton() const { return m_solo; }
    QSpinBox *gainBox() const { return m_gain; }

private:
    void audibilityChange();

    ChannelAudibility *m_audibility;
    const QString m_id;
    QToolButton *m_mute;
    QToolButton *m_solo;
    QSpinBox *m_gain;
};

} // namespace PlayerUi
