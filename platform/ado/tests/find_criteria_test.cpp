// Find criteria: reading them, and which values meet them.
#include "platform/ado/ado_errors.h"
#include "platform/ado/find_criteria.h"

#include <gtest/gtest.h>

namespace vr::ado {
namespace {

using Op = FindCriterion::Operator;
using Kind = odbc::Cell::Kind;

odbc::Cell Text(std::u16string text) {
    return {Kind::Text, 0, 0, std::move(text)};
}
odbc::Cell Integer(int64_t value) {
    return {Kind::Integer, value, 0, {}};
}
odbc::Cell Real(double value) {
    return {Kind::Real, 0, value, {}};
}

bool Meets(std::u16string_view criteria, const odbc::Cell& value) {
    return vr::ado::Meets(ParseFindCriterion(criteria), value);
}

TEST(FindCriteriaTest, ReadsColumnOperatorAndValue) {
    FindCriterion c = ParseFindCriterion(u"  [Exec Session]<>'it''s'  ");
    EXPECT_EQ(c.column, u"Exec Session");
    EXPECT_EQ(c.op, Op::NotEqual);
    EXPECT_EQ(c.text, u"it's");
    EXPECT_FALSE(c.number);

    c = ParseFindCriterion(u"TestID>=42.5");
    EXPECT_EQ(c.column, u"TestID");
    EXPECT_EQ(c.op, Op::GreaterOrEqual);
    EXPECT_EQ(c.number, 42.5);

    c = ParseFindCriterion(u"Name like 'a*'");
    EXPECT_EQ(c.op, Op::Like);
    EXPECT_EQ(ParseFindCriterion(u"D = #2024-01-02#").text, u"2024-01-02");
}

TEST(FindCriteriaTest, UnreadableCriteriaRaiseInvalidArgument) {
    for (std::u16string_view bad : {u"", u"TestID", u"TestID =", u"= 'x'", u"TestID = 'open", u"TestID = abc",
                                    u"TestID = 'x' AND y = 1", u"[open = 1", u"TestID ~ 1"}) {
        try {
            static_cast<void>(ParseFindCriterion(bad));
            ADD_FAILURE() << "accepted: " << std::string(bad.begin(), bad.end());
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), adErrInvalidArgument);
        }
    }
}

TEST(FindCriteriaTest, TextComparesWithoutCaseAndNumbersBySize) {
    EXPECT_TRUE(Meets(u"c = 'ABC'", Text(u"abc")));
    EXPECT_FALSE(Meets(u"c = 'ABC'", Text(u"abcd")));
    EXPECT_TRUE(Meets(u"c < 'b'", Text(u"A")));
    EXPECT_TRUE(Meets(u"c > 9", Integer(10)));    // by size, not as text
    EXPECT_TRUE(Meets(u"c = '10'", Integer(10))); // a quoted number meets a numeric value
    EXPECT_TRUE(Meets(u"c <= 2.5", Real(2.5)));
    EXPECT_FALSE(Meets(u"c = 'x'", Integer(0)));
    EXPECT_FALSE(Meets(u"c <> 'x'", odbc::Cell{})); // NULL meets nothing
}

TEST(FindCriteriaTest, LikeTakesStarAndPercentAnywhere) {
    EXPECT_TRUE(Meets(u"c LIKE 'ab*'", Text(u"ABcd")));
    EXPECT_TRUE(Meets(u"c LIKE '%cd'", Text(u"abCD")));
    EXPECT_TRUE(Meets(u"c LIKE '*b*d'", Text(u"abxbyd")));
    EXPECT_FALSE(Meets(u"c LIKE 'ab'", Text(u"abc")));
    EXPECT_FALSE(Meets(u"c LIKE '*x*'", Text(u"abc")));
    EXPECT_TRUE(Meets(u"c LIKE '*'", Text(u"")));
}

} // namespace
} // namespace vr::ado
