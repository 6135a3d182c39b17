// Dispatch tables: building and checking a table, member lookup by DISPID and name, Invoke's checks and
// errors.
#include "platform/com/dispatch_table.h"

#include "platform/base/text.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <new>

namespace vr {
namespace {

uint32_t HashFolded(std::u16string_view name) {
    uint32_t hash = 2166136261u;
    for (OLECHAR c : name) {
        hash = (hash ^ FoldCase(c)) * 16777619u;
    }
    return hash;
}

// DISPIDs below this are looked up by index (a table of this many entries at most).
constexpr DISPID kDirectIndexLimit = 1024;

int KindSlot(MemberKind kind) {
    return std::countr_zero(static_cast<unsigned>(kind));
}

bool IsPut(MemberKind kind) {
    return kind == MemberKind::PropPut || kind == MemberKind::PropPutRef;
}

// A type named in a table may refine the C++ type only where both share their storage.
bool IsRefinement(VARTYPE cppType, VARTYPE named) {
    if (named == cppType) {
        return true;
    }
    switch (cppType) {
    case VT_I2:
        return named == VT_BOOL;
    case VT_R8:
        return named == VT_DATE;
    case VT_I4:
        return named == VT_INT;
    case VT_UI4:
        return named == VT_UINT;
    case VT_ARRAY | VT_VARIANT:
        return (named & VT_ARRAY) && !(named & VT_BYREF);
    default:
        return false;
    }
}

std::string Quoted(std::u16string_view name) {
    std::string quoted(1, '\'');
    quoted.append(ToUtf8(name)).push_back('\'');
    return quoted;
}

// Stores described's default in arg, converted to arg's type once, so that calls read it in place.
std::string SetDefault(const Param& described, detail::ArgInfo* arg) {
    VARIANT value = described.MakeDefault();
    if (value.vt == VT_EMPTY) {
        return "the default of parameter " + Quoted(arg->name) + " cannot be made";
    }
    HRESULT hr = DISP_E_TYPEMISMATCH;
    if (arg->vt == VT_VARIANT) {
        hr = VariantCopy(arg->defaultValue.Put(), &value);
    } else if (!(arg->vt & VT_ARRAY) && arg->vt != VT_DISPATCH && arg->vt != VT_UNKNOWN) {
        hr = VariantChangeType(arg->defaultValue.Put(), &value, 0, arg->vt);
    }
    (void)VariantClear(&value);
    return FAILED(hr) ? "the default of parameter " + Quoted(arg->name) + " does not fit its type"
                      : std::string();
}

// One argument from its C++ shape and its description in the table; a problem's text when they disagree.
std::string BuildArg(const detail::ParamShape& shape, const Param* described, bool isRetval,
                     detail::ArgInfo* arg) {
    arg->vt = shape.vt;
    arg->out = shape.pointer && !isRetval;
    arg->iid = shape.iid;
    // VARIANT_BOOL is a SHORT to C++: a flag described by its C++ type alone would reach a script as the
    // number -1. Such a parameter says which it is.
    if (shape.vt == VT_I2 && (!described || described->Type() == VT_EMPTY)) {
        return (described ? "parameter " + Quoted(described->Name())
                          : std::string("an undescribed parameter")) +
               " is a SHORT or a VARIANT_BOOL: describe it with As(VT_I2) or As(VT_BOOL)";
    }
    if (!described) {
        return {};
    }
    arg->name = described->Name();
    arg->optional = described->IsOptional();
    if (described->Type() != VT_EMPTY) {
        if (!IsRefinement(shape.vt, described->Type())) {
            return "parameter " + Quoted(arg->name) + " cannot be given that automation type";
        }
        arg->vt = described->Type();
    }
    if (isRetval && arg->optional) {
        return "the [out, retval] parameter cannot be optional";
    }
    return described->HasDefault() ? SetDefault(*described, arg) : std::string();
}

bool IsValidInvokeFlags(WORD flags) {
    return (flags &
            (DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
}

} // namespace

VARIANT Param::MakeDefault() const {
    VARIANT value;
    VariantInit(&value);
    switch (defaultVt_) {
    case VT_I4:
        value.lVal = defaultNumber_;
        break;
    case VT_R8:
        value.dblVal = defaultReal_;
        break;
    case VT_BOOL:
        value.boolVal = static_cast<VARIANT_BOOL>(defaultNumber_);
        break;
    case VT_BSTR:
        value.bstrVal = SysAllocString(defaultText_ ? defaultText_ : u"");
        if (!value.bstrVal) {
            return value;
        }
        break;
    default:
        return value;
    }
    value.vt = defaultVt_;
    return value;
}

// ---- Building ----

DispatchTableBase::DispatchTableBase(std::u16string_view typeName, const DispatchEntry* entries, size_t count)
    : typeName_(typeName) {
    entries_.reserve(count);
    for (size_t i = 0; i < count && problem_.empty(); ++i) {
        AddEntry(entries[i]);
    }
    if (problem_.empty()) {
        IndexMembers();
    }
}

DispatchTableBase::~DispatchTableBase() {
    if (ITypeInfo* info = typeInfo_.exchange(nullptr)) {
        info->Release();
    }
}

void DispatchTableBase::Fail(const std::string& problem) {
    if (problem_.empty()) {
        problem_ = problem;
        // A table is a constant of the program: say it where the developer sees it, not only in E_UNEXPECTED.
        std::fprintf(stderr, "dispatch table %s: %s\n", Quoted(typeName_).c_str(), problem.c_str());
    }
}

void DispatchTableBase::AddEntry(const DispatchEntry& entry) {
    std::string where = "member " + Quoted(entry.name) + ": ";
    if (entry.name.empty() || entry.id == DISPID_UNKNOWN || !entry.invoke) {
        return Fail(where + "a member needs a name, a DISPID other than DISPID_UNKNOWN and a function");
    }
    if (entry.params.size() > entry.shapes.size()) {
        return Fail(where + "more parameters described than the function has");
    }
    Built built{entry.id, entry.kind, std::u16string(entry.name), {}, 0, 0, entry.hasRetval, entry.invoke};
    built.dispatchCount = static_cast<UINT>(entry.shapes.size()) - (entry.hasRetval ? 1 : 0);
    if (IsPut(entry.kind) && built.dispatchCount == 0) {
        return Fail(where + "a property put takes the value as its last parameter");
    }
    bool sawOptional = false;
    for (size_t k = 0; k < entry.shapes.size(); ++k) {
        bool isRetval = k >= built.dispatchCount;
        bool isPutValue = IsPut(entry.kind) && k + 1 == built.dispatchCount;
        detail::ArgInfo arg;
        const Param* described = k < entry.params.size() ? &entry.params[k] : nullptr;
        if (std::string problem = BuildArg(entry.shapes[k], described, isRetval, &arg); !problem.empty()) {
            return Fail(where + problem);
        }
        // The value of a put stands apart from the index parameters, which may be optional before it.
        if (!isRetval && !isPutValue) {
            if (sawOptional && !arg.optional) {
                return Fail(where + "parameter " + Quoted(arg.name) + " follows an optional one");
            }
            sawOptional = sawOptional || arg.optional;
        }
        if (!isRetval && !arg.optional) {
            ++built.requiredCount;
        }
        built.args.push_back(std::move(arg));
    }
    entries_.push_back(std::move(built));
}

void DispatchTableBase::IndexMembers() {
    for (size_t e = 0; e < entries_.size(); ++e) {
        const Built& entry = entries_[e];
        auto member =
            std::find_if(members_.begin(), members_.end(), [&](const Member& m) { return m.id == entry.id; });
        if (member == members_.end()) {
            member = members_.insert(members_.end(), Member{entry.id, entry.name, {-1, -1, -1, -1}});
        } else if (!EqualsNoCase(member->name, entry.name)) {
            return Fail("DISPID " + std::to_string(entry.id) + " has two names");
        }
        int& slot = member->entries[KindSlot(entry.kind)];
        if (slot >= 0) {
            return Fail("DISPID " + std::to_string(entry.id) + " has two members of the same kind");
        }
        slot = static_cast<int>(e);
    }
    std::sort(members_.begin(), members_.end(), [](const Member& a, const Member& b) { return a.id < b.id; });
    // The usual tables number their members 1, 2, 3...: those are found by index instead of by search.
    if (!members_.empty() && members_.front().id >= 0 && members_.back().id < kDirectIndexLimit) {
        memberAt_.assign(members_.back().id + 1, -1);
        for (size_t m = 0; m < members_.size(); ++m) {
            memberAt_[members_[m].id] = static_cast<int32_t>(m);
        }
    }
    for (size_t m = 0; m < members_.size(); ++m) {
        if (FindMember(members_[m].name)) {
            return Fail("name " + Quoted(members_[m].name) + " has two DISPIDs");
        }
        uint32_t hash = HashFolded(members_[m].name);
        auto at = std::lower_bound(namesByHash_.begin(), namesByHash_.end(), std::make_pair(hash, 0u));
        namesByHash_.insert(at, {hash, static_cast<uint32_t>(m)});
    }
}

// ---- Lookup ----

const DispatchTableBase::Member* DispatchTableBase::FindMember(DISPID id) const {
    if (!memberAt_.empty()) {
        bool indexed = id >= 0 && static_cast<size_t>(id) < memberAt_.size() && memberAt_[id] >= 0;
        return indexed ? &members_[memberAt_[id]] : nullptr;
    }
    auto it = std::lower_bound(members_.begin(), members_.end(), id,
                               [](const Member& m, DISPID wanted) { return m.id < wanted; });
    return it != members_.end() && it->id == id ? &*it : nullptr;
}

const DispatchTableBase::Member* DispatchTableBase::FindMember(std::u16string_view name) const {
    uint32_t hash = HashFolded(name);
    auto it = std::lower_bound(namesByHash_.begin(), namesByHash_.end(), std::make_pair(hash, 0u));
    for (; it != namesByHash_.end() && it->first == hash; ++it) {
        if (EqualsNoCase(members_[it->second].name, name)) {
            return &members_[it->second];
        }
    }
    return nullptr;
}

DISPID DispatchTableBase::FindParam(const Member& member, std::u16string_view name) const {
    for (int index : member.entries) {
        if (index < 0) {
            continue;
        }
        const Built& entry = entries_[index];
        for (UINT k = 0; k < entry.dispatchCount; ++k) {
            if (!entry.args[k].name.empty() && EqualsNoCase(entry.args[k].name, name)) {
                return static_cast<DISPID>(k);
            }
        }
    }
    return DISPID_UNKNOWN;
}

// The member a call's flags ask for. A put may land on a putref member and the other way round (an object
// assigned to a plain property); a method call may read a property (scripts call indexed properties so).
const DispatchTableBase::Built* DispatchTableBase::Select(DISPID id, WORD flags) const {
    const Member* member = FindMember(id);
    if (!member || !IsValidInvokeFlags(flags)) {
        return nullptr;
    }
    auto entry = [&](MemberKind kind) { return member->entries[KindSlot(kind)]; };
    int chosen = -1;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        MemberKind first = (flags & DISPATCH_PROPERTYPUTREF) ? MemberKind::PropPutRef : MemberKind::PropPut;
        MemberKind second = first == MemberKind::PropPut ? MemberKind::PropPutRef : MemberKind::PropPut;
        chosen = entry(first) >= 0 ? entry(first) : entry(second);
    } else if ((flags & DISPATCH_METHOD) && entry(MemberKind::Method) >= 0) {
        chosen = entry(MemberKind::Method);
    } else {
        chosen = entry(MemberKind::PropGet);
    }
    return chosen >= 0 ? &entries_[chosen] : nullptr;
}

// ---- Calls ----

HRESULT DispatchTableBase::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) const {
    if (!IsValid()) {
        return E_UNEXPECTED;
    }
    if (riid != IID_NULL) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (count == 0) {
        return S_OK;
    }
    if (!names || !ids) {
        return E_INVALIDARG;
    }
    const Member* member = FindMember(U16View(names[0]));
    if (!member) {
        std::fill(ids, ids + count, DISPID_UNKNOWN);
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = member->id;
    HRESULT hr = S_OK;
    for (UINT k = 1; k < count; ++k) {
        ids[k] = FindParam(*member, U16View(names[k]));
        if (ids[k] == DISPID_UNKNOWN) {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT DispatchTableBase::CheckArguments(const Built& entry, const DISPPARAMS& params,
                                          UINT* argError) const {
    if ((params.cArgs && !params.rgvarg) || (params.cNamedArgs && !params.rgdispidNamedArgs) ||
        params.cNamedArgs > params.cArgs) {
        return E_INVALIDARG;
    }
    if (params.cArgs > entry.dispatchCount || params.cArgs < entry.requiredCount) {
        return DISP_E_BADPARAMCOUNT;
    }
    bool put = IsPut(entry.kind);
    UINT positional = params.cArgs - params.cNamedArgs;
    bool sawPutValue = false;
    for (UINT n = 0; n < params.cNamedArgs; ++n) {
        DISPID named = params.rgdispidNamedArgs[n];
        bool isPutValue = named == DISPID_PROPERTYPUT;
        UINT target = isPutValue ? entry.dispatchCount - 1 : static_cast<UINT>(named);
        bool valid = isPutValue ? put
                                : named >= 0 && target >= positional && target < entry.dispatchCount &&
                                      !(put && target == entry.dispatchCount - 1);
        for (UINT earlier = 0; valid && earlier < n; ++earlier) {
            valid = params.rgdispidNamedArgs[earlier] != named;
        }
        if (!valid) {
            *argError = n;
            return DISP_E_PARAMNOTFOUND;
        }
        sawPutValue = sawPutValue || isPutValue;
    }
    return put && !sawPutValue ? DISP_E_PARAMNOTFOUND : S_OK;
}

HRESULT DispatchTableBase::CallEntry(const Built& entry, void* self, detail::CallFrame& frame,
                                     VARIANT* result) const {
    // No C++ exception may cross the interface: one that escapes a member is that member's failure.
    try {
        return entry.invoke(self, frame, result);
    } catch (const std::bad_alloc&) {
        frame.MarkCalled();
        return E_OUTOFMEMORY;
    } catch (...) {
        frame.MarkCalled();
        return E_UNEXPECTED;
    }
}

HRESULT DispatchTableBase::InvokeOn(void* self, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO* excep, UINT* argError) const {
    if (!IsValid()) {
        return E_UNEXPECTED;
    }
    if (riid != IID_NULL) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    const Built* entry = Select(id, flags);
    if (!entry) {
        return DISP_E_MEMBERNOTFOUND;
    }
    static const DISPPARAMS kNoArguments{};
    const DISPPARAMS& arguments = params ? *params : kNoArguments;
    UINT ignoredArgError = 0;
    if (!argError) {
        argError = &ignoredArgError;
    }
    if (HRESULT hr = CheckArguments(*entry, arguments, argError); FAILED(hr)) {
        return hr;
    }
    if (result) {
        VariantInit(result);
    }
    detail::CallFrame frame(arguments, entry->args.data(), entry->dispatchCount, argError);
    // Error information an earlier failure left on this thread must not be taken for this call's.
    (void)SetErrorInfo(0, nullptr);
    HRESULT hr = CallEntry(*entry, self, frame, result);
    if (SUCCEEDED(hr) || !frame.Called() || !excep) {
        return hr;
    }
    FillExcepInfo(excep, hr);
    return DISP_E_EXCEPTION;
}

// ---- Type information ----

DispatchTypeDescription DispatchTableBase::Describe(REFIID iid, bool dual) const {
    DispatchTypeDescription description;
    description.guid = iid;
    description.name = typeName_;
    description.typeFlags = TYPEFLAG_FDISPATCHABLE | (dual ? TYPEFLAG_FDUAL : 0);
    for (const Built& entry : entries_) {
        TypeFunc func;
        func.id = entry.id;
        func.invokeKind = static_cast<INVOKEKIND>(entry.kind);
        func.name = entry.name;
        func.resultVt = entry.hasRetval ? entry.args.back().vt : VARTYPE{VT_VOID};
        for (UINT k = 0; k < entry.dispatchCount; ++k) {
            const detail::ArgInfo& arg = entry.args[k];
            TypeParam param;
            param.name = arg.name;
            param.vt = arg.out ? static_cast<VARTYPE>(arg.vt | VT_BYREF) : arg.vt;
            param.flags =
                PARAMFLAG_FIN | (arg.out ? PARAMFLAG_FOUT : 0) | (arg.optional ? PARAMFLAG_FOPT : 0);
            param.defaultValue = arg.defaultValue;
            func.params.push_back(std::move(param));
        }
        description.funcs.push_back(std::move(func));
    }
    return description;
}

HRESULT DispatchTableBase::GetTypeInfo(UINT index, REFIID iid, bool dual, ITypeInfo** info) const {
    if (!info) {
        return E_POINTER;
    }
    *info = nullptr;
    if (index != 0) {
        return DISP_E_BADINDEX;
    }
    if (!IsValid()) {
        return E_UNEXPECTED;
    }
    ITypeInfo* cached = typeInfo_.load(std::memory_order_acquire);
    if (!cached) {
        ITypeInfo* made = nullptr;
        if (HRESULT hr = CreateDispatchTypeInfo(Describe(iid, dual), &made); FAILED(hr)) {
            return hr;
        }
        // Two threads may make it at once: the first one's is kept, the other is dropped.
        if (typeInfo_.compare_exchange_strong(cached, made, std::memory_order_acq_rel)) {
            cached = made;
        } else {
            made->Release();
        }
    }
    cached->AddRef();
    *info = cached;
    return S_OK;
}

} // namespace vr
