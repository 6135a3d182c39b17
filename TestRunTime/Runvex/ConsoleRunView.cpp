// The test executive's lines on its standard streams when it runs without a display.
#include "TestRunTime/Runvex/ConsoleRunView.h"

namespace runvex {

void ConsoleRunView::TestEnded(const SequenceItem&, const std::string& testResult, Verdict verdict) {
    report_.RunEnded(verdict == Verdict::Error ? "Error" : testResult, static_cast<int32_t>(verdict));
}

} // namespace runvex
