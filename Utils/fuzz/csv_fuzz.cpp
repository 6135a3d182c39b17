// libFuzzer target: arbitrary CSV file texts (UTF-8) read into a grid, written and read again.
// Oracle: what the grid writes reads back as the same cells (quotes, separators and line breaks in a cell
// included), and writing that again gives the same text.
//
// CI runs it for a bounded time through ctest (test "csv_fuzz", built when clang++ is at hand and the build
// is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/csv_fuzz fuzz-corpus <source>/Utils/fuzz/seeds -max_len=1024 -max_total_time=600
// A crash leaves its input in the working folder (crash-*); replay it with bin/csv_fuzz crash-<hash>.
#include "Utils/CsvFileCpp.h"
#include "platform/base/text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool holds, const char* what, const std::string& text) {
    if (!holds) {
        std::fprintf(stderr, "csv_fuzz: %s for '%s'\n", what, text.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    utils::CsvGrid grid = utils::CsvGrid::FromText(vr::FromUtf8(input));
    std::u16string written = grid.ToText();
    utils::CsvGrid again = utils::CsvGrid::FromText(written);
    Check(again.Rows() == grid.Rows(), "the rows changed", input);
    Check(again.Columns() == grid.Columns(), "the columns changed", input);
    for (size_t row = 0; row < grid.Rows(); ++row) {
        for (size_t column = 0; column < grid.Columns(); ++column) {
            Check(again.Cell(column, row) == grid.Cell(column, row), "a cell changed", input);
        }
    }
    Check(again.ToText() == written, "writing again gave another text", input);
    return 0;
}
