// libFuzzer target: arbitrary answers parsed against the message types of the multimeter and power supply
// adapters, with every matching option. Checks what must hold after any parse and that none takes too long.
//
// CI runs it for a bounded time through ctest (test "xlatrix_parse_fuzz", built when clang++ is at hand and
// the build is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/xlatrix_parse_fuzz fuzz-corpus <source>/instruments/Xlatrix/fuzz/seeds -max_len=512 -timeout=10 \
//       -max_total_time=3600 -jobs=4 -workers=4
// A crash or timeout leaves its input in the working folder (crash-*, timeout-*); replay it with
//   bin/xlatrix_parse_fuzz crash-<hash>
#include "instruments/Xlatrix/Xlatrix.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Message {
    int adapter;
    const char* type;
};

// The response types of both adapters, and a few command types parsed as answers too.
constexpr Message kMessages[] = {
    {0, "msg_ReadResponse"},      {0, "msg_MeasVoltResponse"}, {0, "msg_FetchResponse"},
    {0, "msg_CountListResponse"}, {0, "msg_IdnResponse"},      {0, "msg_ErrorResponse"},
    {0, "msg_ConfVolt"},          {1, "msg_GetVoltResponse"},  {1, "msg_StatusResponse"},
    {1, "msg_IdnResponse"},       {1, "msg_SetVolt"},          {1, "msg_SetSequence"},
    {1, "msg_SetVoltText"},       {1, "msg_SetOutput"},
};
constexpr size_t kMessageCount = sizeof kMessages / sizeof kMessages[0];

CXlatrix* LoadAdapter(const char* file) {
    auto* xlatrix = new CXlatrix(false); // lives for the whole run
    std::string path = std::string(XLATRIX_FUZZ_DATA) + "/" + file;
    if (!xlatrix->SetSchemaXml(path.c_str())) {
        std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), xlatrix->strErrorText.c_str());
        std::abort();
    }
    return xlatrix;
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "violated: %s\n", what);
        std::abort();
    }
}

} // namespace

// The first byte chooses the message type and the matching options; the rest, up to a zero byte, is the
// answer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CXlatrix* adapters[] = {LoadAdapter("xlatrix_multimeter.daf"),
                                   LoadAdapter("xlatrix_powersupply.daf")};
    if (size == 0) {
        return 0;
    }
    const Message& message = kMessages[(data[0] & 0x0F) % kMessageCount];
    CXlatrix& xlatrix = *adapters[message.adapter];
    xlatrix.bNumericLookAhead = (data[0] & 0x10) != 0;
    xlatrix.bLongestValueByDefault = (data[0] & 0x20) != 0;
    xlatrix.bTrimValues = (data[0] & 0x40) == 0;
    std::string answer(reinterpret_cast<const char*>(data + 1), size - 1);
    answer = answer.c_str(); // the text ends at its first zero byte

    xlatrix.arrReturnedParamValues.clear();
    bool parsed = xlatrix.Parse(message.type, answer.c_str());
    int length = static_cast<int>(answer.size());
    if (parsed) {
        Require(xlatrix.GetParseFailurePosition() == -1, "no failure position after a success");
        for (const auto& [path, record] : xlatrix.GetMatchRecords()) {
            Require(0 <= record.nBegin && record.nBegin < record.nEnd && record.nEnd <= length,
                    "match inside the text");
        }
        for (const CXlatrix::ParamValue& entry : xlatrix.arrReturnedParamValues) {
            Require(!entry.strName.empty() && entry.strName[0] != '_', "only value names are returned");
        }
    } else {
        int position = xlatrix.GetParseFailurePosition();
        Require(0 <= position && position <= length, "failure position inside the text");
        Require(xlatrix.strParsedText + xlatrix.strUnparsedText == answer, "the split keeps the whole text");
        Require(xlatrix.arrReturnedParamValues.empty(), "a failed parse returns nothing");
    }
    return 0;
}
