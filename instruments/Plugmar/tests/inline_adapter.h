// Small adapter files written by a test into its own folder: a device element, attributes and commands
// around a fixed set of message types.
#pragma once

#include <string>

namespace plugmartest {

// The message types every inline adapter has:
//   msg_Measure  "MEAS <range>,<resolution>\n" (range and resolution xsd:double)
//   msg_Query    "VAL?\n"
//   msg_Value    "<value>\n" (xsd:double)
//   msg_Values   "<value>(,<value>)*\n"
//   msg_State    "<state>\n" with state 1 (substitution ON) or 0 (OFF)
// Returns the path of a file holding them with the given device element, attribute declarations and
// commands.
std::u16string WriteAdapter(const std::string& fileName, const std::string& device,
                            const std::string& attributes, const std::string& commands);

} // namespace plugmartest
