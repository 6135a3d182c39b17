// A test-execution worker that answers each test's requests from a table after two polls and queues one
// output line per request, and a window that records what the run and the form show it.
#pragma once

#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Scrivon/tests/fake_engine.h"
#include "common/ParamParser.h"

#include <deque>
#include <functional>
#include <map>
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
    std::string lastOptions, lastLanguage, lastConfig;
    std::function<void(const std::string&)> onRequest; // called as a request is posted

    void Set(const std::string& language, const std::string& config, const std::string& options) override {
        lastLanguage = language;
        lastConfig = config;
        lastOptions = options;
        BSTR value = nullptr;
        (void)GetParam(nullptr, &value, _bstr_t(options.c_str()), u"name");
        test_ = _bstr_t(value, false).utf8();
        Post("set");
        polls_ = 1; // finished at once
    }
    void Request(const std::string& method) override { Post(method.empty() ? "load" : method); }
    int GetState() override { return ++polls_ >= 2 ? 2 : 1; }
    void GetResult(std::string* text, HRESULT* hr) override {
        auto found = answers.find(requests.back());
        *text = found == answers.end() ? "" : found->second.first;
        *hr = found == answers.end() ? S_OK : found->second.second;
    }
    bool GetOutput(int32_t* status, std::string* text) override {
        if (pending_.empty()) {
            return false;
        }
        *status = pending_.front().first;
        *text = pending_.front().second;
        pending_.pop_front();
        return true;
    }
    void Stop(const std::string& words) override { stops.push_back(words); }
    IVrTestEngine* Engine() override { return &engine; }

private:
    void Post(const std::string& method) {
        requests.push_back(test_ + ":" + method);
        polls_ = 0;
        if (method == "Test") {
            pending_.emplace_back(3, test_ + " measured\n"); // a line of its own status
        }
        if (onRequest) {
            onRequest(requests.back());
        }
    }

    std::string test_;
    int polls_ = 0;
    std::deque<std::pair<int32_t, std::string>> pending_;
};

class RecordingWindow : public RunView, public FormView {
public:
    std::vector<std::pair<std::string, int>> images; // (label, image) as shown, in order
    std::vector<std::pair<std::string, int32_t>> output;
    std::vector<std::string> statuses, errors, ended;
    int trees = 0;
    std::function<void()> onPump;           // called on each pump and each pause wait
    std::function<void()> onShowProperties; // called as the form shows the rows

    void ShowImage(const SequenceItem& item, TreeImage image) override {
        images.emplace_back(item.label, static_cast<int>(image));
    }
    void AppendOutput(const std::string& text, int32_t status) override { output.emplace_back(text, status); }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void ShowError(const std::string& caption, const std::string& text) override {
        errors.push_back(caption + ": " + text);
    }
    void RefreshCommands() override {}
    void ShowRootProperties() override {}
    void TestEnded(const SequenceItem& item, const std::string& result, Verdict verdict) override {
        ended.push_back(item.label + "=" + result + ":" + std::to_string(static_cast<int>(verdict)));
    }
    void PumpMessages() override { Pump(); }
    void Wait(int) override { Pump(); }
    void ShowTree() override { ++trees; }
    void ShowLabel(const SequenceItem&) override {}
    void ShowProperties() override {
        if (onShowProperties) {
            onShowProperties();
        }
    }

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
    void Pump() {
        if (onPump) {
            onPump();
        }
    }
};

} // namespace runvex
