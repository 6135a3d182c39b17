// A real library with resources embedded by the build: read by its path, by its own code, through res:// URLs
// and the XML layer; a copy stamped with new resources that still loads; the resource tool as a program.
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/registry/registry.h"
#include "platform/resources/res_url.h"
#include "platform/resources/resource_update.h"
#include "platform/resources/tests/probe_module.h"
#include "platform/resources/tests/resource_test_files.h"
#include "platform/resources/this_module.h"
#include "platform/xml/dom.h"
#include "tests/support/test_env.h"

#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

using vr::ResourceEntry;

const std::string kProbeSources = VR_PROBE_SOURCE_DIR;

std::string ProbePath() {
    return std::filesystem::canonical(VR_PROBE_LIBRARY_PATH).string();
}

// A loaded copy of the probe library and its test entry points.
class LoadedProbe {
public:
    explicit LoadedProbe(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedProbe() {
        if (handle_) {
            dlclose(handle_);
        }
    }
    bool Loaded() const { return handle_ != nullptr; }
    void* Handle() const { return handle_; }
    std::string ModulePath() const {
        std::string path;
        reinterpret_cast<ProbeModulePathFn>(dlsym(handle_, "ProbeModulePath"))(&path);
        return path;
    }
    HRESULT LoadOwn(const char16_t* name, std::string* bytes) const {
        return reinterpret_cast<ProbeLoadOwnResourceFn>(dlsym(handle_, "ProbeLoadOwnResource"))(name, bytes);
    }

private:
    void* handle_;
};

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

ToolRun RunVrres(const std::string& arguments) {
    ToolRun run;
    FILE* pipe = ::popen((std::string(VR_VRRES_PATH) + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        return run;
    }
    char buffer[256];
    while (size_t got = std::fread(buffer, 1, sizeof(buffer), pipe)) {
        run.output.append(buffer, got);
    }
    int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

TEST(ProbeLibrary, EachModuleKnowsItsOwnPath) {
    LoadedProbe probe(ProbePath());
    ASSERT_TRUE(probe.Loaded()) << dlerror();
    EXPECT_EQ(probe.ModulePath(), ProbePath());
    EXPECT_EQ(vr::ThisModulePath(), std::filesystem::canonical("/proc/self/exe").string());
}

TEST(ProbeLibrary, CarriesWhatTheBuildEmbedded) {
    vr::ModuleResources resources = vrtest::ResourcesOf(ProbePath());
    const ResourceEntry* entry = nullptr;
    ASSERT_EQ(resources.Find(RT_HTML, u"attributes.xml", &entry), S_OK);
    EXPECT_EQ(entry->data, vrtest::ReadBytes(kProbeSources + "/probe_attributes.xml"));
    ASSERT_EQ(resources.Find(u"REGISTRY", 102, LANG_NEUTRAL, &entry), S_OK);
    EXPECT_EQ(entry->data, vrtest::ReadBytes(kProbeSources + "/probe_registry.rgs"));
    // Embedded by a second step, in its own language, beside the first step's resources.
    EXPECT_EQ(resources.Languages(u"TYPELIB", 1), std::vector<WORD>{0x1009});
    ASSERT_EQ(resources.Find(u"TYPELIB", 1, &entry), S_OK);
    EXPECT_EQ(entry->data, vrtest::ReadBytes(kProbeSources + "/probe_typelib.tlb"));
    EXPECT_EQ(resources.Entries().size(), 3u);

    LoadedProbe probe(ProbePath());
    ASSERT_TRUE(probe.Loaded());
    std::string own;
    EXPECT_EQ(probe.LoadOwn(u"Attributes.xml", &own), S_OK);
    EXPECT_EQ(own, vrtest::ReadBytes(kProbeSources + "/probe_attributes.xml"));
}

// The registration step reads the library's own script and fails without it: the class is only in the build's
// registry (which every test run starts from) if embedding ran first.
TEST(ProbeLibrary, WasRegisteredAfterItsResourcesWereEmbedded) {
    std::u16string key = u"CLSID\\" + vr::GuidToString(CLSID_ResourceProbe) + u"\\InprocServer32";
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
    OLECHAR path[1024] = {};
    DWORD size = sizeof(path);
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueEx(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size),
              ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(vr::ToUtf8(path), ProbePath());
}

TEST(ProbeLibrary, XmlLayerLoadsDocumentsFromResources) {
    vr::InstallResUrlResolver();
    vr::xml::Document document;
    ASSERT_EQ(vr::xml::Document::Create(&document), S_OK);
    ASSERT_EQ(document.load(u"res://" + vr::FromUtf8(ProbePath()) + u"/Attributes.xml"), S_OK)
        << vr::ToUtf8(document.parseError().reason);
    EXPECT_EQ(document.documentElement().nodeName(), u"attributes");

    EXPECT_NE(document.load(u"res://" + vr::FromUtf8(ProbePath()) + u"/Missing.xml"), S_OK);
    EXPECT_EQ(document.parseError().errorCode, HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(document.documentElement().nodeName(), u"attributes"); // the previous content stays
}

// As the studio makes a device library: copy the template, replace its script and type library in the
// stamping language, load the copy.
TEST(ProbeLibrary, StampedCopyLoadsAndCarriesItsNewResources) {
    std::string original = vrtest::ReadBytes(ProbePath());
    std::string copy = vrtest::MakeFreshFolder("stamp") + "/dmm.so";
    std::filesystem::copy_file(ProbePath(), copy);

    vr::ResourceUpdateHandle update = nullptr;
    ASSERT_EQ(vr::BeginUpdateResource(copy, false, &update), S_OK);
    std::string script = "HKCR { Vornic.Device.dmm }";
    std::string library = std::string("generated\0library", 17);
    ASSERT_EQ(vr::UpdateResource(update, u"REGISTRY", 102, 0x1009, script.data(), DWORD(script.size())),
              S_OK);
    ASSERT_EQ(vr::UpdateResource(update, u"TYPELIB", 1, 0x1009, library.data(), DWORD(library.size())), S_OK);
    ASSERT_EQ(vr::EndUpdateResource(update, false), S_OK);

    EXPECT_EQ(vrtest::ReadBytes(ProbePath()), original);
    EXPECT_EQ(std::filesystem::status(copy).permissions(),
              std::filesystem::status(ProbePath()).permissions());
    vr::ModuleResources stamped = vrtest::ResourcesOf(copy);
    const ResourceEntry* entry = nullptr;
    ASSERT_EQ(stamped.Find(u"TYPELIB", 1, &entry), S_OK);
    EXPECT_EQ(entry->data, library);
    ASSERT_EQ(stamped.Find(u"REGISTRY", 102, 0x1009, &entry), S_OK);
    EXPECT_EQ(entry->data, script);
    // The template's neutral script stays beside the stamped one.
    EXPECT_EQ(stamped.Languages(u"REGISTRY", 102), (std::vector<WORD>{LANG_NEUTRAL, 0x1009}));

    LoadedProbe template_(ProbePath());
    LoadedProbe device(copy);
    ASSERT_TRUE(device.Loaded()) << dlerror();
    EXPECT_NE(device.Handle(), template_.Handle());
    EXPECT_EQ(device.ModulePath(), std::filesystem::canonical(copy).string());
    std::string own;
    EXPECT_EQ(device.LoadOwn(u"Attributes.xml", &own), S_OK);
    EXPECT_EQ(own, vrtest::ReadBytes(kProbeSources + "/probe_attributes.xml"));
}

TEST(ResourceTool, ListsAndEmbedsAndLeavesTheModuleAloneOnFailure) {
    ToolRun listed = RunVrres("--list " + Quoted(ProbePath()));
    ASSERT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.output.find("REGISTRY #102 0x0000 "), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("TYPELIB #1 0x1009 "), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("#23 ATTRIBUTES.XML 0x0000 "), std::string::npos) << listed.output;

    std::string folder = vrtest::MakeFreshFolder("tool");
    std::string copy = folder + "/libcopy.so";
    std::filesystem::copy_file(ProbePath(), copy);
    vrtest::WriteBytes(folder + "/data.bin", "tool data");
    ASSERT_EQ(RunVrres("--language 0x409 " + Quoted(copy) + " RT_RCDATA 7 " + Quoted(folder + "/data.bin"))
                  .exitCode,
              0);
    std::string bytes;
    EXPECT_EQ(vr::LoadModuleResource(copy, RT_RCDATA, 7, &bytes), S_OK);
    EXPECT_EQ(bytes, "tool data");
    EXPECT_EQ(vrtest::ResourcesOf(copy).Entries().size(), 4u);

    std::string before = vrtest::ReadBytes(copy);
    EXPECT_EQ(RunVrres(Quoted(copy) + " RT_HTML A.xml " + Quoted(folder + "/data.bin") + " RT_HTML B.xml " +
                       Quoted(folder + "/missing.xml"))
                  .exitCode,
              2);
    // A bad command line ends every program with 64.
    EXPECT_EQ(RunVrres(Quoted(copy) + " RT_HTML 0 " + Quoted(folder + "/data.bin")).exitCode, 64);
    EXPECT_EQ(RunVrres(Quoted(copy) + " RT_HTML").exitCode, 64);
    EXPECT_EQ(vrtest::ReadBytes(copy), before);
    EXPECT_EQ(RunVrres("--list " + Quoted(folder + "/missing.so")).exitCode, 2);
}

} // namespace
