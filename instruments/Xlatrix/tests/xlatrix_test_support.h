// Test helpers: adapter files of tests/data, adapters built from inline types, and access to the protected
// steps.
#pragma once

#include "instruments/Xlatrix/Xlatrix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace xltest {

// The path of a file in tests/data.
std::string DataPath(const std::string& name);

// A device adapter document whose `types` schema holds the given XSD components (xsd and vra prefixes
// declared), handed to SetSchemaXml. Returns its result.
bool LoadTypes(CXlatrix& xlatrix, const std::string& components);

// Inline schema pieces: a named complex type holding one sequence, a fixed-text element, a value element.
std::string Sequence(const std::string& name, const std::string& particles);
std::string Key(const std::string& name, const std::string& text);
std::string Element(const std::string& name, const std::string& type, const std::string& more = "");

// The values returned under a name, in index order (empty when there are none).
std::vector<std::string> Returned(CXlatrix& xlatrix, const std::string& name);

// Parses with the returned values of an earlier parse dropped first.
bool ParseFresh(CXlatrix& xlatrix, const char* type, const char* text);

// A test on one device adapter of tests/data.
class AdapterTest : public ::testing::Test {
protected:
    explicit AdapterTest(std::string file) : file_(std::move(file)) {}
    void SetUp() override {
        ASSERT_TRUE(adapter.SetSchemaXml(DataPath(file_).c_str())) << adapter.strErrorText;
    }
    void Value(const char* name, const char* value) {
        adapter.AddComposeEntryParamValue(SOMITEM_NULL, "", name, value);
    }
    // The composed text, or "failed: " and the error text. A successful compose uses its values up; a
    // failed one may leave some behind, and they are dropped so that the next command starts clean.
    std::string Compose(const char* type) {
        std::string out;
        if (adapter.Compose(type, out)) {
            return out;
        }
        adapter.RemoveAllComposeEntryParamValues();
        return "failed: " + adapter.strErrorText;
    }
    bool Parse(const char* type, const char* text) { return ParseFresh(adapter, type, text); }

    CXlatrix adapter{false};

private:
    std::string file_;
};

// The protected members, for tests of the pieces.
class Probe : public CXlatrix {
public:
    Probe() : CXlatrix(false) {}
    using CXlatrix::arrComposeEntryParamValues;
    using CXlatrix::arrParseEntryParamValues;
    using CXlatrix::bstrTypeOfNode;
    using CXlatrix::GetNestedLevel;
    using CXlatrix::GetNumber;
    using CXlatrix::GetRootType;
    using CXlatrix::GetTermString;
    using CXlatrix::GetTypeOfNode;
    using CXlatrix::IsNumeric;
    using CXlatrix::IsParamValueEqual;
    using CXlatrix::NormalizeParamValue;
    using CXlatrix::SetParamValue;
    using CXlatrix::somitemTypeOfNode;
};

} // namespace xltest
