// The test executive's requests carried to the test-execution worker.
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"

#include "TestRunTime/Scrivon/ScriptLanguages.h"
#include "common/worker/TestExecutive.h"
#include "common/worker/TestExecutiveText.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

namespace runvex {
namespace {

BSTR NewBstr(const std::string& text) {
    return _bstr_t(text.c_str()).Detach();
}

} // namespace

TestExecutiveSequenceWorker::TestExecutiveSequenceWorker() : executive_(std::make_unique<CTestExecutive>()) {}

TestExecutiveSequenceWorker::~TestExecutiveSequenceWorker() = default;

void TestExecutiveSequenceWorker::WaitForProgress(int milliseconds) {
    executive_->WaitForProgress(static_cast<DWORD>(milliseconds));
}

HANDLE TestExecutiveSequenceWorker::ProgressEvent() const {
    return executive_->ProgressEvent();
}

std::vector<std::string> TestExecutiveSequenceWorker::Languages() const {
    return scrivon::ScriptLanguagesOf(executive_->ScriptExecProxy);
}

void TestExecutiveSequenceWorker::Set(const std::string& language, const std::string& config,
                                      const std::string& options,
                                      const std::function<void(IVrTestEngine*)>& first) {
    // Set finishes its request at once; the run's wait reads a failure from GetResult.
    (void)executive_->Set(NewBstr(language), NewBstr(""), NewBstr(config), NewBstr(options), first);
}

void TestExecutiveSequenceWorker::Request(const std::string& method) {
    executive_->Request(NewBstr(method), nullptr, nullptr);
}

void TestExecutiveSequenceWorker::RequestThen(const std::string& method,
                                              std::function<void(IVrTestEngine*)> calls) {
    executive_->Request(NewBstr(method), nullptr, nullptr, std::move(calls));
}

int TestExecutiveSequenceWorker::GetState() {
    return executive_->GetState();
}

void TestExecutiveSequenceWorker::GetResult(std::string* text, HRESULT* hr) {
    vr::ReadWorkerResult(*executive_, text, hr);
}

bool TestExecutiveSequenceWorker::GetOutput(int32_t* status, std::string* text) {
    return vr::ReadWorkerOutput(*executive_, status, text);
}

void TestExecutiveSequenceWorker::Stop(const std::string& words) {
    vr::StopWorker(*executive_, words);
}

HRESULT TestExecutiveSequenceWorker::StoreVerdictRow(const std::string& value, const std::string& description,
                                                     int32_t status, std::string* error) {
    std::u16string reason;
    HRESULT hr = executive_->StoreVerdictRow(vr::FromUtf8(value), vr::FromUtf8(description), status, &reason);
    *error = vr::ToUtf8(reason);
    return hr;
}

IVrTestEngine* TestExecutiveSequenceWorker::Engine() {
    return executive_->EngineProxy;
}

// A worker that could not start has its failure standing as the result of a finished request.
std::string TestExecutiveSequenceWorker::StartFailure() {
    std::string text;
    HRESULT hr = S_OK;
    vr::ReadWorkerResult(*executive_, &text, &hr);
    return scrivon::WorkerStartFailureText(hr, text);
}

HRESULT TestExecutiveSequenceWorker::CallOnEngine(const std::function<HRESULT(IVrTestEngine*)>& calls) {
    return executive_->CallOnEngine(calls);
}

} // namespace runvex
