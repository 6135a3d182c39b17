// The script executive window's requests carried to the test-execution worker.
#include "TestRunTime/Scrivon/TestExecutiveRunWorker.h"

#include "TestRunTime/Scrivon/ScriptLanguages.h"
#include "common/TestExecutive.h"
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
    BSTR error = nullptr;
    executive_->GetError(&error, hr);
    if (FAILED(*hr)) {
        *text = _bstr_t(error, false).utf8();
        return;
    }
    SysFreeString(error);
    BSTR result = nullptr;
    executive_->GetResult(&result);
    *text = _bstr_t(result, false).utf8();
}

bool TestExecutiveRunWorker::GetOutput(int32_t* status, std::string* text) {
    LONG lineStatus = 0;
    BSTR line = nullptr;
    if (!executive_->GetOutput(&lineStatus, &line)) {
        SysFreeString(line);
        return false;
    }
    *status = lineStatus;
    *text = _bstr_t(line, false).utf8();
    return true;
}

void TestExecutiveRunWorker::Stop(const std::string& words) {
    BSTR text = NewBstr(words); // Stop copies the words
    executive_->Stop(text);
    SysFreeString(text);
}

IVrTestEngine* TestExecutiveRunWorker::Engine() {
    return executive_->EngineProxy;
}

HANDLE TestExecutiveRunWorker::ProgressEvent() {
    return executive_->ProgressEvent();
}

} // namespace scrivon
