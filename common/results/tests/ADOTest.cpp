// The results database wrapper on a real SQLite file: statements, the first record's fields, recordsets
// opened by table and searched, the send modes, and the error lines of ADO failures.
#include "common/results/ADO.h"
#include "common/trace/Trace.h"
#include "platform/ado/tests/db_test_support.h"
#include "platform/base/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string LastError() {
    return vr::ToUtf8(LastErrorText());
}

class ADOTest : public testing::Test {
protected:
    void SetUp() override {
        dbtest::UsePrivateDriverConfig();
        std::u16string text = dbtest::SqliteConnectionString(dbtest::NewSqliteFile("cado"));
        ASSERT_TRUE(ado_.Open(text.c_str())) << LastError();
        ASSERT_TRUE(ado_.Execute(u"CREATE TABLE Parts (Name TEXT, Note TEXT)"));
        ASSERT_TRUE(ado_.Execute(u"INSERT INTO Parts VALUES ('first', NULL)"));
        ASSERT_TRUE(ado_.Execute(u"INSERT INTO Parts VALUES ('second', '')"));
    }

    CADO ado_;
};

TEST_F(ADOTest, FirstItemOfAQueryReadsAsText) {
    ASSERT_TRUE(ado_.Execute(u"SELECT Name, Note, 42 AS Number FROM Parts ORDER BY Name"));
    ASSERT_TRUE(ado_.MoveFirstItem());
    std::string text = "untouched";
    EXPECT_TRUE(ado_.GetItem(u"name", text));
    EXPECT_EQ(text, "first");
    EXPECT_TRUE(ado_.GetItem(u"Number", text));
    EXPECT_EQ(text, "42");
    // A NULL field has no size: FALSE, and the text stays.
    EXPECT_FALSE(ado_.GetItem(u"Note", text));
    EXPECT_EQ(text, "42");
}

TEST_F(ADOTest, EmptyFieldsAndEmptyResultsGiveFalse) {
    ASSERT_TRUE(ado_.Execute(u"SELECT Note FROM Parts WHERE Name = 'second'"));
    ASSERT_TRUE(ado_.MoveFirstItem());
    std::string text;
    EXPECT_FALSE(ado_.GetItem(u"Note", text));
    ASSERT_TRUE(ado_.Execute(u"SELECT Note FROM Parts WHERE Name = 'none'"));
    EXPECT_FALSE(ado_.MoveFirstItem());
    EXPECT_NE(LastError().find("HRESULT: 0x800A0BCD"), std::string::npos) << LastError();
}

TEST_F(ADOTest, AdoFailuresBecomeErrorLinesWithTheDriversMessage) {
    EXPECT_FALSE(ado_.Execute(u"SELECT * FROM Missing"));
    std::string line = LastError();
    EXPECT_EQ(line.rfind("COM Exception: Source: 'ADODB'; HRESULT: 0x80004005; Message: 'Unspecified error'; "
                         "Description: '",
                         0),
              0u)
        << line;
    EXPECT_NE(line.find("no such table: Missing"), std::string::npos) << line;
    EXPECT_EQ(vr::ToUtf8(TraceSiteTag()).rfind("CADO::Execute(): ADO.cpp (", 0), 0u)
        << vr::ToUtf8(TraceSiteTag());

    ASSERT_TRUE(ado_.Execute(u"SELECT Name FROM Parts"));
    ASSERT_TRUE(ado_.MoveFirstItem());
    std::string text;
    EXPECT_FALSE(ado_.GetItem(u"NoSuchField", text));
    EXPECT_NE(LastError().find("HRESULT: 0x800A0CC1"), std::string::npos) << LastError();
}

TEST_F(ADOTest, DataGoesInAsParameters) {
    _variant_t values[] = {_variant_t(u"it's \"x\""), _variant_t(u"a;b")};
    ASSERT_TRUE(ado_.Execute(u"INSERT INTO Parts (Name, Note) VALUES (?, ?)", values));
    _variant_t key(u"it's \"x\"");
    ASSERT_TRUE(ado_.Execute(u"SELECT Note FROM Parts WHERE Name = ?", std::span<const _variant_t>(&key, 1)));
    ASSERT_TRUE(ado_.MoveFirstItem());
    std::string note;
    ASSERT_TRUE(ado_.GetItem(u"Note", note));
    EXPECT_EQ(note, "a;b");
}

