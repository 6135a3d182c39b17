// A test-execution worker that answers each request from a table after two polls and queues one output
// line per request, with an engine that records what it is handed.
#pragma once

#include "TestRunTime/Scrivon/TestLoaderModel.h"
#include "TestRunTime/Scrivon/tests/fake_engine.h"
#include "common/worker/TestExecutive.h"
#include "platform/base/text.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace scrivon {

class ScriptedWorker : public TestRunWorker {
public:
    FakeEngine engine;
    std::map<std::string, std::pair<std::string, HRESULT>> answers; // method -> (text, hr)
    std::vector<std::string> requests;
    std::deque<std::string> pendingOutput;
    std::string language, code;
    int polls = 0;
    int32_t outputStatus = 0; // the status of every output line
    std::string refuseRow;    // not empty: the verdict row is refused with this reason

    void SetCode(const std::string& lang, const std::string& text) override {
        language = lang;
        code = text;
    }
    HRESULT BeginTest(const std::string& sn, const std::string& testId, std::string*) override {
        engine.sn = sn;
        engine.testId = testId;
        engine.session.clear();
        return S_OK;
    }
    HRESULT ClaimSession(std::string* error) override {
        std::u16string reason;
        HRESULT hr = ClaimTestSession(&engine, &reason);
        *error = vr::ToUtf8(reason);
        return hr;
    }
    bool Request(const std::string& method) override {
        requests.push_back(method);
        pendingOutput.push_back("ran " + (method.empty() ? std::string("load") : method) + "\n");
        polls = 0;
        return true;
    }
    int GetState() override { return ++polls >= 2 ? 2 : 1; } // finishes on the second poll
    void GetResult(std::string* text, HRESULT* hr) override {
        auto found = answers.find(requests.back());
        *text = found == answers.end() ? "" : found->second.first;
        *hr = found == answers.end() ? S_OK : found->second.second;
    }
    bool GetOutput(int32_t* status, std::string* text) override {
        if (pendingOutput.empty()) {
            return false;
        }
        *status = outputStatus;
        *text = pendingOutput.front();
        pendingOutput.pop_front();
        return true;
    }
    void Stop(const std::string&) override {}
    HRESULT StoreVerdictRow(const std::string& value, const std::string& description, int32_t status,
                            std::string* error) override {
        if (!refuseRow.empty()) {
            *error = refuseRow;
            return E_FAIL;
        }
        engine.rows.push_back({value, description, status});
        return S_OK;
    }
    IVrTestEngine* Engine() override { return &engine; }
};

} // namespace scrivon
