// demogen OUTPUT: writes the demo recording.
#include "demorecording.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        fprintf(stderr, "usage: demogen OUTPUT\n");
        return 2;
    }
    QSaveFile file(arguments.at(1));
    if (!file.open(QIODevice::WriteOnly) || !writeDemoRecording(&file) || !file.commit()) {
        fprintf(stderr, "demogen: cannot write %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    return 0;
}
