// The type-library builder: a device's names, GUIDs and members as a loaded library shows them.
#include "VrDev/Ostrel/typelib/TypeLibBuilder.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using ostrel::CTypeLibBuilder;

std::string TempFolder() {
    fs::path folder = fs::temp_directory_path() / ("ostrel_typelib_" + std::to_string(getpid()));
    fs::create_directories(folder);
    return folder.string();
}

SocketParamInfo Param(const char16_t* name, VARTYPE type, _variant_t value = _variant_t()) {
    SocketParamInfo param;
    param.name = name;
    param.type = type;
    param.flags = PARAMFLAG_FIN;
    param.defaultValue = value;
    return param;
}

SocketMethodInfo Member(const char16_t* name, int kind, int dispId, VARTYPE result,
                        std::vector<SocketParamInfo> params = {}, const char16_t* help = nullptr) {
    SocketMethodInfo member;
    member.name = name;
    member.invokeKind = kind;
    member.dispId = dispId;
    member.returnType = result;
    member.parameters = std::move(params);
    member.helpString = help;
    return member;
}

std::string Docs(ITypeLib* lib, INT index) {
    BSTR name = nullptr;
    BSTR doc = nullptr;
    EXPECT_EQ(lib->GetDocumentation(index, &name, &doc, nullptr, nullptr), S_OK);
    std::string text = vr::ToUtf8(vr::BstrView(name)) + " | " + vr::ToUtf8(vr::BstrView(doc));
    SysFreeString(name);
    SysFreeString(doc);
    return text;
}

