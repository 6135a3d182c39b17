// CsvGrid: the quoted file text and its reading as option strings (new and old files), real file storage,
// and the file path with its extension and time stamp.
#include "CsvFileCpp.h"
#include "CsvFilePath.h"
#include "common/trace/Trace.h"
#include "csv_test_support.h"
#include "tests/support/file_faults.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace {

using utils::CsvGrid;
using Rows = std::vector<std::vector<std::u16string>>;

// Every row of the grid as far as it reaches, read without growing it further than Columns() does.
Rows Contents(CsvGrid& grid) {
    Rows rows(grid.Rows());
    const size_t columns = grid.Columns();
    for (size_t row = 0; row < rows.size(); ++row) {
        for (size_t column = 0; column < columns; ++column) {
            rows[row].push_back(grid.Cell(column, row));
        }
    }
    return rows;
}

Rows Parsed(std::u16string_view text) {
    CsvGrid grid = CsvGrid::FromText(text);
    return Contents(grid);
}

CsvGrid GridOf(const Rows& rows) {
    CsvGrid grid;
    for (size_t row = 0; row < rows.size(); ++row) {
        for (size_t column = 0; column < rows[row].size(); ++column) {
            grid.Cell(column, row) = rows[row][column];
        }
    }
    return grid;
}

TEST(CsvGridTest, ShortRowsArePaddedToTheWidestWhenWritten) {
    CsvGrid grid = GridOf({{u"a"}, {u"b", u"c", u"d"}});
    EXPECT_EQ(grid.ToText(), u"\"a\",\"\",\"\"\r\n\"b\",\"c\",\"d\"\r\n");
    EXPECT_EQ(Contents(grid), (Rows{{u"a", u"", u""}, {u"b", u"c", u"d"}}));
    CsvGrid empty;
    EXPECT_EQ(empty.ToText(), u"");
}

TEST(CsvGridTest, QuotesCommasAndLineBreaksAreQuotedAndRoundTrip) {
    const Rows rows = {
        {u"say \"hi\"", u"a,b", u"two\r\nlines", u"lf\nonly"},
        {u"\"", u"\"\"", u"", u"cr\ralone"},
        {u" blanks ", u"semi;colon", u"tab\there", u"\u00e9t\u00e9 \u6e2c \U0001F600"},
        {u"", u"", u"", u"ends with \""},
    };
    CsvGrid grid = GridOf(rows);
    const std::u16string text = grid.ToText();
    const std::u16string firstRow = u"\"say \"\"hi\"\"\",\"a,b\",\"two\r\nlines\",\"lf\nonly\"\r\n";
    EXPECT_EQ(text.substr(0, firstRow.size()), firstRow);
    EXPECT_EQ(Parsed(text), rows);
}

