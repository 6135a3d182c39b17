// GUID text forms and the HRESULT table.
#include "platform/com/hresult.h"
#include "platform/com/unknown.h"

#include <gtest/gtest.h>

namespace {

TEST(Guid, ParsesAndFormatsTheRegistryForm) {
    GUID g{};
    ASSERT_TRUE(vr::GuidFromString(u"{a8f2f377-D8ED-417E-8F06-EDF0D1C761F9}", g));
    EXPECT_EQ(g.Data1, 0xA8F2F377u);
    EXPECT_EQ(g.Data4[7], 0xF9);
    EXPECT_EQ(vr::GuidToString(g), u"{A8F2F377-D8ED-417E-8F06-EDF0D1C761F9}");
    EXPECT_EQ(g, vr::MakeGuid("A8F2F377-D8ED-417E-8F06-EDF0D1C761F9"));
}

TEST(Guid, RejectsMalformedText) {
    GUID g{};
    EXPECT_FALSE(vr::GuidFromString(u"A8F2F377-D8ED-417E-8F06-EDF0D1C761F9", g)); // no braces
    EXPECT_FALSE(vr::GuidFromString(u"{A8F2F377-D8ED-417E-8F06-EDF0D1C761FG}", g));
    EXPECT_FALSE(vr::GuidFromString(u"{A8F2F377+D8ED-417E-8F06-EDF0D1C761F9}", g));
    EXPECT_FALSE(vr::GuidFromString(u"", g));
}

TEST(Guid, NewGuidsAreVersion4AndDistinct) {
    GUID a = vr::NewGuid();
    GUID b = vr::NewGuid();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.Data3 >> 12, 4);
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
}

TEST(Guid, InterfaceIdsComeFromTheirDeclarations) {
    EXPECT_EQ(__uuidof(IUnknown), vr::MakeGuid("{00000000-0000-0000-C000-000000000046}"));
    EXPECT_EQ(IID_IClassFactory.Data1, 1u);
}

TEST(HResult, TableGivesNamesTextsAndFacilities) {
    EXPECT_STREQ(vr::HResultName(E_FAIL), "E_FAIL");
    EXPECT_STREQ(vr::HResultName(static_cast<HRESULT>(0x80040154u)), "REGDB_E_CLASSNOTREG");
    EXPECT_EQ(vr::HResultMessage(REGDB_E_CLASSNOTREG), u"Class not registered");
    EXPECT_EQ(HRESULT_FACILITY(DISP_E_EXCEPTION), FACILITY_DISPATCH);
    EXPECT_EQ(HRESULT_FROM_WIN32(2), static_cast<HRESULT>(0x80070002u));
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(FAILED(E_POINTER));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

} // namespace