std::string FuncDocs(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr;
    BSTR doc = nullptr;
    EXPECT_EQ(info->GetDocumentation(id, &name, &doc, nullptr, nullptr), S_OK);
    std::string text = vr::ToUtf8(vr::BstrView(name)) + " | " + vr::ToUtf8(vr::BstrView(doc));
    SysFreeString(name);
    SysFreeString(doc);
    return text;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(TypeLibBuilder, NamesAndGuidsDeriveFromTheNamesAlone) {
    auto ids = ostrel::DeriveDeviceTypeLibIds(u"dmm", u"dmmAdapter");
    EXPECT_EQ(ids.libraryName, u"VrDeviceDmm");
    EXPECT_EQ(ids.interfaceName, u"IVrSocketDmmAdapter");
    EXPECT_EQ(ids.libraryDoc, u"Vornic Device Dmm 1.0 Type Library");
    EXPECT_EQ(ids.libid.Data1, 0x89153EF7u);
    EXPECT_EQ(ids.clsid.Data1, 0x89153EF7u);
    EXPECT_EQ(ids.libid.Data4[7], 0x00);
    EXPECT_EQ(ids.iid.Data4[7], 0x01);
    EXPECT_EQ(ids.clsid.Data4[7], 0x02);
    // Equal code-unit sums give equal GUIDs: a case change of the first letter, an anagram.
    EXPECT_EQ(ostrel::DeriveDeviceTypeLibIds(u"Dmm", u"x").libid, ids.libid);
    EXPECT_EQ(ostrel::DeriveDeviceTypeLibIds(u"mdm", u"x").libid, ids.libid);
    EXPECT_NE(ostrel::DeriveDeviceTypeLibIds(u"dmn", u"x").libid, ids.libid);
    EXPECT_EQ(ostrel::WithCapitalFirst(u"\u00e9t"), u"\u00e9t"); // ASCII letters only
}

TEST(TypeLibBuilder, DeviceLibraryHoldsTheMembersAsGiven) {
    const std::string folder = TempFolder() + "/made"; // the builder makes the folder
    fs::remove_all(folder);
    SocketInfo info;
    info.name = u"dmm";
    info.interfaceName = u"dmmAdapter";
    info.typeLibraryPath = vr::FromUtf8(folder + "/dmm.tlb").c_str();
    _variant_t missing(LONG{DISP_E_PARAMNOTFOUND}, VT_ERROR);
    info.methods = {
        Member(u"QueryString", ostrel::kMemberMethod, 4, VT_BSTR,
               {Param(u"sInData", VT_BSTR), Param(u"sTerm", VT_VARIANT, _variant_t(LONG{1})),
                Param(u"nTimeout", VT_VARIANT, missing)},
               u"A raw exchange"),
        Member(u"Range", ostrel::kMemberPropertyGet, 1001, VT_R8),
        Member(u"Range", ostrel::kMemberPropertyPut, 1001, VT_VOID, {Param(u"NotUsedParamName", VT_R8)}),
    };
    {
        CTypeLibBuilder builder;
        ASSERT_EQ(builder.BuildDeviceTypeLib(info), S_OK);
    }
    vr::ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLib(vr::FromUtf8(folder + "/dmm.tlb").c_str(), lib.Put()), S_OK);
    EXPECT_EQ(Docs(lib.Get(), -1), "VrDeviceDmm | Vornic Device Dmm 1.0 Type Library");
    ASSERT_EQ(lib->GetTypeInfoCount(), 2u);
    EXPECT_EQ(Docs(lib.Get(), 0), "IVrSocketDmmAdapter | Interface IVrSocketDmmAdapter");
    EXPECT_EQ(Docs(lib.Get(), 1), "VrDeviceDmm | Class VrDeviceDmm");

    vr::ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(lib->GetTypeInfo(1, coclass.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, ostrel::DeriveDeviceTypeLibIds(u"dmm", u"x").clsid);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
    coclass->ReleaseTypeAttr(attr);
    INT implFlags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &implFlags), S_OK);
    EXPECT_EQ(implFlags, IMPLTYPEFLAG_FDEFAULT);

    vr::ComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(lib->GetTypeInfo(0, dispatch.Put()), S_OK);
    ASSERT_EQ(dispatch->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->cFuncs, 3);
    dispatch->ReleaseTypeAttr(attr);
    EXPECT_EQ(FuncDocs(dispatch.Get(), 4), "QueryString | A raw exchange");
    EXPECT_EQ(FuncDocs(dispatch.Get(), 1001), "Range | Range"); // no help: documented by its name

    FUNCDESC* query = nullptr;
    ASSERT_EQ(dispatch->GetFuncDesc(0, &query), S_OK);
    EXPECT_EQ(query->funckind, FUNC_DISPATCH);
    EXPECT_EQ(query->cParams, 3);
    EXPECT_EQ(query->cParamsOpt, 1); // the VT_ERROR default (missing) is not optional
    EXPECT_EQ(query->elemdescFunc.tdesc.vt, VT_BSTR);
    EXPECT_EQ(query->elemdescFunc.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    dispatch->ReleaseFuncDesc(query);

    BSTR names[3] = {};
    UINT count = 0;
    FUNCDESC* put = nullptr;
    ASSERT_EQ(dispatch->GetFuncDesc(2, &put), S_OK);
    EXPECT_EQ(put->invkind, INVOKE_PROPERTYPUT);
    ASSERT_EQ(dispatch->GetNames(put->memid, names, 3, &count), S_OK);
    dispatch->ReleaseFuncDesc(put);
    EXPECT_EQ(count, 1u); // the property put's value stays unnamed
    for (UINT k = 0; k < count; ++k) {
        SysFreeString(names[k]);
    }

    // Built again (even with no members at all) into the same path: replaced, the GUIDs the same.
    const std::string before = FileBytes(folder + "/dmm.tlb");
    info.methods.clear();
    CTypeLibBuilder again;
    ASSERT_EQ(again.BuildDeviceTypeLib(info), S_OK);
    lib = nullptr;
    ASSERT_EQ(LoadTypeLib(vr::FromUtf8(folder + "/dmm.tlb").c_str(), lib.Put()), S_OK);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(libAttr->guid, ostrel::DeriveDeviceTypeLibIds(u"dmm", u"x").libid);
    lib->ReleaseTLibAttr(libAttr);
    EXPECT_NE(FileBytes(folder + "/dmm.tlb"), before);

    // A member the library cannot take ends the build and leaves the file as it was.
    const std::string empty = FileBytes(folder + "/dmm.tlb");
    info.methods = {Member(u"Bad", 3, 1001, VT_I4)};
    CTypeLibBuilder failing;
    EXPECT_EQ(failing.BuildDeviceTypeLib(info), E_INVALIDARG);
    EXPECT_EQ(FileBytes(folder + "/dmm.tlb"), empty);
    fs::remove_all(TempFolder());
}

} // namespace
