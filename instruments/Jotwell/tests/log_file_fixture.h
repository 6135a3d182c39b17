// The fixture of the log-file tests: COM on the test thread, a tracer, the registered server created by its
// ProgID, a fresh folder in the private data home, and helpers for owned texts and file bytes.
#pragma once

#include "common/trace/tests/trace_sink.h"
#include "jotwell.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "tests/support/com_holders.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>

namespace jotwelltest {

using vrtest::Bstr;
using vrtest::Missing;

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
            EXPECT_EQ(log->put_file(Bstr(vr::FromUtf8(path_.string()))), S_OK);
            EXPECT_EQ(log->put_writeMode(Bstr(writeMode)), S_OK);
        }
        return log;
    }

    // Saves one record "record" with the fields "in" and "out" and ends it.
    void Exchange(IVrLogFile* log, std::u16string_view command, std::u16string_view answer) {
        EXPECT_EQ(log->BeginRecord(Bstr(u"record")), S_OK);
        EXPECT_EQ(log->SaveField(Bstr(u"record"), Bstr(u"in"), Bstr(command)), S_OK);
        EXPECT_EQ(log->SaveField(Bstr(u"record"), Bstr(u"out"), Bstr(answer)), S_OK);
        EXPECT_EQ(log->EndRecord(Bstr(u"record")), S_OK);
    }

    // The "out" of the record whose "in" is command (a null result stays null).
    HRESULT Answer(IVrLogFile* log, std::u16string_view command, Bstr* answer) {
        std::u16string query = u"[in = " + XPathStringLiteral(command) + u"]";
        return log->ReadField(Bstr(u"record"), Bstr(query), Bstr(u"out"), answer->out());
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
