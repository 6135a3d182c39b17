// A message type parsed again skips the candidates after which no reading can go on; every answer, good or
// bad, must read exactly as it did the first time: the same values, match records and failure report.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct Answer {
    const char* adapter;
    const char* type;
    const char* text;
};

// Everything a parse leaves for its caller, as one comparable text.
std::string Outcome(CXlatrix& xlatrix, const Answer& answer) {
    bool parsed = xltest::ParseFresh(xlatrix, answer.type, answer.text);
    std::string outcome = (parsed ? "parsed" : "failed") + std::string(" at ") +
                          std::to_string(xlatrix.GetParseFailurePosition()) + " [" + xlatrix.strParsedText +
                          "|" + xlatrix.strUnparsedText + "] error: " + xlatrix.strErrorText + "\n";
    std::map<std::string, CXlatrix::MatchRecord> records(xlatrix.GetMatchRecords().begin(),
                                                         xlatrix.GetMatchRecords().end());
    for (const auto& [path, record] : records) {
        outcome += path + " " + std::to_string(record.nBegin) + "-" + std::to_string(record.nEnd) + " " +
                   record.strName + "[" + std::to_string(record.nIndex) + "]=" + record.strValue + "\n";
    }
    for (const auto& entry : xlatrix.arrReturnedParamValues) {
        for (const std::string& value : entry.arrValues) {
            outcome += entry.strName + "=" + value + "\n";
        }
    }
    return outcome;
}

TEST(Reparse, AnswersReadTheSameWhenTheirTypeIsParsedAgain) {
    const Answer answers[] = {
        {"xlatrix_multimeter.daf", "msg_ReadResponse", "+1.23456789E+00\n"},
        {"xlatrix_multimeter.daf", "msg_ReadResponse", "+1.2E+00"},
        {"xlatrix_multimeter.daf", "msg_ReadResponse", "+1.2E+00\n\n"},
        {"xlatrix_multimeter.daf", "msg_ReadResponse", "1.2.3\n"},
        {"xlatrix_multimeter.daf", "msg_ReadResponse", "OVLD\n"},
        {"xlatrix_multimeter.daf", "msg_MeasVoltResponse", "+1.2E+00 VDC\n"},
        {"xlatrix_multimeter.daf", "msg_MeasVoltResponse", "+1.2E+00 VAC\n"},
        {"xlatrix_multimeter.daf", "msg_FetchResponse", "+1.0E+00,+2.5E-01,-3.0E+02\n"},
        {"xlatrix_multimeter.daf", "msg_FetchResponse", "+1.0E+00,+2.0E+00,x\n"},
        {"xlatrix_multimeter.daf", "msg_FetchResponse", "+1.0E+00,,+2.0E+00\n"},
        {"xlatrix_multimeter.daf", "msg_CountListResponse", "10,20,30"},
        {"xlatrix_multimeter.daf", "msg_CountListResponse", "10,20,30x"},
        {"xlatrix_multimeter.daf", "msg_IdnResponse", "VORNIC,DMM-7,SN012345,1.04\n"},
        {"xlatrix_multimeter.daf", "msg_IdnResponse", "VORNIC,DMM-7,012345,1.04\n"},
        {"xlatrix_multimeter.daf", "msg_ErrorResponse", "-113,\"Undefined header\"\n"},
        {"xlatrix_multimeter.daf", "msg_ErrorResponse", "-113,Undefined\n"},
        {"xlatrix_powersupply.daf", "msg_GetVoltResponse", "12.5V\r\n"},
        {"xlatrix_powersupply.daf", "msg_GetVoltResponse", "12.5XV\r\n"},
        {"xlatrix_powersupply.daf", "msg_StatusResponse", "CH1:ON,CH2:OFF\r\n"},
        {"xlatrix_powersupply.daf", "msg_StatusResponse", "CH1:ON,CH3:OFF\r\n"},
        {"xlatrix_powersupply.daf", "msg_IdnResponse", "VORNIC PS-2 V1.2, serial 0042\r\n"},
        {"xlatrix_powersupply.daf", "msg_IdnResponse", "VORNIC PS-2 V1.2"},
    };
    std::map<std::string, CXlatrix> warmed; // each adapter's object, which has parsed every answer once
    for (const Answer& answer : answers) {
        SCOPED_TRACE(std::string(answer.type) + " on " + answer.text);
        CXlatrix first(false);
        ASSERT_TRUE(first.SetSchemaXml(xltest::DataPath(answer.adapter).c_str()));
        std::string expected = Outcome(first, answer);

        auto [again, made] = warmed.try_emplace(answer.adapter, false);
        if (made) {
            ASSERT_TRUE(again->second.SetSchemaXml(xltest::DataPath(answer.adapter).c_str()));
        }
        (void)Outcome(again->second, answer); // compiles the type's walk, if this is its first answer
        EXPECT_EQ(Outcome(again->second, answer), expected);
    }
}

} // namespace
