// The machinery under dispatch tables: what C++ parameter types mean to automation, and the argument slots
// that carry one Invoke's arguments into a member function and its results back (used by
// platform/com/dispatch_table.h).
//
// Threads: everything here lives on the stack of one call.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/typeinfo.h"

#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace vr {

namespace detail {

// One argument of a built table entry.
struct ArgInfo {
    std::u16string name;
    VARTYPE vt = VT_VARIANT; // the automation type (never VT_BYREF; VT_ARRAY|x for arrays)
    bool out = false;        // a pointer parameter: written back into a VT_BYREF argument
    bool optional = false;
    const IID* iid = nullptr;  // interfaces other than IUnknown/IDispatch: queried for this one
    OwnedVariant defaultValue; // VT_EMPTY when none
};

// What the C++ type of a parameter says about it.
struct ParamShape {
    VARTYPE vt;
    bool pointer; // a pointer to a value type: [out, retval] when last, else [in, out]
    const IID* iid;
    size_t size; // of the value
};

// Where an [in, out] value goes after the call: into a VARIANT the caller passed by reference, or into an
// interface slot of a VT_BYREF|VT_DISPATCH/VT_UNKNOWN argument (whose old interface is released).
struct WriteBack {
    VARIANT* variant = nullptr;
    IUnknown** interfaceSlot = nullptr;
};

// The arguments of one Invoke, resolved per parameter: positional ones are reversed in rgvarg, named ones are
// found by parameter position (DISPID_PROPERTYPUT standing for a put's value, the last parameter).
class CallFrame {
public:
    CallFrame(const DISPPARAMS& params, const ArgInfo* args, UINT dispatchCount, UINT* argError)
        : params_(params), args_(args), dispatchCount_(dispatchCount), argError_(argError),
          positional_(params.cArgs - params.cNamedArgs) {}

    // The argument of parameter i, and its index in rgvarg; null when the caller left it out.
    VARIANT* Arg(UINT i, UINT* position) const {
        if (i < positional_) {
            *position = params_.cArgs - 1 - i;
            return &params_.rgvarg[*position];
        }
        return NamedArg(i, position);
    }
    const ArgInfo& Info(UINT i) const { return args_[i]; }
    void SetArgError(UINT position) const { *argError_ = position; }
    void MarkCalled() { called_ = true; }
    bool Called() const { return called_; }

private:
    VARIANT* NamedArg(UINT i, UINT* position) const;

    const DISPPARAMS& params_;
    const ArgInfo* args_;
    UINT dispatchCount_;
    UINT* argError_;
    UINT positional_;
    bool called_ = false;
};

using Invoker = HRESULT (*)(void* self, CallFrame& frame, VARIANT* result);

// Out-of-line halves of the argument slots below.
HRESULT LoadValueSlow(const CallFrame& frame, UINT i, VARIANT* temp, void* value, size_t size);
HRESULT LoadVariant(const CallFrame& frame, UINT i, const VARIANT** value, VARIANT* missing);
HRESULT LoadInterface(const CallFrame& frame, UINT i, IUnknown** value);
HRESULT LoadOut(const CallFrame& frame, UINT i, void* local, size_t size, void** target, WriteBack* back);
void CommitOut(const WriteBack& back, VARTYPE vt, void* local, size_t size);
void StoreResult(VARIANT* result, VARTYPE vt, void* local, size_t size);
void FreeValueSlow(VARTYPE vt, void* value);

inline bool OwnsResources(VARTYPE vt) {
    return vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_VARIANT || (vt & VT_ARRAY);
}
inline void FreeValue(VARTYPE vt, void* value) {
    if (OwnsResources(vt)) {
        FreeValueSlow(vt, value);
    }
}

// ---- What C++ types mean ----

template <class T>
concept TypedInterface = std::is_base_of_v<IUnknown, T> && !std::is_same_v<T, IUnknown> &&
                         !std::is_same_v<T, IDispatch> && requires {
    InterfaceId<T>::value;
};

template <class T>
constexpr VARTYPE ValueVt() {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, BSTR>) {
        return VT_BSTR;
    } else if constexpr (std::is_same_v<U, CHAR>) {
        return VT_I1;
    } else if constexpr (std::is_same_v<U, BYTE>) {
        return VT_UI1;
    } else if constexpr (std::is_same_v<U, SHORT>) {
        return VT_I2;
    } else if constexpr (std::is_same_v<U, USHORT>) {
        return VT_UI2;
    } else if constexpr (std::is_same_v<U, LONG>) {
        return VT_I4;
    } else if constexpr (std::is_same_v<U, ULONG>) {
        return VT_UI4;
    } else if constexpr (std::is_same_v<U, LONGLONG>) {
        return VT_I8;
    } else if constexpr (std::is_same_v<U, ULONGLONG>) {
        return VT_UI8;
    } else if constexpr (std::is_same_v<U, FLOAT>) {
        return VT_R4;
    } else if constexpr (std::is_same_v<U, DOUBLE>) {
        return VT_R8;
    } else if constexpr (std::is_same_v<U, CY>) {
        return VT_CY;
    } else if constexpr (std::is_enum_v<U> && sizeof(U) == sizeof(LONG)) {
        return VT_I4;
    } else if constexpr (std::is_same_v<U, IDispatch*>) {
        return VT_DISPATCH;
    } else if constexpr (std::is_same_v<U, IUnknown*>) {
        return VT_UNKNOWN;
    } else if constexpr (std::is_pointer_v<U> && TypedInterface<std::remove_pointer_t<U>>) {
        return std::is_base_of_v<IDispatch, std::remove_pointer_t<U>> ? VT_DISPATCH : VT_UNKNOWN;
    } else if constexpr (std::is_same_v<U, SAFEARRAY*>) {
        return VT_ARRAY | VT_VARIANT;
    } else if constexpr (std::is_same_v<U, VARIANT>) {
        return VT_VARIANT;
    } else {
        return VT_EMPTY; // not an automation type
    }
}

