// The test-execution worker's answers as the programs' UTF-8 texts: the result or error of the last request,
// the next output line, and Stop's words.
// Threads: the window thread that made the worker, as every call of CTestExecutive's window side.
// Failures: none of their own; the worker's HRESULT of the last request is handed on.
#pragma once

#include "platform/com/hresult.h"

#include <cstdint>
#include <string>

class CTestExecutive;

namespace vr {

// *hr = the last request's HRESULT; *text = its error text when it failed, else its result.
void ReadWorkerResult(CTestExecutive& executive, std::string* text, HRESULT* hr);
// The next output line and its status; false (nothing changed) when no line is waiting.
bool ReadWorkerOutput(CTestExecutive& executive, int32_t* status, std::string* text);
// Asks the worker's engine to stop with these words.
void StopWorker(CTestExecutive& executive, const std::string& words);

} // namespace vr
