// The fixture of the manager's in-process tests: COM on the test thread, a store file of the test's own named
// by the configuration item, a manager object made after it, and helpers for texts and error information.
#pragma once

#include "Rigmont/VrRigmont.h"
#include "fake_providers.h"

#include "platform/com/comptr.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace rigmonttest {

using vrtest::Bstr;
using vrtest::ErrorDescription;
using vrtest::Missing;

VARIANT TextArgument(std::u16string_view text); // the caller clears it

// The strings of a VT_ARRAY | VT_VARIANT result; fails the test for any other shape.
std::vector<std::u16string> StringsOf(const VARIANT& value);

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
