// CTypeLibBuilder: writes the type library of one device (or of one adapter file): a library holding one
// dispatch interface with the device's members and one creatable class that implements it, from the member
// description a socket hands out (SocketInfo, instruments/Plugmar/include/plugmar.h).
//
// Usage (one device library, the whole build in one call):
//     SocketInfo info = *socketsInfo;              // copied from IVrSocketProcessor::GetInfo
//     info.name = u"dmm";                          // the device: names the library and the class
//     info.typeLibraryPath = u"/path/to/dmm.tlb";  // where the file goes (a system path is mapped)
//     ostrel::CTypeLibBuilder builder;
//     HRESULT hr = builder.BuildDeviceTypeLib(info);   // S_OK: the file is written
//
// Names and GUIDs are derived from the names alone (DeriveDeviceTypeLibIds), so rebuilding a device keeps its
// GUIDs; devices whose names give the same code-unit sum get the same GUIDs (the generator refuses such a
// second device). The step-by-step members (CreateLibrary ... CloseLibrary) are public for other libraries of
// the same shape.
//
// Threads: one builder belongs to the thread that uses it; builders on different threads do not meet (the
// derived GUIDs are values, nothing module-wide).
// Failures: every failing call is traced and kept as the deliverable's LastErrorText (common/trace/Trace.h),
// with the failing call's HRESULT returned. A build that fails saves nothing: an earlier file at the path
// stays as it was (the file is written in one step, by rename). Destroying a builder never saves an
// unfinished library.
#pragma once

#include "instruments/Plugmar/include/plugmar.h"
#include "platform/com/comptr.h"
#include "platform/com/typelib.h"

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The bases of the derived GUIDs; a device's GUIDs differ from them in their first field only.
inline constexpr GUID kDeviceLibraryBaseGuid = vr::MakeGuid("89153DD9-A915-43D5-BC1F-E735C3656500");
inline constexpr GUID kDeviceInterfaceBaseGuid = vr::MakeGuid("89153DD9-A915-43D5-BC1F-E735C3656501");
inline constexpr GUID kDeviceClassBaseGuid = vr::MakeGuid("89153DD9-A915-43D5-BC1F-E735C3656502");

// Invoke kinds of SocketMethodInfo::invokeKind.
enum DeviceMemberKind : int {
    kMemberMethod = 1,
    kMemberPropertyGet = 2,
    kMemberPropertyPut = 4,
};

// The names and GUIDs of one device's library.
struct DeviceTypeLibIds {
    std::u16string devicePart;    // the device name, first letter upper-cased ("dmm" -> "Dmm")
    std::u16string interfacePart; // the interface name, first letter upper-cased
    std::u16string libraryName;   // "VrDevice<devicePart>", also the class's name
    std::u16string interfaceName; // "IVrSocket<interfacePart>"
    std::u16string libraryDoc;    // "Vornic Device <devicePart> 1.0 Type Library"
    GUID libid = GUID_NULL;       // library base, Data1 += sum of devicePart's code units
    GUID iid = GUID_NULL;         // interface base, Data1 += sum of interfacePart's code units
    GUID clsid = GUID_NULL;       // class base, same Data1 as libid
};

// The text with its first character upper-cased when it is an ASCII letter; the rest unchanged.
std::u16string WithCapitalFirst(std::u16string_view text);
// The sum of the UTF-16 code units, modulo 2^32.
DWORD CodeUnitSum(std::u16string_view text);
// The base with its first field increased by the code-unit sum of part.
GUID DerivedGuid(const GUID& base, std::u16string_view part);
DeviceTypeLibIds DeriveDeviceTypeLibIds(std::u16string_view deviceName, std::u16string_view interfaceName);

class CTypeLibBuilder {
public:
    // Takes IUnknown and IDispatch from the standard library; a failure is traced and kept, and every
    // interface made afterwards fails with it.
    CTypeLibBuilder();
    ~CTypeLibBuilder() = default;
    CTypeLibBuilder(const CTypeLibBuilder&) = delete;
    CTypeLibBuilder& operator=(const CTypeLibBuilder&) = delete;

