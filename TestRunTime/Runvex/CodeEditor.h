// Opening a test's code file in the user's editor: $VISUAL, else $EDITOR, else xdg-open (the desktop's
// handler for the file), started without waiting for it.
//
// Usage: StartCodeEditor(path) from the Edit Code command. The path is handed over as one argument after
// "--", so blanks, shell characters and a leading "-" or "+" reach the editor as the file's name; an editor
// variable may hold the program and its own arguments separated by blanks ("emacs -nw").
// Threads: any. Failures: false, with *error saying what could not be started.
#pragma once

#include <string>
#include <vector>

namespace runvex {

// The editor's program and arguments before the file, from the environment.
std::vector<std::string> EditorCommand();

// The whole command for the file: "--" before it for $VISUAL and $EDITOR, so a name that starts with "-" or
// "+" is never taken for an option; xdg-open, which knows no "--", gets such a name as "./<name>".
std::vector<std::string> EditorCommandFor(const std::string& path);

// Starts the editor on the file in a process of its own that nobody waits for (it is not left a zombie);
// false when the program cannot be started.
bool StartCodeEditor(const std::string& path, std::string* error);

} // namespace runvex
