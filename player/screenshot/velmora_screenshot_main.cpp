// velmora-screenshot RECORDING OUTPUT_DIR: starts the player on RECORDING
// as Velmora does, takes it through a tour of its windows and writes a PNG
// after each step (used by scripts/screenshot under a virtual display).
#include "player/ui/mainwindow/mainwindow.h"
#include "player/screenshot/screenshottour.h"
#include "player/ui/translations/playertranslations.h"

#include <QApplication>

#include <cstdio>

using namespace PlayerUi;

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    installPlayerTranslations();
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        fprintf(stderr, "usage: velmora-screenshot RECORDING OUTPUT_DIR\n");
        return 2;
    }
    MainWindow window;
    window.move(0, 0);
    window.show();
    ScreenshotTour tour(&window, arguments.at(2));
    tour.start(arguments.at(1));
    return app.exec();
}
