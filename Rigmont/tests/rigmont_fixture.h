// The fixture of the manager's in-process tests: COM on the test thread, a store file of the test's own named
// by the configuration item, a manager object made after it, and helpers for texts and error information.
#pragma once

#include "Rigmont/VrRigmont.h"
#include "fake_providers.h"

#include "platform/com/comptr.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace rigmonttest {

// An owned BSTR argument; a null one is made with Text::Null().
class Text {
public:
    Text(std::u16string_view text) : bstr_(vr::AllocBstr(text)) {}
    static Text Null() { return Text(nullptr); }
    Text(Text&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(bstr_); }
    operator BSTR() const { return bstr_; }

private:
    explicit Text(std::nullptr_t) : bstr_(nullptr) {}
    BSTR bstr_;
};

// An owned [in, out] BSTR: null stays distinguishable from empty.
struct Out {
    BSTR bstr = nullptr;
    Out() = default;
    explicit Out(std::u16string_view preset) : bstr(vr::AllocBstr(preset)) {}
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;
    ~Out() { SysFreeString(bstr); }
    bool IsNull() const { return bstr == nullptr; }
    std::u16string Value() const { return std::u16string(vr::BstrView(bstr)); }
};

VARIANT Missing();
VARIANT TextArgument(std::u16string_view text); // the caller clears it

// The strings of a VT_ARRAY | VT_VARIANT result; fails the test for any other shape.
std::vector<std::u16string> StringsOf(const VARIANT& value);
// The description of the calling thread's error information (empty when there is none).
std::u16string ErrorDescription();

class RigmontTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the store file (its content as given) and makes the manager that reads it.
    void UseStore(const std::string& content);
    // Points the configuration item at path and makes a new manager.
    void MakeManager(const std::string& path);
    std::string StoreBytes() const;
    void WriteStore(const std::string& content) const;

    std::vector<std::u16string> RecordNames(std::u16string_view type);

    std::string folder_;
    std::string storePath_;
    vr::ComPtr<IVrRigmont> manager_;
    std::unique_ptr<FakeProviderRegistration> providers_;
    bool comInitialized_ = false;
};

// A store with both containers and the records most tests use.
std::string StandardStore();

} // namespace rigmonttest
