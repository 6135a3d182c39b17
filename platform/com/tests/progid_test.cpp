// Class identifiers as text: ProgIDs with their versions, the braced form, and ProgIDs of registered classes.
#include "platform/com/activation.h"
#include "platform/com/tests/activation_test_support.h"

#include <gtest/gtest.h>

namespace {

constexpr CLSID kVersion1 = vr::MakeGuid("A1B2C3D4-0001-4000-8000-000000000001");
constexpr CLSID kVersion2 = vr::MakeGuid("A1B2C3D4-0002-4000-8000-000000000002");

std::u16string Text(const CLSID& clsid) {
    return vr::GuidToString(clsid);
}

class ProgIdTest : public vrtest::FreshRegistryTest {
protected:
    // "Vornic.Thing" names version 1 itself but its CurVer names version 2.
    void SetUp() override {
        FreshRegistryTest::SetUp();
        vrtest::WriteClassesText(u"Vornic.Thing.1\\CLSID", u"", Text(kVersion1));
        vrtest::WriteClassesText(u"Vornic.Thing.2\\CLSID", u"", Text(kVersion2));
        vrtest::WriteClassesText(u"Vornic.Thing\\CLSID", u"", Text(kVersion1));
        vrtest::WriteClassesText(u"Vornic.Thing\\CurVer", u"", u"Vornic.Thing.2");
    }

    static HRESULT Resolve(const char16_t* progId, CLSID& clsid) { return CLSIDFromProgID(progId, &clsid); }
};

TEST_F(ProgIdTest, VersionedAndVersionIndependentProgIds) {
    CLSID clsid{};
    ASSERT_EQ(Resolve(u"Vornic.Thing.1", clsid), S_OK);
    EXPECT_EQ(clsid, kVersion1);
    ASSERT_EQ(Resolve(u"vornic.thing", clsid), S_OK); // key names ignore case
    EXPECT_EQ(clsid, kVersion2) << "the current version decides";
}

TEST_F(ProgIdTest, StaleOrLoopingCurVerFallsBackToTheOwnClsid) {
    CLSID clsid{};
    vrtest::WriteClassesText(u"Vornic.Thing\\CurVer", u"", u"Vornic.Thing.9");
    ASSERT_EQ(Resolve(u"Vornic.Thing", clsid), S_OK);
    EXPECT_EQ(clsid, kVersion1);

    vrtest::WriteClassesText(u"Vornic.LoopA\\CurVer", u"", u"Vornic.LoopB");
    vrtest::WriteClassesText(u"Vornic.LoopB\\CurVer", u"", u"Vornic.LoopA");
    EXPECT_EQ(Resolve(u"Vornic.LoopA", clsid), CO_E_CLASSSTRING);
    vrtest::WriteClassesText(u"Vornic.LoopB\\CLSID", u"", Text(kVersion2));
    ASSERT_EQ(Resolve(u"Vornic.LoopA", clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);
}

TEST_F(ProgIdTest, RejectsUnknownMalformedAndPathLikeProgIds) {
    CLSID clsid = kVersion1;
    EXPECT_EQ(Resolve(u"Vornic.Unknown", clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    EXPECT_EQ(Resolve(u"", clsid), CO_E_CLASSSTRING);
    vrtest::WriteClassesText(u"Vornic.Broken\\CLSID", u"", u"{not a guid}");
    EXPECT_EQ(Resolve(u"Vornic.Broken", clsid), CO_E_CLASSSTRING);
    // A ProgID is one key name: it must not reach into the key of another ProgID.
    EXPECT_EQ(Resolve(u"Vornic.Thing.2\\CurVer\\..", clsid), CO_E_CLASSSTRING);
    vrtest::WriteClassesText(u"Vornic.Thing.1\\Inner\\CLSID", u"", Text(kVersion2));
    EXPECT_EQ(Resolve(u"Vornic.Thing.1\\Inner", clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

TEST_F(ProgIdTest, ClsidFromStringTakesBracedTextOrAProgId) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(u"{a1b2c3d4-0002-4000-8000-000000000002}", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion2);
    ASSERT_EQ(CLSIDFromString(u"Vornic.Thing.1", &clsid), S_OK);
    EXPECT_EQ(clsid, kVersion1);
    EXPECT_EQ(CLSIDFromString(u"{A1B2C3D4-0002-4000-8000-00000000000}", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"A1B2C3D4-0002-4000-8000-000000000002", &clsid), CO_E_CLASSSTRING);
    ASSERT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
    EXPECT_EQ(clsid, GUID_NULL);
}

TEST_F(ProgIdTest, ProgIdFromClsid) {
    vrtest::WriteClassesText(u"CLSID\\" + Text(kVersion1) + u"\\ProgID", u"", u"Vornic.Thing.1");
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kVersion1, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Vornic.Thing.1");
    CoTaskMemFree(progId);
    progId = reinterpret_cast<LPOLESTR>(0x1);
    EXPECT_EQ(ProgIDFromCLSID(kVersion2, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
}

TEST(GuidText, StringFromGuid2NeedsRoomForTheTerminator) {
    OLECHAR buffer[39];
    EXPECT_EQ(StringFromGUID2(kVersion2, buffer, 38), 0);
    ASSERT_EQ(StringFromGUID2(kVersion2, buffer, 39), 39);
    EXPECT_EQ(std::u16string(buffer), u"{A1B2C3D4-0002-4000-8000-000000000002}");
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kVersion2, &text), S_OK);
    EXPECT_EQ(std::u16string(text), std::u16string(buffer));
    CoTaskMemFree(text);
}

} // namespace
