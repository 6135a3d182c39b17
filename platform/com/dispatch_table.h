// Dispatch tables: a class declares its automation members once in C++, and the table serves IDispatch
// (GetIDsOfNames, Invoke) and ITypeInfo from it.
//
//     class CThing : public vr::ObjectRoot, public vr::DispatchImpl<CThing, IThing> {
//     public:
//         using Interfaces = vr::InterfaceList<IThing, IDispatch>;
//         static const vr::DispatchTable<CThing>& GetDispatchTable();
//         HRESULT Add(LONG a, LONG b, LONG* sum) override;           // [out, retval] sum
//         HRESULT get_Visible(VARIANT_BOOL* visible) override;
//         HRESULT put_Visible(VARIANT_BOOL visible) override;
//         HRESULT Find(BSTR text, VARIANT start, LONG count, BSTR* found) override;
//     };
//
//     const vr::DispatchTable<CThing>& CThing::GetDispatchTable() {
//         using D = vr::DispatchTable<CThing>;
//         static const D table(u"IThing", {
//             D::Method<&CThing::Add>(1, u"Add", {u"a", u"b"}),
//             D::PropGet<&CThing::get_Visible>(2, u"Visible", {vr::Param(u"visible").As(VT_BOOL)}),
//             D::PropPut<&CThing::put_Visible>(2, u"Visible", {vr::Param(u"visible").As(VT_BOOL)}),
//             D::Method<&CThing::Find>(3, u"Find", {u"text", vr::Param(u"start").Optional(),
//                                                    vr::Param(u"count").Optional(1)}),
//         });
//         return table;
//     }
//
// Parameters follow from the member function's C++ types. A trailing pointer to a value type is the
// [out, retval] result; other pointers to value types are [in, out]: the method gets the caller's current
// value and, when it replaces a BSTR, interface, array or VARIANT, frees the old one first. Value types:
// BSTR, CHAR, BYTE, SHORT, USHORT, LONG/INT, ULONG/UINT, LONGLONG, ULONGLONG, FLOAT, DOUBLE, CY, 32-bit
// enums, IDispatch*, IUnknown*, pointers to other interfaces (queried for them), SAFEARRAY* and VARIANT (by
// value or const&). VARIANT_BOOL and DATE share their C++ types with SHORT and DOUBLE: Param::As(VT_BOOL /
// VT_DATE) says which. A SHORT parameter must say it (As(VT_I2) or As(VT_BOOL)): a table that leaves one
// undescribed is refused, so that no flag reaches a script as the number -1.
//
// Threads: a table is immutable once built; any thread may use it. The objects it calls keep their own rules.
#pragma once

#include "platform/com/dispatch_args.h"
#include "platform/com/errorinfo.h"
#include "platform/com/typeinfo.h"

#include <atomic>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vr {

// The kinds of member, valued as the DISPATCH_* flag that calls them.
enum class MemberKind : WORD {
    Method = DISPATCH_METHOD,
    PropGet = DISPATCH_PROPERTYGET,
    PropPut = DISPATCH_PROPERTYPUT,
    PropPutRef = DISPATCH_PROPERTYPUTREF,
};

// How a table describes one parameter, in the order of the member function's parameters (the [out, retval]
// one included; trailing ones may be left out): its name, the automation type where the C++ type alone cannot
// tell, and whether it is optional, with or without a default. An optional parameter the caller leaves out
// gets its default, or without one the zero of its type; a VARIANT without a default receives the "missing"
// marker (VT_ERROR, DISP_E_PARAMNOTFOUND). Optional parameters come last.
class Param {
public:
    Param(const char16_t* name) : name_(name ? name : u"") {}

