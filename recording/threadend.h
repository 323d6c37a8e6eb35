#pragma once

#include <QThread>

#include <memory>

// Ending a worker thread from its owner without blocking the owner for
// long: closing a window must never hang on a worker stuck in a slow disk,
// a sound card or a database that does not answer. Owner's thread (usually
// the GUI thread).

// How long an owner waits for a worker it has told to stop. The workers
// check their stop flags every period (at most a few hundred ms), so a
// healthy worker ends well within it.
constexpr unsigned long kThreadEndWaitMs = 5000;

// Waits up to waitMs for `thread` (already told to stop) to finish and
// deletes it; true when it did. Otherwise the thread is left running and
// deletes itself (deleteLater in the owner's event loop) once it finishes;
// whatever it owns goes with it, so it must not use anything of its old
// owner's. A warning names it then.
bool endThreadWithin(std::unique_ptr<QThread> thread, unsigned long waitMs = kThreadEndWaitMs);

// Lets `thread` (told to stop, owned by nobody now) delete itself once it
// has finished: at once if it has already. Never waits.
void deleteWhenFinished(QThread *thread);
