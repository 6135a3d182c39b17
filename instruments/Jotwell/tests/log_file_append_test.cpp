// Appending to existing log files: objects one after the other, files with white space after the root, files
// a recorder left without a close tag; no record is ever overwritten and the file stays loadable.
#include "log_file_fixture.h"

namespace jotwelltest {
namespace {

class LogFileAppendTest : public LogFileTest {
protected:
    // Every recorded answer, in file order, read back by queries.
    void ExpectAnswers(std::initializer_list<std::pair<std::u16string, std::u16string>> exchanges) {
        vr::ComPtr<IVrLogFile> reader = Create(u"Off");
        for (const auto& [command, answer] : exchanges) {
            Bstr read;
            ASSERT_EQ(Answer(reader.Get(), command, &read), S_OK);
            EXPECT_EQ(read.str(), answer);
            EXPECT_NE(read.get(), nullptr);
        }
    }
};

TEST_F(LogFileAppendTest, TwoObjectsOneAfterTheOtherShareOneRoot) {
    Exchange(log_.Get(), u"A?", u"1");
    log_ = nullptr;
    vr::ComPtr<IVrLogFile> second = Create(u"Continue");
    Exchange(second.Get(), u"B?", u"2");
    second = nullptr;
    std::string bytes = ReadBytes(path_);
    EXPECT_EQ(bytes, kHeader + "\r\n<record>\r\n<in><![CDATA[A?]]></in>\r\n<out><![CDATA[1]]></out></record>"
                               "\r\n<record>\r\n<in><![CDATA[B?]]></in>\r\n<out><![CDATA[2]]></out></record>"
                               "</log>");
    ExpectAnswers({{u"A?", u"1"}, {u"B?", u"2"}});
}

TEST_F(LogFileAppendTest, WhiteSpaceAfterTheRootIsNoRecordToOverwrite) {
    Exchange(log_.Get(), u"A?", u"1");
    log_ = nullptr;
    WriteBytes(path_, ReadBytes(path_) + "\r\n");
    vr::ComPtr<IVrLogFile> second = Create(u"Continue");
    Exchange(second.Get(), u"B?", u"2");
    second = nullptr;
    EXPECT_TRUE(ReadBytes(path_).ends_with("</out></record></log>"));
    ExpectAnswers({{u"A?", u"1"}, {u"B?", u"2"}});
}

// A recorder killed before it flushed leaves its records without the close tag.
TEST_F(LogFileAppendTest, AFileWithoutCloseTagKeepsItsLastRecord) {
    ASSERT_EQ(log_->put_rootElement(Bstr(u"l")), S_OK); // a short root: its tag is shorter than a record
    Exchange(log_.Get(), u"A?", u"1");
    ASSERT_EQ(log_->Flush(Flag(true)), S_OK);
    std::string unfinished = ReadBytes(path_);
    ASSERT_TRUE(unfinished.ends_with("</record>"));
    log_ = nullptr;
    WriteBytes(path_, unfinished);

    vr::ComPtr<IVrLogFile> second = Create(u"Continue");
    ASSERT_EQ(second->put_rootElement(Bstr(u"l")), S_OK);
    Exchange(second.Get(), u"B?", u"2");
    second = nullptr;
    EXPECT_EQ(ReadBytes(path_).substr(0, unfinished.size()), unfinished);
    vr::ComPtr<IVrLogFile> reader = Create(u"Off");
    for (auto [command, answer] : {std::pair{u"A?", u"1"}, std::pair{u"B?", u"2"}}) {
        Bstr read;
        ASSERT_EQ(Answer(reader.Get(), command, &read), S_OK);
        EXPECT_EQ(read.str(), answer);
    }
}

} // namespace
} // namespace jotwelltest
