// The script executive window's requests carried to the test-execution worker.
#include "TestRunTime/Scrivon/TestExecutiveRunWorker.h"

#include "TestRunTime/Scrivon/ScriptLanguages.h"
#include "common/TestExecutive.h"
#include "common/TestExecutiveText.h"
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

void TestExecutiveRunWorker::Request(const std::string& method) {
    executive_->Request(NewBstr(method), nullptr, nullptr);
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

void TestExecutiveRunWorker::Stop(const std::string& words) {
    vr::StopWorker(*executive_, words);
}

IVrTestEngine* TestExecutiveRunWorker::Engine() {
    return executive_->EngineProxy;
}

HANDLE TestExecutiveRunWorker::ProgressEvent() {
    return executive_->ProgressEvent();
}

} // namespace scrivon
