// RecordingMessages: the sheet's message boxes in a headless test: each box is recorded and answered with the
// answer queued for it, else with OK.
#pragma once

#include "VrDev/Ostrel/sheet/SheetContext.h"
#include "platform/ui/message_box.h"

#include <deque>
#include <string>
#include <vector>

namespace ostrel {

class RecordingMessages final : public SheetMessages {
public:
    struct Box {
        std::u16string text;
        std::u16string caption;
        UINT type = 0;
    };

    int Show(std::u16string_view text, std::u16string_view caption, UINT type) override {
        boxes.push_back({std::u16string(text), std::u16string(caption), type});
        if (answers.empty()) {
            return IDOK;
        }
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    // The last box's text, or "" when none was shown.
    std::u16string LastText() const { return boxes.empty() ? std::u16string() : boxes.back().text; }

    std::vector<Box> boxes;  // test thread: every box shown, in order
    std::deque<int> answers; // test thread: the answers of the next boxes
};

} // namespace ostrel
