// The script executive's command line: a script file and the switches /Automation, /Embedding, /RegServer and
// /UnregServer (also with "-", any letter case), and what the program does with them at start.
#pragma once

#include "platform/com/hresult.h"

#include <string>
#include <vector>

namespace scrivon {

struct ScrivonCommandLine {
    std::string file;
    bool automation = false;
    bool embedding = false;
    bool regServer = false;
    bool unregServer = false;

    static ScrivonCommandLine Parse(const std::vector<std::string>& arguments);
};

// What start-up does. Registration switches are served first, so that /RegServer and /UnregServer work while
// an instance runs and never hand it an empty file name.
enum class StartAction {
    Register,       // register and end
    Unregister,     // unregister and end
    ForwardOrServe, // hand the file to a running instance, else open the window
};
StartAction StartActionOf(const ScrivonCommandLine& line);

// The text of the box shown when a running instance was found but refused the file.
std::string ForwardErrorText(HRESULT hr, const std::string& meaning);

} // namespace scrivon
