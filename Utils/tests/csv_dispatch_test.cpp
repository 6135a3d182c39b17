// The CSV file object as a script reaches it: members by name through IDispatch, optional arguments left
// out, the default member `cell`, and failures carried in EXCEPINFO.
#include "csv_test_support.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "utils.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using csvtest::Value;
using vr::ComPtr;

// What one call gave back.
struct Call {
    HRESULT hr = E_UNEXPECTED;
    Value result;
    EXCEPINFO excep{};
    Call() = default;
    Call(const Call&) = delete;
    ~Call() { vr::ClearExcepInfo(&excep); }
};

class CsvDispatchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(kCsvFileProgId, &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, csv_.PutVoid()), S_OK);
        folder_ = csvtest::FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override {
        csv_ = nullptr;
        CoFreeUnusedLibrariesEx(0, 0);
        CoUninitialize();
    }

    DISPID IdOf(const char16_t* name) {
        std::u16string copy(name);
        LPOLESTR names[] = {copy.data()};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(csv_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << vr::ToUtf8(name);
        return id;
    }

    // Arguments in their natural order; a put passes its value last, named DISPID_PROPERTYPUT.
    void Invoke(DISPID id, WORD flags, const std::vector<const Value*>& arguments, Call& call) {
        std::vector<VARIANT> reversed;
        for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
            reversed.push_back((*it)->v);
        }
        DISPID putId = DISPID_PROPERTYPUT;
        const bool put = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                          put ? 1u : 0u};
        UINT argError = 0;
        call.hr = csv_->Invoke(id, IID_NULL, 0, flags, &params, &call.result.v, &call.excep, &argError);
    }
    void Invoke(const char16_t* name, WORD flags, const std::vector<const Value*>& arguments, Call& call) {
        Invoke(IdOf(name), flags, arguments, call);
    }

    ComPtr<IDispatch> csv_;
    std::filesystem::path folder_;
};

TEST_F(CsvDispatchTest, MembersHaveTheirDispatchIdentifiers) {
    EXPECT_EQ(IdOf(u"Init"), 0x60020000);
    EXPECT_EQ(IdOf(u"Clear"), 0x60020001);
    EXPECT_EQ(IdOf(u"cell"), DISPID_VALUE);
    EXPECT_EQ(IdOf(u"COLUMNS"), 0x60020004);
    EXPECT_EQ(IdOf(u"rows"), 0x60020006);
    EXPECT_EQ(IdOf(u"SaveFile"), 0x60020008);
    EXPECT_EQ(IdOf(u"readfile"), 0x60020009);
    EXPECT_EQ(IdOf(u"file"), 0x6002000a);
    EXPECT_EQ(IdOf(u"Close"), 0x6002000c);
}

TEST_F(CsvDispatchTest, AScriptFillsSavesAndReadsAGrid) {
    const std::u16string path = csvtest::U16(folder_ / "script");
    const Value options(u"File='" + path + u"' ArrayPlacement=Row");
    Call init;
    Invoke(u"Init", DISPATCH_METHOD, {&options}, init);
    ASSERT_EQ(init.hr, S_OK);

    const Value zero(0), one(1), low(0.25), high(9.75), name(u"volts");
    const Value values = Value::Array({&low, &high});
    Call putName, putValues;
    Invoke(DISPID_VALUE, DISPATCH_PROPERTYPUT, {&zero, &zero, &name}, putName);
    Invoke(u"cell", DISPATCH_PROPERTYPUT, {&one, &zero, &values}, putValues);
    ASSERT_EQ(putName.hr, S_OK);
    ASSERT_EQ(putValues.hr, S_OK);

    Call columns, saved, cleared, read, cell;
    Invoke(u"columns", DISPATCH_PROPERTYGET, {}, columns);
    EXPECT_EQ(columns.result.v.vt, VT_I4);
    EXPECT_EQ(columns.result.v.lVal, 3);
    Invoke(u"SaveFile", DISPATCH_METHOD, {}, saved);
    ASSERT_EQ(saved.hr, S_OK);
    EXPECT_EQ(csvtest::ReadBytes(folder_ / "script.csv"), "\"volts\",\"0.25\",\"9.75\"\r\n");
    Invoke(u"Clear", DISPATCH_METHOD, {}, cleared);
    Invoke(u"ReadFile", DISPATCH_METHOD, {}, read);
    ASSERT_EQ(read.hr, S_OK);
    const Value two(2);
    Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {&two, &zero}, cell);
    EXPECT_EQ(cell.result.Text(), u"9.75");
}

TEST_F(CsvDispatchTest, FailuresReachTheScriptWithTheirDescription) {
    const Value three(3);
    Call putColumns;
    Invoke(u"columns", DISPATCH_PROPERTYPUT, {&three}, putColumns);
    EXPECT_EQ(putColumns.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(putColumns.excep.scode, E_NOTIMPL);
    EXPECT_EQ(vr::BstrView(putColumns.excep.bstrSource), kCsvFileProgId);

    const Value missingFolder(csvtest::U16(folder_ / "none" / "x"));
    Call save;
    Invoke(u"SaveFile", DISPATCH_METHOD, {&missingFolder}, save);
    EXPECT_EQ(save.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(save.excep.scode, E_FAIL);
    EXPECT_EQ(vr::BstrView(save.excep.bstrDescription),
              u"Could not create/open file '" + missingFolder.Text() + u".csv'.");
}

} // namespace
