// Type information made from a dispatch table: attributes, function descriptions, names, documentation, the
// containing library, and Invoke through the type.
#include "platform/com/tests/dispatch_probe.h"

#include "platform/base/text.h"

#include <gtest/gtest.h>

#include <thread>

namespace vrtest {
namespace {

// A class whose table nobody has asked for type information yet.
struct Racer {
    HRESULT Nothing() { return S_OK; }
    static const vr::DispatchTable<Racer>& GetDispatchTable() {
        using D = vr::DispatchTable<Racer>;
        static const D table(u"Racer", {D::Method<&Racer::Nothing>(1, u"Nothing")});
        return table;
    }
};

class TypeInfoTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vr::ComObject<CProbe>::Create(&probe_), S_OK);
        dispatch_ = static_cast<IProbe*>(probe_.Get());
        ASSERT_EQ(dispatch_->GetTypeInfo(0, 0, info_.Put()), S_OK);
    }

    // The function description of a member of the given kind.
    const FUNCDESC* Func(MEMBERID id, INVOKEKIND kind) {
        TYPEATTR* attr = nullptr;
        EXPECT_EQ(info_->GetTypeAttr(&attr), S_OK);
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* desc = nullptr;
            EXPECT_EQ(info_->GetFuncDesc(i, &desc), S_OK);
            if (desc->memid == id && desc->invkind == kind) {
                return desc;
            }
            info_->ReleaseFuncDesc(desc);
        }
        info_->ReleaseTypeAttr(attr);
        ADD_FAILURE() << "no function " << id;
        return nullptr;
    }

    std::vector<std::u16string> Names(MEMBERID id, UINT max = 8) {
        std::vector<BSTR> names(max);
        UINT count = 0;
        EXPECT_EQ(info_->GetNames(id, names.data(), max, &count), S_OK);
        std::vector<std::u16string> texts;
        for (UINT i = 0; i < count; ++i) {
            texts.emplace_back(vr::BstrView(names[i]));
            SysFreeString(names[i]);
        }
        return texts;
    }

    vr::ComObjectPtr<CProbe> probe_;
    IDispatch* dispatch_ = nullptr;
    vr::ComPtr<ITypeInfo> info_;
};

TEST_F(TypeInfoTest, OneTypeDescribesTheDualInterface) {
    UINT count = 0;
    EXPECT_EQ(dispatch_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* none = nullptr;
    EXPECT_EQ(dispatch_->GetTypeInfo(1, 0, &none), DISP_E_BADINDEX);

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info_->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_IProbe);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->cFuncs, 20) << "one description per table entry";
    EXPECT_EQ(attr->cVars, 0);
    EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE),
              TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attr->memidConstructor, MEMBERID_NIL);
    info_->ReleaseTypeAttr(attr);
}

TEST_F(TypeInfoTest, AMethodListsItsParametersAndResult) {
    const FUNCDESC* subtract = Func(kSubtract, INVOKE_FUNC);
    ASSERT_NE(subtract, nullptr);
    EXPECT_EQ(subtract->funckind, FUNC_DISPATCH);
    ASSERT_EQ(subtract->cParams, 2);
    EXPECT_EQ(subtract->cParamsOpt, 0);
    EXPECT_EQ(subtract->lprgelemdescParam[0].tdesc.vt, VT_I4);
    EXPECT_EQ(subtract->lprgelemdescParam[1].paramdesc.wParamFlags, PARAMFLAG_FIN);
    EXPECT_EQ(subtract->elemdescFunc.tdesc.vt, VT_I4);
    EXPECT_EQ(subtract->elemdescFunc.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);

    const FUNCDESC* thrower = Func(kThrow, INVOKE_FUNC);
    ASSERT_NE(thrower, nullptr);
    EXPECT_EQ(thrower->cParams, 0);
    EXPECT_EQ(thrower->elemdescFunc.tdesc.vt, VT_VOID);
}

