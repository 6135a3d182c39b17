// The worker fixture and its helpers.
#include "worker_fixture.h"

#include "common/proxies/SystemProxies.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <chrono>
#include <filesystem>
#include <fstream>

namespace workertest {

BSTR B(std::u16string_view text) {
    return vr::AllocBstr(text);
}

void WorkerTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    vr::RegisterSystemProxies();
    scripvanetest::HardwareScene::Get().Reset();
    hardware =
        std::make_unique<ClassRegistration>(CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
    engineClass = std::make_unique<ClassRegistration>(CLSID_TestEngine, &FakeTestEngine::CreateInstance);
    ASSERT_TRUE(hardware->Registered() && engineClass->Registered());
    worker = std::make_unique<CTestExecutive>();
    ASSERT_TRUE(worker->EngineProxy && worker->ScriptExecProxy) << vr::ToUtf8(ErrorText());
}

void WorkerTest::TearDown() {
    worker.reset();
    engineClass.reset();
    hardware.reset();
    CoUninitialize();
}

void WorkerTest::Wait() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto drain = [&] {
        LONG status = 0;
        BSTR text = nullptr;
        while (worker->GetOutput(&status, &text)) {
            output.emplace_back(status, TakeText(text));
        }
    };
    for (;;) {
        drain();
        if (worker->GetState() == CTestExecutive::kDone) {
            drain(); // lines written after the last look
            return;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the request never ended";
        PumpMessages(0);
    }
}

std::u16string WorkerTest::RunRequest(std::u16string_view name, std::u16string_view first,
                                      std::u16string_view second) {
    worker->Request(B(name), B(first), B(second));
    Wait();
    BSTR result = nullptr;
    worker->GetResult(&result);
    return TakeText(result);
}

HRESULT WorkerTest::ErrorCode() {
    BSTR text = nullptr;
    HRESULT hr = S_OK;
    worker->GetError(&text, &hr);
    SysFreeString(text);
    return hr;
}

std::u16string WorkerTest::ErrorText() {
    BSTR text = nullptr;
    HRESULT hr = S_OK;
    worker->GetError(&text, &hr);
    return TakeText(text);
}

std::string WorkerTest::WriteFile(const std::string& name, const std::string& bytes) {
    std::filesystem::path path = std::filesystem::path(vr::DataHome()) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

} // namespace workertest