    Param& As(VARTYPE vt) {
        vt_ = vt;
        return *this;
    }
    Param& Optional() {
        optional_ = true;
        return *this;
    }
    Param& Optional(LONG value) { return Default(VT_I4, value, 0, nullptr); }
    Param& Optional(double value) { return Default(VT_R8, 0, value, nullptr); }
    Param& Optional(bool value) { return Default(VT_BOOL, value ? VARIANT_TRUE : VARIANT_FALSE, 0, nullptr); }
    Param& Optional(const char16_t* value) { return Default(VT_BSTR, 0, 0, value); }

    std::u16string_view Name() const { return name_; }
    VARTYPE Type() const { return vt_; } // VT_EMPTY: as the C++ type says
    bool IsOptional() const { return optional_; }
    bool HasDefault() const { return defaultVt_ != VT_EMPTY; }
    // The default as a VARIANT (VT_EMPTY when none); a text default is a new BSTR the caller frees.
    VARIANT MakeDefault() const;

private:
    Param& Default(VARTYPE vt, LONG number, double real, const char16_t* text) {
        optional_ = true;
        defaultVt_ = vt;
        defaultNumber_ = number;
        defaultReal_ = real;
        defaultText_ = text;
        return *this;
    }

    std::u16string_view name_;
    VARTYPE vt_ = VT_EMPTY;
    bool optional_ = false;
    VARTYPE defaultVt_ = VT_EMPTY;
    LONG defaultNumber_ = 0;
    double defaultReal_ = 0;
    const char16_t* defaultText_ = nullptr;
};

// One member of a table, as DispatchTable<T>::Method/PropGet/PropPut/PropPutRef make it.
struct DispatchEntry {
    DISPID id = DISPID_UNKNOWN;
    MemberKind kind = MemberKind::Method;
    std::u16string_view name;
    std::vector<Param> params;
    std::vector<detail::ParamShape> shapes; // from the member function's C++ parameters
    bool hasRetval = false;
    detail::Invoker invoke = nullptr;
};

// The class-independent part of a table: lookup, argument checks, error reporting, type information.
class DispatchTableBase {
public:
    ~DispatchTableBase();
    DispatchTableBase(const DispatchTableBase&) = delete;
    DispatchTableBase& operator=(const DispatchTableBase&) = delete;

    // Member names in any case; further names are parameter names of that member (for named arguments),
    // answered with their positions. An unknown name gives DISP_E_UNKNOWNNAME and DISPID_UNKNOWN in its
    // place.
    [[nodiscard]] HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                        DISPID* ids) const;

    // The table as a TKIND_DISPATCH type description of the interface iid; made once, shared afterwards.
    [[nodiscard]] HRESULT GetTypeInfo(UINT index, REFIID iid, bool dual, ITypeInfo** info) const;

    // A table whose entries contradict each other answers every call with E_UNEXPECTED; Problem() says why.
    bool IsValid() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }
    const std::u16string& TypeName() const { return typeName_; }

    // The description GetTypeInfo builds on (tests and type-library writers read it).
    DispatchTypeDescription Describe(REFIID iid, bool dual) const;

protected:
    DispatchTableBase(std::u16string_view typeName, const DispatchEntry* entries, size_t count);

    [[nodiscard]] HRESULT InvokeOn(void* self, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argError) const;

private:
    struct Built {
        DISPID id;
        MemberKind kind;
        std::u16string name;
        std::vector<detail::ArgInfo> args; // the [out, retval] one last, when hasRetval
        UINT dispatchCount;                // arguments a caller passes (all but the retval)
        UINT requiredCount;
        bool hasRetval;
        detail::Invoker invoke;
    };
    struct Member {
        DISPID id;
        std::u16string_view name; // the first entry's
        int entries[4];           // index into entries_ per kind (method, get, put, putref), -1 when none
    };

    void AddEntry(const DispatchEntry& entry);
    void IndexMembers();
    void Fail(const std::string& problem);
    const Member* FindMember(DISPID id) const;
    const Member* FindMember(std::u16string_view name) const;
    const Built* Select(DISPID id, WORD flags) const;
    HRESULT CheckArguments(const Built& entry, const DISPPARAMS& params, UINT* argError) const;
    HRESULT CallEntry(const Built& entry, void* self, detail::CallFrame& frame, VARIANT* result) const;
    DISPID FindParam(const Member& member, std::u16string_view name) const;

    std::u16string typeName_;
    std::vector<Built> entries_;
    std::vector<Member> members_;                            // by DISPID
    std::vector<int32_t> memberAt_;                          // small DISPIDs: the member's index, -1 for none
    std::vector<std::pair<uint32_t, uint32_t>> namesByHash_; // (hash of folded name, member index)
    std::string problem_;
    mutable std::atomic<ITypeInfo*> typeInfo_{nullptr};
};

