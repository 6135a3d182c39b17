// A device library built the way the studio builds one (a dispatch interface, an enumeration and a class),
// and a text description of any library, for comparing a library before saving with the one loaded back.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/typelib.h"

#include <string>

namespace vrtest {

inline constexpr GUID kDeviceLibId = vr::MakeGuid("89153EF7-A915-43D5-BC1F-E735C3656500");
inline constexpr GUID kDeviceIid = vr::MakeGuid("89153EF7-A915-43D5-BC1F-E735C3656501");
inline constexpr GUID kDeviceClsid = vr::MakeGuid("89153EF7-A915-43D5-BC1F-E735C3656502");
inline constexpr GUID kRangeEnumGuid = vr::MakeGuid("89153EF7-A915-43D5-BC1F-E735C3656503");

inline constexpr MEMBERID kQueryStringId = 4;
inline constexpr MEMBERID kConnectionId = 5;
inline constexpr MEMBERID kVoltId = 10;

// Builds the device library into path (version major.minor) and leaves it open for more; the library
// answers ITypeLib too.
[[nodiscard]] HRESULT BuildDeviceLibrary(const std::string& path, WORD major, WORD minor,
                                         vr::ComPtr<ICreateTypeLib>* lib);

// Builds and saves it.
[[nodiscard]] HRESULT SaveDeviceLibrary(const std::string& path, WORD major = 1, WORD minor = 0);

// Everything a reader can ask of the library, one line per item, references followed to their names.
std::string DescribeLibrary(ITypeLib* lib);

} // namespace vrtest