TEST(CsvGridTest, FilesOfTheOlderWriterStillRead) {
    struct Case {
        const char16_t* text;
        Rows expected;
    };
    const Case cases[] = {
        // The older writer quoted every cell and left quotes inside as they were: such a quote closes the
        // cell,
        // and the rest of that cell is dropped.
        {u"\"a\",\"b\"\r\n\"c\",\"\"\r\n", {{u"a", u"b"}, {u"c", u""}}},
        {u"\"say \"hi\" now\",\"x\"\r\n", {{u"say ", u"x"}}},
        {u"\"a,b\",\"c\"\r\n", {{u"a,b", u"c"}}},
        // Unquoted cells and line feeds without carriage returns.
        {u"a,b,c\nd,e,f\n", {{u"a", u"b", u"c"}, {u"d", u"e", u"f"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parsed(c.text), c.expected) << vr::ToUtf8(c.text);
    }
}

TEST(CsvGridTest, LinesAreReadAsOptionStrings) {
    struct Case {
        const char16_t* text;
        Rows expected;
    };
    const Case cases[] = {
        // Runs of blanks, commas and semicolons separate cells, so empty unquoted cells vanish; a tab inside
        // a
        // cell is part of it; a value after "=" is not a cell; each kind of group quotes, and what follows a
        // group in the same cell is dropped.
        {u"a b;c\td=e,'f g',{h,i},[j]k,\"l\"m\n", {{u"a", u"b", u"c\td", u"f g", u"h,i", u"j", u"l"}}},
        {u"  ,, ;x,,\nd,,f\r\n", {{u"x", u""}, {u"d", u"f"}}},
        // A quote without its closing one on the line is an ordinary character.
        {u"it's,5\" tall\n", {{u"it's", u"5\"", u"tall"}}},
        // Only a double-quoted cell runs over a line end; other groups close on their own line.
        {u"\"a\nb\",c\n'd\ne'\n", {{u"a\nb", u"c"}, {u"'d", u""}, {u"e'", u""}}},
        // Doubled quotes in double quotes, and an unquoted last cell before CR LF, which keeps no CR.
        {u"\"\"\"\",\"x\"\"\",plain\r\n", {{u"\"", u"x\"", u"plain"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parsed(c.text), c.expected) << vr::ToUtf8(c.text);
    }
}

TEST(CsvGridTest, GroupsThatNothingClosesDoNotMakeTheReadingSlowDown) {
    // One line of many cells that open groups nothing closes, in their middle and at their start; looking
    // for each one's close up to the line's end afresh would take ages for a line of this length.
    std::u16string line;
    const size_t pairs = 300000;
    for (size_t pair = 0; pair < pairs; ++pair) {
        line += u"a[b {c ";
    }
    CsvGrid grid = CsvGrid::FromText(line + u"\n");
    ASSERT_EQ(grid.Rows(), 1u);
    ASSERT_EQ(grid.Columns(), 2 * pairs);
    EXPECT_EQ(grid.Cell(0, 0), u"a[b");
    EXPECT_EQ(grid.Cell(2 * pairs - 1, 0), u"{c");
}

TEST(CsvGridTest, LinesWithoutCellsAndTheLastLine) {
    // An empty line takes its row number, but only a later line with cells makes the row exist.
    CsvGrid grid = CsvGrid::FromText(u"\"a\"\r\n\r\n\"b\"\r\n\r\n\n");
    EXPECT_EQ(grid.Rows(), 3u);
    EXPECT_EQ(grid.Cell(0, 1), u"");
    EXPECT_EQ(grid.Cell(0, 2), u"b");
    // A last line without a line end is read as a row, quoted or not.
    EXPECT_EQ(Parsed(u"a\nb,c"), (Rows{{u"a", u""}, {u"b", u"c"}}));
    EXPECT_EQ(Parsed(u"\"a\"\r\n\"b"), (Rows{{u"a"}, {u"\"b"}})) << "a quote nothing closes is a character";
    EXPECT_EQ(Parsed(u"a\r"), (Rows{{u"a"}}));
    EXPECT_EQ(Parsed(u""), Rows{});
}

TEST(CsvGridTest, FilesRoundTripAsUtf8AcrossReadPieces) {
    const auto folder = csvtest::FreshFolder("grid-files");
    const auto path = folder / "many.csv";
    // Long enough that multi-byte characters straddle every boundary of the reads.
    Rows rows;
    for (int row = 0; row < 3000; ++row) {
        rows.push_back({u"\u00e9\u6e2c" + vr::FromUtf8(std::to_string(row)), u"\U0001F600,\"q\""});
    }
    CsvGrid grid = GridOf(rows);
    ASSERT_TRUE(grid.WriteFile(csvtest::U16(path)));
    const std::string firstLine = "\"\xC3\xA9\xE6\xB8\xAC"
                                  "0\",\"\xF0\x9F\x98\x80,\"\"q\"\"\"\r\n";
    EXPECT_EQ(csvtest::ReadBytes(path).substr(0, firstLine.size()), firstLine);
    CsvGrid back;
    ASSERT_TRUE(back.ReadFile(csvtest::U16(path)));
    EXPECT_EQ(Contents(back), rows);
}

TEST(CsvGridTest, AFailedReadLeavesTheGridAsItWas) {
    const auto folder = csvtest::FreshFolder("grid-read-fails");
    CsvGrid grid = GridOf({{u"keep", u"me"}});
    const std::u16string missing = csvtest::U16(folder / "missing.csv");
    EXPECT_FALSE(grid.ReadFile(missing));
    EXPECT_EQ(LastErrorText(), u"Could not open file '" + missing + u"'.");
    // A folder opens on this system, but is no file to read.
    EXPECT_FALSE(grid.ReadFile(csvtest::U16(folder)));
    EXPECT_EQ(LastErrorText(), u"Could not open file '" + csvtest::U16(folder) + u"'.");
    EXPECT_EQ(Contents(grid), (Rows{{u"keep", u"me"}}));
}

TEST(CsvGridTest, WriteFailuresAreReported) {
    const auto folder = csvtest::FreshFolder("grid-write-fails");
    CsvGrid grid = GridOf({{u"x"}});
    const std::u16string noFolder = csvtest::U16(folder / "absent" / "x.csv");
    EXPECT_FALSE(grid.WriteFile(noFolder));
    EXPECT_EQ(LastErrorText(), u"Could not create/open file '" + noFolder + u"'.");
    // A device in the file's place is not replaced: nothing can be saved there.
    const auto full = folder / "full.csv";
    std::filesystem::create_symlink("/dev/full", full);
    EXPECT_FALSE(grid.WriteFile(csvtest::U16(full)));
    EXPECT_EQ(LastErrorText(), u"Could not create/open file '" + csvtest::U16(full) + u"'.");
    // A disk that fills up while the file is written: the earlier file stays whole.
    vrtest::SmallDisk disk((folder / "disk").string(), 16 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.WhyNot();
    }
    const auto onDisk = csvtest::U16(folder / "disk" / "x.csv");
    ASSERT_TRUE(grid.WriteFile(onDisk));
    const std::string before = csvtest::ReadBytes(folder / "disk" / "x.csv");
    CsvGrid large = GridOf({{std::u16string(40000, u'L')}});
    EXPECT_FALSE(large.WriteFile(onDisk));
    EXPECT_EQ(LastErrorText(), u"Could not write to file '" + onDisk + u"'.");
    EXPECT_EQ(csvtest::ReadBytes(folder / "disk" / "x.csv"), before);
}

TEST(CsvGridTest, WindowsPathsMapUnderTheDataHome) {
    csvtest::FreshFolder("mapped");
    CsvGrid grid = GridOf({{u"m"}});
    ASSERT_TRUE(grid.WriteFile(u"C:\\Ostrel\\csv\\mapped\\w.csv"));
    EXPECT_EQ(csvtest::ReadBytes(std::filesystem::path(vr::DataHome()) / "csv" / "mapped" / "w.csv"),
              "\"m\"\r\n");
}

TEST(CsvFilePathTest, ExtensionAndTimeStamp) {
    EXPECT_EQ(utils::CsvFilePath(u"data", nullptr), u"data.csv");
    EXPECT_EQ(utils::CsvFilePath(u"data.csv", nullptr), u"data.csv");
    EXPECT_EQ(utils::CsvFilePath(u"data.CSV", nullptr), u"data.CSV.csv") << "the search is case-sensitive";
    std::tm time{};
    time.tm_year = 2004 - 1900;
    time.tm_mon = 2;
    time.tm_mday = 5;
    time.tm_hour = 14;
    time.tm_min = 23;
    time.tm_sec = 1;
    EXPECT_EQ(utils::CsvFilePath(u"C:\\data\\run", &time), u"C:\\data\\run_2004Mar05_142301.csv");
    time.tm_mon = 11;
    EXPECT_EQ(utils::CsvFilePath(u"out.csv", &time), u"out_2004Dec05_142301.csv");
    // The stamp goes before the first ".csv", whatever follows it.
    EXPECT_EQ(utils::CsvFilePath(u"a.csv.b.csv", &time), u"a_2004Dec05_142301.csv");
}

} // namespace