template <class T>
constexpr bool IsValueType = ValueVt<T>() != VT_EMPTY;

// A pointer to a value type (not BSTR, which points at text, nor an interface or array pointer).
template <class P>
constexpr bool IsOutPointer =
    std::is_pointer_v<P> && !IsValueType<P> && IsValueType<std::remove_pointer_t<P>>;

template <class T>
const IID* InterfaceIdOf() {
    if constexpr (std::is_pointer_v<T> && TypedInterface<std::remove_pointer_t<T>>) {
        return &uuidof<std::remove_pointer_t<T>>();
    } else {
        return nullptr;
    }
}

template <class P>
ParamShape ShapeOf() {
    using Bare = std::remove_cvref_t<P>;
    if constexpr (IsOutPointer<Bare>) {
        using Value = std::remove_pointer_t<Bare>;
        return {ValueVt<Value>(), true, InterfaceIdOf<Value>(), sizeof(Value)};
    } else {
        static_assert(IsValueType<Bare>,
                      "a dispatch table member has a parameter of a type automation cannot carry");
        return {ValueVt<Bare>(), false, InterfaceIdOf<Bare>(), sizeof(Bare)};
    }
}

// ---- Argument slots: one per parameter, living on the stack for one call ----

// A scalar, text, array or IDispatch/IUnknown value passed in. The exact type is read in place; anything else
// is converted into a temporary that the slot frees.
template <class T>
class InSlot {
public:
    InSlot() { temp_.vt = VT_EMPTY; }
    ~InSlot() {
        if (temp_.vt != VT_EMPTY) {
            FreeValueSlow(VT_VARIANT, &temp_);
        }
    }
    InSlot(const InSlot&) = delete;
    InSlot& operator=(const InSlot&) = delete;

    HRESULT Load(const CallFrame& frame, UINT i) {
        UINT position;
        const VARIANT* arg = frame.Arg(i, &position);
        if (arg && arg->vt == frame.Info(i).vt) {
            std::memcpy(&value_, &arg->llVal, sizeof(T));
            return S_OK;
        }
        return LoadValueSlow(frame, i, &temp_, &value_, sizeof(T));
    }
    T Pass() const { return value_; }
    void Commit(VARIANT*) {}

private:
    T value_{};
    VARIANT temp_;
};

// A VARIANT passed in (by value or const&): the caller's own, one VT_BYREF|VT_VARIANT dereferenced.
class VariantSlot {
public:
    HRESULT Load(const CallFrame& frame, UINT i) { return LoadVariant(frame, i, &value_, &missing_); }
    const VARIANT& Pass() const { return *value_; }
    void Commit(VARIANT*) {}

private:
    const VARIANT* value_ = nullptr;
    VARIANT missing_;
};

// A pointer to an interface other than IUnknown/IDispatch: queried for, and released after the call.
template <class I>
class InterfaceSlot {
public:
    InterfaceSlot() = default;
    ~InterfaceSlot() {
        if (value_) {
            value_->Release();
        }
    }
    InterfaceSlot(const InterfaceSlot&) = delete;
    InterfaceSlot& operator=(const InterfaceSlot&) = delete;

    HRESULT Load(const CallFrame& frame, UINT i) {
        IUnknown* found = nullptr;
        HRESULT hr = LoadInterface(frame, i, &found);
        value_ = static_cast<I*>(found);
        return hr;
    }
    I* Pass() const { return value_; }
    void Commit(VARIANT*) {}

private:
    I* value_ = nullptr;
};

// Zero of a value type, VT_EMPTY for a VARIANT.
template <class T>
T ZeroValue() {
    T value{};
    if constexpr (std::is_same_v<T, VARIANT>) {
        VariantInit(&value);
    }
    return value;
}

// An [in, out] pointer: straight into the caller's VT_BYREF storage when the types match, else through a
// local value written back after a successful call.
template <class T>
class OutSlot {
public:
    OutSlot() : local_(ZeroValue<T>()) {}
    ~OutSlot() { FreeValue(vt_, &local_); }
    OutSlot(const OutSlot&) = delete;
    OutSlot& operator=(const OutSlot&) = delete;

