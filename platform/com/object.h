// COM objects from plain classes: reference counting, interface lists, aggregation,
// FinalConstruct/FinalRelease.
//
// A class derives from vr::ObjectRoot and its interfaces, lists them, and leaves IUnknown to the wrappers:
//
//     class CThing : public vr::ObjectRoot, public vr::CoClass<CThing>, public IThing,
//                    public vr::SupportErrorInfoImpl<IThing> {
//     public:
//         using Interfaces = vr::InterfaceList<IThing, IDispatch, ISupportErrorInfo>;
//         static constexpr bool kAggregatable = false; // optional: refuse an outer object
//         HRESULT FinalConstruct();                     // optional: a failure fails the creation
//         void FinalRelease();                          // optional: runs once before destruction
//         ...the methods of IThing...
//     };
//
//     CThing::CreateInstance(outer, riid, ppv)                 // with vr::CoClass<CThing> as a base: what a
//                                                              // class factory calls
//                                                              (vr::CreateComObject<T>)
//     vr::ComObjectPtr<CThing> thing;                          // an object made and held in code
//     HRESULT hr = vr::ComObject<CThing>::Create(&thing);
//
// Thread contract: reference counts are atomic, so AddRef, Release and QueryInterface may be called from any
// thread. Everything else (construction, FinalConstruct, FinalRelease and the class's own methods) runs as
// the object's apartment says. Every live object holds a lock on its deliverable (vr::module), which is why
// this header is all inline: compiled into each deliverable with hidden visibility, each counts its own
// objects.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "platform/com/module.h"
#include "platform/com/unknown.h"

#include <atomic>
#include <new>
#include <type_traits>

namespace vr {

// ---- Interface lists ----

// An entry of an interface list that reaches Interface through Path, for an interface the class inherits more
// than once (IDispatch under two dual interfaces): Via<IDispatch, IThing>.
template <class Interface, class Path>
struct Via {};

// The interfaces a class answers QueryInterface for, in order; the first one also gives the object's
// IUnknown. An entry is an interface type or a Via<>.
template <class... Entries>
struct InterfaceList {};

namespace detail {

template <class Entry>
struct InterfaceEntry {
    using Interface = Entry;
    using Path = Entry;
};
template <class Interface_, class Path_>
struct InterfaceEntry<Via<Interface_, Path_>> {
    using Interface = Interface_;
    using Path = Path_;
};

template <class Entry, class T>
void* CastToEntry(T* object) {
    using Traits = InterfaceEntry<Entry>;
    return static_cast<typename Traits::Interface*>(static_cast<typename Traits::Path*>(object));
}

template <class T, class First, class... Rest>
IUnknown* IdentityOf(T* object, InterfaceList<First, Rest...>) {
    using Traits = InterfaceEntry<First>;
    return static_cast<IUnknown*>(static_cast<typename Traits::Path*>(object));
}

template <class T, class... Entries>
void* FindListedInterface(T* object, REFIID riid, InterfaceList<Entries...>) {
    void* found = nullptr;
    ((riid == uuidof<typename InterfaceEntry<Entries>::Interface>()
          ? (found = CastToEntry<Entries>(object), true)
          : false) ||
     ...);
    return found;
}

// A class may answer interfaces its list does not name (an aggregated inner object's, for instance) with
// `HRESULT QueryUnlistedInterface(REFIID, void**)`, which hands out a reference of its own, as QueryInterface
// does.
template <class T>
concept HasUnlistedInterfaces = requires(T* object, const IID& riid, void** ppv) {
    { object->QueryUnlistedInterface(riid, ppv) } -> std::same_as<HRESULT>;
};

} // namespace detail

// ---- The root every class derives from ----

// Defaults a class may hide with its own: aggregation allowed, a lock on the deliverable per live object,
// nothing to do after construction or before destruction.
class ObjectRoot {
public:
    static constexpr bool kAggregatable = true;
    static constexpr bool kLocksModule = true;

