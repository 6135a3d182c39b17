// Test helpers: adapter files of tests/data, adapters built from inline types, and access to the protected
// steps.
#pragma once

#include "instruments/Xlatrix/Xlatrix.h"

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
