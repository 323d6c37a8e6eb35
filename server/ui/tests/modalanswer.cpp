#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

namespace ModalAnswer {

namespace {

constexpr int kPollMs = 10;

void poll(const std::function<void(QWidget *)> &act, QString *seen)
{
    QWidget *window = QApplication::activeModalWidget();
    if (!window) {
        QTimer::singleShot(kPollMs, [act, seen] { poll(act, seen); });
        return;
    }
    if (seen) {
        if (auto *box = qobject_cast<QMessageBox *>(window))
            *seen = box->windowTitle() + '|' + box->text() + '|' + box->informativeText();
        else
            *seen = window->windowTitle();
    }
    act(window);
}

} // namespace

void next(const std::function<void(QWidget *)> &act, QString *seen)
{
    QTimer::singleShot(0, [act, seen] { poll(act, seen); });
}

void pressButton(int standardButton, QString *seen)
{
    next(
        [standardButton](QWidget *window) {
            auto *box = qobject_cast<QMessageBox *>(window);
            QAbstractButton *button = box ? box->button(QMessageBox::StandardButton(standardButton)) : nullptr;
            if (button)
                button->click();
            else
                window->close();
        },
        seen);
}

void chooseFile(const QString &path, QString *seen)
{
    next(
        [path](QWidget *window) {
            auto *dialog = qobject_cast<QFileDialog *>(window);
            if (!dialog) {
                window->close();
                return;
            }
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        },
        seen);
}

} // namespace ModalAnswer
