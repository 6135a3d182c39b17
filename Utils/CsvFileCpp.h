// CsvGrid: the cells of a CSV file as rows of text, and the comma-separated text and file they are stored in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace utils {

// Rows of text cells, addressed (column, row) from 0; rows may differ in length, and a cell that does not
// exist reads as the empty text.
// Threads: a grid belongs to one thread at a time.
class CsvGrid {
public:
    size_t Rows() const { return rows_.size(); }
    // The length of the longest row.
    size_t Columns() const;

    // The cell (column, row). The grid grows to reach it, reads included: the row vector to row + 1 rows,
    // that row to column + 1 cells, new cells empty. Throws std::bad_alloc (or std::length_error) when it
    // cannot grow that far; the grid then keeps the size it had.
    std::u16string& Cell(size_t column, size_t row);

    void Clear() { rows_.clear(); }

    // The file text: one line per row, each ended by CR LF; every row padded with empty cells to Columns()
    // (the grid itself included); every cell in double quotes, a double quote inside written twice (RFC
    // 4180), so that quotes, commas and line breaks in a cell read back as they were.
    std::u16string ToText();

    // The grid a file text describes. Each line (ended by LF, CR LF, or a CR at the very end) is one row,
    // read as an option string: cells are separated by runs of blanks, tabs, commas and semicolons; a cell
    // that begins with a group in ', ", {} or [] is that group's content (what follows the group up to the
    // next separator is dropped); a cell is cut at its first "=" outside groups. So that what ToText writes
    // reads back unchanged, "" inside double quotes is one quote, and a double-quoted cell may hold line
    // breaks. A line without cells takes its row number but makes no row (a row appears only when a later
    // line has cells); a last line without a line end is read as a row.
    static CsvGrid FromText(std::u16string_view text);

    // Writes ToText() as UTF-8 to the file at path (a system path, mapped onto this machine), replacing it.
    // Failures are traced as errors, "Could not create/open file '%s'." or "Could not write to file '%s'."
    // with the path as given; false.
    bool WriteFile(std::u16string_view path);

    // Replaces the grid by the cells of the file at path (UTF-8, mapped as WriteFile maps it). A failure
    // ("Could not open file '%s'.", also for what is not a regular file, or "Could not read file '%s'.") is
    // traced and leaves the grid as it was; false.
    bool ReadFile(std::u16string_view path);

private:
    std::vector<std::vector<std::u16string>> rows_;
};

} // namespace utils
