// The test-execution worker's answers as UTF-8 texts, shared by the executives' worker adapters.
#include "common/worker/TestExecutiveText.h"

#include "common/worker/TestExecutive.h"
#include "platform/com/comutil.h"

namespace vr {

void ReadWorkerResult(CTestExecutive& executive, std::string* text, HRESULT* hr) {
    BSTR error = nullptr;
    executive.GetError(&error, hr);
    if (FAILED(*hr)) {
        *text = _bstr_t(error, false).utf8();
        return;
    }
    SysFreeString(error);
    BSTR result = nullptr;
    executive.GetResult(&result);
    *text = _bstr_t(result, false).utf8();
}

bool ReadWorkerOutput(CTestExecutive& executive, int32_t* status, std::string* text) {
    LONG lineStatus = 0;
    BSTR line = nullptr;
    if (!executive.GetOutput(&lineStatus, &line)) {
        SysFreeString(line);
        return false;
    }
    *status = lineStatus;
    *text = _bstr_t(line, false).utf8();
    return true;
}

void StopWorker(CTestExecutive& executive, const std::string& words) {
    BSTR text = _bstr_t(words.c_str()).Detach(); // Stop copies the words
    executive.Stop(text);
    SysFreeString(text);
}

} // namespace vr
