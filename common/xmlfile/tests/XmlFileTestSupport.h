// What the XML file class's tests share: a running tracer that records the lines, files in the test's private
// home folder, and short readers of a document's state.
#pragma once

#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "common/xmlfile/XmlFile.h"
#include "tests/support/com_holders.h"

#include "platform/com/activation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace xmlfiletest {

using vr::xml::Node;
using vrtest::Bstr;
using vrtest::U8;

inline constexpr const OLECHAR* kRootWithVrt = u"<root xmlns:vrt='urn:vornic:object-attributes'/>";

class XmlFileTest : public commontest::TracedTest {
protected:
    void ClearLines() { sink_->Clear(); }

    // A path in the test's private home folder, named after the test.
    static std::string HomeFile(const std::string& suffix) {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        return std::string(std::getenv("VORNIC_HOME")) + "/" + test->name() + suffix;
    }
    static void WriteText(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ReadText(const std::string& path) {
        std::ostringstream bytes;
        bytes << std::ifstream(path, std::ios::binary).rdbuf();
        return bytes.str();
    }

    static std::string Attributes(CXmlFile& file, const OLECHAR* path) {
        Bstr list;
        EXPECT_EQ(file.GetAttributes(path, list.ptr()), S_OK);
        return list.utf8();
    }
    static int32_t Count(const CXmlFile& file, std::u16string_view xpath) {
        vr::xml::NodeList nodes;
        EXPECT_TRUE(SUCCEEDED(file.GetDocument().selectNodes(xpath, &nodes)));
        return nodes.length();
    }
    static std::string Xml(const Node& node) { return U8(node.xml()); }
};

} // namespace xmlfiletest
