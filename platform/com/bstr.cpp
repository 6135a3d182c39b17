// BSTR allocation: a 32-bit byte length, the UTF-16 text, then a zero terminator, in one heap block.
#include "platform/com/bstr.h"

#include "platform/base/text.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The byte length sits in the four bytes just before the text the BSTR points at.
constexpr size_t kPrefixBytes = sizeof(uint32_t);
// A terminating zero unit after the text, plus one byte so that an odd byte length still ends in a whole
// zero unit when read as UTF-16.
constexpr size_t kTerminatorBytes = sizeof(OLECHAR) + 1;
// The longest text whose byte length still fits the 32-bit prefix.
constexpr uint64_t kMaxBytes = std::numeric_limits<uint32_t>::max() - kPrefixBytes - kTerminatorBytes;

char* BlockOf(BSTR text) {
    return reinterpret_cast<char*>(text) - kPrefixBytes;
}

// A new BSTR of byteLength bytes whose text the caller fills in (terminator and length already written);
// null when out of memory.
char* AllocateUnfilled(uint64_t byteLength) {
    if (byteLength > kMaxBytes) {
        return nullptr;
    }
    char* block = static_cast<char*>(std::malloc(kPrefixBytes + byteLength + kTerminatorBytes));
    if (!block) {
        return nullptr;
    }
    const uint32_t prefix = static_cast<uint32_t>(byteLength);
    std::memcpy(block, &prefix, kPrefixBytes);
    char* text = block + kPrefixBytes;
    std::memset(text + byteLength, 0, kTerminatorBytes);
    return text;
}

// Copies byteLength bytes (or zeroes when data is null) into a new BSTR; null when out of memory.
BSTR AllocateBytes(const void* data, uint64_t byteLength) {
    char* text = AllocateUnfilled(byteLength);
    if (!text) {
        return nullptr;
    }
    if (data) {
        std::memcpy(text, data, byteLength);
    } else {
        std::memset(text, 0, byteLength);
    }
    return reinterpret_cast<BSTR>(text);
}

} // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) {
        return nullptr;
    }
    return AllocateBytes(text, uint64_t{vr::U16Length(text)} * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    return AllocateBytes(text, uint64_t{length} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) {
    return AllocateBytes(bytes, length);
}

void SysFreeString(BSTR text) {
    if (text) {
        std::free(BlockOf(text));
    }
}

BOOL SysReAllocString(BSTR* text, const OLECHAR* value) {
    return SysReAllocStringLen(text, value, static_cast<UINT>(vr::U16Length(value)));
}

BOOL SysReAllocStringLen(BSTR* text, const OLECHAR* value, UINT length) {
    if (!text) {
        return FALSE;
    }
    // The new string is made before the old one is freed: value may point into *text.
    BSTR copy = SysAllocStringLen(value, length);
    if (!copy) {
        return FALSE;
    }
    SysFreeString(*text);
    *text = copy;
    return TRUE;
}

UINT SysStringByteLen(BSTR text) {
    if (!text) {
        return 0;
    }
    uint32_t prefix;
    std::memcpy(&prefix, BlockOf(text), kPrefixBytes);
    return prefix;
}

UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

namespace vr {

BSTR AllocBstr(std::u16string_view text) {
    return AllocateBytes(text.empty() ? nullptr : text.data(), uint64_t{text.size()} * sizeof(OLECHAR));
}

BSTR AllocBstrUtf8(std::string_view text) {
    return AllocBstr(FromUtf8(text));
}

BSTR AllocBstrLatin1(std::string_view bytes) {
    char* text = AllocateUnfilled(uint64_t{bytes.size()} * sizeof(OLECHAR));
    if (!text) {
        return nullptr;
    }
    auto* units = reinterpret_cast<OLECHAR*>(text);
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time, each paired with a zero byte: a megabyte answer is widened at memory speed.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= bytes.size(); i += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i), _mm_unpacklo_epi8(sixteen, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i + 8), _mm_unpackhi_epi8(sixteen, zero));
    }
#else
    // Blocks of a fixed size through a local array: a form compilers turn into vector code at -O2 as well
    // (a plain loop stays one byte at a time there, several times slower on a megabyte).
    constexpr size_t kBlock = 32;
    for (; i + kBlock <= bytes.size(); i += kBlock) {
        OLECHAR block[kBlock];
        for (size_t k = 0; k < kBlock; ++k) {
            block[k] = static_cast<unsigned char>(bytes[i + k]);
        }
        std::memcpy(units + i, block, sizeof block);
    }
#endif
    for (; i < bytes.size(); ++i) {
        units[i] = static_cast<unsigned char>(bytes[i]);
    }
    return units;
}

std::string BstrToUtf8(BSTR text) {
    return ToUtf8(BstrView(text));
}

} // namespace vr
