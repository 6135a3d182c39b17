// The test-execution worker CTestExecutive as the test executive's run uses it.
// Threads: the window thread only, the thread that made the worker (it must have initialised COM).
#pragma once

#include "TestRunTime/Runvex/SequenceRun.h"

#include <memory>
#include <string>
#include <vector>

class CTestExecutive;

namespace runvex {

class TestExecutiveSequenceWorker : public RunWorker {
public:
    TestExecutiveSequenceWorker();
    ~TestExecutiveSequenceWorker() override;

    // The wait of a window thread between two looks: until the worker has news or the milliseconds passed,
    // serving the thread's queued calls meanwhile.
    void WaitForProgress(int milliseconds);
    // Set whenever the worker has news (a finished request, an output line); for a wait that also serves a
    // window's events.
    HANDLE ProgressEvent() const;
    // The script executive's languages; empty when it could not be made.
    std::vector<std::string> Languages() const;

    void Set(const std::string& language, const std::string& config, const std::string& options,
             const std::function<void(IVrTestEngine*)>& first) override;
    void Request(const std::string& method) override;
    void RequestThen(const std::string& method, std::function<void(IVrTestEngine*)> calls) override;
    int GetState() override;
    void GetResult(std::string* text, HRESULT* hr) override;
    bool GetOutput(int32_t* status, std::string* text) override;
    void Stop(const std::string& words) override;
    HRESULT StoreVerdictRow(const std::string& value, const std::string& description, int32_t status,
                            std::string* error) override;
    IVrTestEngine* Engine() override;
    std::string StartFailure() override;
    HRESULT CallOnEngine(const std::function<HRESULT(IVrTestEngine*)>& calls) override;

private:
    std::unique_ptr<CTestExecutive> executive_; // window thread
};

} // namespace runvex
