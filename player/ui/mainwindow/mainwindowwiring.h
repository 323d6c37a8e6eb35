#pragma once

class MainWindow;

// Makes every connection of the main window once its parts exist: its
// actions to its slots, its commands to the recording owner, the engine's
// reports back to the window and the timeline, the timeline's cursor and
// marked area, the progress dialogs' "Стоп", the channel dialog and the
// navigation editor's hold timer. Engine reports that carry play state
// reach the window queued; the failure reports too, so that a message box
// never opens inside an engine call.
void wireMainWindow(MainWindow *window);
