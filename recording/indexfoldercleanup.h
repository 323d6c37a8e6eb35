#pragma once

#include <QByteArray>

// Removes the index folders of a process that is stopped by SIGINT, SIGTERM,
// SIGHUP or SIGPIPE (its output's reader has gone), so that an interrupted player or command leaves no index files
// behind. The indexer registers each folder it creates and unregisters it
// before removing it itself.
//
// The first registration installs the handlers for those signals that still
// have their default action (a program's own handler or an ignored signal is
// left alone). The handler empties and removes every registered folder with
// async-signal-safe calls only, then lets the signal take its default course.
// Any thread may register and unregister.
namespace IndexFolderCleanup {

// Folders held at the same time; further ones are not covered.
constexpr int kMaxFolders = 64;

void registerFolder(const QByteArray &path);
void unregisterFolder(const QByteArray &path);

} // namespace IndexFolderCleanup
