#include "playeractions.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>

namespace PlayerUi {

namespace {

const QString kPlayIcon = QStringLiteral(":/images/play.png");
const QString kPauseIcon = QStringLiteral(":/images/pause.png");
const QString kPlayText = QStringLiteral("Воспр.");
const QString kPauseText = QStringLiteral("Пауза");

// The Russian layout's letter on the key of each Latin letter A..Z: users of
// these sites type Russian all day, and a shortcut goes by the key pressed.
const char16_t kRussianOnKey[] = u"ФИСВУАПРШОЛДЬТЩЗЙКЫЕГМЦЧНЯ";

// The Russian layout's letters on the bracket keys.
constexpr char16_t kRussianOnBracketLeft = u'Х';
constexpr char16_t kRussianOnBracketRight = u'Ъ';

// The shortcut, and when it names a Latin letter or a bracket the same
// key's Russian letter.
QList<QKeySequence> withRussianLayout(const QKeySequence &shortcut)
{
    QList<QKeySequence> keys{shortcut};
    if (shortcut.count() != 1)
        return keys;
    const int combined = shortcut[0];
    const int key = combined & ~int(Qt::KeyboardModifierMask);
    const int modifiers = combined & int(Qt::KeyboardModifierMask);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        keys << QKeySequence(int(kRussianOnKey[key - Qt::Key_A]) | modifiers);
    else if (key == Qt::Key_BracketLeft)
        keys << QKeySequence(int(kRussianOnBracketLeft) | modifiers);
    else if (key == Qt::Key_BracketRight)
        keys << QKeySequence(int(kRussianOnBracketRight) | modifiers);
    return keys;
}

// An action; with an icon, its tool tip is its text followed by its shortcut.
QAction *makeAction(QObject *owner, const QString &objectName, const QString &text, const QKeySequence &shortcut,
                    const QString &icon = QString())
{
    auto *action = new QAction(text, owner);
    action->setObjectName(objectName);
    action->setShortcuts(withRussianLayout(shortcut));
    if (!icon.isEmpty()) {
        action->setIcon(QIcon(icon));
        action->setToolTip(text + QStringLiteral(" [ %1 ]").arg(shortcut.toString(QKeySequence::PortableText)));
    }
    return action;
}

} // namespace

PlayerActions PlayerActions::create(QObject *owner)
{
    PlayerActions a;
    a.open = makeAction(owner, QStringLiteral("openAction"), QStringLiteral("Открыть..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    a.info = makeAction(owner, QStringLiteral("infoAction"), QStringLiteral("Информация..."),
                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    a.exportWithoutPauses = makeAction(owner, QStringLiteral("exportAction"), QStringLiteral("Экспортировать без пауз..."),
                                       QKeySequence(Qt::CTRL | Qt::Key_E));
    a.exportWithPauses = makeAction(owner, QStringLiteral("exportWithPausesAction"),
                                    QStringLiteral("Экспортировать с паузами..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    a.quit = makeAction(owner, QStringLiteral("quitAction"), QStringLiteral("Выход"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    a.channels = makeAction(owner, QStringLiteral("channelsAction"), QStringLiteral("Каналы..."), QKeySequence(Qt::Key_F2),
                            QStringLiteral(":/images/channel_list.png"));
    a.intervals = makeAction(owner, QStringLiteral("intervalsAction"), QStringLiteral("Интервалы..."),
                             QKeySequence(Qt::CTRL | Qt::Key_I));
    a.search = makeAction(owner, QStringLiteral("searchAction"), QStringLiteral("Поиск..."), QKeySequence(Qt::CTRL | Qt::Key_F));
    a.log = makeAction(owner, QStringLiteral("logAction"), QStringLiteral("Журнал..."), QKeySequence(Qt::CTRL | Qt::Key_J));
    a.log->setEnabled(false);
    a.about = makeAction(owner, QStringLiteral("aboutAction"), QStringLiteral("О программе..."), QKeySequence(Qt::Key_F1));
    a.playPause = makeAction(owner, QStringLiteral("playPauseAction"), kPlayText, QKeySequence(Qt::Key_Space), kPlayIcon);
    a.playPause->setData(OffersPlay);
    a.stop = makeAction(owner, QStringLiteral("stopAction"), QStringLiteral("Стоп"), QKeySequence(Qt::Key_Backspace),
                        QStringLiteral(":/images/stop.png"));
    a.moveTo = makeAction(owner, QStringLiteral("moveToAction"), QStringLiteral("Перейти"), QKeySequence(Qt::CTRL | Qt::Key_M),
                          QStringLiteral(":/images/move_to.png"));
    a.scaleExpand = makeAction(owner, QStringLiteral("scaleExpandAction"), QStringLiteral("Расширить"),
                               QKeySequence(Qt::Key_Plus), QStringLiteral(":/images/scale_expand.png"));
    a.scaleNarrow = makeAction(owner, QStringLiteral("scaleNarrowAction"), QStringLiteral("Сжать"), QKeySequence(Qt::Key_Minus),
                               QStringLiteral(":/images/scale_narrow.png"));
    a.scaleToMarkedArea = makeAction(owner, QStringLiteral("scaleToMarkedAreaAction"), QStringLiteral("По выделенной области"),
                                     QKeySequence(Qt::Key_F), QStringLiteral(":/images/scale_to_marked_area.png"));
    a.scaleToFileWide = makeAction(owner, QStringLiteral("scaleToFileWideAction"), QStringLiteral("Уместить"),
                                   QKeySequence(Qt::SHIFT | Qt::Key_F), QStringLiteral(":/images/scale_to_file_wide.png"));
    a.playWithPause = makeAction(owner, QStringLiteral("playWithPauseAction"), QStringLiteral("Воспроизводить с паузами"),
                                 QKeySequence(Qt::SHIFT | Qt::Key_P), QStringLiteral(":/images/P_char.png"));
    a.playWithPause->setCheckable(true);
    a.stepBack = makeAction(owner, QStringLiteral("stepBackAction"), QStringLiteral("Назад на 5 с"), QKeySequence(Qt::Key_Left));
    a.stepOn = makeAction(owner, QStringLiteral("stepOnAction"), QStringLiteral("Вперёд на 5 с"), QKeySequence(Qt::Key_Right));
    a.leapBack = makeAction(owner, QStringLiteral("leapBackAction"), QStringLiteral("Назад на 30 с"),
                            QKeySequence(Qt::SHIFT | Qt::Key_Left));
    a.leapOn = makeAction(owner, QStringLiteral("leapOnAction"), QStringLiteral("Вперёд на 30 с"),
                          QKeySequence(Qt::SHIFT | Qt::Key_Right));
    a.replay = makeAction(owner, QStringLiteral("replayAction"), QStringLiteral("Повторить последние 5 с"),
                          QKeySequence(Qt::Key_R));
    a.markAll = makeAction(owner, QStringLiteral("markAllAction"), QStringLiteral("Выделить всю запись"),
                           QKeySequence(Qt::CTRL | Qt::Key_A));
    a.nextActivity = makeAction(owner, QStringLiteral("nextActivityAction"), QStringLiteral("К следующей активности"),
                                QKeySequence(Qt::CTRL | Qt::Key_Right));
    a.previousActivity = makeAction(owner, QStringLiteral("previousActivityAction"),
                                    QStringLiteral("К предыдущей активности"), QKeySequence(Qt::CTRL | Qt::Key_Left));
    a.bookmark = makeAction(owner, QStringLiteral("bookmarkAction"), QStringLiteral("Закладка в журнал"),
                            QKeySequence(Qt::Key_B));
    a.previousRow = makeAction(owner, QStringLiteral("previousRowAction"), QStringLiteral("Канал выше"),
                               QKeySequence(Qt::Key_Up));
    a.nextRow = makeAction(owner, QStringLiteral("nextRowAction"), QStringLiteral("Канал ниже"), QKeySequence(Qt::Key_Down));
    a.muteRow = makeAction(owner, QStringLiteral("muteRowAction"), QStringLiteral("Выключить звук канала"),
                           QKeySequence(Qt::Key_M));
    a.soloRow = makeAction(owner, QStringLiteral("soloRowAction"), QStringLiteral("Слушать только этот канал"),
                           QKeySequence(Qt::Key_S));
    a.slower = makeAction(owner, QStringLiteral("slowerAction"), QStringLiteral("Медленнее"),
                          QKeySequence(Qt::Key_BracketLeft));
    a.faster = makeAction(owner, QStringLiteral("fasterAction"), QStringLiteral("Быстрее"),
                          QKeySequence(Qt::Key_BracketRight));
    a.normalSpeed = makeAction(owner, QStringLiteral("normalSpeedAction"), QStringLiteral("Обычная скорость"),
                               QKeySequence(Qt::Key_Backslash));
    return a;
}

QList<QAction *> PlayerActions::withShortcuts() const
{
    return {open, info, exportWithoutPauses, exportWithPauses, quit, channels, intervals, search, log, about,
            playPause, stop, replay, stepBack, stepOn, leapBack, leapOn, nextActivity, previousActivity, moveTo,
            slower, faster, normalSpeed, previousRow, nextRow, muteRow, soloRow, bookmark, markAll, scaleExpand,
            scaleNarrow, scaleToMarkedArea, scaleToFileWide, playWithPause};
}

void PlayerActions::showPlayMode(int mode) const
{
    playPause->setData(mode);
    playPause->setIcon(QIcon(mode == OffersPause ? kPauseIcon : kPlayIcon));
    playPause->setText(mode == OffersPause ? kPauseText : kPlayText);
}

} // namespace PlayerUi
