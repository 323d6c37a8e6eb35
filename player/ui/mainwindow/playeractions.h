#pragma once

#include <QList>
#include <QString>

class QAction;
class QObject;

namespace PlayerUi {

// The main window's actions with their texts, icons, shortcuts and tool
// tips. Every action is owned by the object given to create(); the
// connections are made by the window's wiring.
struct PlayerActions
{
    // Modes kept in the play action's data.
    enum PlayMode { OffersPlay = 0, OffersPause = 1 };

    QAction *open = nullptr;
    QAction *info = nullptr;
    QAction *exportWithoutPauses = nullptr;
    QAction *exportWithPauses = nullptr;
    QAction *quit = nullptr;
    QAction *channels = nullptr;
    QAction *intervals = nullptr;
    QAction *search = nullptr;
    QAction *log = nullptr;
    QAction *about = nullptr;
    QAction *playPause = nullptr;
    QAction *stop = nullptr;
    QAction *moveTo = nullptr;
    QAction *scaleExpand = nullptr;
    QAction *scaleNarrow = nullptr;
    QAction *scaleToMarkedArea = nullptr;
    QAction *scaleToFileWide = nullptr;
    QAction *playWithPause = nullptr;
    // Review keys: the cursor (and playback) 5 s or 30 s back and on, and
    // the last 5 s played again.
    QAction *stepBack = nullptr;
    QAction *stepOn = nullptr;
    QAction *leapBack = nullptr;
    QAction *leapOn = nullptr;
    QAction *replay = nullptr;
    // The whole recording marked (its frames, not the view's margin).
    QAction *markAll = nullptr;
    // The start of the next / previous activity interval of the channels heard.
    QAction *nextActivity = nullptr;
    QAction *previousActivity = nullptr;
    // A journal entry at the playhead, its comment to be typed.
    QAction *bookmark = nullptr;
    // The current row (Up / Down) and its mute and solo (M / S).
    QAction *previousRow = nullptr;
    QAction *nextRow = nullptr;
    QAction *muteRow = nullptr;
    QAction *soloRow = nullptr;
    // Playback speed one step slower / faster, and back to 1x.
    QAction *slower = nullptr;
    QAction *faster = nullptr;
    QAction *normalSpeed = nullptr;
    static constexpr double kStepMs = 5000;
    static constexpr double kLeapMs = 30000;

    static PlayerActions create(QObject *owner);
    // Every action with a shortcut, in the order the key list shows them.
    QList<QAction *> withShortcuts() const;
    // Shows the play action as offering play (mode 0) or pause (mode 1).
    void showPlayMode(int mode) const;
};

} // namespace PlayerUi
