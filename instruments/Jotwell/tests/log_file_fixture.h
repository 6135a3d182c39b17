// The fixture of the log-file tests: COM on the test thread, a tracer, the registered server created by its
// ProgID, a fresh folder in the private data home, and helpers for owned texts and file bytes.
#pragma once

#include "common/tests/trace_sink.h"
#include "jotwell.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>

namespace jotwelltest {

// An owned BSTR for arguments.
class Text {
public:
    Text(std::u16string_view text) : bstr_(vr::AllocBstr(text)) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(bstr_); }
    operator BSTR() const { return bstr_; }

private:
    BSTR bstr_;
};

// An owned out-BSTR: null stays distinguishable from empty.
struct Result {
    BSTR bstr = nullptr;
    Result() = default;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() { SysFreeString(bstr); }
    BSTR* Put() {
        SysFreeString(bstr);
        bstr = nullptr;
        return &bstr;
    }
    std::u16string Value() const { return std::u16string(vr::BstrView(bstr)); }
};

inline VARIANT Missing() {
    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    return missing;
}

inline VARIANT Flag(bool value) {
    VARIANT flag;
    VariantInit(&flag);
    flag.vt = VT_BOOL;
    flag.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return flag;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline const std::string kHeader = "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes' ?>\r\n<log>";

class LogFileTest : public commontest::TracedTest {
protected:
    void SetUp() override {
        TracedTest::SetUp();
        folder_ = std::filesystem::path(vr::DataHome()) / "logfile" /
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        path_ = folder_ / "traffic.xml";
        log_ = Create(u"Continue");
        ASSERT_TRUE(log_);
    }
    void TearDown() override {
        log_ = nullptr;
        CoFreeUnusedLibrariesEx(0, 0);
        TracedTest::TearDown();
    }

    // A log file object on path_ with the write mode given.
    vr::ComPtr<IVrLogFile> Create(std::u16string_view writeMode) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(kLogFileIndependentProgId, &clsid), S_OK);
        vr::ComPtr<IVrLogFile> log;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVrLogFile, log.PutVoid()),
                  S_OK);
        if (log) {
            EXPECT_EQ(log->put_file(Text(vr::FromUtf8(path_.string()))), S_OK);
            EXPECT_EQ(log->put_writeMode(Text(writeMode)), S_OK);
        }
        return log;
    }

    // Saves one record "record" with the fields "in" and "out" and ends it.
    void Exchange(IVrLogFile* log, std::u16string_view command, std::u16string_view answer) {
        EXPECT_EQ(log->BeginRecord(Text(u"record")), S_OK);
        EXPECT_EQ(log->SaveField(Text(u"record"), Text(u"in"), Text(command)), S_OK);
        EXPECT_EQ(log->SaveField(Text(u"record"), Text(u"out"), Text(answer)), S_OK);
        EXPECT_EQ(log->EndRecord(Text(u"record")), S_OK);
    }

    // The "out" of the record whose "in" is command (a null result stays null).
    HRESULT Answer(IVrLogFile* log, std::u16string_view command, Result* answer) {
        std::u16string query = u"[in = " + XPathStringLiteral(command) + u"]";
        return log->ReadField(Text(u"record"), Text(query), Text(u"out"), answer->Put());
    }

    bool Traced(std::u16string_view text) const {
        for (const commontest::SinkCall& call : sink_->Calls()) {
            if (call.text.find(text) != std::u16string::npos) {
                return true;
            }
        }
        return false;
    }

    std::filesystem::path folder_;
    std::filesystem::path path_;
    vr::ComPtr<IVrLogFile> log_;
};

} // namespace jotwelltest
