// Running the test-execution worker's requests in a benchmark, the way the programs do.
#pragma once

#include "common/worker/TestExecutive.h"
#include "platform/base/text.h"

namespace vrbench {

// The longest sleep between two looks at the worker, as the script executive window's.
constexpr DWORD kPumpStepMs = 8;

// Posts one request and waits for it the programs' way: drain the output, look at the state, sleep until the
// worker has news (at most a pump step). True when the request succeeded.
inline bool RunRequest(CTestExecutive& worker, const char16_t* name) {
    worker.Request(vr::AllocBstr(name), vr::AllocBstr(u""), vr::AllocBstr(u""));
    for (;;) {
        LONG status = 0;
        BSTR text = nullptr;
        while (worker.GetOutput(&status, &text)) {
            SysFreeString(text);
        }
        if (worker.GetState() == CTestExecutive::kDone) {
            break;
        }
        worker.WaitForProgress(kPumpStepMs);
    }
    BSTR error = nullptr;
    HRESULT hr = S_OK;
    worker.GetError(&error, &hr);
    SysFreeString(error);
    return SUCCEEDED(hr);
}

} // namespace vrbench
