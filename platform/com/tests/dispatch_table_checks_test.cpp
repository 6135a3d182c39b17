// Tables that contradict themselves are caught when they are built, and refuse every call.
#include "platform/com/dispatch_table.h"

#include <gtest/gtest.h>

namespace {

class CSubject {
public:
    using Table = vr::DispatchTable<CSubject>;
    HRESULT Two(LONG a, LONG b) { return a + b > 0 ? S_OK : S_FALSE; }
    HRESULT Count(LONG* count) { return count ? S_OK : E_POINTER; }
    HRESULT SetCount(LONG count) { return count >= 0 ? S_OK : E_INVALIDARG; }
    HRESULT Nothing() { return S_OK; }
    HRESULT Flag(SHORT flag) { return flag ? S_OK : S_FALSE; }
    HRESULT Object(IDispatch* object) { return object ? S_OK : S_FALSE; }
};

using Table = CSubject::Table;

TEST(DispatchTableChecks, AConsistentTableIsValid) {
    Table table(u"ISubject", {Table::Method<&CSubject::Two>(1, u"Two", {u"a", vr::Param(u"b").Optional(2)}),
                              Table::PropGet<&CSubject::Count>(2, u"Count"),
                              Table::PropPut<&CSubject::SetCount>(2, u"count"),
                              Table::Method<&CSubject::Flag>(3, u"Flag", {vr::Param(u"flag").As(VT_BOOL)})});
    EXPECT_TRUE(table.IsValid()) << table.Problem();
}

TEST(DispatchTableChecks, ContradictionsMakeTheTableInvalid) {
    struct Case {
        const char* what;
        Table table;
    };
    Case cases[] = {
        {"two members of one kind under one DISPID",
         Table(u"I",
               {Table::Method<&CSubject::Nothing>(1, u"A"), Table::Method<&CSubject::Nothing>(1, u"A")})},
        {"one DISPID with two names", Table(u"I", {Table::PropGet<&CSubject::Count>(1, u"A"),
                                                   Table::PropPut<&CSubject::SetCount>(1, u"B")})},
        {"one name with two DISPIDs", Table(u"I", {Table::Method<&CSubject::Nothing>(1, u"A"),
                                                   Table::Method<&CSubject::Nothing>(2, u"a")})},
        {"a required parameter after an optional one",
         Table(u"I", {Table::Method<&CSubject::Two>(1, u"Two", {vr::Param(u"a").Optional(), u"b"})})},
        {"more parameters described than the function has",
         Table(u"I", {Table::Method<&CSubject::Nothing>(1, u"N", {u"extra"})})},
        {"a put without a value", Table(u"I", {Table::PropPut<&CSubject::Nothing>(1, u"N")})},
        {"an automation type the storage cannot hold",
         Table(u"I", {Table::Method<&CSubject::Two>(1, u"Two", {vr::Param(u"a").As(VT_R8)})})},
        {"a default that does not fit",
         Table(u"I",
               {Table::Method<&CSubject::Flag>(1, u"F", {vr::Param(u"f").As(VT_I2).Optional(u"many")})})},
        {"a SHORT that does not say whether it is a VARIANT_BOOL",
         Table(u"I", {Table::Method<&CSubject::Flag>(1, u"F", {u"f"})})},
        {"an undescribed SHORT", Table(u"I", {Table::Method<&CSubject::Flag>(1, u"F")})},
        {"a default for an interface",
         Table(u"I", {Table::Method<&CSubject::Object>(1, u"O", {vr::Param(u"o").Optional(1)})})},
        {"an optional result",
         Table(u"I", {Table::PropGet<&CSubject::Count>(1, u"C", {vr::Param(u"c").Optional()})})},
        {"a member without a name", Table(u"I", {Table::Method<&CSubject::Nothing>(1, u"")})},
        {"DISPID_UNKNOWN", Table(u"I", {Table::Method<&CSubject::Nothing>(DISPID_UNKNOWN, u"N")})},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.table.IsValid()) << c.what;
        EXPECT_FALSE(c.table.Problem().empty()) << c.what;
    }
}

TEST(DispatchTableChecks, MembersAreFoundWhateverTheirDispids) {
    // Small DISPIDs are indexed directly; negative and large ones are searched.
    Table dense(u"Dense", {Table::Method<&CSubject::Nothing>(0, u"Value"),
                           Table::Method<&CSubject::Nothing>(7, u"Seven")});
    Table sparse(u"Sparse", {Table::Method<&CSubject::Nothing>(DISPID_NEWENUM, u"_NewEnum"),
                             Table::Method<&CSubject::Nothing>(0, u"Value"),
                             Table::Method<&CSubject::Nothing>(100000, u"Far")});
    CSubject subject;
    DISPPARAMS none{};
    for (const Table* table : {&dense, &sparse}) {
        ASSERT_TRUE(table->IsValid()) << table->Problem();
        EXPECT_EQ(table->Invoke(&subject, 0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
                  S_OK);
        for (DISPID absent : {-2, 1, 6, 8, 99999, 100001}) {
            EXPECT_EQ(table->Invoke(&subject, absent, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                    nullptr),
                      DISP_E_MEMBERNOTFOUND)
                << absent;
        }
    }
    EXPECT_EQ(dense.Invoke(&subject, 7, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(sparse.Invoke(&subject, DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                            nullptr),
              S_OK);
    EXPECT_EQ(sparse.Invoke(&subject, 100000, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              S_OK);
}

TEST(DispatchTableChecks, AnInvalidTableRefusesEveryCall) {
    Table table(u"I",
                {Table::Method<&CSubject::Nothing>(1, u"A"), Table::Method<&CSubject::Nothing>(1, u"A")});
    ASSERT_FALSE(table.IsValid());
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"A")};
    DISPID id = 0;
    EXPECT_EQ(table.GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_UNEXPECTED);
    DISPPARAMS none{};
    EXPECT_EQ(table.Invoke(nullptr, 1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              E_UNEXPECTED);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(table.GetTypeInfo(0, IID_IDispatch, false, &info), E_UNEXPECTED);
    EXPECT_EQ(info, nullptr);
}

} // namespace