TEST_F(TypeInfoTest, OptionalParametersCarryTheirDefaults) {
    const FUNCDESC* format = Func(kFormat, INVOKE_FUNC);
    ASSERT_NE(format, nullptr);
    ASSERT_EQ(format->cParams, 3);
    EXPECT_EQ(format->cParamsOpt, 2);
    const ELEMDESC& width = format->lprgelemdescParam[1];
    EXPECT_EQ(width.paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
    ASSERT_NE(width.paramdesc.pparamdescex, nullptr);
    EXPECT_EQ(width.paramdesc.pparamdescex->varDefaultValue.vt, VT_I4);
    EXPECT_EQ(width.paramdesc.pparamdescex->varDefaultValue.lVal, 8);
    const ELEMDESC& upper = format->lprgelemdescParam[2];
    EXPECT_EQ(upper.tdesc.vt, VT_BOOL);
    EXPECT_EQ(upper.paramdesc.pparamdescex->varDefaultValue.vt, VT_BOOL);

    const FUNCDESC* inspect = Func(kInspect, INVOKE_FUNC);
    ASSERT_NE(inspect, nullptr);
    EXPECT_EQ(inspect->lprgelemdescParam[0].tdesc.vt, VT_VARIANT);
    EXPECT_EQ(inspect->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT);
    EXPECT_EQ(inspect->lprgelemdescParam[0].paramdesc.pparamdescex, nullptr);
}

TEST_F(TypeInfoTest, PointersAndArraysAreDescribedByWhatTheyPointAt) {
    const FUNCDESC* split = Func(kSplit, INVOKE_FUNC);
    ASSERT_NE(split, nullptr);
    ASSERT_EQ(split->cParams, 3);
    const ELEMDESC& head = split->lprgelemdescParam[1];
    EXPECT_EQ(head.tdesc.vt, VT_PTR);
    EXPECT_EQ(head.tdesc.lptdesc->vt, VT_BSTR);
    EXPECT_EQ(head.paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT);
    EXPECT_EQ(split->elemdescFunc.tdesc.vt, VT_BOOL);

    const FUNCDESC* count = Func(kCountItems, INVOKE_FUNC);
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->lprgelemdescParam[0].tdesc.vt, VT_SAFEARRAY);
    EXPECT_EQ(count->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_VARIANT);

    const FUNCDESC* words = Func(kMakeWords, INVOKE_FUNC);
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->elemdescFunc.tdesc.vt, VT_SAFEARRAY);
    EXPECT_EQ(words->elemdescFunc.tdesc.lptdesc->vt, VT_BSTR);

    const FUNCDESC* pair = Func(kPair, INVOKE_FUNC);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->lprgelemdescParam[0].tdesc.vt, VT_DISPATCH);
}

TEST_F(TypeInfoTest, PropertiesHaveAFunctionPerKind) {
    const FUNCDESC* get = Func(kItem, INVOKE_PROPERTYGET);
    const FUNCDESC* put = Func(kItem, INVOKE_PROPERTYPUT);
    ASSERT_NE(get, nullptr);
    ASSERT_NE(put, nullptr);
    EXPECT_EQ(get->cParams, 1);
    EXPECT_EQ(get->elemdescFunc.tdesc.vt, VT_VARIANT);
    EXPECT_EQ(put->cParams, 2);
    EXPECT_EQ(put->elemdescFunc.tdesc.vt, VT_VOID);
    EXPECT_EQ(Func(kVisible, INVOKE_PROPERTYPUT)->lprgelemdescParam[0].tdesc.vt, VT_BOOL);
    EXPECT_EQ(Func(kPartner, INVOKE_PROPERTYPUTREF)->lprgelemdescParam[0].tdesc.vt, VT_DISPATCH);
}

TEST_F(TypeInfoTest, NamesListTheMemberAndItsParameters) {
    EXPECT_EQ(Names(kSubtract), (std::vector<std::u16string>{u"Subtract", u"a", u"b"}));
    EXPECT_EQ(Names(kSubtract, 2), (std::vector<std::u16string>{u"Subtract", u"a"}));
    EXPECT_EQ(Names(kFormat), (std::vector<std::u16string>{u"Format", u"text", u"width", u"upper"}));
    // The first description of a property names it; a put's value stays unnamed.
    EXPECT_EQ(Names(kItem), (std::vector<std::u16string>{u"Item", u"index"}));
    BSTR name = nullptr;
    UINT count = 0;
    EXPECT_EQ(info_->GetNames(777, &name, 1, &count), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(TypeInfoTest, NamesAreLookedUpInAnyCase) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"FORMAT"), const_cast<LPOLESTR>(u"UPPER")};
    MEMBERID ids[2] = {};
    ASSERT_EQ(info_->GetIDsOfNames(names, 2, ids), S_OK);
    EXPECT_EQ(ids[0], kFormat);
    EXPECT_EQ(ids[1], 2);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Nothing")};
    EXPECT_EQ(info_->GetIDsOfNames(unknown, 1, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], MEMBERID_NIL);
}

