// The graph control's registered type library, read from libplotvane.so's file, against the dispatch table
// the control answers from; and the placeholder property page, created by its ProgID.
#include "PlotvaneCtrl.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/typelib.h"
#include "platform/ui/tests/test_application.h"

#include <QWidget>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace plotvane {
namespace {

bool PlotvaneModuleLoaded() {
    void* module = dlopen("libplotvane.so", RTLD_NOW | RTLD_NOLOAD);
    if (module) {
        (void)dlclose(module); // gives back the reference RTLD_NOLOAD took
    }
    return module != nullptr;
}

std::string TypeText(const TYPEDESC& desc) {
    return desc.vt == VT_PTR || desc.vt == VT_SAFEARRAY
               ? std::to_string(desc.vt) + "(" + TypeText(*desc.lptdesc) + ")"
               : std::to_string(desc.vt);
}

// What a script's host reads of a dispatch interface: per member its DISPID, kind, names, result and
// parameters with their flags.
std::string Members(ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) {
        return "no attributes";
    }
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    std::ostringstream out;
    for (UINT k = 0; k < count; ++k) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(k, &desc))) {
            out << "member " << k << " missing\n";
            continue;
        }
        out << desc->memid << " kind " << desc->invkind << " result " << TypeText(desc->elemdescFunc.tdesc)
            << " optional " << desc->cParamsOpt << ":";
        for (SHORT p = 0; p < desc->cParams; ++p) {
            out << " " << TypeText(desc->lprgelemdescParam[p].tdesc) << "/"
                << desc->lprgelemdescParam[p].paramdesc.wParamFlags;
        }
        BSTR names[8] = {};
        UINT named = 0;
        if (SUCCEEDED(info->GetNames(desc->memid, names, 8, &named))) {
            for (UINT n = 0; n < named; ++n) {
                out << " " << vr::BstrToUtf8(names[n]);
                SysFreeString(names[n]);
            }
        }
        out << "\n";
        info->ReleaseFuncDesc(desc);
    }
    return out.str();
}

// The types a type implements (its base, a class's interfaces), as "name/IMPLTYPEFLAG_*" in order.
std::string Implemented(ITypeInfo* info) {
    std::string text;
    HREFTYPE ref = 0;
    for (UINT k = 0; SUCCEEDED(info->GetRefTypeOfImplType(k, &ref)); ++k) {
        INT flags = 0;
        vr::ComPtr<ITypeInfo> type;
        BSTR name = nullptr;
        EXPECT_EQ(info->GetImplTypeFlags(k, &flags), S_OK);
        EXPECT_EQ(info->GetRefTypeInfo(ref, type.Put()), S_OK);
        EXPECT_EQ(type->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
        text += vr::BstrToUtf8(name) + "/" + std::to_string(flags) + " ";
        SysFreeString(name);
    }
    return text;
}

class PlotvaneLibraryTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(PlotvaneLibraryTest, RegisteredLibraryDescribesWhatTheControlAnswers) {
    const bool loadedBefore = PlotvaneModuleLoaded();
    vr::ComPtr<ITypeLib> lib;
    ASSERT_EQ(
        LoadRegTypeLib(LIBID_PlotvaneLib, kPlotvaneLibMajorVersion, kPlotvaneLibMinorVersion, 0, lib.Put()),
        S_OK);
    if (!loadedBefore) {
        EXPECT_FALSE(PlotvaneModuleLoaded()) << "reading the type library loaded the control's module";
    }

    vr::ComPtr<ITypeInfo> library;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(vr::uuidof<IPlotvane>(), library.Put()), S_OK);
    vr::ComPtr<ITypeInfo> table;
    ASSERT_EQ(CPlotvaneCtrl::GetDispatchTable().GetTypeInfo(0, vr::uuidof<IPlotvane>(), true, table.Put()),
              S_OK);
    const std::string members = Members(library.Get());
    EXPECT_EQ(members, Members(table.Get()));
    EXPECT_NE(members.find("-552 kind 1 result 24 optional 0: AboutBox"), std::string::npos) << members;
    EXPECT_EQ(Implemented(library.Get()), "IDispatch/0 ");

    vr::ComPtr<ITypeInfo> events;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IPlotvaneEvents, events.Put()), S_OK);
    EXPECT_EQ(Members(events.Get()), "") << "the event interface has no methods";
    vr::ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_PlotvaneCtrl, coclass.Put()), S_OK);
    EXPECT_EQ(Implemented(coclass.Get()), "IPlotvane/1 IPlotvaneEvents/3 "); // default; default source
}

TEST_F(PlotvaneLibraryTest, PropertyPageIsCreatableAndShowsNothing) {
    vrtest::TestApplication();
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(kPlotvanePropPageProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_PlotvanePropPage);
    vr::ComPtr<IVrControl> page;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrControl>(), page.PutVoid()),
        S_OK);
    QWidget parent;
    QWidget* widget = nullptr;
    ASSERT_EQ(page->CreateControlWidget(&parent, QRect(0, 0, 200, 100), &widget), S_OK);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), &parent);
    EXPECT_TRUE(widget->children().isEmpty());
    EXPECT_EQ(page->CreateControlWidget(&parent, QRect(), &widget), E_UNEXPECTED);
}

} // namespace
} // namespace plotvane