    HRESULT Load(const CallFrame& frame, UINT i) {
        vt_ = frame.Info(i).vt;
        void* target = &local_;
        HRESULT hr = LoadOut(frame, i, &local_, sizeof(T), &target, &back_);
        target_ = static_cast<T*>(target);
        return hr;
    }
    T* Pass() const { return target_; }
    void Commit(VARIANT*) {
        if (target_ == &local_) {
            CommitOut(back_, vt_, &local_, sizeof(T));
        }
    }

private:
    T local_;
    T* target_ = &local_;
    VARTYPE vt_ = VT_EMPTY;
    WriteBack back_;
};

// The [out, retval] pointer: a local value that becomes Invoke's result.
template <class T>
class RetvalSlot {
public:
    RetvalSlot() : local_(ZeroValue<T>()) {}
    ~RetvalSlot() { FreeValue(vt_, &local_); }
    RetvalSlot(const RetvalSlot&) = delete;
    RetvalSlot& operator=(const RetvalSlot&) = delete;

    void SetType(VARTYPE vt) { vt_ = vt; }
    HRESULT Load(const CallFrame&, UINT) { return S_OK; }
    T* Pass() { return &local_; }
    void Commit(VARIANT* result) { StoreResult(result, vt_, &local_, sizeof(T)); }

private:
    T local_;
    VARTYPE vt_ = VT_EMPTY;
};

template <class P, bool isRetval>
struct SlotSelector {
    using Bare = std::remove_cvref_t<P>;
    static auto Pick() {
        if constexpr (isRetval) {
            return std::type_identity<RetvalSlot<std::remove_pointer_t<Bare>>>{};
        } else if constexpr (IsOutPointer<Bare>) {
            return std::type_identity<OutSlot<std::remove_pointer_t<Bare>>>{};
        } else if constexpr (std::is_same_v<Bare, VARIANT>) {
            return std::type_identity<VariantSlot>{};
        } else if constexpr (std::is_pointer_v<Bare> && TypedInterface<std::remove_pointer_t<Bare>>) {
            return std::type_identity<InterfaceSlot<std::remove_pointer_t<Bare>>>{};
        } else {
            return std::type_identity<InSlot<Bare>>{};
        }
    }
    using Type = typename decltype(Pick())::type;
};

// The parts of a member function pointer's type.
template <class F>
struct MemberSignature;
template <class C, class... A>
struct MemberSignature<HRESULT (C::*)(A...)> {
    using Class = C;
    using Params = std::tuple<A...>;
};
template <class C, class... A>
struct MemberSignature<HRESULT (C::*)(A...) noexcept> : MemberSignature<HRESULT (C::*)(A...)> {};

template <class Params>
constexpr bool HasRetval() {
    constexpr size_t count = std::tuple_size_v<Params>;
    if constexpr (count == 0) {
        return false;
    } else {
        return IsOutPointer<std::remove_cvref_t<std::tuple_element_t<count - 1, Params>>>;
    }
}

template <class T, auto Fn, size_t... I>
HRESULT InvokeWithSlots(void* self, CallFrame& frame, [[maybe_unused]] VARIANT* result,
                        std::index_sequence<I...>) {
    using Signature = MemberSignature<decltype(Fn)>;
    using Params = typename Signature::Params;
    constexpr size_t count = sizeof...(I);
    constexpr bool hasRetval = HasRetval<Params>();
    std::tuple<typename SlotSelector<std::tuple_element_t<I, Params>, hasRetval && I + 1 == count>::Type...>
        slots;
    if constexpr (hasRetval) {
        std::get<count - 1>(slots).SetType(frame.Info(count - 1).vt);
    }
    HRESULT hr = S_OK;
    ((hr = SUCCEEDED(hr) ? std::get<I>(slots).Load(frame, I) : hr), ...);
    if (FAILED(hr)) {
        return hr;
    }
    frame.MarkCalled();
    auto* object = static_cast<typename Signature::Class*>(static_cast<T*>(self));
    hr = (object->*Fn)(std::get<I>(slots).Pass()...);
    if (SUCCEEDED(hr)) {
        (std::get<I>(slots).Commit(result), ...);
    }
    return hr;
}

template <class T, auto Fn>
HRESULT InvokeMember(void* self, CallFrame& frame, VARIANT* result) {
    using Params = typename MemberSignature<decltype(Fn)>::Params;
    return InvokeWithSlots<T, Fn>(self, frame, result, std::make_index_sequence<std::tuple_size_v<Params>>{});
}

template <auto Fn, size_t... I>
std::vector<ParamShape> ShapesOf(std::index_sequence<I...>) {
    using Params = typename MemberSignature<decltype(Fn)>::Params;
    return {ShapeOf<std::tuple_element_t<I, Params>>()...};
}

} // namespace detail

} // namespace vr
