// CsvGrid's text form: writing every cell quoted, with quotes doubled, and reading lines as option strings.
#include "CsvFileCpp.h"

#include "common/options/ParamGrammar.h"

#include <algorithm>
#include <array>

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

// Reads a file text line by line, each line as an option string: cells are separated by runs of blanks, tabs,
// commas and semicolons; a cell that begins with a quoted group (', ", { or [ up to its closing character)
// is the group's content, and what follows the group up to the cell's end is dropped; a cell is cut at its
// first "=" outside groups, so "name=value" gives "name". Beyond that grammar, so that every grid this class
// writes reads back as it was: in a double-quoted group that opens a cell, "" is one quote, and the group
// may run over line ends (a cell with a line break). Every other group closes on its own line.
// The reading takes time in proportion to the text, also when many groups are never closed.
class CsvReader {
public:
    explicit CsvReader(std::u16string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }

    // Reads the line at the current position into row of grid and steps over its line end.
    void ReadLine(CsvGrid& grid, size_t row) {
        size_t column = 0;
        for (;;) {
            while (!AtEnd() && vrcommon::param::IsGap(text_[pos_])) {
                ++pos_;
            }
            if (AtEnd() || LineEndLength(pos_) > 0) {
                pos_ += LineEndLength(pos_);
                return;
            }
            grid.Cell(column++, row) = ReadCell();
        }
    }

private:
    static constexpr size_t npos = std::u16string_view::npos;
    static constexpr std::u16string_view kClosings = u"'\"}]";

    // LF or CR LF ends a line; so does a CR that is the text's last character. A CR elsewhere is text, so a
    // file written with CR LF line ends gives cells without a trailing CR, quoted or not.
    size_t LineEndLength(size_t at) const {
        if (at >= text_.size()) {
            return 0;
        }
        if (text_[at] == kLf) {
            return 1;
        }
        if (text_[at] == kCr && (at + 1 == text_.size() || text_[at + 1] == kLf)) {
            return at + 1 == text_.size() ? 1 : 2;
        }
        return 0;
    }

    // The first quote from `from` on, below limit, that is not one of a doubled pair; npos when none is.
    static size_t UnpairedQuote(std::u16string_view text, size_t from, size_t limit) {
        for (size_t i = from; i < limit; ++i) {
            if (text[i] != kQuote) {
                continue;
            }
            if (i + 1 < limit && text[i + 1] == kQuote) {
                ++i;
                continue;
            }
            return i;
        }
        return npos;
    }

    // Caches, for the line that `at` is on, where each closing character occurs last from `at` on.
    void CoverLine(size_t at) {
        if (at < lineEnd_) {
            return;
        }
        lineEnd_ = std::min(text_.find(kLf, at), text_.size());
        lastClose_.fill(npos);
        for (size_t i = at; i < lineEnd_; ++i) {
            if (size_t kind = kClosings.find(text_[i]); kind != npos) {
                lastClose_[kind] = i;
            }
        }
    }

    // The close of a group that opens at `at` and ends on its own line; npos when `at` opens none (an opening
    // character without its closing one after it is an ordinary character).
    size_t InLineClose(size_t at) {
        const char16_t close = vrcommon::param::ClosingOf(text_[at]);
        if (close == 0) {
            return npos;
        }
        CoverLine(at);
        const size_t last = lastClose_[kClosings.find(close)];
        return last == npos || last <= at ? npos : text_.find(close, at + 1);
    }

    // The close of the group that opens the cell at `at`. A double-quoted one looks past its line, with ""
    // as a quote inside. That search costs no more than the text: when it finds no close, a later cell's
    // opening quote finds one at the end of the run of quotes it opens, as the failed search paired them.
    size_t OpeningClose(size_t at) {
        return text_[at] == kQuote ? UnpairedQuote(text_, at + 1, text_.size()) : InLineClose(at);
    }

    // The cell's name as the grammar gives it: the content of a leading group, or the raw text. The closes
    // found here are those the cell's scan found: the name ends before "=" or a separator, never a quote.
    static std::u16string Unquote(std::u16string_view name) {
        const char16_t closing = name.empty() ? 0 : vrcommon::param::ClosingOf(name[0]);
        const size_t close = closing == 0        ? npos
                             : closing == kQuote ? UnpairedQuote(name, 1, name.size())
                                                 : name.find(closing, 1);
        if (close == npos) {
            return std::u16string(name);
        }
        std::u16string content;
        for (size_t i = 1; i < close; ++i) {
            content += name[i];
            if (closing == kQuote && name[i] == kQuote) {
                ++i; // the second quote of a doubled one
            }
        }
        return content;
    }

    // Reads one cell from a character that is no gap and ends no line; stops at what ends it.
    std::u16string ReadCell() {
        const size_t start = pos_;
        size_t split = npos; // the first "=" outside groups
        for (bool opening = true;
             !AtEnd() && !vrcommon::param::EndsItem(text_[pos_]) && LineEndLength(pos_) == 0;
             opening = false) {
            if (text_[pos_] == u'=' && split == npos) {
                split = pos_;
            }
            const size_t close = opening ? OpeningClose(pos_) : InLineClose(pos_);
            pos_ = close == npos ? pos_ + 1 : close + 1;
        }
        return Unquote(text_.substr(start, (split == npos ? pos_ : split) - start));
    }

    // All members belong to the one reading.
    std::u16string_view text_;
    size_t pos_ = 0;                    // the reading position; only moves ahead
    size_t lineEnd_ = 0;                // the end (LF or text end) of the line CoverLine last looked at
    std::array<size_t, 4> lastClose_{}; // per character of kClosings: where it occurs last on that line
    bool noQuoteClosesAhead_ = false;   // a cell's opening quote found no unpaired quote after it
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
    // Every line takes its row number; a line without cells makes no row of its own.
    for (size_t row = 0; !reader.AtEnd(); ++row) {
        reader.ReadLine(grid, row);
    }
    return grid;
}

} // namespace utils
