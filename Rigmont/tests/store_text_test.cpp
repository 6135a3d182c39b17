// The store's query texts and the joining of setup strings.
#include "Rigmont/StoreText.h"

#include <gtest/gtest.h>

namespace rigmont {
namespace {

TEST(StoreTextTest, SetupPartsJoinWithSingleCommasSkippingEmptyOnes) {
    EXPECT_EQ(JoinSetup(u"Connection:Simulation=Off", u"", u"VISA:Timeout=3000"),
              u"Connection:Simulation=Off,VISA:Timeout=3000");
    EXPECT_EQ(JoinSetup(u"", u"B", u""), u"B");
    EXPECT_EQ(JoinSetup(std::nullopt, u"", u"C"), u"C");
    EXPECT_EQ(JoinSetup(u"A ", u" B", u"C"), u"A , B,C") << "nothing is trimmed";
    EXPECT_EQ(JoinSetup(u"", u"", u""), u"");
    EXPECT_EQ(JoinSetup(std::nullopt, u"", u""), std::nullopt);
}

TEST(StoreTextTest, NamesAreQuotedAsLiterals) {
    EXPECT_EQ(RecordPath(u"connection", u"Meter"), u"/ConfigStore/connections/connection[@name = 'Meter']");
    EXPECT_EQ(RecordPath(u"socket", u"O'Brien"), u"/ConfigStore/sockets/socket[@name = \"O'Brien\"]");
    EXPECT_EQ(RecordInContainerPath(u"socket", u"a'\"b"), u"socket[@name = concat('a', \"'\", '\"b', '')]");
    EXPECT_EQ(RecordNamesPath(u"connection"), u"/ConfigStore/connections/connection/@name");
}

TEST(StoreTextTest, RecordTypesMustBeElementNames) {
    for (const char16_t* good : {u"connection", u"socket", u"my-type.2", u"_x", u"Gerät"}) {
        EXPECT_TRUE(IsRecordTypeName(good));
    }
    for (const char16_t* bad :
         {u"", u"2x", u"-x", u"a b", u"a|b", u"a'", u"a/b", u"a[1]", u"ns:type", u"*"}) {
        EXPECT_FALSE(IsRecordTypeName(bad));
    }
}

TEST(StoreTextTest, DefaultNameIsRecognisedInAnyCase) {
    EXPECT_TRUE(IsDefaultRecordName(u"_default"));
    EXPECT_TRUE(IsDefaultRecordName(u"_DeFaulT"));
    EXPECT_FALSE(IsDefaultRecordName(u"default"));
    EXPECT_FALSE(IsDefaultRecordName(u"_default "));
}

} // namespace
} // namespace rigmont