// The dispatch table of class T.
template <class T>
class DispatchTable : public DispatchTableBase {
public:
    // An entry made for this class (by the functions below).
    struct Entry {
        DispatchEntry entry;
    };

    DispatchTable(std::u16string_view typeName, std::initializer_list<Entry> entries)
        : DispatchTableBase(typeName, Unwrap(entries).data(), entries.size()) {}

    template <auto Fn>
    static Entry Method(DISPID id, std::u16string_view name, std::initializer_list<Param> params = {}) {
        return Make<Fn>(id, MemberKind::Method, name, params);
    }
    template <auto Fn>
    static Entry PropGet(DISPID id, std::u16string_view name, std::initializer_list<Param> params = {}) {
        return Make<Fn>(id, MemberKind::PropGet, name, params);
    }
    template <auto Fn>
    static Entry PropPut(DISPID id, std::u16string_view name, std::initializer_list<Param> params = {}) {
        return Make<Fn>(id, MemberKind::PropPut, name, params);
    }
    template <auto Fn>
    static Entry PropPutRef(DISPID id, std::u16string_view name, std::initializer_list<Param> params = {}) {
        return Make<Fn>(id, MemberKind::PropPutRef, name, params);
    }

    // IDispatch::Invoke on object.
    [[nodiscard]] HRESULT Invoke(T* object, DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* excep, UINT* argError) const {
        return InvokeOn(object, id, riid, flags, params, result, excep, argError);
    }

private:
    template <auto Fn>
    static Entry Make(DISPID id, MemberKind kind, std::u16string_view name,
                      std::initializer_list<Param> params) {
        using Signature = detail::MemberSignature<decltype(Fn)>;
        static_assert(std::is_base_of_v<typename Signature::Class, T>, "the member belongs to another class");
        using Params = typename Signature::Params;
        Entry made;
        made.entry.id = id;
        made.entry.kind = kind;
        made.entry.name = name;
        made.entry.params = params;
        made.entry.shapes = detail::ShapesOf<Fn>(std::make_index_sequence<std::tuple_size_v<Params>>{});
        made.entry.hasRetval = detail::HasRetval<Params>();
        made.entry.invoke = &detail::InvokeMember<T, Fn>;
        return made;
    }

    static std::vector<DispatchEntry> Unwrap(std::initializer_list<Entry> entries) {
        std::vector<DispatchEntry> plain;
        plain.reserve(entries.size());
        for (const Entry& e : entries) {
            plain.push_back(e.entry);
        }
        return plain;
    }
};

// IDispatch for class T from T's table (`static const vr::DispatchTable<T>& GetDispatchTable()`),
// implementing Interface: IDispatch itself or a dual interface derived from it, whose own methods T
// implements.
template <class T, class Interface = IDispatch>
class DispatchImpl : public Interface {
public:
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        return T::GetDispatchTable().GetTypeInfo(index, uuidof<Interface>(),
                                                 !std::is_same_v<Interface, IDispatch>, info);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return T::GetDispatchTable().GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override {
        return T::GetDispatchTable().Invoke(static_cast<T*>(this), id, riid, lcid, flags, params, result,
                                            excep, argError);
    }

protected:
    ~DispatchImpl() = default;
};

} // namespace vr
