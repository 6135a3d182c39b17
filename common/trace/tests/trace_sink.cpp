// A tracer for tests: records the dispatch calls it receives; registered in the running object table.
#include "common/trace/tests/trace_sink.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/rot.h"

#include <stdexcept>

namespace commontest {

vr::ComPtr<TraceSinkObject> TraceSinkObject::Create(Behaviour behaviour) {
    return vr::ComPtr<TraceSinkObject>(new TraceSinkObject(behaviour));
}

std::vector<SinkCall> TraceSinkObject::Calls() const {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
}

void TraceSinkObject::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.clear();
}

HRESULT TraceSinkObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG TraceSinkObject::AddRef() {
    return static_cast<ULONG>(++references_);
}

ULONG TraceSinkObject::Release() {
    LONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT TraceSinkObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT TraceSinkObject::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}

HRESULT TraceSinkObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

namespace {

std::u16string TextOf(const VARIANT& v) {
    return v.vt == VT_BSTR ? std::u16string(vr::U16View(v.bstrVal)) : u"?";
}

} // namespace

HRESULT TraceSinkObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO*, UINT*) {
    if (behaviour_ == Behaviour::Fail) {
        return DISP_E_EXCEPTION;
    }
    if (behaviour_ == Behaviour::Throw) {
        throw std::runtime_error("tracer broke down");
    }
    SinkCall call;
    call.member = id;
    call.flags = flags;
    call.resultRequested = result != nullptr;
    if (params == nullptr) {
        return E_INVALIDARG;
    }
    call.argumentCount = params->cArgs;
    call.namedCount = params->cNamedArgs;
    if (params->cArgs == 3) {
        // The arguments come last first.
        const VARIANT* args = params->rgvarg;
        for (int i = 0; i < 3; ++i) {
            call.types[i] = args[2 - i].vt;
        }
        call.first = TextOf(args[2]);
        if (id == DISPID_TRACESINK_WRITETEXT) {
            call.level = args[1].vt == VT_I2 ? args[1].iVal : -1;
            call.text = TextOf(args[0]);
        } else {
            call.second = TextOf(args[1]);
            call.delta = args[0].vt == VT_I4 ? args[0].lVal : 0;
        }
    }
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(std::move(call));
    return S_OK;
}

TracerRegistration::TracerRegistration(IUnknown* object) {
    registered_ = SUCCEEDED(RegisterActiveObject(object, CLSID_TraceSink, ACTIVEOBJECT_STRONG, &cookie_));
}

TracerRegistration::~TracerRegistration() {
    if (registered_) {
        (void)RevokeActiveObject(cookie_, nullptr);
    }
}

void TracedTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    sink_ = TraceSinkObject::Create();
    registration_ = std::make_unique<TracerRegistration>(sink_.Get());
    ASSERT_TRUE(registration_->Registered());
}

void TracedTest::TearDown() {
    registration_.reset();
    sink_ = nullptr;
    CoUninitialize();
}

std::vector<std::string> TracedTest::Lines(int level) const {
    std::vector<std::string> texts;
    for (const SinkCall& call : sink_->Calls()) {
        if (call.member == DISPID_TRACESINK_WRITETEXT && call.level == level) {
            texts.push_back(vr::ToUtf8(call.text));
        }
    }
    return texts;
}

} // namespace commontest
