// What the XML schema factory's tests share: a running tracer that records the lines, and short ways to
// build, read and print elements.
#pragma once

#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "tests/support/com_holders.h"

#include "platform/com/activation.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace schemafactorytest {

using vr::xml::Node;
using vrtest::Bstr;
using vrtest::U8;

inline constexpr const OLECHAR* kStructure = u"vra:substitution=enumeration";
inline constexpr const char* kXsdDeclaration = "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"";

// One line the tracer received.
struct TraceLine {
    std::string source;
    std::string text;
};

class SchemaFactoryTest : public commontest::TracedTest {
protected:
    // The lines the tracer received at a level, in order.
    std::vector<TraceLine> Lines(int level = TRACE_LEVEL_ERROR) const {
        std::vector<TraceLine> lines;
        for (const commontest::SinkCall& call : sink_->Calls()) {
            if (call.member == DISPID_TRACESINK_WRITETEXT && call.level == level) {
                lines.push_back({U8(call.first), U8(call.text)});
            }
        }
        return lines;
    }
    std::vector<TraceLine> Errors() const { return Lines(); }

    // The six-argument form with the usual structure and qualifier.
    Node Build(const OLECHAR* type, const OLECHAR* name, const OLECHAR* attributes,
               const OLECHAR* qualifier = u"xsd") {
        Node element;
        EXPECT_EQ(factory_.CreateElement(&element, type, name, attributes, kStructure, qualifier), S_OK)
            << U8(LastErrorText());
        return element;
    }
    // The one-argument form.
    Node Build(const OLECHAR* description) {
        Node element;
        EXPECT_EQ(factory_.CreateElement(&element, description), S_OK) << U8(LastErrorText());
        return element;
    }

    static std::string Xml(const Node& node) { return U8(node.xml()); }
    // The element's text without the declaration of the xsd prefix its place in the working document adds.
    static std::string Bare(const Node& node) {
        std::string text = Xml(node);
        size_t at = text.find(std::string(" ") + kXsdDeclaration);
        if (at != std::string::npos) {
            text.erase(at, std::string(kXsdDeclaration).size() + 1);
        }
        return text;
    }

    CXMLSchemaFactory factory_;
};

} // namespace schemafactorytest
