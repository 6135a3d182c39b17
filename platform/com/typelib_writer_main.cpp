// The build-time program that writes a module's type library (vr_add_type_library compiles it with the
// module's ModuleLibrarySpec): `<writer> <library file>`; 0 when written, 1 with a line on standard error.
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/com/hresult.h"
#include "platform/com/typelib_writer.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <library file>\n", argc > 0 ? argv[0] : "typelib-writer");
        return 1;
    }
    const HRESULT hr = vr::typelib::WriteTypeLibrary(vr::typelib::ModuleLibrarySpec(), argv[1]);
    if (FAILED(hr)) {
        std::string text = vr::ToUtf8(vr::HResultMessage(hr));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        std::fprintf(stderr, "%s: couldn't write %s: %s (0x%08X)\n", argv[0], argv[1], text.c_str(),
                     static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}
