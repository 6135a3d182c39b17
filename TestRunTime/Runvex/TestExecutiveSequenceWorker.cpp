// The test executive's requests carried to the test-execution worker.
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"

#include "TestRunTime/Scrivon/ScriptLanguages.h"
#include "common/TestExecutive.h"
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
                                      const std::string& options) {
    // Set finishes its request at once; the run's wait reads a failure from GetResult.
    (void)executive_->Set(NewBstr(language), NewBstr(""), NewBstr(config), NewBstr(options));
}

void TestExecutiveSequenceWorker::Request(const std::string& method) {
    executive_->Request(NewBstr(method), nullptr, nullptr);
}

int TestExecutiveSequenceWorker::GetState() {
    return executive_->GetState();
}

void TestExecutiveSequenceWorker::GetResult(std::string* text, HRESULT* hr) {
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

bool TestExecutiveSequenceWorker::GetOutput(int32_t* status, std::string* text) {
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

void TestExecutiveSequenceWorker::Stop(const std::string& words) {
    BSTR text = NewBstr(words); // Stop borrows the words
    executive_->Stop(text);
    SysFreeString(text);
}

IVrTestEngine* TestExecutiveSequenceWorker::Engine() {
    return executive_->EngineProxy;
}

} // namespace runvex
