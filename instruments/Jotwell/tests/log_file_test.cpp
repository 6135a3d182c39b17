// The log-file object writing records: the exact bytes, the write modes, records held until they end, the
// settings through the attribute collection, and names that would break the file.
#include "log_file_fixture.h"
#include "platform/com/errorinfo.h"

#include <sys/stat.h>

namespace jotwelltest {
namespace {

// The description of the calling thread's error information, taken.
std::u16string TakeErrorDescription() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return u"<none>";
    }
    BSTR description = nullptr;
    EXPECT_EQ(info->GetDescription(&description), S_OK);
    std::u16string text(vr::BstrView(description));
    SysFreeString(description);
    return text;
}

TEST_F(LogFileTest, BeginWritesTheFileAnewWithTheExactFormat) {
    WriteBytes(path_, "old content that must go");
    log_ = Create(u"Begin");
    Exchange(log_.Get(), u"*IDN?", u"Maker,Model,1,2\n");
    Bstr mode;
    ASSERT_EQ(log_->get_writeMode(mode.out()), S_OK);
    EXPECT_EQ(mode.str(), u"Continue"); // "Begin" lasts for one opening
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    EXPECT_EQ(ReadBytes(path_), kHeader + "\r\n<record>\r\n<in><![CDATA[*IDN?]]></in>\r\n"
                                          "<out><![CDATA[Maker,Model,1,2\n]]></out></record></log>");
    EXPECT_TRUE(Traced(u"Open LogFile '"));
    EXPECT_TRUE(Traced(u"Close LogFile '"));
}

// A recording feeds tests their answers: it is the user's alone under any umask, and one that others may
// change is neither written nor replayed.
TEST_F(LogFileTest, ARecordingIsTheUsersAloneAndOneOthersMayChangeIsRefused) {
    namespace fs = std::filesystem;
    mode_t saved = umask(0);
    log_ = Create(u"Begin");
    Exchange(log_.Get(), u"*IDN?", u"Maker\n");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    umask(saved);
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(path_, fs::perms::others_write, fs::perm_options::add);
    log_ = Create(u"Continue");
    EXPECT_EQ(log_->BeginRecord(Bstr(u"record")), S_OK);
    HRESULT written = log_->EndRecord(Bstr(u"record"));
    HRESULT flushed = log_->Flush(Missing());
    EXPECT_TRUE(FAILED(written) || FAILED(flushed));
    Bstr answer;
    EXPECT_TRUE(FAILED(log_->ReadField(Bstr(u"record"), Bstr(u""), Bstr(u"out"), answer.out())));
    EXPECT_TRUE(Traced(u"The recording '" + vr::FromUtf8(path_.string()) +
                       u"' may be changed by others (mode 0602); it is not written."));
    EXPECT_TRUE(Traced(u"The recording '" + vr::FromUtf8(path_.string()) +
                       u"' may be changed by others (mode 0602); it is not replayed."));
}

