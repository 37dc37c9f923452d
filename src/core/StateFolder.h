#pragma once

#include <QString>

// Kavo's folder for state that outlives a run: $XDG_STATE_HOME/Kavo
// (~/.local/state/Kavo). A relative $XDG_STATE_HOME is invalid and ignored.
namespace StateFolder {

QString path();
// Creates the folder and its missing parents, each private to the user as the
// XDG base-directory rules ask for state folders. May block: call it where the
// file system may be slow only off the UI thread.
void make();

} // namespace StateFolder
