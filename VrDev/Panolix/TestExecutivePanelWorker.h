// The test-execution worker CTestExecutive as the control panel uses it (PanelWorker): requests, their
// results, the engine's options and the script executive's languages. Window thread only: the thread that
// made it.
#pragma once

#include "VrDev/Panolix/PanelRunModel.h"

#include <memory>

class CTestExecutive;

namespace panolix {

class TestExecutivePanelWorker : public PanelWorker {
public:
    TestExecutivePanelWorker();
    ~TestExecutivePanelWorker() override;

    CTestExecutive* Executive() override { return executive_.get(); }

    void SetCode(const std::string& language, const std::string& code) override;
    void Request(const std::string& name, const std::string& first, const std::string& second) override;
    int GetState() override;
    void GetResult(std::string* text, HRESULT* hr) override;
    bool GetOutput(int32_t* status, std::string* text) override;
    void PutOption(const std::string& name, const std::string& value) override;
    bool IsOptionEnabled(const std::string& name) override;
    void PutIdentity(const std::string& serialNumber, const std::string& session) override;
    bool ScriptLanguages(std::vector<std::string>* languages, std::string* error) override;
    HANDLE ProgressEvent() override;
    // Waits briefly for news of the worker (an output line or the request's end), serving queued calls.
    void WaitForProgress(unsigned milliseconds);

private:
    std::unique_ptr<CTestExecutive> executive_; // window thread
};

} // namespace panolix
