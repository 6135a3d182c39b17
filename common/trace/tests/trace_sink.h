// A tracer for tests: an IDispatch object written by hand that records the WriteText and WriteCall calls it
// receives, registered in the running object table under the tracer's class while a TracerRegistration lives.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace commontest {

// One call as the tracer received it, arguments in call order.
struct SinkCall {
    DISPID member = 0;
    WORD flags = 0;
    UINT argumentCount = 0;
    UINT namedCount = 0;
    bool resultRequested = false;
    VARTYPE types[3] = {};
    std::u16string first;  // WriteText: source; WriteCall: name
    std::u16string second; // WriteCall: detail
    std::u16string text;   // WriteText: text
    int level = -1;        // WriteText
    LONG delta = 0;        // WriteCall
};

// Threads: Invoke may run on any thread; Calls() returns a copy taken under the lock.
class TraceSinkObject final : public IDispatch {
public:
    // How the object answers Invoke.
    enum class Behaviour { Record, Fail, Throw };

    static vr::ComPtr<TraceSinkObject> Create(Behaviour behaviour = Behaviour::Record);

    std::vector<SinkCall> Calls() const;
    void Clear();
    LONG References() const { return references_.load(); }

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override;

private:
    explicit TraceSinkObject(Behaviour behaviour) : behaviour_(behaviour) {}
    ~TraceSinkObject() = default;

    Behaviour behaviour_;
    std::atomic<LONG> references_{0};
    mutable std::mutex lock_;
    std::vector<SinkCall> calls_;
};

// Registers an object as the running tracer (strong registration) and revokes it when destroyed.
class TracerRegistration {
public:
    explicit TracerRegistration(IUnknown* object);
    TracerRegistration(const TracerRegistration&) = delete;
    TracerRegistration& operator=(const TracerRegistration&) = delete;
    ~TracerRegistration();
    bool Registered() const { return registered_; }

private:
    DWORD cookie_ = 0;
    bool registered_ = false;
};

// A test that runs on an initialised thread with a recording tracer registered as the running one.
// A derived SetUp calls this SetUp first; a derived TearDown releases its own objects, then calls this one.
class TracedTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The texts the tracer received at a level, in order, as UTF-8.
    std::vector<std::string> Lines(int level) const;

    vr::ComPtr<TraceSinkObject> sink_;
    std::unique_ptr<TracerRegistration> registration_;
};

} // namespace commontest