// Each text stays prepared on a command of its own: alternating statements read what the other wrote, many
// texts (more than are kept) still run, and after a new Open the same texts run on the new database.
TEST_F(ADOTest, AlternatingStatementsWithParametersStayCorrect) {
    const OLECHAR* insert = u"INSERT INTO Parts (Name, Note) VALUES (?, ?)";
    const OLECHAR* select = u"SELECT MAX(Note) AS Last FROM Parts WHERE Name = ?";
    _variant_t key(u"run");
    auto lastNote = [&](CADO& ado) {
        std::string text = "none";
        bool read = ado.Execute(select, std::span<const _variant_t>(&key, 1)) && ado.MoveFirstItem() &&
                    ado.GetItem(u"Last", text);
        return read ? text : "failed: " + LastError();
    };
    for (int i = 1; i <= 20; ++i) {
        std::u16string note = vr::FromUtf8(std::to_string(100 + i));
        _variant_t row[] = {key, _variant_t(note.c_str())};
        ASSERT_TRUE(ado_.Execute(insert, row)) << LastError();
        EXPECT_EQ(lastNote(ado_), std::to_string(100 + i));
        std::u16string other = u"SELECT ? || '" + note + u"' AS Other";
        ASSERT_TRUE(ado_.Execute(other.c_str(), std::span<const _variant_t>(&key, 1))) << LastError();
    }

    std::u16string again = dbtest::SqliteConnectionString(dbtest::NewSqliteFile("cado-again"));
    ASSERT_TRUE(ado_.Open(again.c_str())) << LastError();
    ASSERT_TRUE(ado_.Execute(u"CREATE TABLE Parts (Name TEXT, Note TEXT)"));
    EXPECT_EQ(lastNote(ado_).rfind("failed", 0), 0u); // the new database has no rows yet: MAX is NULL
    _variant_t row[] = {key, _variant_t(u"new")};
    ASSERT_TRUE(ado_.Execute(insert, row)) << LastError();
    EXPECT_EQ(lastNote(ado_), "new");
}

TEST_F(ADOTest, RecordsetByTableIsSearched) {
    ASSERT_TRUE(ado_.OpenRecordSet(u"Parts"));
    EXPECT_TRUE(ado_.SelectRecordSet(u"Name = 'second'"));
    std::string text;
    EXPECT_TRUE(ado_.GetItem(u"Name", text));
    EXPECT_EQ(text, "second");
    EXPECT_FALSE(ado_.SelectRecordSet(u"Name = 'third'"));
    EXPECT_FALSE(ado_.OpenRecordSet(u"NoTable"));
    // After a statement without rows the recordset is closed: nothing to search.
    ASSERT_TRUE(ado_.Execute(u"DELETE FROM Parts WHERE Name = 'none'"));
    EXPECT_FALSE(ado_.SelectRecordSet(u"Name = 'first'"));
}

TEST_F(ADOTest, SendModes) {
    EXPECT_TRUE(ado_.Send(u"INSERT INTO Parts (Name) VALUES ('third')", ADO_SEND_BY_RECORDSET));
    EXPECT_TRUE(ado_.Send(u"SELECT * FROM Parts WHERE Name = 'third'", ADO_SEND_BY_RECORDSET));
    EXPECT_TRUE(ado_.MoveFirstItem());
    // SQLite has no stored procedures: the call fails in the driver and is reported.
    EXPECT_FALSE(ado_.Send(u"something()", ADO_SEND_BY_COMMAND));
    EXPECT_NE(LastError().find("COM Exception"), std::string::npos);
    EXPECT_FALSE(ado_.Send(u"SELECT 1", 300));
    EXPECT_TRUE(ado_.Close());
    EXPECT_EQ(TraceMethodName(), u"CADO::Close()");
    // Close closes nothing.
    EXPECT_TRUE(ado_.Execute(u"SELECT 1"));
}

TEST(ADOUnopenedTest, StatementsFailUntilAnOpenSucceeds) {
    dbtest::UsePrivateDriverConfig();
    CADO never;
    EXPECT_FALSE(never.Execute(u"SELECT 1"));
    EXPECT_NE(LastError().find("HRESULT: 0x80004003"), std::string::npos) << LastError(); // E_POINTER
    EXPECT_FALSE(never.MoveFirstItem());
    std::string text;
    EXPECT_FALSE(never.GetItem(u"x", text));
    EXPECT_FALSE(never.SelectRecordSet(u"x = 1"));

    CADO failed;
    EXPECT_FALSE(failed.Open(u"Driver=NoSuchDriver;"));
    EXPECT_FALSE(failed.Execute(u"SELECT 1"));
    EXPECT_NE(LastError().find("HRESULT: 0x800A0E78"), std::string::npos) << LastError(); // object closed
}

} // namespace
