#pragma once

#include <QString>

// Starts the player on a recording as a program of its own, with the
// recording's full path as its one argument. The server does not wait for
// it or watch it; the player runs on after the server ends.
//
// The player is the program "Velmora" in the server's own folder (where
// both are installed or built), or else the first "Velmora" on the PATH.
namespace PlayerLauncher {

extern const QString kProgramName; // "Velmora"

// The player program found from programFolder (empty: the folder of the
// running program); empty when there is none.
QString findPlayer(const QString &programFolder = QString());

// Starts the player on QDir(folder).filePath(fileName). False with the
// reason in *error when no player was found or it could not be started.
// Returns at once (the process is detached, never a zombie of the server).
bool start(const QString &folder, const QString &fileName, QString *error,
           const QString &programFolder = QString());

} // namespace PlayerLauncher
