#pragma once

#include <QString>
#include <functional>

class QWidget;

// Acts on the next modal window (a message box, a file dialog) as soon as
// it shows, from the event loop that the window's exec() runs; the test
// meanwhile waits in the call that opened it.
namespace ModalAnswer {

// Runs act(window) on the next modal window; its text (message boxes:
// text and informative text, file dialogs: the window title) is collected
// into *seen when seen is given.
void next(const std::function<void(QWidget *)> &act, QString *seen = nullptr);
// Presses a message box's standard button (QMessageBox::StandardButton).
void pressButton(int standardButton, QString *seen = nullptr);
// Accepts a file dialog with the given path.
void chooseFile(const QString &path, QString *seen = nullptr);

} // namespace ModalAnswer