TEST_F(TypeInfoTest, DocumentationNamesTheTypeAndItsMembers) {
    BSTR name = nullptr;
    BSTR doc = nullptr;
    DWORD context = 99;
    ASSERT_EQ(info_->GetDocumentation(MEMBERID_NIL, &name, &doc, &context, nullptr), S_OK);
    EXPECT_EQ(vr::BstrView(name), u"IProbe");
    EXPECT_EQ(context, 0u);
    SysFreeString(name);
    SysFreeString(doc);
    ASSERT_EQ(info_->GetDocumentation(kSplit, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(vr::BstrView(name), u"Split");
    SysFreeString(name);
    EXPECT_EQ(info_->GetDocumentation(4242, &name, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(TypeInfoTest, InvokeGoesThroughTheInstancesDispatch) {
    CallArgs args{I4(9), I4(4)};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(info_->Invoke(static_cast<IProbe*>(probe_.Get()), kSubtract, DISPATCH_METHOD, args.Params(),
                            &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.lVal, 5);
    EXPECT_EQ(info_->Invoke(nullptr, kSubtract, DISPATCH_METHOD, args.Params(), &result, nullptr, nullptr),
              E_INVALIDARG);
}

TEST_F(TypeInfoTest, TheContainingLibraryHoldsThisType) {
    vr::ComPtr<ITypeLib> lib;
    UINT index = 5;
    ASSERT_EQ(info_->GetContainingTypeLib(lib.Put(), &index), S_OK);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(lib->GetTypeInfoCount(), 1u);
    vr::ComPtr<ITypeInfo> again;
    ASSERT_EQ(lib->GetTypeInfo(0, again.Put()), S_OK);
    EXPECT_EQ(again.Get(), info_.Get());
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IProbe, again.Put()), S_OK);
    EXPECT_EQ(again.Get(), info_.Get());
    EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IDispatch, again.Put()), TYPE_E_ELEMENTNOTFOUND);
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(lib->GetTypeInfoType(0, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH);

    std::u16string spelled = u"sPLIT";
    BOOL found = FALSE;
    ASSERT_EQ(lib->IsName(spelled.data(), 0, &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(spelled, u"Split") << "IsName gives back the library's spelling";

    ITypeInfo* infos[2] = {};
    MEMBERID ids[2] = {};
    USHORT wanted = 2;
    std::u16string name = u"serial";
    ASSERT_EQ(lib->FindName(name.data(), 0, infos, ids, &wanted), S_OK);
    ASSERT_EQ(wanted, 1);
    EXPECT_EQ(ids[0], kSerial);
    EXPECT_EQ(infos[0], info_.Get());
    infos[0]->Release();
}

TEST_F(TypeInfoTest, TheTypeOutlivesTheObjectAndIsMadeOnce) {
    vr::ComPtr<ITypeInfo> second;
    ASSERT_EQ(dispatch_->GetTypeInfo(0, 0, second.Put()), S_OK);
    EXPECT_EQ(second.Get(), info_.Get());
    probe_ = nullptr;
    dispatch_ = nullptr;
    EXPECT_EQ(Names(kMix, 16).size(), 9u);

    // Threads asking at once for another table's first type information all get one object.
    std::vector<ITypeInfo*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back(
            [&seen, t] { (void)Racer::GetDispatchTable().GetTypeInfo(0, IID_IDispatch, false, &seen[t]); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (ITypeInfo* info : seen) {
        EXPECT_EQ(info, seen[0]);
        info->Release();
    }
}

TEST_F(TypeInfoTest, WhatTheDescriptionCannotAnswerIsRefused) {
    ITypeComp* comp = nullptr;
    EXPECT_EQ(info_->GetTypeComp(&comp), E_NOTIMPL);
    void* address = nullptr;
    EXPECT_EQ(info_->AddressOfMember(kSubtract, INVOKE_FUNC, &address), E_NOTIMPL);
    EXPECT_EQ(info_->CreateInstance(nullptr, IID_IUnknown, &address), E_NOTIMPL);
    VARDESC* var = nullptr;
    EXPECT_EQ(info_->GetVarDesc(0, &var), TYPE_E_ELEMENTNOTFOUND);
    FUNCDESC* func = nullptr;
    EXPECT_EQ(info_->GetFuncDesc(20, &func), TYPE_E_ELEMENTNOTFOUND);
    HREFTYPE ref = 0;
    EXPECT_EQ(info_->GetRefTypeOfImplType(0, &ref), TYPE_E_ELEMENTNOTFOUND);
}

} // namespace
} // namespace vrtest