TEST_F(LogFileTest, WriteModeOffSucceedsAndCreatesNoFile) {
    ASSERT_EQ(log_->put_writeMode(Bstr(u"Off")), S_OK);
    EXPECT_EQ(log_->BeginRecord(Bstr(u"record")), S_OK);
    EXPECT_EQ(log_->SaveField(Bstr(u"record"), Bstr(u"in"), Bstr(u"x")), S_OK);
    EXPECT_EQ(log_->EndRecord(Bstr(u"record")), S_OK);
    EXPECT_EQ(log_->SaveField(Bstr(u"other"), Bstr(u"in"), Bstr(u"y")), S_OK);
    EXPECT_EQ(log_->Flush(Flag(true)), S_OK);
    EXPECT_EQ(log_->Flush(Missing()), S_OK);
    log_ = nullptr;
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(LogFileTest, NothingOfARecordReachesTheFileBeforeItEnds) {
    ASSERT_EQ(log_->SaveField(Bstr(u"record"), Bstr(u"in"), Bstr(u"first")), S_OK);
    EXPECT_FALSE(std::filesystem::exists(path_));
    // Beginning the same id again ends the open record first.
    ASSERT_EQ(log_->BeginRecord(Bstr(u"record")), S_OK);
    EXPECT_EQ(ReadBytes(path_), kHeader + "\r\n<record>\r\n<in><![CDATA[first]]></in></record>");
}

TEST_F(LogFileTest, AFieldSavedTwiceIsWrittenTwiceInOrder) {
    ASSERT_EQ(log_->SaveField(Bstr(u"r"), Bstr(u"out"), Bstr(u"1")), S_OK);
    ASSERT_EQ(log_->SaveField(Bstr(u"r"), Bstr(u"out"), Bstr(u"2")), S_OK);
    ASSERT_EQ(log_->EndRecord(Bstr(u"r")), S_OK);
    EXPECT_EQ(ReadBytes(path_),
              kHeader + "\r\n<r>\r\n<out><![CDATA[1]]></out>\r\n<out><![CDATA[2]]></out></r>");
}

TEST_F(LogFileTest, EndingARecordThatWasNeverBegunIsAnInvalidArgument) {
    EXPECT_EQ(log_->EndRecord(Bstr(u"record")), E_INVALIDARG);
    EXPECT_NE(TakeErrorDescription().find(u"There is no open record 'record' in the LogFile."),
              std::u16string::npos);
    ASSERT_EQ(log_->BeginRecord(Bstr(u"record")), S_OK);
    ASSERT_EQ(log_->EndRecord(Bstr(u"record")), S_OK);
    EXPECT_EQ(log_->EndRecord(Bstr(u"record")), E_INVALIDARG); // ended records are forgotten
}

TEST_F(LogFileTest, FlushWithAnArgumentEndsRecordsButKeepsTheFileOpen) {
    ASSERT_EQ(log_->SaveField(Bstr(u"b"), Bstr(u"f"), Bstr(u"2")), S_OK);
    ASSERT_EQ(log_->SaveField(Bstr(u"a"), Bstr(u"f"), Bstr(u"1")), S_OK);
    ASSERT_EQ(log_->Flush(Flag(false)), S_OK);
    // Records end in the order of their ids; the file has no close tag yet.
    std::string written = kHeader + "\r\n<a>\r\n<f><![CDATA[1]]></f></a>\r\n<b>\r\n<f><![CDATA[2]]></f></b>";
    EXPECT_EQ(ReadBytes(path_), written);
    EXPECT_FALSE(Traced(u"Close LogFile"));
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    EXPECT_EQ(ReadBytes(path_), written + "</log>");
}

TEST_F(LogFileTest, ReleasingTheObjectLeavesACompleteFile) {
    ASSERT_EQ(log_->SaveField(Bstr(u"record"), Bstr(u"in"), Bstr(u"x")), S_OK);
    log_ = nullptr;
    EXPECT_EQ(ReadBytes(path_), kHeader + "\r\n<record>\r\n<in><![CDATA[x]]></in></record></log>");
}

TEST_F(LogFileTest, TheRootElementNamesTheFilesRoot) {
    ASSERT_EQ(log_->put_rootElement(Bstr(u"traffic")), S_OK);
    Exchange(log_.Get(), u"a", u"b");
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    std::string bytes = ReadBytes(path_);
    EXPECT_EQ(bytes.substr(kHeader.size() - 5, 9), "<traffic>");
    EXPECT_TRUE(bytes.ends_with("</record></traffic>"));
}

// A name that is no XML name would leave a file that no reader loads, losing every record in it.
TEST_F(LogFileTest, NamesThatWouldBreakTheFileAreRefused) {
    Exchange(log_.Get(), u"kept", u"yes");
    EXPECT_EQ(log_->BeginRecord(Bstr(u"two words")), E_INVALIDARG);
    EXPECT_EQ(log_->SaveField(Bstr(u"record"), Bstr(u"<in>"), Bstr(u"x")), E_INVALIDARG);
    EXPECT_EQ(log_->SaveField(Bstr(u"1st"), Bstr(u"in"), Bstr(u"x")), E_INVALIDARG);
    EXPECT_EQ(log_->EndRecord(Bstr(u"1st")), E_INVALIDARG);
    ASSERT_EQ(log_->Flush(Missing()), S_OK);
    Bstr answer;
    ASSERT_EQ(Answer(log_.Get(), u"kept", &answer), S_OK);
    EXPECT_EQ(answer.str(), u"yes");
}

TEST_F(LogFileTest, AFileThatCannotBeOpenedGivesTheSystemError) {
    ASSERT_EQ(log_->put_file(Bstr(vr::FromUtf8((folder_ / "missing" / "x.xml").string()))), S_OK);
    ASSERT_EQ(log_->BeginRecord(Bstr(u"record")), S_OK);
    EXPECT_EQ(log_->EndRecord(Bstr(u"record")), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    // The record stays open and the object usable: pointed at a good file, the record arrives.
    ASSERT_EQ(log_->put_file(Bstr(vr::FromUtf8(path_.string()))), S_OK);
    EXPECT_EQ(log_->Flush(Missing()), S_OK);
    EXPECT_EQ(ReadBytes(path_), kHeader + "\r\n<record></record></log>");
}

TEST_F(LogFileTest, SettingsGoThroughTheAttributeCollection) {
    vr::ComPtr<IVrAttributeCollection> attributes;
    EXPECT_EQ(log_->get_Attributes(nullptr), E_POINTER);
    ASSERT_EQ(log_->get_Attributes(attributes.Put()), S_OK);
    vr::ComPtr<IVrAttributeCollection> queried;
    ASSERT_EQ(log_->QueryInterface(IID_IVrAttributeCollection, queried.PutVoid()), S_OK);
    EXPECT_EQ(queried.Get(), attributes.Get());

    // Values the schema does not allow are refused and leave the member as it was.
    EXPECT_TRUE(FAILED(log_->put_writeMode(Bstr(u"Sometimes"))));
    EXPECT_TRUE(FAILED(log_->put_readMode(Bstr(u"Backwards"))));
    Bstr value;
    ASSERT_EQ(log_->get_readMode(value.out()), S_OK);
    EXPECT_EQ(value.str(), u"Random");
    ASSERT_EQ(log_->get_rootElement(value.out()), S_OK);
    EXPECT_EQ(value.str(), u"log");

    // Set by name through the collection, the value reaches the object.
    VARIANT mode;
    VariantInit(&mode);
    mode.vt = VT_BSTR;
    mode.bstrVal = vr::AllocBstr(u"Sequential");
    ASSERT_EQ(attributes->SetAttribute(Bstr(u"LOGFILE:READMODE"), mode), S_OK);
    (void)VariantClear(&mode);
    ASSERT_EQ(log_->get_readMode(value.out()), S_OK);
    EXPECT_EQ(value.str(), u"Sequential");
}

TEST_F(LogFileTest, TheDefaultFileLiesInTheDataHome) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kLogFileProgId, &clsid), S_OK);
    vr::ComPtr<IVrLogFile> log;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVrLogFile, log.PutVoid()), S_OK);
    Bstr value;
    ASSERT_EQ(log->get_file(value.out()), S_OK);
    EXPECT_EQ(value.str(), u"C:\\VrLogFile.xml");
    ASSERT_EQ(log->get_writeMode(value.out()), S_OK);
    EXPECT_EQ(value.str(), u"Off");
    ASSERT_EQ(log->put_writeMode(Bstr(u"Begin")), S_OK);
    ASSERT_EQ(log->Flush(Missing()), S_OK);
    std::filesystem::path file = std::filesystem::path(vr::DataHome()) / "VrLogFile.xml";
    EXPECT_EQ(ReadBytes(file), kHeader + "</log>");
    std::filesystem::remove(file);
}

