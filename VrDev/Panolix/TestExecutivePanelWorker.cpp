// The control panel's requests carried to the test-execution worker.
#include "VrDev/Panolix/TestExecutivePanelWorker.h"

#include "TestRunTime/Scrivon/ScriptLanguages.h"
#include "common/worker/TestExecutive.h"
#include "common/worker/TestExecutiveText.h"
#include "platform/com/comutil.h"

namespace panolix {
namespace {

BSTR NewBstr(const std::string& text) {
    return _bstr_t(text.c_str()).Detach();
}

void Replace(BSTR& field, const std::string& text) {
    SysFreeString(field);
    field = NewBstr(text);
}

} // namespace

TestExecutivePanelWorker::TestExecutivePanelWorker() : executive_(std::make_unique<CTestExecutive>()) {}

TestExecutivePanelWorker::~TestExecutivePanelWorker() = default;

void TestExecutivePanelWorker::SetCode(const std::string& language, const std::string& code) {
    Replace(executive_->Language, language);
    Replace(executive_->Code, code);
}

void TestExecutivePanelWorker::Request(const std::string& name, const std::string& first,
                                       const std::string& second) {
    executive_->Request(NewBstr(name), NewBstr(first), NewBstr(second));
}

int TestExecutivePanelWorker::GetState() {
    return executive_->GetState();
}

void TestExecutivePanelWorker::GetResult(std::string* text, HRESULT* hr) {
    vr::ReadWorkerResult(*executive_, text, hr);
}

bool TestExecutivePanelWorker::GetOutput(int32_t* status, std::string* text) {
    return vr::ReadWorkerOutput(*executive_, status, text);
}

// An engine that cannot be reached leaves the option as it was; the panel goes on.
void TestExecutivePanelWorker::PutOption(const std::string& name, const std::string& value) {
    if (!executive_->EngineProxy) {
        return;
    }
    _bstr_t optionName(name.c_str());
    _variant_t optionValue(value.c_str());
    (void)executive_->EngineProxy->put_option(optionName, optionValue); // see above
}

// An option that cannot be read counts as not enabled.
bool TestExecutivePanelWorker::IsOptionEnabled(const std::string& name) {
    VARIANT_BOOL enabled = VARIANT_FALSE;
    _bstr_t optionName(name.c_str());
    return executive_->EngineProxy &&
           SUCCEEDED(executive_->EngineProxy->IsOptionEnabled(optionName, &enabled)) &&
           enabled == VARIANT_TRUE;
}

void TestExecutivePanelWorker::PutIdentity(const std::string& serialNumber, const std::string& session) {
    if (!executive_->EngineProxy) {
        return;
    }
    // The identity only names the result rows a panel's scripts may store; without it they go unnamed.
    (void)executive_->EngineProxy->put_SN(_bstr_t(serialNumber.c_str()));
    (void)executive_->EngineProxy->put_TestExecSession(_bstr_t(session.c_str()));
}

bool TestExecutivePanelWorker::ScriptLanguages(std::vector<std::string>* languages, std::string* error) {
    if (!executive_->ScriptExecProxy) {
        std::string text;
        HRESULT hr = S_OK;
        vr::ReadWorkerResult(*executive_, &text, &hr);
        *error = "The script executive is not available: " + text;
        return false;
    }
    *languages = scrivon::ScriptLanguagesOf(executive_->ScriptExecProxy);
    return true;
}

HANDLE TestExecutivePanelWorker::ProgressEvent() {
    return executive_->ProgressEvent();
}

void TestExecutivePanelWorker::WaitForProgress(unsigned milliseconds) {
    executive_->WaitForProgress(milliseconds);
}

} // namespace panolix
