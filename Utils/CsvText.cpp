// CsvGrid's text form: writing cells quoted as RFC 4180 does, and reading that form and the older one back.
#include "CsvFileCpp.h"

#include <algorithm>

namespace utils {

namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kComma = u',';
constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

void AppendQuotedCell(std::u16string& text, const std::u16string& cell) {
    text += kQuote;
    for (char16_t c : cell) {
        if (c == kQuote) {
            text += kQuote;
        }
        text += c;
    }
    text += kQuote;
}

// Reads the text from a position on, one cell at a time, and says where each cell ends.
class CsvReader {
public:
    explicit CsvReader(std::u16string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    bool AtLineEnd() const { return LineEndLength(pos_) > 0; }

    // Reads one cell and stops at what ends it (a comma, a line end or the end of the text).
    std::u16string ReadCell() { return !AtEnd() && text_[pos_] == kQuote ? ReadQuoted() : ReadPlain(); }

    // After a cell: true, and stepped over, when a comma follows (another cell of the same row comes).
    bool SkipComma() {
        if (!AtEnd() && text_[pos_] == kComma) {
            ++pos_;
            return true;
        }
        return false;
    }
    void SkipLineEnd() { pos_ += LineEndLength(pos_); }

private:
    // LF or CR LF ends a line; so does a CR that is the text's last character. A CR elsewhere is text.
    size_t LineEndLength(size_t at) const {
        if (at >= text_.size()) {
            return 0;
        }
        if (text_[at] == kLf) {
            return 1;
        }
        if (text_[at] == kCr) {
            if (at + 1 == text_.size()) {
                return 1;
            }
            if (text_[at + 1] == kLf) {
                return 2;
            }
        }
        return 0;
    }
    bool EndsCell(size_t at) const {
        return at >= text_.size() || text_[at] == kComma || LineEndLength(at) > 0;
    }

    std::u16string ReadPlain() {
        size_t start = pos_;
        while (!EndsCell(pos_)) {
            ++pos_;
        }
        return std::u16string(text_.substr(start, pos_ - start));
    }

    // A quoted cell: "" is one quote; the quote that stands before a cell's end closes it; any other quote is
    // taken as it is (the older writer wrote quotes inside cells undoubled). Without a closing quote the cell
    // runs to the end of the text.
    std::u16string ReadQuoted() {
        std::u16string cell;
        ++pos_;
        while (pos_ < text_.size()) {
            char16_t c = text_[pos_];
            if (c != kQuote) {
                cell += c;
                ++pos_;
            } else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == kQuote) {
                cell += kQuote;
                pos_ += 2;
            } else if (EndsCell(pos_ + 1)) {
                ++pos_;
                break;
            } else {
                cell += kQuote;
                ++pos_;
            }
        }
        return cell;
    }

    std::u16string_view text_;
    size_t pos_ = 0;
};

} // namespace

std::u16string CsvGrid::ToText() {
    const size_t columns = Columns();
    std::u16string text;
    for (std::vector<std::u16string>& row : rows_) {
        row.resize(columns);
        for (size_t column = 0; column < columns; ++column) {
            if (column > 0) {
                text += kComma;
            }
            AppendQuotedCell(text, row[column]);
        }
        text += u"\r\n";
    }
    return text;
}

CsvGrid CsvGrid::FromText(std::u16string_view text) {
    CsvGrid grid;
    CsvReader reader(text);
    size_t row = 0;
    while (!reader.AtEnd()) {
        if (reader.AtLineEnd()) { // an empty line: no cell, but it takes its row number
            reader.SkipLineEnd();
            ++row;
            continue;
        }
        size_t column = 0;
        do {
            grid.Cell(column++, row) = reader.ReadCell();
        } while (reader.SkipComma());
        reader.SkipLineEnd();
        ++row;
    }
    return grid;
}

} // namespace utils
