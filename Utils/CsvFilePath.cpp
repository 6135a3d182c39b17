// The path a CSV file is saved to or read from: the ".csv" extension and the optional time stamp in its name.
#include "CsvFilePath.h"

#include "platform/base/format.h"

namespace utils {

namespace {

constexpr std::u16string_view kExtension = u".csv";

// The month is written in English whatever the locale, as the file names have always been.
constexpr const char16_t* kMonths[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                         u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

std::u16string TimeStampText(const std::tm& time) {
    const int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;
    return vr::FormatWString(u"_%d%s%02d_%02d%02d%02d", time.tm_year + 1900, kMonths[month], time.tm_mday,
                             time.tm_hour, time.tm_min, time.tm_sec);
}

} // namespace

std::u16string CsvFilePath(std::u16string_view path, const std::tm* timeStamp) {
    std::u16string built(path);
    if (built.find(kExtension) == std::u16string::npos) {
        built += kExtension;
    }
    if (timeStamp) {
        built =
            built.substr(0, built.find(kExtension)) + TimeStampText(*timeStamp) + std::u16string(kExtension);
    }
    return built;
}

std::tm LocalTimeNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace utils
