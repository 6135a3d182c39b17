// The script executive window's requests carried to the test-execution worker.
#include "TestRunTime/Scrivon/TestExecutiveRunWorker.h"

#include "TestRunTime/Scrivon/ScriptLanguages.h"
#include "common/worker/TestExecutive.h"
#include "common/worker/TestExecutiveText.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

namespace scrivon {
namespace {

BSTR NewBstr(const std::string& text) {
    return _bstr_t(text.c_str()).Detach();
}

void Replace(BSTR& field, const std::string& text) {
    SysFreeString(field);
    field = NewBstr(text);
}

} // namespace

TestExecutiveRunWorker::TestExecutiveRunWorker() : executive_(std::make_unique<CTestExecutive>()) {}

TestExecutiveRunWorker::~TestExecutiveRunWorker() = default;

std::vector<std::string> TestExecutiveRunWorker::Languages() {
    return ScriptLanguagesOf(executive_->ScriptExecProxy);
}

void TestExecutiveRunWorker::SetCode(const std::string& language, const std::string& code) {
    Replace(executive_->Language, language);
    Replace(executive_->Code, code);
}

HRESULT TestExecutiveRunWorker::BeginTest(const std::string& sn, const std::string& testId,
                                          std::string* error) {
    std::u16string serialNumber = vr::FromUtf8(sn);
    std::u16string reason;
    HRESULT hr = executive_->BeginTest(&serialNumber, vr::FromUtf8(testId), &reason);
    *error = vr::ToUtf8(reason);
    return hr;
}

bool TestExecutiveRunWorker::Request(const std::string& method) {
    return executive_->Request(NewBstr(method), nullptr, nullptr);
}

int TestExecutiveRunWorker::GetState() {
    return executive_->GetState();
}

void TestExecutiveRunWorker::GetResult(std::string* text, HRESULT* hr) {
    vr::ReadWorkerResult(*executive_, text, hr);
}

bool TestExecutiveRunWorker::GetOutput(int32_t* status, std::string* text) {
    return vr::ReadWorkerOutput(*executive_, status, text);
}

HRESULT TestExecutiveRunWorker::ClaimSession(std::string* error) {
    std::u16string reason;
    HRESULT hr =
        executive_->CallOnEngine([&](IVrTestEngine* engine) { return ClaimTestSession(engine, &reason); });
    *error = vr::ToUtf8(reason);
    return hr;
}

void TestExecutiveRunWorker::Stop(const std::string& words) {
    vr::StopWorker(*executive_, words);
}

HRESULT TestExecutiveRunWorker::StoreVerdictRow(const std::string& value, const std::string& description,
                                                int32_t status, std::string* error) {
    std::u16string reason;
    HRESULT hr = executive_->StoreVerdictRow(vr::FromUtf8(value), vr::FromUtf8(description), status, &reason);
    *error = vr::ToUtf8(reason);
    return hr;
}

IVrTestEngine* TestExecutiveRunWorker::Engine() {
    return executive_->EngineProxy;
}

HANDLE TestExecutiveRunWorker::ProgressEvent() {
    return executive_->ProgressEvent();
}

} // namespace scrivon
