// The built-in standard library: IUnknown and IDispatch as a type library describes them.
#include "platform/com/typelib.h"
#include "platform/com/typelib_data.h"

namespace vr::typelib {

namespace {

TypeSpec Pointer(std::vector<VARTYPE> to) {
    to.insert(to.begin(), VT_PTR);
    return TypeSpec{to, 0};
}

ParamData Param(TypeSpec type) {
    ParamData param;
    param.type = std::move(type);
    return param;
}

FuncData Func(std::u16string name, VARTYPE result, std::vector<std::pair<std::u16string, TypeSpec>> params,
              SHORT slot) {
    FuncData func;
    func.memid = 0x60000000 + slot;
    func.funcKind = FUNC_PUREVIRTUAL;
    func.callConv = CC_STDCALL;
    func.vtableOffset = static_cast<SHORT>(slot * sizeof(void*));
    func.flags = FUNCFLAG_FRESTRICTED;
    func.result = TypeSpec{{result}, 0};
    func.names.push_back(std::move(name));
    for (auto& [paramName, type] : params) {
        func.names.push_back(paramName);
        func.params.push_back(Param(type));
    }
    return func;
}

TypeData Unknown() {
    TypeData type;
    type.guid = IID_IUnknown;
    type.kind = TKIND_INTERFACE;
    type.typeFlags = TYPEFLAG_FHIDDEN;
    type.name = u"IUnknown";
    const TypeSpec guidPointer = Pointer({VT_VOID});
    type.funcs.push_back(Func(u"QueryInterface", VT_HRESULT,
                              {{u"riid", guidPointer}, {u"ppvObj", Pointer({VT_PTR, VT_VOID})}}, 0));
    type.funcs.push_back(Func(u"AddRef", VT_UI4, {}, 1));
    type.funcs.push_back(Func(u"Release", VT_UI4, {}, 2));
    return type;
}

TypeData Dispatch() {
    TypeData type;
    type.guid = IID_IDispatch;
    type.kind = TKIND_INTERFACE;
    type.name = u"IDispatch";
    type.implTypes.push_back(ImplTypeData{0, 0}); // IUnknown
    const TypeSpec guidPointer = Pointer({VT_VOID});
    type.funcs.push_back(Func(u"GetTypeInfoCount", VT_HRESULT, {{u"pctinfo", Pointer({VT_UINT})}}, 3));
    type.funcs.push_back(Func(u"GetTypeInfo", VT_HRESULT,
                              {{u"itinfo", TypeSpec{{VT_UINT}, 0}},
                               {u"lcid", TypeSpec{{VT_UI4}, 0}},
                               {u"pptinfo", Pointer({VT_PTR, VT_VOID})}},
                              4));
    type.funcs.push_back(Func(u"GetIDsOfNames", VT_HRESULT,
                              {{u"riid", guidPointer},
                               {u"rgszNames", Pointer({VT_PTR, VT_I2})},
                               {u"cNames", TypeSpec{{VT_UINT}, 0}},
                               {u"lcid", TypeSpec{{VT_UI4}, 0}},
                               {u"rgdispid", Pointer({VT_I4})}},
                              5));
    type.funcs.push_back(Func(u"Invoke", VT_HRESULT,
                              {{u"dispidMember", TypeSpec{{VT_I4}, 0}},
                               {u"riid", guidPointer},
                               {u"lcid", TypeSpec{{VT_UI4}, 0}},
                               {u"wFlags", TypeSpec{{VT_UI2}, 0}},
                               {u"pdispparams", Pointer({VT_VOID})},
                               {u"pvarResult", Pointer({VT_VARIANT})},
                               {u"pexcepinfo", Pointer({VT_VOID})},
                               {u"puArgErr", Pointer({VT_UINT})}},
                              6));
    return type;
}

} // namespace

LibData StdoleData() {
    LibData lib;
    lib.guid = LIBID_STDOLE;
    lib.majorVersion = kStdoleMajorVersion;
    lib.minorVersion = kStdoleMinorVersion;
    lib.name = u"stdole";
    lib.doc = u"OLE Automation";
    lib.types.push_back(Unknown());
    lib.types.push_back(Dispatch());
    lib.refs.push_back(RefData{true, 0, GUID_NULL, 0, 0, GUID_NULL});
    return lib;
}

} // namespace vr::typelib