    [[nodiscard]] HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

    // The object's controlling unknown: the outer object when aggregated, else its own IUnknown. Set from
    // FinalConstruct on; it holds no reference.
    IUnknown* GetControllingUnknown() const { return controllingUnknown_; }
    bool IsAggregated() const { return aggregated_; }

protected:
    ObjectRoot() = default;
    ~ObjectRoot() = default;
    ObjectRoot(const ObjectRoot&) = delete;
    ObjectRoot& operator=(const ObjectRoot&) = delete;

private:
    template <class>
    friend class ComObject;
    template <class>
    friend class ComContainedObject;

    IUnknown* controllingUnknown_ = nullptr;
    bool aggregated_ = false;
};

namespace detail {

template <class T>
void* FindInterface(T* object, REFIID riid) {
    static_assert(std::is_base_of_v<ObjectRoot, T>, "COM classes derive from vr::ObjectRoot");
    return FindListedInterface(object, riid, typename T::Interfaces{});
}

// The deliverable's lock of one object; a first base of the wrappers, so that it is taken before the class is
// constructed and given back only after it is destroyed.
template <class T>
struct ModuleLockHolder {
    ModuleLockHolder() {
        if constexpr (T::kLocksModule) {
            module::Lock();
        }
    }
    ~ModuleLockHolder() {
        if constexpr (T::kLocksModule) {
            module::Unlock();
        }
    }
    ModuleLockHolder(const ModuleLockHolder&) = delete;
    ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};

} // namespace detail

template <class T>
class ComAggObject;
template <class T>
[[nodiscard]] HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv);

// ---- A stand-alone object ----

template <class T>
class ComObject final : private detail::ModuleLockHolder<T>, public T {
public:
    // Creates a plain object for use in code; out receives it as I (ComObject<T> itself by default).
    template <class I = ComObject>
    [[nodiscard]] static HRESULT Create(ComPtr<I>* out) {
        if (!out) {
            return E_POINTER;
        }
        ComObject* object = nullptr;
        if (HRESULT hr = Construct(&object); FAILED(hr)) {
            *out = nullptr;
            return hr;
        }
        HRESULT hr = S_OK;
        if constexpr (std::is_same_v<I, ComObject>) {
            *out = ComPtr<I>::Adopt(object);
        } else {
            hr = object->QueryInterface(uuidof<I>(), out->PutVoid());
            object->Release();
        }
        return hr;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = riid == IID_IUnknown ? this->GetControllingUnknown() : detail::FindInterface<T>(this, riid);
        if (*ppv) {
            AddRef();
            return S_OK;
        }
        if constexpr (detail::HasUnlistedInterfaces<T>) {
            return this->QueryUnlistedInterface(riid, ppv);
        }
        return E_NOINTERFACE;
    }
    template <class Q>
    [[nodiscard]] HRESULT QueryInterface(Q** pp) {
        return QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(pp));
    }

    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            // One reference for the length of FinalRelease, so that an AddRef/Release pair in it cannot
            // destroy the object a second time.
            refs_.store(1, std::memory_order_relaxed);
            this->FinalRelease();
            delete this;
        }
        return left;
    }

private:
    template <class>
    friend HRESULT CreateComObject(IUnknown*, REFIID, void**);

    ComObject() = default;
    ~ComObject() = default;

    // Makes the object with one reference (the caller's) and runs FinalConstruct.
    static HRESULT Construct(ComObject** out) {
        auto* object = new (std::nothrow) ComObject();
        if (!object) {
            return E_OUTOFMEMORY;
        }
        object->controllingUnknown_ = detail::IdentityOf(static_cast<T*>(object), typename T::Interfaces{});
        object->refs_.store(1, std::memory_order_relaxed);
        if (HRESULT hr = object->FinalConstruct(); FAILED(hr)) {
            delete object;
            return hr;
        }
        *out = object;
        return S_OK;
    }

    std::atomic<ULONG> refs_{0};
};

