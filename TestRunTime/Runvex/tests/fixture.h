// A test-execution worker that answers each test's requests from a table after two polls, a window that
// records what the run and the form show it, and a form and run over a sequence as a test engineer writes it.
#pragma once

#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Scrivon/tests/fake_engine.h"
#include "common/options/ParamParser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace runvex {

class ScriptedWorker : public RunWorker {
public:
    scrivon::FakeEngine engine;
    // "<test name>:<method>" -> (text, hr); "<test name>:set" answers Set. Unlisted requests succeed with "".
    std::map<std::string, std::pair<std::string, HRESULT>> answers;
    std::vector<std::string> requests; // "<test name>:<method>", Set as "set"
    std::vector<std::string> stops;
    std::string lastOptions, lastConfig;
    std::function<void(const std::string&)> onRequest; // called as a request is posted
    std::map<std::string, std::string> refusedRows;    // test name -> why its verdict row is not stored

    void Set(const std::string&, const std::string& config, const std::string& options,
             const std::function<void(IVrTestEngine*)>& first) override {
        if (first) {
            first(&engine);
        }
        lastConfig = config;
        lastOptions = options;
        BSTR value = nullptr;
        (void)GetParam(nullptr, &value, _bstr_t(options.c_str()), u"name");
        test_ = _bstr_t(value, false).utf8();
        Post("set");
        polls_ = 1; // finished at once
    }
    void Request(const std::string& method) override { Post(method.empty() ? "load" : method); }
    void RequestThen(const std::string& method, std::function<void(IVrTestEngine*)> calls) override {
        Request(method);
        auto found = answers.find(requests.back());
        if (found == answers.end() || SUCCEEDED(found->second.second)) {
            calls(&engine);
        }
    }
    int GetState() override { return ++polls_ >= 2 ? 2 : 1; }
    void GetResult(std::string* text, HRESULT* hr) override {
        auto found = answers.find(requests.back());
        *text = found == answers.end() ? "" : found->second.first;
        *hr = found == answers.end() ? S_OK : found->second.second;
    }
    bool GetOutput(int32_t* status, std::string* text) override {
        bool waiting = !pending_.empty();
        if (waiting) {
            *status = 3; // a status of its own
            *text = pending_.front();
            pending_.pop_front();
        }
        return waiting;
    }
    void Stop(const std::string& words) override { stops.push_back(words); }
    HRESULT StoreVerdictRow(const std::string& value, const std::string& description, int32_t status,
                            std::string* error) override {
        if (auto refused = refusedRows.find(test_); refused != refusedRows.end()) {
            *error = refused->second;
            return E_FAIL;
        }
        engine.rows.push_back({value, description, status});
        return S_OK;
    }
    IVrTestEngine* Engine() override { return &engine; }
    std::string StartFailure() override { return ""; } // the fake always has its engine
    HRESULT CallOnEngine(const std::function<HRESULT(IVrTestEngine*)>& calls) override {
        return calls(&engine);
    }

private:
    void Post(const std::string& method) {
        requests.push_back(test_ + ":" + method);
        polls_ = 0;
        if (method == "Test") {
            pending_.push_back(test_ + " measured\n");
        }
        if (onRequest) {
            onRequest(requests.back());
        }
    }

    std::string test_;
    int polls_ = 0;
    std::deque<std::string> pending_;
};

class RecordingWindow : public RunView, public FormView {
public:
    std::vector<std::pair<std::string, int>> images; // (label, image) as shown, in order
    std::vector<std::pair<std::string, int32_t>> output;
    std::vector<std::string> statuses, errors;
    int trees = 0, ended = 0;
    std::vector<size_t> rowsAtEnd; // the engine's rows as each test's end was reported
    const std::vector<scrivon::FakeEngine::Row>* rows = nullptr; // set by the fixture
    std::function<void()> onPump;                                // called on each pump and each pause wait
    std::function<void()> onShowProperties;                      // called as the form shows the rows

    void ShowImage(const SequenceItem& item, TreeImage image) override {
        images.emplace_back(item.label, int(image));
    }
    void AppendOutput(const std::string& text, int32_t status) override { output.emplace_back(text, status); }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void ShowError(const std::string& caption, const std::string& text) override {
        errors.push_back(caption + ": " + text);
    }
    void RefreshCommands() override {}
    void ShowRootProperties() override {}
    void TestEnded(const SequenceItem&, const std::string&, Verdict) override {
        ++ended;
        rowsAtEnd.push_back(rows ? rows->size() : 0);
    }
    void PumpMessages() override { Call(onPump); }
    void Wait(int) override { Call(onPump); }
    void ShowTree() override { ++trees; }
    void ShowLabel(const SequenceItem&) override {}
    void ShowProperties() override { Call(onShowProperties); }

    // The images one item showed, in order.
    std::vector<int> ImagesOf(const std::string& label) const {
        std::vector<int> shown;
        for (const auto& [name, image] : images) {
            if (name == label) {
                shown.push_back(image);
            }
        }
        return shown;
    }

private:
    static void Call(const std::function<void()>& hook) {
        if (hook) {
            hook();
        }
    }
};

// By hand: Windows paths, a comment, a grouping element, a nested test and one in a group under it,
// configuration code with markup characters. Run order: Rails, Ripple, Identify, Buffer.
constexpr const char* kBench = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- Power-supply bench: rails first, then the meter checks -->
<sequence>
  <test name="Rails" description="5 V and 12 V rails">
    <code file="C:\Ostrel\Test\Scripts\rails.JScript.ts" language="JScript"/>
    <config>limit = "4.75 &lt; v &lt; 5.25";</config>
    <test name="Ripple">
      <code file="C:\Ostrel\Test\Scripts\ripple.JScript.ts" language="JScript"/>
    </test>
    <group title="meter">
      <test name="Identify"/>
    </group>
  </test>
  <stage>
    <test name="Buffer" description="">
      <code file="C:\Ostrel\Test\Scripts\buffer.JScript.ts" language="JScript"/>
    </test>
  </stage>
</sequence>
)";

class RunvexTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.rows = &worker.engine.rows;
        folder = std::filesystem::path(std::getenv("VORNIC_HOME")) / "Sequence";
        std::filesystem::create_directories(folder);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
        return (folder / name).string();
    }
    SequenceItem& Item(const std::string& label) {
        for (SequenceItem* item : tree.PreOrder()) {
            if (item->label == label) {
                return *item;
            }
        }
        throw std::runtime_error("no item " + label);
    }

    std::filesystem::path folder;
    RecordingWindow window;
    ScriptedWorker worker;
    SequenceDocument document;
    SequenceTree tree;
    SequenceRun run{window, worker, tree, document};
    SequenceForm form{window, document, tree, run, {"JScript", "VBScript"}};
};

} // namespace runvex
