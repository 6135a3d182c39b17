// libFuzzer target: arbitrary control-panel files (.pnx): the panel's settings and its objects (geometry,
// caption, scripts) read as the control panel reads them, written as its Save writes them, and read again.
// Oracle: a panel that loads saves into one that loads as the same panel, every number within its range,
// and saving that again writes the same bytes; a settings value that is refused says why.
//
// CI runs it for a bounded time through ctest (test "panel_fuzz", built when clang++ is at hand and the build
// is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/panel_fuzz fuzz-corpus <build>/VrDev/Panolix/fuzz/panel_fuzz-seeds -max_len=4096 -max_total_time=600
// A crash leaves its input in the working folder (crash-*); replay it with bin/panel_fuzz crash-<hash>.
#include "VrDev/Panolix/PanelFile.h"
#include "VrDev/Panolix/PanelNumbers.h"
#include "VrDev/Panolix/PanelObjects.h"
#include "VrDev/Panolix/tests/headless_objects.h"
#include "platform/base/text.h"
#include "tests/support/fuzz_folder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace panolix;
using panolixtest::HeadlessHost;
using panolixtest::MakeTestObject;

void Check(bool holds, const char* what, const std::string& input) {
    if (!holds) {
        std::fprintf(stderr, "panel_fuzz: %s for:\n%s\n", what, input.c_str());
        std::abort();
    }
}

bool Within(int value, NumberRange range) {
    return value >= range.low && value <= range.high;
}

// One panel as read: its settings and objects, or the reason it was refused (empty when it loaded).
struct Panel {
    std::string refusal;
    std::string outline;
};

Panel Read(const std::string& path, const std::string& input) {
    HeadlessHost host;
    CPObjects objects(host, nullptr, MakeTestObject);
    host.objects = &objects;
    std::u16string wide = vr::FromUtf8(path);
    CXmlFile file(wide.c_str());
    if (FAILED(file.Load())) {
        return {"the file does not load", {}};
    }
    PanelSettings settings;
    std::string error;
    if (FAILED(ReadPanelSettings(file, &settings, &error))) {
        return {error.empty() ? "no reason" : error, {}};
    }
    if (FAILED(objects.LoadAll(file))) {
        return {"an object does not load", {}};
    }
    Check(Within(settings.refreshPeriod, kRefreshPeriodRange), "a refresh period out of range", input);
    Panel panel;
    panel.outline = settings.language + "|" + std::to_string(settings.autoRefresh) + "|" +
                    std::to_string(settings.refreshPeriod) + "|" + settings.mainScript + "\n";
    for (size_t index = 0; index < objects.Count(); ++index) {
        const CPObject& object = *objects.At(index);
        Check(Within(object.X(), kPositionRange) && Within(object.Y(), kPositionRange) &&
                  Within(object.Width(), kSizeRange) && Within(object.Height(), kSizeRange),
              "an object's geometry out of range", input);
        panel.outline +=
            vr::ToUtf8(std::u16string(object.GetType()) + u"|" + object.Description() + u"|" +
                       object.InitScript() + u"|" + object.SetScript() + u"|" + object.GetScript()) +
            "|" + std::to_string(object.X()) + "," + std::to_string(object.Y()) + "," +
            std::to_string(object.Width()) + "," + std::to_string(object.Height()) + "\n";
    }
    // Saved as the control panel's Save does it.
    bool saved = SUCCEEDED(ClearPanelObjects(file)) && SUCCEEDED(objects.SaveAll(file)) &&
                 SUCCEEDED(WritePanelSettings(file, settings)) && SUCCEEDED(file.Save());
    Check(saved, "a loaded panel was not saved", input);
    return panel;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrtest::MakeFuzzFolder("panel-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string path = vrtest::FuzzFolder() + "/fuzzed.pnx";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << input;
    Panel first = Read(path, input);
    Check(first.refusal != "no reason", "a refused setting does not say why", input);
    if (!first.refusal.empty()) {
        return 0;
    }
    std::string saved = FileBytes(path);
    Panel second = Read(path, input);
    Check(second.refusal.empty(), "a saved panel does not load", input);
    Check(second.outline == first.outline, "the saved panel is another one", input);
    Check(FileBytes(path) == saved, "saving again wrote other bytes", input);
    return 0;
}