    // Closes (and so saves) a library still open, then starts a new one to be written to path (a system path
    // is mapped onto this machine): LCID 0, the version, name, GUID and doc string, library flags 0.
    [[nodiscard]] HRESULT CreateLibrary(const std::u16string& path, const GUID& libid,
                                        const std::u16string& name, const std::u16string& doc, WORD major,
                                        WORD minor);
    // Ends an interface still open and starts one of kind TKIND_DISPATCH (based on IDispatch) or
    // TKIND_INTERFACE (based on IUnknown); secondBase, when given, becomes its implemented type 1. An empty
    // doc gives "Interface <name>". *typeInfo (optional) receives the new type's ITypeInfo.
    [[nodiscard]] HRESULT CreateInterface(const GUID& iid, const std::u16string& name, TYPEKIND kind,
                                          UINT typeFlags, vr::ComPtr<ITypeInfo>* typeInfo,
                                          ITypeInfo* secondBase, std::u16string_view doc);
    // Adds one function to the open interface: the parameters' types and flags, those with a default other
    // than VT_EMPTY or VT_ERROR counted as optional; the result typed as [out, retval]. A property put names
    // only the function (its value stays unnamed). An empty help string documents it by its name.
    [[nodiscard]] HRESULT AddFunction(const std::u16string& name, int invokeKind, MEMBERID dispId,
                                      VARTYPE resultType, WORD flags,
                                      const std::vector<SocketParamInfo>& params, std::u16string_view help);
    // Lays out and closes the open interface; S_OK when none is open.
    [[nodiscard]] HRESULT EndInterface();
    // Ends a class still open and starts a class (TKIND_COCLASS); an empty doc gives "Class <name>".
    [[nodiscard]] HRESULT CreateCoclass(const GUID& clsid, const std::u16string& name, UINT typeFlags,
                                        std::u16string_view doc);
    // The class implements the interface (implemented types in call order).
    [[nodiscard]] HRESULT AddInterfaceToCoclass(ITypeInfo* typeInfo);
    // Lays out and closes the open class, its implemented type 0 made the default; S_OK when none is open.
    [[nodiscard]] HRESULT EndCoclass();
    // Ends the open interface and class and writes the library; S_OK when none is open.
    [[nodiscard]] HRESULT CloseLibrary();

    // The whole library of info: the folder of info.typeLibraryPath made (with missing folders above), the
    // library "VrDevice<Name>" with the interface "IVrSocket<InterfaceName>" holding info.methods in order
    // and the creatable class "VrDevice<Name>" whose default interface it is, written to
    // info.typeLibraryPath. The first failure ends the build and is returned; nothing is written then.
    [[nodiscard]] HRESULT BuildDeviceTypeLib(const SocketInfo& info);

private:
    // Traces the failure of a step and keeps it as LastErrorText; returns hr.
    HRESULT Failed(HRESULT hr, const char16_t* step);

    HRESULT stdoleResult_ = S_OK;             // the constructor's, fixed afterwards
    vr::ComPtr<ITypeInfo> unknownInfo_;       // IUnknown of the standard library; fixed after construction
    vr::ComPtr<ITypeInfo> dispatchInfo_;      // IDispatch of the standard library; fixed after construction
    std::u16string path_;                     // the open library's file
    vr::ComPtr<ICreateTypeLib> library_;      // the open library, null when none
    vr::ComPtr<ICreateTypeInfo> interface_;   // the open interface, null when none
    TYPEKIND interfaceKind_ = TKIND_DISPATCH; // of the open interface
    UINT functionCount_ = 0;                  // functions added to the open interface
    vr::ComPtr<ICreateTypeInfo> coclass_;     // the open class, null when none
    UINT implementedCount_ = 0;               // interfaces added to the open class
};

} // namespace ostrel
