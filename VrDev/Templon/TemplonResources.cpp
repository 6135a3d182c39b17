// Writes the template library's two resources at build time: its registration script as zero-terminated
// text, and a type library that stands in for the device's until the library is stamped.
//
//     templon_resources <script source> <script out> <type library out>
#include "platform/base/program_conventions.h"
#include "platform/com/typelib_writer.h"
#include "platform/com/unknown.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The template's own identity; a stamped copy carries its device's instead.
constexpr GUID kTemplateLibId = vr::MakeGuid("CC26E4CA-97C2-4B20-B11E-5DE7118BDE3E");
constexpr GUID kTemplateInterfaceId = vr::MakeGuid("25FF356B-6BA4-4BC1-8AC4-1162DCDCCB72");
constexpr GUID kTemplateClassId = vr::MakeGuid("51B4DD84-B890-4881-AD21-39A9FC7E3337");

bool WriteScript(const char* source, const char* target) {
    std::ifstream in(source, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return false;
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << text << '\0'; // whoever stamps the library reads the script up to its first zero byte
    return static_cast<bool>(out);
}

HRESULT WriteLibrary(const char* target) {
    vr::typelib::LibrarySpec spec{
        .libid = kTemplateLibId,
        .name = u"VrDeviceTemplate",
        .doc = u"Vornic Device Template 1.0 Type Library",
        .interfaces = {{.iid = kTemplateInterfaceId,
                        .name = u"IVrSocketTemplate",
                        .doc = u"Interface IVrSocketTemplate"}},
        .classes = {{.clsid = kTemplateClassId,
                     .name = u"VrDeviceTemplate",
                     .doc = u"Class VrDeviceTemplate",
                     .interfaces = {{kTemplateInterfaceId, IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return vr::typelib::WriteTypeLibrary(spec, target);
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (argc != 4) {
        std::fprintf(stderr, "usage: templon_resources <script source> <script out> <type library out>\n");
        return 1;
    }
    if (!WriteScript(argv[1], argv[2])) {
        std::fprintf(stderr, "templon_resources: cannot copy the script %s to %s\n", argv[1], argv[2]);
        return 2;
    }
    if (HRESULT hr = WriteLibrary(argv[3]); FAILED(hr)) {
        std::fprintf(stderr, "templon_resources: cannot write %s (0x%08X)\n", argv[3],
                     static_cast<unsigned>(hr));
        return 2;
    }
    return 0;
}
