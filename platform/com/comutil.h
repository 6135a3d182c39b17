// Throwing helper types: the COM exception, shared BSTR, owning VARIANT and interface pointer.
#pragma once

#include "platform/com/activation.h"
#include "platform/com/errorinfo.h"

#include <compare>
#include <concepts>
#include <string>
#include <utility>

class _bstr_t;

// A failed HRESULT raised as an exception, with the error information that came with it.
// Threads: an object is immutable after construction; copies may be read on different threads.
class [[gnu::visibility("default")]] _com_error {
public:
    // Keeps its own reference on info (null: no error information).
    explicit _com_error(HRESULT hr, IErrorInfo* info = nullptr) noexcept;
    _com_error(const _com_error& other) noexcept;
    _com_error& operator=(const _com_error& other) noexcept;
    ~_com_error();

    HRESULT Error() const noexcept {
        return hr_;
    }
    // A new reference the caller releases; null when there is no error information.
    IErrorInfo* ErrorInfo() const noexcept;
    // The HRESULT's system message text in UTF-8, "Unknown error 0x%08X" when the system has none.
    const char* ErrorMessage() const noexcept {
        return message_.c_str();
    }

    // What the error information says; empty (0, GUID_NULL) without it.
    _bstr_t Description() const;
    _bstr_t Source() const;
    _bstr_t HelpFile() const;
    DWORD HelpContext() const noexcept;
    ::GUID GUID() const noexcept;

private:
    HRESULT hr_;
    IErrorInfo* info_;
    std::string message_;
};

// Throws _com_error(hr) without error information.
[[noreturn]] void _com_issue_error(HRESULT hr);
// Throws _com_error(hr) with the thread's error information when object says, through ISupportErrorInfo, that
// its interface riid sets it; else without (and the thread's slot is left alone).
[[noreturn]] void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID riid);

// A BSTR shared by reference count: copies share one string, which is freed with the last of them.
// A null _bstr_t and an empty one compare equal. Allocation failures throw _com_error(E_OUTOFMEMORY).
// Threads: copies of one string may live on different threads (the count is atomic); one object is not
// changed on two threads at once.
class [[gnu::visibility("default")]] _bstr_t {
public:
    _bstr_t() noexcept = default;
    _bstr_t(const _bstr_t& other) noexcept;
    _bstr_t(_bstr_t && other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
    _bstr_t(const OLECHAR* text);  // copies; null stays null
    _bstr_t(const char* utf8);     // converts; null stays null
    _bstr_t(BSTR text, bool copy); // copy == false takes ownership of text
    ~_bstr_t();

    _bstr_t& operator=(const _bstr_t& other) noexcept;
    _bstr_t& operator=(_bstr_t&& other) noexcept;
    _bstr_t& operator=(const OLECHAR* text);
    _bstr_t& operator=(const char* utf8);
    _bstr_t& operator+=(const _bstr_t& other);

    operator const OLECHAR*() const noexcept {
        return Text();
    }
    operator OLECHAR*() const noexcept {
        return Text();
    }
    std::string utf8() const;
    std::u16string_view view() const noexcept;

    // In UTF-16 code units.
    UINT length() const noexcept;
    // A new BSTR the caller frees (copy == true), or the shared one itself (copy == false).
    BSTR copy(bool copy = true) const;

    // Frees this object's hold and takes ownership of text.
    void Attach(BSTR text);
    // Hands the string to the caller, who frees it; this object becomes null. A string other objects share
    // stays theirs: the caller gets a copy.
    BSTR Detach();
    // Frees this object's hold and returns the address of a fresh null BSTR for an out-argument.
    BSTR* GetAddress();
    // The string this object alone holds (unshared first when needed), for in-arguments and in-place edits.
    BSTR& GetBSTR();

    // True for a null or empty string.
    bool operator!() const noexcept {
        return length() == 0;
    }

    friend _bstr_t operator+(const _bstr_t& left, const _bstr_t& right);
    friend bool operator==(const _bstr_t& left, const _bstr_t& right) noexcept;
    friend bool operator==(const _bstr_t& left, const OLECHAR* right) noexcept;
    friend std::strong_ordering operator<=>(const _bstr_t& left, const _bstr_t& right) noexcept;
    friend std::strong_ordering operator<=>(const _bstr_t& left, const OLECHAR* right) noexcept;

private:
    struct Data;
    BSTR Text() const noexcept;
    void Unhold() noexcept;
    static Data* Adopt(BSTR text); // frees text when the holder cannot be made

    Data* data_ = nullptr;
};

// A VARIANT that owns its value: cleared on destruction, deep-copied on copy. Conversions use
// VariantChangeType and throw _com_error with its HRESULT when they fail.
// Threads: one object is used by one thread at a time.
class [[gnu::visibility("default")]] _variant_t : public tagVARIANT {
public:
    _variant_t() noexcept;
    _variant_t(const VARIANT& source);
    _variant_t(const VARIANT* source);
    _variant_t(const _variant_t& source);
    _variant_t(_variant_t && source) noexcept;
    _variant_t(VARIANT & source, bool copy); // copy == false takes the value and leaves source VT_EMPTY

