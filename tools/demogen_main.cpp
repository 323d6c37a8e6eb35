// demogen OUTPUT TETRA_SPEECH: writes the demo recording; TETRA_SPEECH is a
// file of coded TETRA frames for its TETRA channel.
#include "tools/demorecording.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        fprintf(stderr, "usage: demogen OUTPUT TETRA_SPEECH\n");
        return 2;
    }
    QFile speech(arguments.at(2));
    if (!speech.open(QIODevice::ReadOnly)) {
        fprintf(stderr, "demogen: cannot read %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    QSaveFile file(arguments.at(1));
    if (!file.open(QIODevice::WriteOnly) || !writeDemoRecording(&file, speech.readAll()) || !file.commit()) {
        fprintf(stderr, "demogen: cannot write %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    return 0;
}
