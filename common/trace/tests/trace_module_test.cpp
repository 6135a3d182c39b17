// Each deliverable keeps its own diagnostic state: two stand-in server libraries and this program, each with
// its own copy of the common library, loaded side by side.
#include "common/trace/Trace.h"
#include "tests/support/com_holders.h"
#include "tests/support/test_env.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

using vrtest::Adopt;
using vrtest::U8;

// One loaded stand-in deliverable.
class Module {
public:
    Module(const char* name, int mode) {
        std::string path = vrtest::BuildBinFolder() + "/lib" + name + ".so";
        handle_ = dlopen(path.c_str(), RTLD_NOW | mode);
        if (handle_ == nullptr) {
            ADD_FAILURE() << dlerror();
        }
    }
    Module(const Module&) = delete;
    ~Module() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    bool Loaded() const { return handle_ != nullptr; }

    void Fail(const OLECHAR* method, const OLECHAR* message) {
        Get<void (*)(const OLECHAR*, const OLECHAR*)>("TraceModuleFail")(method, message);
    }
    std::string MethodName() { return Read("TraceModuleMethodName"); }
    std::string SiteTag() { return Read("TraceModuleSiteTag"); }
    std::string LastError() { return Read("TraceModuleLastError"); }

private:
    template <class F>
    F Get(const char* symbol) {
        return reinterpret_cast<F>(dlsym(handle_, symbol));
    }
    std::string Read(const char* symbol) { return Adopt(Get<BSTR (*)()>(symbol)()).utf8(); }

    void* handle_ = nullptr;
};

TEST(TraceModules, EveryDeliverableHasItsOwnState) {
    // The first library's symbols are made global, so any symbol of the common library that a deliverable
    // exported by mistake would be shared through them.
    Module first("trace_module_a", RTLD_GLOBAL);
    Module second("trace_module_b", RTLD_LOCAL);
    ASSERT_TRUE(first.Loaded() && second.Loaded());

    SetTraceMethodName(u"CProgram::Main()");
    SetTraceSiteAt("program.cpp", 9);
    TraceError(u"program error");
    first.Fail(u"CFirst::Load()", u"first error");
    second.Fail(u"CSecond::Open()", u"second error");

    EXPECT_EQ(U8(TraceMethodName()), "CProgram::Main()");
    EXPECT_EQ(U8(TraceSiteTag()), "CProgram::Main(): program.cpp (9)");
    EXPECT_EQ(U8(LastErrorText()), "program error");
    EXPECT_EQ(first.MethodName(), "CFirst::Load()");
    EXPECT_EQ(first.LastError(), "first error");
    EXPECT_EQ(first.SiteTag().rfind("CFirst::Load(): trace_module.cpp (", 0), 0u);
    EXPECT_EQ(second.MethodName(), "CSecond::Open()");
    EXPECT_EQ(second.LastError(), "second error");
}

} // namespace