    _variant_t(SHORT value, VARTYPE vt = VT_I2);  // VT_I2 or VT_BOOL
    _variant_t(LONG value, VARTYPE vt = VT_I4);   // VT_I4, VT_INT, VT_ERROR or VT_BOOL
    _variant_t(FLOAT value);                      // VT_R4
    _variant_t(DOUBLE value, VARTYPE vt = VT_R8); // VT_R8 or VT_DATE
    _variant_t(CY value);
    _variant_t(bool value); // VT_BOOL: VARIANT_TRUE or VARIANT_FALSE
    _variant_t(BYTE value);
    _variant_t(CHAR value);
    _variant_t(USHORT value);
    _variant_t(ULONG value);
    _variant_t(LONGLONG value);
    _variant_t(ULONGLONG value);
    _variant_t(const _bstr_t& value);
    _variant_t(const OLECHAR* value); // VT_BSTR copy (a BSTR too)
    _variant_t(const char* utf8);     // VT_BSTR
    _variant_t(IDispatch * value, bool addRef = true);
    _variant_t(IUnknown * value, bool addRef = true);
    ~_variant_t();

    _variant_t& operator=(const VARIANT& source);
    _variant_t& operator=(const _variant_t& source);
    _variant_t& operator=(_variant_t&& source) noexcept;
    _variant_t& operator=(const _bstr_t& value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(const OLECHAR* value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(const char* utf8) {
        return *this = _variant_t(utf8);
    }
    _variant_t& operator=(SHORT value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(LONG value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(FLOAT value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(DOUBLE value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(bool value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(BYTE value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(ULONG value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(LONGLONG value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(IDispatch* value) {
        return *this = _variant_t(value);
    }
    _variant_t& operator=(IUnknown* value) {
        return *this = _variant_t(value);
    }

    // The value converted (a copy of it when it already has the type); failures throw.
    operator SHORT() const;
    operator LONG() const;
    operator FLOAT() const;
    operator DOUBLE() const;
    operator CY() const;
    operator bool() const;
    operator BYTE() const;
    operator USHORT() const;
    operator ULONG() const;
    operator LONGLONG() const;
    operator ULONGLONG() const;
    operator _bstr_t() const;
    // New references the caller releases; null for a null object.
    operator IDispatch*() const;
    operator IUnknown*() const;

    // Converts in place, or converts source into this object; throws on failure and then changes nothing.
    void ChangeType(VARTYPE vt, const _variant_t* source = nullptr);
    void Clear();
    // Takes the value of source (which becomes VT_EMPTY) after clearing this object.
    void Attach(VARIANT & source);
    // Hands the value to the caller; this object becomes VT_EMPTY.
    VARIANT Detach() noexcept;
    void SetString(const char* utf8);

private:
    // The value of this object as type vt, in a temporary the caller owns.
    _variant_t Converted(VARTYPE vt) const;
    template <class T>
    T ValueAs(VARTYPE type, T tagVARIANT::*field) const;
};

// An interface pointer that owns its reference and throws _com_error: E_POINTER for a call through null,
// the creation's HRESULT from nothing else than the calls that ask for it (CreateInstance returns it).
// Assignment from a pointer to another interface queries for I: E_NOINTERFACE leaves it null, any other
// failure throws. Threads: one object is used by one thread at a time.
template <class I>
class _com_ptr_t {
public:
    using Interface = I;

    _com_ptr_t() noexcept = default;
    _com_ptr_t(std::nullptr_t) noexcept {}
    _com_ptr_t(I* p) noexcept : _com_ptr_t(p, true) {}
    _com_ptr_t(I* p, bool addRef) noexcept : p_(p) {
        if (p_ && addRef) {
            p_->AddRef();
        }
    }
    _com_ptr_t(const _com_ptr_t& other) noexcept : _com_ptr_t(other.p_) {}
    _com_ptr_t(_com_ptr_t&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class Q>
    requires(!std::convertible_to<Q*, I*>) _com_ptr_t(Q* other) { QueryFrom(other); }
    template <class Q>
    requires(!std::same_as<Q, I>) _com_ptr_t(const _com_ptr_t<Q>& other)
        : _com_ptr_t(other.GetInterfacePtr()) {}
    // The object a VT_UNKNOWN or VT_DISPATCH value holds (by reference too); other types are converted.
    explicit _com_ptr_t(const _variant_t& value) {
        _variant_t unknown;
        unknown.ChangeType(VT_UNKNOWN, &value);
        QueryFrom(unknown.punkVal);
    }
    // Creates an object (see CreateInstance) and throws when that fails.
    explicit _com_ptr_t(REFCLSID clsid, IUnknown* outer = nullptr, DWORD clsctx = CLSCTX_ALL) {
        if (HRESULT hr = CreateInstance(clsid, outer, clsctx); FAILED(hr)) {
            _com_issue_error(hr);
        }
    }
    ~_com_ptr_t() { Release(); }

    _com_ptr_t& operator=(const _com_ptr_t& other) noexcept {
        _com_ptr_t(other).Swap(*this);
        return *this;
    }
    _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
        _com_ptr_t(std::move(other)).Swap(*this);
        return *this;
    }
    _com_ptr_t& operator=(I* p) noexcept {
        _com_ptr_t(p).Swap(*this);
        return *this;
    }
    template <class Q>
    _com_ptr_t& operator=(Q* other) {
        _com_ptr_t(other).Swap(*this);
        return *this;
    }
    template <class Q>
    _com_ptr_t& operator=(const _com_ptr_t<Q>& other) {
        _com_ptr_t(other).Swap(*this);
        return *this;
    }
    _com_ptr_t& operator=(std::nullptr_t) noexcept {
        Release();
        return *this;
    }

    // Creates the object through CoCreateInstance and queries it for I. The text form takes "{clsid}" or a
    // ProgID. Returns the failure instead of throwing; the pointer is null then.
    [[nodiscard]] HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer = nullptr,
                                         DWORD clsctx = CLSCTX_ALL) {
        Release();
        // An aggregating caller asks for _com_ptr_t<IUnknown>: objects hand out only their inner IUnknown
        // then.
        return CoCreateInstance(clsid, outer, clsctx, vr::uuidof<I>(), reinterpret_cast<void**>(&p_));
    }
    [[nodiscard]] HRESULT CreateInstance(const OLECHAR* clsidOrProgId, IUnknown* outer = nullptr,
                                         DWORD clsctx = CLSCTX_ALL) {
        Release();
        CLSID clsid{};
        if (!clsidOrProgId) {
            return E_INVALIDARG;
        }
        if (HRESULT hr = CLSIDFromString(clsidOrProgId, &clsid); FAILED(hr)) {
            return hr;
        }
        return CreateInstance(clsid, outer, clsctx);
    }
    [[nodiscard]] HRESULT CreateInstance(const char* clsidOrProgId, IUnknown* outer = nullptr,
                                         DWORD clsctx = CLSCTX_ALL) {
        if (!clsidOrProgId) {
            Release();
            return E_INVALIDARG;
        }
        return CreateInstance(static_cast<const OLECHAR*>(_bstr_t(clsidOrProgId)), outer, clsctx);
    }

    operator I*() const noexcept { return p_; }
    I* GetInterfacePtr() const noexcept { return p_; }
    I* operator->() const {
        if (!p_) {
            _com_issue_error(E_POINTER);
        }
        return p_;
    }
    I& operator*() const { return *operator->(); }
    // Releases the held reference and returns the slot for an out-argument.
    I** operator&() noexcept {
        Release();
        return &p_;
    }

    // Takes ownership of p (addRef == false) or a new reference on it.
    void Attach(I* p, bool addRef = false) noexcept { _com_ptr_t(p, addRef).Swap(*this); }
    // Hands the reference to the caller.
    I* Detach() noexcept { return std::exchange(p_, nullptr); }
    void Release() noexcept {
        if (I* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }

    template <class Q>
    [[nodiscard]] HRESULT QueryInterface(REFIID riid, Q** out) const {
        if (!p_) {
            return E_POINTER;
        }
        return p_->QueryInterface(riid, reinterpret_cast<void**>(out));
    }
    template <class Q>
    [[nodiscard]] HRESULT QueryInterface(REFIID riid, Q*& out) const {
        return QueryInterface(riid, &out);
    }

    void Swap(_com_ptr_t& other) noexcept { std::swap(p_, other.p_); }

private:
    template <class Q>
    void QueryFrom(Q* other) {
        if (!other) {
            return;
        }
        HRESULT hr = other->QueryInterface(vr::uuidof<I>(), reinterpret_cast<void**>(&p_));
        if (FAILED(hr)) {
            p_ = nullptr;
            if (hr != E_NOINTERFACE) {
                _com_issue_error(hr);
            }
        }
    }

    I* p_ = nullptr;
};

// Declares <Interface>Ptr, the throwing smart pointer of an interface declared with VR_DECLARE_INTERFACE_ID.
#define VR_SMARTPTR_TYPEDEF(Interface) using Interface##Ptr = _com_ptr_t<Interface>

VR_SMARTPTR_TYPEDEF(IUnknown);
VR_SMARTPTR_TYPEDEF(IDispatch);
VR_SMARTPTR_TYPEDEF(IEnumVARIANT);
VR_SMARTPTR_TYPEDEF(IErrorInfo);
VR_SMARTPTR_TYPEDEF(ICreateErrorInfo);
VR_SMARTPTR_TYPEDEF(ISupportErrorInfo);
