// The test executive's lines on its standard streams when it runs without a display.
#include "TestRunTime/Runvex/ConsoleRunView.h"

namespace runvex {

namespace {

// What an image of the tree tells, for a reader who sees no tree.
const char* MeaningOf(TreeImage image) {
    switch (image) {
    case TreeImage::Root:
        return "the sequence";
    case TreeImage::NotRun:
        return "not run";
    case TreeImage::Failed:
        return "failed";
    case TreeImage::Exception:
        return "ended by an exception";
    case TreeImage::Error:
        return "error";
    case TreeImage::Passed:
        return "passed";
    case TreeImage::PresetDone:
        return "preset done";
    case TreeImage::Running:
        return "running";
    case TreeImage::TestDone:
        return "test done";
    }
    return "unknown";
}

} // namespace

void ConsoleRunView::TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) {
    report_.RunEnded(verdict == Verdict::Error ? "Error" : testResult, static_cast<int32_t>(verdict));
    std::fprintf(out_, "image: %d (%s)\n", static_cast<int>(item.image), MeaningOf(item.image));
    (void)std::fflush(out_); // the lines of a run others follow arrive as they are written
}

} // namespace runvex
