// The words a Stop request carries, as the test engine and the test-execution worker read them.
#pragma once

#include "platform/base/text.h"

#include <string_view>

namespace vrcommon {

enum class StopWord {
    Continue,  // "continue": the interruption is over
    Loop,      // "loop": a looping script should stop looping (the option StopLoop)
    Exit,      // "exit": the script should end its run (the option StopExit)
    Interrupt, // anything else, the empty text included: the script is interrupted
};

// The words compared without regard to case.
inline StopWord StopWordOf(std::u16string_view words) {
    if (vr::EqualsNoCase(words, u"continue")) {
        return StopWord::Continue;
    }
    if (vr::EqualsNoCase(words, u"loop")) {
        return StopWord::Loop;
    }
    if (vr::EqualsNoCase(words, u"exit")) {
        return StopWord::Exit;
    }
    return StopWord::Interrupt;
}

} // namespace vrcommon
