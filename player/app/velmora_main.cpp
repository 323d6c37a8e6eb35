// Velmora: the player. Opens the recording named by its first argument.
#include "player/ui/mainwindow/mainwindow.h"
#include "player/ui/translations/playertranslations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    installPlayerTranslations();
    PlayerUi::MainWindow window;
    window.show();
    openFromCommandLine(window, app.arguments());
    return app.exec();
}
