// The path a CSV file is saved to or read from: the ".csv" extension and the optional time stamp in its name.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace utils {

// The path with ".csv" appended when it has none (searched case-sensitively, so "data.CSV" becomes
// "data.CSV.csv"). With a time stamp, the text before the first ".csv" is followed by "_%Y%b%d_%H%M%S" of
// the time (English month abbreviation) and ".csv": "C:\data\run" at 14:23:01 on 5 March 2004 becomes
// "C:\data\run_2004Mar05_142301.csv".
std::u16string CsvFilePath(std::u16string_view path, const std::tm* timeStamp);

// The local time now, for the time stamp.
std::tm LocalTimeNow();

} // namespace utils
