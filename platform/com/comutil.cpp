// The COM exception, the functions that raise it, and the shared BSTR.
#include "platform/com/comutil.h"

#include "platform/base/text.h"

#include <atomic>
#include <cstdio>
#include <new>

// ---- _com_error ----

namespace {

std::string SystemMessage(HRESULT hr) noexcept {
    try {
        std::string text = vr::ToUtf8(vr::HResultMessage(hr));
        if (text.empty()) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "Unknown error 0x%08X", static_cast<unsigned>(hr));
            text = buffer;
        }
        return text;
    } catch (...) {
        return {}; // out of memory: the HRESULT still tells what failed
    }
}

// A string of the error information, or a null _bstr_t when there is none.
_bstr_t InfoText(IErrorInfo* info, HRESULT (IErrorInfo::*getter)(BSTR*)) {
    BSTR text = nullptr;
    if (!info || FAILED((info->*getter)(&text))) {
        return _bstr_t();
    }
    return _bstr_t(text, false);
}

} // namespace

_com_error::_com_error(HRESULT hr, IErrorInfo* info) noexcept
    : hr_(hr), info_(info), message_(SystemMessage(hr)) {
    if (info_) {
        info_->AddRef();
    }
}

_com_error::_com_error(const _com_error& other) noexcept : _com_error(other.hr_, other.info_) {}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
    if (this != &other) {
        if (other.info_) {
            other.info_->AddRef();
        }
        if (info_) {
            info_->Release();
        }
        hr_ = other.hr_;
        info_ = other.info_;
        message_ = SystemMessage(hr_);
    }
    return *this;
}

_com_error::~_com_error() {
    if (info_) {
        info_->Release();
    }
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    if (info_) {
        info_->AddRef();
    }
    return info_;
}

_bstr_t _com_error::Description() const {
    return InfoText(info_, &IErrorInfo::GetDescription);
}
_bstr_t _com_error::Source() const {
    return InfoText(info_, &IErrorInfo::GetSource);
}
_bstr_t _com_error::HelpFile() const {
    return InfoText(info_, &IErrorInfo::GetHelpFile);
}

DWORD _com_error::HelpContext() const noexcept {
    DWORD context = 0;
    if (info_ && FAILED(info_->GetHelpContext(&context))) {
        context = 0;
    }
    return context;
}

GUID _com_error::GUID() const noexcept {
    ::GUID guid = GUID_NULL;
    if (info_ && FAILED(info_->GetGUID(&guid))) {
        guid = GUID_NULL;
    }
    return guid;
}

void _com_issue_error(HRESULT hr) {
    throw _com_error(hr);
}

void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID riid) {
    IErrorInfo* info = nullptr;
    ISupportErrorInfo* support = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(&support)) && support) {
        if (support->InterfaceSupportsErrorInfo(riid) == S_OK && GetErrorInfo(0, &info) != S_OK) {
            info = nullptr;
        }
        support->Release();
    }
    _com_error error(hr, info);
    if (info) {
        info->Release(); // the exception keeps its own reference
    }
    throw error;
}

// ---- _bstr_t ----

struct _bstr_t::Data {
    std::atomic<ULONG> refs{1};
    BSTR text = nullptr;
};

_bstr_t::Data* _bstr_t::Adopt(BSTR text) {
    auto* data = new (std::nothrow) Data;
    if (!data) {
        SysFreeString(text);
        _com_issue_error(E_OUTOFMEMORY);
    }
    data->text = text;
    return data;
}

namespace {

// A copy of text as a BSTR; null for null text. Throws when memory runs out.
BSTR CopyOrThrow(std::u16string_view text, bool isNull) {
    if (isNull) {
        return nullptr;
    }
    BSTR copy = vr::AllocBstr(text);
    if (!copy) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return copy;
}

} // namespace

_bstr_t::_bstr_t(const _bstr_t& other) noexcept : data_(other.data_) {
    if (data_) {
        data_->refs.fetch_add(1, std::memory_order_relaxed);
    }
}

_bstr_t::_bstr_t(const OLECHAR* text) {
    if (text) {
        data_ = Adopt(CopyOrThrow(vr::U16View(text), false));
    }
}

_bstr_t::_bstr_t(const char* utf8) {
    if (utf8) {
        data_ = Adopt(CopyOrThrow(vr::FromUtf8(utf8), false));
    }
}

_bstr_t::_bstr_t(BSTR text, bool copy) {
    if (text) {
        data_ = Adopt(copy ? CopyOrThrow(vr::BstrView(text), false) : text);
    }
}

_bstr_t::~_bstr_t() {
    Unhold();
}

void _bstr_t::Unhold() noexcept {
    Data* data = std::exchange(data_, nullptr);
    if (data && data->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        SysFreeString(data->text);
        delete data;
    }
}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) noexcept {
    _bstr_t copy(other); // safe for self-assignment: the copy holds the string while this lets go
    std::swap(data_, copy.data_);
    return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
    if (this != &other) {
        Unhold();
        data_ = std::exchange(other.data_, nullptr);
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(const OLECHAR* text) {
    return *this = _bstr_t(text);
}
_bstr_t& _bstr_t::operator=(const char* utf8) {
    return *this = _bstr_t(utf8);
}

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) {
    return *this = *this + other;
}

_bstr_t operator+(const _bstr_t& left, const _bstr_t& right) {
    if (!left.data_ && !right.data_) {
        return _bstr_t();
    }
    std::u16string joined;
    try {
        joined.reserve(left.length() + right.length());
        joined.append(left.view()).append(right.view());
    } catch (const std::bad_alloc&) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return _bstr_t(CopyOrThrow(joined, false), false);
}

BSTR _bstr_t::Text() const noexcept {
    return data_ ? data_->text : nullptr;
}

std::string _bstr_t::utf8() const {
    return vr::ToUtf8(view());
}

std::u16string_view _bstr_t::view() const noexcept {
    return vr::BstrView(Text());
}

UINT _bstr_t::length() const noexcept {
    return SysStringLen(Text());
}

BSTR _bstr_t::copy(bool copy) const {
    return copy ? CopyOrThrow(view(), Text() == nullptr) : Text();
}

void _bstr_t::Attach(BSTR text) {
    Data* data = Adopt(text);
    Unhold();
    data_ = data;
}

BSTR _bstr_t::Detach() {
    if (!data_) {
        return nullptr;
    }
    BSTR text;
    if (data_->refs.load(std::memory_order_acquire) == 1) {
        text = std::exchange(data_->text, nullptr);
    } else {
        text = copy();
    }
    Unhold();
    return text;
}

BSTR* _bstr_t::GetAddress() {
    Attach(nullptr);
    return &data_->text;
}

BSTR& _bstr_t::GetBSTR() {
    if (!data_) {
        data_ = Adopt(nullptr);
    } else if (data_->refs.load(std::memory_order_acquire) != 1) {
        Attach(copy());
    }
    return data_->text;
}

bool operator==(const _bstr_t& left, const _bstr_t& right) noexcept {
    return left.view() == right.view();
}

bool operator==(const _bstr_t& left, const OLECHAR* right) noexcept {
    return left.view() == vr::U16View(right);
}

std::strong_ordering operator<=>(const _bstr_t& left, const _bstr_t& right) noexcept {
    return left.view() <=> right.view();
}

std::strong_ordering operator<=>(const _bstr_t& left, const OLECHAR* right) noexcept {
    return left.view() <=> vr::U16View(right);
}
