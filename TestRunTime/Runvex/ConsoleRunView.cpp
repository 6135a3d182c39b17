// The test executive's lines on its standard streams when it runs without a display.
#include "TestRunTime/Runvex/ConsoleRunView.h"

namespace runvex {

void ConsoleRunView::TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) {
    report_.RunEnded(verdict == Verdict::Error ? "Error" : testResult, static_cast<int32_t>(verdict));
    std::fprintf(out_, "image: %d\n", static_cast<int>(item.image));
    (void)std::fflush(out_); // the lines of a run others follow arrive as they are written
}

} // namespace runvex
