// Formats from a user's file: exactly one conversion of a kind the caller's one value fits.
#include "platform/base/format.h"
#include "platform/base/text.h"

#include <gtest/gtest.h>

namespace {

using vr::FormatKind;

struct CheckCase {
    const char* format;
    FormatKind wide;   // the wide checker's answer
    FormatKind narrow; // the narrow checker's answer
};

TEST(CheckUserFormat, AcceptsExactlyOneConversionOfAKnownKind) {
    const CheckCase cases[] = {
        {"%d", FormatKind::Integer, FormatKind::Integer},
        {"%ld", FormatKind::Integer, FormatKind::Integer},
        {"%hu", FormatKind::Integer, FormatKind::Integer},
        {"%04X", FormatKind::Integer, FormatKind::Integer},
        {"Value: %5.2f V", FormatKind::Floating, FormatKind::Floating},
        {"%G", FormatKind::Floating, FormatKind::Floating},
        {"%Lf", FormatKind::Floating, FormatKind::Floating},
        {"%-10s|", FormatKind::String, FormatKind::String},
        {"%c", FormatKind::Character, FormatKind::Character},
        {"%C", FormatKind::Character, FormatKind::Character},
        {"100%% done: %d %%", FormatKind::Integer, FormatKind::Integer},
        {"%5%%d", FormatKind::Integer, FormatKind::Integer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        std::u16string wide = vr::FromUtf8(c.format);
        EXPECT_EQ(vr::CheckUserFormat(wide.c_str()), c.wide);
        EXPECT_EQ(vr::CheckUserFormatA(c.format), c.narrow);
    }
}

TEST(CheckUserFormat, RejectsFormatsThatWouldReadTheWrongArguments) {
    const CheckCase cases[] = {
        {"", FormatKind::Invalid, FormatKind::Invalid},
        {"plain text", FormatKind::Invalid, FormatKind::Invalid},
        {"%%", FormatKind::Invalid, FormatKind::Invalid},
        {"%d %d", FormatKind::Invalid, FormatKind::Invalid},
        {"%f%s", FormatKind::Invalid, FormatKind::Invalid},
        {"%n", FormatKind::Invalid, FormatKind::Invalid},
        {"%d%n", FormatKind::Invalid, FormatKind::Invalid},
        {"%*d", FormatKind::Invalid, FormatKind::Invalid},
        {"%.*f", FormatKind::Invalid, FormatKind::Invalid},
        {"%q", FormatKind::Invalid, FormatKind::Invalid},
        {"%d%", FormatKind::Invalid, FormatKind::Invalid},
        {"%p", FormatKind::Invalid, FormatKind::Invalid},
        {"%lld", FormatKind::Invalid, FormatKind::Invalid},
        {"%I64d", FormatKind::Invalid, FormatKind::Invalid},
        {"%Ld", FormatKind::Invalid, FormatKind::Invalid},
        {"%S", FormatKind::Invalid, FormatKind::Invalid},
        {"%hs", FormatKind::Invalid, FormatKind::String},
        {"%ls", FormatKind::String, FormatKind::Invalid},
        {"%99999999d", FormatKind::Invalid, FormatKind::Invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        std::u16string wide = vr::FromUtf8(c.format);
        EXPECT_EQ(vr::CheckUserFormat(wide.c_str()), c.wide);
        EXPECT_EQ(vr::CheckUserFormatA(c.format), c.narrow);
    }
    EXPECT_EQ(vr::CheckUserFormat(nullptr), FormatKind::Invalid);
    EXPECT_EQ(vr::CheckUserFormatA(nullptr), FormatKind::Invalid);
}

} // namespace
