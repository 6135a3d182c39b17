// Reading fields back: queries by recorded text (any letter case through ms:string-compare, quotes through
// escaped literals), HexData and ISO-8859-1 text as recorded, random picks, and the document's lifetime.
#include "log_file_fixture.h"

#include <set>
#include <vector>

namespace jotwelltest {
namespace {

class LogFileReadTest : public LogFileTest {
protected:
    // The replay query of a connection: the "in" field equal to command without regard to case.
    HRESULT Replay(IVrLogFile* log, std::u16string_view record, std::u16string_view command, Bstr* answer) {
        std::u16string query = u"[ms:string-compare(in, " + XPathStringLiteral(command) + u", '', 'i') = 0]";
        return log->ReadField(Bstr(record), Bstr(query), Bstr(u"out"), answer->out());
    }
};

TEST_F(LogFileReadTest, AQueryThatMatchesNothingGivesANullString) {
    Exchange(log_.Get(), u"A?", u"1");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    Bstr answer;
    ASSERT_EQ(Answer(log_.Get(), u"B?", &answer), S_OK);
    EXPECT_EQ(answer.get(), nullptr);
    EXPECT_TRUE(Traced(u"Query: 'record[in = 'B?']', 'out'; No Record found in LogFile!"));
    // An empty answer is found, and is not the null string.
    Exchange(log_.Get(), u"EMPTY?", u"");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    ASSERT_EQ(Answer(log_.Get(), u"EMPTY?", &answer), S_OK);
    EXPECT_NE(answer.get(), nullptr);
    EXPECT_EQ(answer.str(), u"");
}

TEST_F(LogFileReadTest, ReplayMatchesCommandsInAnyLetterCaseAndAnyRecordName) {
    Exchange(log_.Get(), u"MEAS:VOLT?", u"1.25\n");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    Bstr answer;
    ASSERT_EQ(Replay(log_.Get(), u"*", u"meas:volt?", &answer), S_OK);
    EXPECT_EQ(answer.str(), u"1.25\n");
    EXPECT_TRUE(Traced(u"Readed from LogFile: '1.25\n'."));
}

TEST_F(LogFileReadTest, CommandsWithQuotesAreFoundAgain) {
    const std::u16string commands[] = {u"DISP:TEXT 'it''s'", u"SYST:LANG \"SCPI\"", u"MMEM:LOAD 'a', \"b\""};
    for (const std::u16string& command : commands) {
        Exchange(log_.Get(), command, u"answer to " + command);
    }
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    for (const std::u16string& command : commands) {
        Bstr answer;
        ASSERT_EQ(Replay(log_.Get(), u"*", command, &answer), S_OK);
        EXPECT_EQ(answer.str(), u"answer to " + command);
    }
}

TEST_F(LogFileReadTest, DataIsReadBackAsItWasSaved) {
    const std::u16string answers[] = {u"\x1B[1mbold\x1B[0m", u"<![CDATA[x]]>",  u"25\u00B0C \u00E9t\u00E9",
                                      u"\u03A9 = 50",        u"tab\tand\nline", u"\x01\x02\x03"};
    for (size_t i = 0; i < std::size(answers); ++i) {
        Exchange(log_.Get(), u"Q" + vr::FromUtf8(std::to_string(i)), answers[i]);
    }
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    std::string bytes = ReadBytes(path_);
    // Bstr in ISO-8859-1 as the header names it; wide characters and control characters as HexData.
    EXPECT_NE(bytes.find("<![CDATA[25\xB0"
                         "C \xE9t\xE9]]>"),
              std::string::npos);
    EXPECT_NE(bytes.find("<out>HexData: 3A9 20 3D 20 35 30</out>"), std::string::npos);
    EXPECT_NE(bytes.find("<![CDATA[tab\tand\nline]]>"), std::string::npos);
    for (size_t i = 0; i < std::size(answers); ++i) {
        Bstr answer;
        ASSERT_EQ(Answer(log_.Get(), u"Q" + vr::FromUtf8(std::to_string(i)), &answer), S_OK);
        EXPECT_EQ(answer.str(), answers[i]) << i;
    }
}

TEST_F(LogFileReadTest, CommandsWithCharactersOutsideTheFilesEncodingAreFoundAgain) {
    Exchange(log_.Get(), u"LABEL \u00C5ngstr\u00F6m", u"ok1");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    Bstr answer;
    ASSERT_EQ(Answer(log_.Get(), u"LABEL \u00C5ngstr\u00F6m", &answer), S_OK);
    EXPECT_EQ(answer.str(), u"ok1");
}

TEST_F(LogFileReadTest, SeveralMatchingRecordsAreAllPickedInTime) {
    Exchange(log_.Get(), u"RAND?", u"1");
    Exchange(log_.Get(), u"RAND?", u"2");
    Exchange(log_.Get(), u"RAND?", u"3");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    std::set<std::u16string> seen;
    for (int i = 0; i < 200 && seen.size() < 3; ++i) {
        Bstr answer;
        ASSERT_EQ(Answer(log_.Get(), u"RAND?", &answer), S_OK);
        seen.insert(answer.str());
    }
    EXPECT_EQ(seen, (std::set<std::u16string>{u"1", u"2", u"3"}));
}

TEST_F(LogFileReadTest, TheLoadedDocumentIsKeptUntilFlush) {
    Exchange(log_.Get(), u"A?", u"1");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    Bstr answer;
    ASSERT_EQ(Answer(log_.Get(), u"A?", &answer), S_OK);
    Exchange(log_.Get(), u"B?", u"2");
    ASSERT_EQ(log_->Flush(Flag(true)), S_OK);
    ASSERT_EQ(Answer(log_.Get(), u"B?", &answer), S_OK);
    EXPECT_EQ(answer.get(), nullptr); // written meanwhile: not seen yet
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    ASSERT_EQ(Answer(log_.Get(), u"B?", &answer), S_OK);
    EXPECT_EQ(answer.str(), u"2");
}

TEST_F(LogFileReadTest, QueriesMatchLineEndsAsTheDocumentHoldsThem) {
    ASSERT_EQ(log_->SaveField(Bstr(u"record"), Bstr(u"in"), Bstr(u"two\nlines")), S_OK);
    ASSERT_EQ(log_->SaveField(Bstr(u"record"), Bstr(u"out"), Bstr(u"ok")), S_OK);
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    Bstr answer;
    ASSERT_EQ(Answer(log_.Get(), u"two\rlines", &answer), S_OK);
    EXPECT_EQ(answer.str(), u"ok");
}

TEST_F(LogFileReadTest, ReadFailuresAreReportedWithTheirCode) {
    Bstr answer;
    EXPECT_EQ(log_->ReadField(Bstr(u"record"), Bstr(u""), Bstr(u"out"), nullptr), E_POINTER);
    // No file yet.
    HRESULT missing = log_->ReadField(Bstr(u"record"), Bstr(u""), Bstr(u"out"), answer.out());
    EXPECT_TRUE(FAILED(missing));
    EXPECT_EQ(answer.get(), nullptr);
    // A malformed file (one that is only cut short is read: see the test below).
    WriteBytes(path_, "<log><record></log>");
    EXPECT_TRUE(FAILED(log_->ReadField(Bstr(u"record"), Bstr(u""), Bstr(u"out"), answer.out())));
    // A query that is no XPath; the object stays usable.
    WriteBytes(path_, kHeader + "\r\n<record>\r\n<out><![CDATA[1]]></out></record></log>");
    EXPECT_TRUE(FAILED(log_->ReadField(Bstr(u"record"), Bstr(u"[in = 'x"), Bstr(u"out"), answer.out())));
    ASSERT_EQ(log_->ReadField(Bstr(u"record"), Bstr(u""), Bstr(u"out"), answer.out()), S_OK);
    EXPECT_EQ(answer.str(), u"1");
    EXPECT_TRUE(Traced(u"Loaded Log file '"));
}

TEST_F(LogFileReadTest, AFileCutShortByAStoppedRecorderGivesEveryRecordItHoldsWhole) {
    // One answer looks like the end of a record and of the file; one is kept as HexData.
    const std::u16string answers[] = {u"1", u"</out></record></log>", u"\x1B[0m"};
    std::vector<uintmax_t> recordEnds;
    for (size_t i = 0; i < std::size(answers); ++i) {
        Exchange(log_.Get(), u"Q" + vr::FromUtf8(std::to_string(i)), answers[i]);
        recordEnds.push_back(std::filesystem::file_size(path_)); // each record is written as it ends
    }
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    const std::string whole = ReadBytes(path_);

    // Every length the file could have been left with, from the root open tag on.
    for (size_t cut = kHeader.size(); cut < whole.size(); ++cut) {
        WriteBytes(path_, whole.substr(0, cut));
        vr::ComPtr<IVrLogFile> reader = Create(u"Off");
        for (size_t i = 0; i < std::size(answers); ++i) {
            Bstr answer;
            ASSERT_EQ(Answer(reader.Get(), u"Q" + vr::FromUtf8(std::to_string(i)), &answer), S_OK)
                << "cut at " << cut;
            if (cut >= recordEnds[i]) {
                EXPECT_EQ(answer.str(), answers[i]) << "cut at " << cut;
            } else {
                EXPECT_EQ(answer.get(), nullptr) << "cut at " << cut;
            }
        }
    }
    EXPECT_TRUE(Traced(u"ends without its close tag"));
}

} // namespace
} // namespace jotwelltest
