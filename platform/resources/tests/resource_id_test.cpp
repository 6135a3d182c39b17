// Resource ids: numbers against names, case folding, the "#" and digit text forms, invalid ids and order.
#include "platform/resources/resource_id.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

using vr::ResourceId;

TEST(ResourceId, NamesFoldCaseAndNeverEqualNumbers) {
    EXPECT_EQ(ResourceId(u"Attributes.xml"), ResourceId(u"ATTRIBUTES.XML"));
    EXPECT_EQ(ResourceId(u"Attributes.xml").Name(), u"ATTRIBUTES.XML");
    EXPECT_EQ(ResourceId(u"caf\u00e9"), ResourceId(u"CAF\u00c9"));
    // A name made of digits is a name; only "#" (or the text form) makes it the number.
    EXPECT_NE(ResourceId(u"23"), ResourceId(RT_HTML));
    EXPECT_EQ(ResourceId(u"#23"), ResourceId(RT_HTML));
    EXPECT_EQ(ResourceId(u"#0023"), ResourceId(RT_HTML));
}

TEST(ResourceId, TextFormReadsDigitsAsNumbersAndRoundTrips) {
    EXPECT_EQ(ResourceId::FromText(u"102"), ResourceId(102));
    EXPECT_EQ(ResourceId::FromText(u"#1"), ResourceId(1));
    EXPECT_EQ(ResourceId::FromText(u"TypeLib"), ResourceId(u"TYPELIB"));
    EXPECT_EQ(ResourceId::FromText(u"12a"), ResourceId(u"12A"));
    for (const ResourceId& id : {ResourceId(65535), ResourceId(7), ResourceId(u"Registry")}) {
        EXPECT_EQ(ResourceId::FromText(id.ToString()), id);
    }
    EXPECT_EQ(ResourceId(65535).ToString(), u"#65535");
}

TEST(ResourceId, OutOfRangeAndEmptyIdsAreInvalid) {
    for (const ResourceId& id :
         {ResourceId(), ResourceId(WORD{0}), ResourceId(u""), ResourceId(u"#"), ResourceId(u"#0"),
          ResourceId(u"#65536"), ResourceId(u"#99999999999999999999"), ResourceId(u"#12a"),
          ResourceId(u"#-1"), ResourceId::FromText(u"0"), ResourceId::FromText(u"65536"),
          ResourceId::FromText(u"")}) {
        EXPECT_FALSE(id.IsValid()) << std::string(id.ToString().begin(), id.ToString().end());
    }
    EXPECT_TRUE(ResourceId::FromText(u"000000000000065535").IsValid());
}

TEST(ResourceId, NamesSortBeforeNumbers) {
    std::vector<ResourceId> ids = {ResourceId(23), ResourceId(u"typelib"), ResourceId(10),
                                   ResourceId(u"REGISTRY"), ResourceId(u"#2")};
    std::sort(ids.begin(), ids.end());
    std::vector<ResourceId> expected = {ResourceId(u"REGISTRY"), ResourceId(u"TYPELIB"), ResourceId(2),
                                        ResourceId(10), ResourceId(23)};
    EXPECT_EQ(ids, expected);
}

} // namespace