// A stand-alone object held in code.
template <class T>
using ComObjectPtr = ComPtr<ComObject<T>>;

// Creates a T, plain or (when outer is given) aggregated, and queries it for riid: what a class factory
// calls. With an outer object only IID_IUnknown may be asked for, and classes that refuse aggregation answer
// CLASS_E_NOAGGREGATION. A failing FinalConstruct fails the creation; the object is then destroyed without
// FinalRelease.
template <class T>
[[nodiscard]] HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (outer) {
        if constexpr (T::kAggregatable) {
            return riid == IID_IUnknown ? ComAggObject<T>::Create(outer, ppv) : CLASS_E_NOAGGREGATION;
        } else {
            return CLASS_E_NOAGGREGATION;
        }
    }
    ComObject<T>* object = nullptr;
    if (HRESULT hr = ComObject<T>::Construct(&object); FAILED(hr)) {
        return hr;
    }
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// Gives a creatable class its `static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv)`, the
// function a server's class table names. (Classes implementing an interface that has a CreateInstance method
// of its own, such as IClassFactory, name &vr::CreateComObject<T> instead.)
template <class T>
class CoClass {
public:
    [[nodiscard]] static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
        return CreateComObject<T>(outer, riid, ppv);
    }
};

// ---- An aggregated object ----

// T inside an aggregate: its interfaces' IUnknown methods go to the outer object.
template <class T>
class ComContainedObject final : public T {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return this->GetControllingUnknown()->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return this->GetControllingUnknown()->AddRef(); }
    ULONG Release() override { return this->GetControllingUnknown()->Release(); }

private:
    friend class ComAggObject<T>;
    explicit ComContainedObject(IUnknown* outer) {
        this->controllingUnknown_ = outer;
        this->aggregated_ = true;
    }
    ~ComContainedObject() = default;
};

// The inner object of an aggregate: its own (non-delegating) IUnknown counts the outer object's reference to
// it; every other interface it hands out is T's, whose references are the outer object's.
template <class T>
class ComAggObject final : private detail::ModuleLockHolder<T>, public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = detail::FindInterface<T>(&contained_, riid);
        if (*ppv) {
            contained_.GetControllingUnknown()->AddRef();
            return S_OK;
        }
        if constexpr (detail::HasUnlistedInterfaces<T>) {
            return contained_.QueryUnlistedInterface(riid, ppv);
        }
        return E_NOINTERFACE;
    }

    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            refs_.store(1, std::memory_order_relaxed);
            contained_.FinalRelease();
            delete this;
        }
        return left;
    }

private:
    template <class>
    friend HRESULT CreateComObject(IUnknown*, REFIID, void**);
    explicit ComAggObject(IUnknown* outer) : contained_(outer) {}
    ~ComAggObject() = default;

    // Hands the non-delegating IUnknown to *ppv, after a successful FinalConstruct.
    static HRESULT Create(IUnknown* outer, void** ppv) {
        auto* object = new (std::nothrow) ComAggObject(outer);
        if (!object) {
            return E_OUTOFMEMORY;
        }
        object->refs_.store(1, std::memory_order_relaxed);
        if (HRESULT hr = object->contained_.FinalConstruct(); FAILED(hr)) {
            delete object;
            return hr;
        }
        *ppv = static_cast<IUnknown*>(object);
        return S_OK;
    }

    std::atomic<ULONG> refs_{0};
    ComContainedObject<T> contained_;
};

// ---- Error information support ----

// ISupportErrorInfo for the interfaces whose failures leave rich error information.
template <class... Interfaces>
class SupportErrorInfoImpl : public ISupportErrorInfo {
public:
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return ((riid == uuidof<Interfaces>()) || ...) ? S_OK : S_FALSE;
    }

protected:
    ~SupportErrorInfoImpl() = default;
};

} // namespace vr
