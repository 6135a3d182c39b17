// The test-execution worker CTestExecutive as the script executive window uses it (TestRunWorker).
// Window thread only: the thread that made the worker.
#pragma once

#include "TestRunTime/Scrivon/TestLoaderModel.h"

#include <memory>
#include <string>
#include <vector>

class CTestExecutive;

namespace scrivon {

class TestExecutiveRunWorker : public TestRunWorker {
public:
    TestExecutiveRunWorker();
    ~TestExecutiveRunWorker() override;

    // The languages of the worker's script executive; empty when the worker could not start.
    std::vector<std::string> Languages();

    void SetCode(const std::string& language, const std::string& code) override;
    HRESULT BeginTest(const std::string& sn, const std::string& testId, std::string* error) override;
    HRESULT ClaimSession(std::string* error) override;
    bool Request(const std::string& method) override;
    int GetState() override;
    void GetResult(std::string* text, HRESULT* hr) override;
    bool GetOutput(int32_t* status, std::string* text) override;
    void Stop(const std::string& words) override;
    HRESULT StoreVerdictRow(const std::string& value, const std::string& description, int32_t status,
                            std::string* error) override;
    IVrTestEngine* Engine() override;
    HANDLE ProgressEvent() override;

private:
    std::unique_ptr<CTestExecutive> executive_;
};

} // namespace scrivon
