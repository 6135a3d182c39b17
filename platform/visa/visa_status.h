// VISA completion and error codes as the message sessions return them, with their texts.
#pragma once

#include "platform/com/hresult.h"

#include <string>

namespace vr::visa {

// Completion codes (successes that say why a read ended).
inline constexpr HRESULT kSuccess = 0;
inline constexpr HRESULT kSuccessTermChar = static_cast<HRESULT>(0x00040005u);
inline constexpr HRESULT kSuccessMaxCount = static_cast<HRESULT>(0x00040006u);

// Errors.
inline constexpr HRESULT kErrorAttributeReadOnly = static_cast<HRESULT>(0x8004000Du);
inline constexpr HRESULT kErrorInvalidObject = static_cast<HRESULT>(0x8004000Eu);
inline constexpr HRESULT kErrorInvalidExpression = static_cast<HRESULT>(0x80040010u);
inline constexpr HRESULT kErrorResourceNotFound = static_cast<HRESULT>(0x80040011u);
inline constexpr HRESULT kErrorInvalidResourceName = static_cast<HRESULT>(0x80040012u);
inline constexpr HRESULT kErrorTimeout = static_cast<HRESULT>(0x80040015u);
inline constexpr HRESULT kErrorUnsupportedAttribute = static_cast<HRESULT>(0x8004001Du);
inline constexpr HRESULT kErrorUnsupportedAttributeState = static_cast<HRESULT>(0x8004001Eu);
inline constexpr HRESULT kErrorIo = static_cast<HRESULT>(0x8004003Eu);
inline constexpr HRESULT kErrorUnsupportedOperation = static_cast<HRESULT>(0x80040067u);
inline constexpr HRESULT kErrorInvalidAccessMode = static_cast<HRESULT>(0x80040070u);
inline constexpr HRESULT kErrorConnectionLost = static_cast<HRESULT>(0x800400A6u);

// The standard text of a VISA code; empty for a code that is not VISA's.
std::string StatusText(HRESULT status);

// A failure with the text that explains it (the standard text, or a more precise one).
struct Failure {
    HRESULT status = kSuccess;
    std::string message;
};

} // namespace vr::visa
