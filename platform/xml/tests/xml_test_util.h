// Helpers of the XML layer's tests: documents from text, files in a private folder.
#pragma once

#include "platform/base/text.h"
#include "platform/xml/dom.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace vr::xml::testing {

inline Document NewDocument() {
    Document doc;
    EXPECT_EQ(Document::Create(&doc), S_OK);
    return doc;
}

inline Document Parse(std::u16string_view text, bool preserveWhiteSpace = true) {
    Document doc = NewDocument();
    doc.setPreserveWhiteSpace(preserveWhiteSpace);
    HRESULT hr = doc.loadXML(text);
    EXPECT_EQ(hr, S_OK) << "reason: " << ToUtf8(doc.parseError().reason);
    return doc;
}

inline std::string WriteFile(const std::string& name, const std::string& bytes) {
    std::string path = vrtest::MakeFreshFolder("xml") + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline Node Select(const Node& context, std::u16string_view xpath) {
    Node node;
    EXPECT_EQ(context.selectSingleNode(xpath, &node), S_OK) << ToUtf8(xpath);
    return node;
}

} // namespace vr::xml::testing
