// Opening a test's code file in the user's editor: $VISUAL, else $EDITOR, else xdg-open (the desktop's
// handler for the file), started without waiting for it.
//
// Usage: StartCodeEditor(path) from the Edit Code command. The path is handed over as one argument, so blanks
// and shell characters in it reach the editor unchanged; an editor variable may hold the program and its
// own arguments separated by blanks ("emacs -nw").
// Threads: any. Failures: false, with *error saying what could not be started.
#pragma once

#include <string>
#include <vector>

namespace runvex {

// The editor's program and arguments before the file, from the environment.
std::vector<std::string> EditorCommand();

// Starts the editor on the file in a process of its own that nobody waits for (it is not left a zombie);
// false when the program cannot be started.
bool StartCodeEditor(const std::string& path, std::string* error);

} // namespace runvex
