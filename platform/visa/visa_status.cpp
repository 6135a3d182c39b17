// Texts of the VISA codes.
#include "platform/visa/visa_status.h"

namespace vr::visa {

std::string StatusText(HRESULT status) {
    switch (static_cast<uint32_t>(status)) {
    case 0x00000000u:
        return "Operation completed successfully.";
    case 0x00040005u:
        return "The specified termination character was read.";
    case 0x00040006u:
        return "The number of bytes read is equal to the input count.";
    case 0x8004000Du:
        return "The specified attribute is read-only.";
    case 0x8004000Eu:
        return "The given session or object reference is invalid.";
    case 0x80040010u:
        return "Invalid expression specified for search.";
    case 0x80040011u:
        return "Insufficient location information or resource not present in the system.";
    case 0x80040012u:
        return "Invalid resource reference specified. Parsing error.";
    case 0x80040015u:
        return "Timeout expired before operation completed.";
    case 0x8004001Du:
        return "The specified attribute is not defined or supported by the referenced resource.";
    case 0x8004001Eu:
        return "The specified state of the attribute is not valid, or is not supported as defined by the "
               "resource.";
    case 0x8004003Eu:
        return "Could not perform operation because of I/O error.";
    case 0x80040067u:
        return "The given session or object reference does not support this operation.";
    case 0x80040070u:
        return "Invalid access mode.";
    case 0x800400A6u:
        return "The connection for the given session has been lost.";
    default:
        return {};
    }
}

} // namespace vr::visa
