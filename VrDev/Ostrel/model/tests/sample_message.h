// A message type defined from a sample of the loopback instrument, as the studio's pages define one.
#pragma once

#include "VrDev/Ostrel/model/MsgTypeDef.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <tuple>

namespace ostreltest {

// The message's XSD type: the sample with the tokens (begin, end, description) marked; the terminator is the
// line feed. A token that cannot be marked fails the test.
inline vr::xml::Node SampleMessage(const std::string& name, const std::string& sample, GapMode mode,
                                   std::initializer_list<std::tuple<int, int, const char16_t*>> tokens) {
    CMsgTypeDef definition;
    definition.SetGapMode(mode);
    definition.Init(sample, name, "\n", u"xsd", u"vra:substitution=enumeration");
    for (const auto& [begin, end, description] : tokens) {
        EXPECT_TRUE(definition.CanAddElement(begin, end));
        definition.AddElement(begin, end, description);
    }
    vr::xml::Node type;
    EXPECT_EQ(definition.GetMsgTypeDef(&type), S_OK);
    return type;
}

} // namespace ostreltest
