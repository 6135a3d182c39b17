// Statement text for the driver: bracketed names, literals and command types.
#include "platform/ado/ado_types.h"
#include "platform/ado/command_text.h"
#include "platform/ado/sql_text.h"

#include <gtest/gtest.h>

namespace vr::ado {
namespace {

using Case = odbc::IdentifierCase;

TEST(BracketNamesTest, FoldedAsTheDriverFoldsBareNames) {
    std::u16string_view sql = u"SELECT MAX([ExecSession]) FROM [Test Results]";
    EXPECT_EQ(RewriteBracketNames(sql, Case::Lower), u"SELECT MAX(\"execsession\") FROM \"test results\"");
    EXPECT_EQ(RewriteBracketNames(sql, Case::Upper), u"SELECT MAX(\"EXECSESSION\") FROM \"TEST RESULTS\"");
    EXPECT_EQ(RewriteBracketNames(sql, Case::AsWritten),
              u"SELECT MAX(\"ExecSession\") FROM \"Test Results\"");
}

TEST(BracketNamesTest, LiteralsQuotedNamesAndOpenBracketsStay) {
    EXPECT_EQ(RewriteBracketNames(u"WHERE a='[x]' AND b='it''s [y]' AND \"[z]\"=[W]", Case::Lower),
              u"WHERE a='[x]' AND b='it''s [y]' AND \"[z]\"=\"w\"");
    EXPECT_EQ(RewriteBracketNames(u"SELECT [open", Case::Lower), u"SELECT [open");
    EXPECT_EQ(RewriteBracketNames(u"SELECT 'unclosed [x]", Case::Lower), u"SELECT 'unclosed [x]");
    EXPECT_EQ(RewriteBracketNames(u"[a\"b]", Case::AsWritten), u"\"a\"\"b\"");
}

TEST(CommandTextTest, TableAndProcedureForms) {
    EXPECT_EQ(CommandTextFor(u"[TestResults]", adCmdTable, Case::Lower), u"SELECT * FROM \"testresults\"");
    EXPECT_EQ(CommandTextFor(u"p(1)", adCmdStoredProc, Case::Lower), u"{call p(1)}");
    EXPECT_EQ(CommandTextFor(u"DELETE FROM t", adCmdText, Case::Lower), u"DELETE FROM t");
    EXPECT_EQ(CommandTextFor(u"x", adCmdUnspecified, Case::Lower), u"x");
    // Execute options carry flags above the type bits.
    EXPECT_EQ(CommandTextFor(u"t", adCmdTable | 0x80, Case::AsWritten), u"SELECT * FROM t");
}

} // namespace
} // namespace vr::ado