TEST_F(LogFileTest, SavedDataIsTracedShortened) {
    ASSERT_EQ(log_->SaveField(Bstr(u"record"), Bstr(u"out"), Bstr(u"0123456789ABCDEFGHIJKLMN")), S_OK);
    EXPECT_TRUE(Traced(u"Saved to LogFile 'record/out' = '0123456789ABCDEFGHIJ...'."));
}

TEST_F(LogFileTest, ScriptsReachTheMethodsByName) {
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(log_->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"saveField"), const_cast<LPOLESTR>(u"FLUSH")};
    DISPID ids[2] = {};
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &names[0], 1, 0, &ids[0]), S_OK);
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &names[1], 1, 0, &ids[1]), S_OK);
    EXPECT_EQ(ids[0], 6);
    EXPECT_EQ(ids[1], 7);
    VARIANT args[3];
    for (VARIANT& arg : args) {
        VariantInit(&arg);
        arg.vt = VT_BSTR;
    }
    args[2].bstrVal = vr::AllocBstr(u"record"); // arguments arrive in reverse order
    args[1].bstrVal = vr::AllocBstr(u"in");
    args[0].bstrVal = vr::AllocBstr(u"MEAS?");
    DISPPARAMS params{args, nullptr, 3, 0};
    ASSERT_EQ(dispatch->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(dispatch->Invoke(ids[1], IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    for (VARIANT& arg : args) {
        (void)VariantClear(&arg);
    }
    EXPECT_EQ(ReadBytes(path_), kHeader + "\r\n<record>\r\n<in><![CDATA[MEAS?]]></in></record></log>");
}

} // namespace
} // namespace jotwelltest
