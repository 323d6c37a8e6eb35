#pragma once

namespace PlayerUi {

class MainWindow;

// Makes every connection of the main window once its parts exist: its
// actions to its slots, its commands to the recording owner, the engine's
// reports back to the window and the timeline, the timeline's cursor and
// marked area, the progress dialogs' "Стоп", the channel dialog and the
// navigation editor's hold timer. Engine reports that carry play state
// reach the window queued; the failure reports too, so that a message box
// never opens inside an engine call.
void wireMainWindow(MainWindow *window);

class DayListPanel;
class LogWidget;

// An interval or search panel: the engine's play position (queued) and
// base reach it, its seeks go to the engine, the window's active streams
// restart its run, and its destruction is reported to the window.
void wirePanel(MainWindow *window, DayListPanel *panel);
// The journal: the engine's play position (queued, also to its play panel)
// and base reach it, its play panel's commands and its double-click seeks
// go to the engine, and its destruction is reported to the window.
void wireJournal(MainWindow *window, LogWidget *journal);

} // namespace PlayerUi
