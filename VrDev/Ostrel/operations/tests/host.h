// A page host for tests: the sheet's document and connection, boxes recorded, questions answered from queues.
#pragma once

#include "VrDev/Ostrel/operations/OperationsModel.h"

#include <gtest/gtest.h>

#include <deque>

namespace opstest {

struct RecordingHost : ostrel::OperationsHost {
    CDeviceAdapterFile* document = nullptr;
    IVrConnection* connection = nullptr;
    HRESULT saveFailure = S_OK;        // a failure SaveFile returns instead of saving
    std::vector<std::u16string> boxes; // "Error: text", "Warning: text", "Unparsed: text | response"
    std::deque<ostrel::SaveAnswer> saveAnswers;
    std::deque<std::optional<std::u16string>> names;
    std::deque<bool> confirmations;        // the answers of the next Yes/No questions
    std::vector<std::u16string> questions; // the Yes/No questions asked
    int saveQuestions = 0;

    CDeviceAdapterFile* Document() override { return document; }
    bool CanUseDevice() override {
        if (connection == nullptr) {
            boxes.push_back(u"Error: Device Connection is not specifed!");
        }
        return connection != nullptr;
    }
    IVrConnection* Connection() override { return connection; }
    HRESULT SaveFile() override {
        if (FAILED(saveFailure)) {
            return saveFailure;
        }
        HRESULT hr = document->Save();
        return SUCCEEDED(hr) ? document->ReleaseDocument() : hr;
    }
    void ShowError(std::u16string_view text) override { boxes.push_back(u"Error: " + std::u16string(text)); }
    void ShowWarning(std::u16string_view text) override {
        boxes.push_back(u"Warning: " + std::u16string(text));
    }
    ostrel::SaveAnswer AskSave(std::u16string_view) override {
        ++saveQuestions;
        if (saveAnswers.empty()) {
            ADD_FAILURE() << "an unexpected question to save";
            return ostrel::SaveAnswer::Cancel;
        }
        ostrel::SaveAnswer answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    bool Confirm(std::u16string_view text) override {
        questions.emplace_back(text);
        if (confirmations.empty()) {
            ADD_FAILURE() << "an unexpected Yes/No question";
            return false;
        }
        const bool answer = confirmations.front();
        confirmations.pop_front();
        return answer;
    }
    std::optional<std::u16string> AskNewName(std::u16string_view, std::u16string_view) override {
        if (names.empty()) {
            ADD_FAILURE() << "an unexpected question for a name";
            return std::nullopt;
        }
        std::optional<std::u16string> name = names.front();
        names.pop_front();
        return name;
    }
    void ShowUnparsedResponse(std::u16string_view text, std::u16string_view response) override {
        boxes.push_back(u"Unparsed: " + std::u16string(text) + u" | " + std::u16string(response));
    }
};

} // namespace opstest
