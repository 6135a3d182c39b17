// The sequence file and its tree as the form shows and edits them: a file as a user writes it, its nesting
// through grouping elements, edits written back and the rest of the file kept, new files from the blank one,
// and the commands around a selection.
#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Runvex/tests/fakes.h"
#include "common/VrConfigData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace runvex {
namespace {

namespace fs = std::filesystem;

// As a test engineer writes a sequence by hand: Windows paths, a comment, a grouping element, a nested test
// and one in a group under it, configuration code with markup characters.
constexpr const char* kBench = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- Power-supply bench: rails first, then the meter checks -->
<sequence>
  <test name="Rails" description="5 V and 12 V rails">
    <code file="C:\Ostrel\Test\Scripts\rails.JScript.ts" language="JScript"/>
    <config>limit = "4.75 &lt; v &lt; 5.25";</config>
    <test name="Ripple">
      <code file="C:\Ostrel\Test\Scripts\ripple.JScript.ts" language="JScript"/>
    </test>
    <group title="meter">
      <test name="Identify"/>
    </group>
  </test>
  <stage>
    <test name="Buffer" description="">
      <code file="C:\Ostrel\Test\Scripts\buffer.JScript.ts" language="JScript"/>
    </test>
  </stage>
</sequence>
)";

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The labels in run order, each indented by its depth.
std::string Outline(SequenceTree& tree) {
    std::string outline;
    for (SequenceItem* item : tree.PreOrder()) {
        int depth = 0;
        for (SequenceItem* up = item->parent; up; up = up->parent) {
            ++depth;
        }
        outline += std::string(static_cast<size_t>(depth) * 2, ' ') + item->label + "\n";
    }
    return outline;
}

class SequenceFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(std::getenv("VORNIC_HOME")) / "Sequence";
        fs::create_directories(folder);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
        return (folder / name).string();
    }
    SequenceItem& Item(const std::string& label) {
        for (SequenceItem* item : tree.PreOrder()) {
            if (item->label == label) {
                return *item;
            }
        }
        throw std::runtime_error("no item " + label);
    }

    fs::path folder;
    RecordingWindow window;
    ScriptedWorker worker;
    SequenceDocument document;
    SequenceTree tree;
    SequenceRun run{window, worker, tree, document};
    SequenceForm form{window, document, tree, run, {"JScript", "VBScript"}};
};

TEST_F(SequenceFormTest, AUsersFileShowsItsTestsNestedThroughGroupsAndSavesBackUnchanged) {
    std::string path = Write("bench.tsq", kBench);
    ASSERT_TRUE(form.Load(path));
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_EQ(Outline(tree), "Main Sequence\n  Rails\n    Ripple\n    Identify\n  Buffer\n");
    EXPECT_EQ(window.statuses.back(), "File '" + path + "' was loaded");

    TestProperties rails = document.PropertiesOf(Item("Rails").element);
    EXPECT_EQ(rails.codeFile, R"(C:\Ostrel\Test\Scripts\rails.JScript.ts)");
    EXPECT_EQ(rails.language, "JScript");
    EXPECT_EQ(rails.config, R"(limit = "4.75 < v < 5.25";)");
    TestProperties identify = document.PropertiesOf(Item("Identify").element);
    EXPECT_EQ(identify.description + identify.codeFile + identify.language + identify.config, "");

    form.Save();
    EXPECT_EQ(ReadFile(path), kBench);
    EXPECT_EQ(window.statuses.back(), "File '" + path + "' was saved");

    std::string windows = WithLineEnds(kBench, "\r\n"); // written on Windows
    ASSERT_TRUE(form.Load(Write("windows.tsq", windows)));
    form.Save();
    EXPECT_EQ(ReadFile(folder / "windows.tsq"), windows);
}

TEST_F(SequenceFormTest, EditsReachTheDocumentAndARenameRelabelsWithoutARebuild) {
    std::string path = Write("bench.tsq", kBench);
    ASSERT_TRUE(form.Load(path));
    int trees = window.trees;
    form.ShowProperties(Item("Identify"));
    EXPECT_STREQ(form.PropertyRows().FindByName("Name")->GetValueText(), "Identify");
    EXPECT_STREQ(form.PropertyRows().FindByName("Code File")->GetValueText(), "<Undefined>");

    form.PropertyEdited("Name", "Identify meter");
    form.PropertyEdited("Code File", R"(C:\Ostrel\Test\Scripts\identify.JScript.ts)");
    form.PropertyEdited("Language", "JScript");
    form.ConfigEdited("settle = 100;");
    EXPECT_EQ(Item("Identify meter").label, "Identify meter");
    EXPECT_EQ(window.trees, trees);

    form.Save();
    ASSERT_TRUE(form.Load(path));
    TestProperties edited = document.PropertiesOf(Item("Identify meter").element);
    EXPECT_EQ(edited.codeFile, R"(C:\Ostrel\Test\Scripts\identify.JScript.ts)");
    EXPECT_EQ(edited.language, "JScript");
    EXPECT_EQ(edited.config, "settle = 100;");
    EXPECT_NE(ReadFile(path).find("<!-- Power-supply bench"), std::string::npos);

    // Rows the view pushes back while the form fills them, and edits on the root item, change nothing.
    window.onShowProperties = [&] { form.PropertyEdited("Name", "clobbered"); };
    form.ShowProperties(Item("Rails"));
    window.onShowProperties = nullptr;
    form.ShowProperties(tree.Root());
    form.PropertyEdited("Name", "root");
    form.ConfigEdited("root config");
    EXPECT_EQ(document.PropertiesOf(Item("Rails").element).name, "Rails");
    EXPECT_EQ(Outline(tree), "Main Sequence\n  Rails\n    Ripple\n    Identify meter\n  Buffer\n");
}

TEST_F(SequenceFormTest, AddAndInsertPutTheNewTestBeforeTheSelectedOneOrLast) {
    ASSERT_TRUE(form.Load(Write("empty.tsq", "<sequence>\n  <!-- nothing yet -->\n</sequence>\n")));
    EXPECT_EQ(Outline(tree), "Main Sequence\n");
    form.AddTest(); // the root selected: appended
    EXPECT_EQ(Outline(tree), "Main Sequence\n  New Test\n");

    ASSERT_TRUE(form.Load(Write("bench.tsq", kBench)));
    form.ShowProperties(Item("Buffer"));
    form.AddTest();
    EXPECT_EQ(Outline(tree), "Main Sequence\n  Rails\n    Ripple\n    Identify\n  New Test\n  Buffer\n");
    form.ShowProperties(Item("Ripple")); // nested: before it, in its own parent
    form.AddTest();
    EXPECT_EQ(Outline(tree),
              "Main Sequence\n  Rails\n    New Test\n    Ripple\n    Identify\n  New Test\n  Buffer\n");
    form.ShowProperties(Item("Rails"));
    form.RemoveTest();
    EXPECT_EQ(Outline(tree), "Main Sequence\n  New Test\n  Buffer\n");
}

TEST_F(SequenceFormTest, OpenCreatesANewFileFromTheBlankOneAndLoadsAnExistingOneAsNamed) {
    std::string blank = Write("Blank.tsq", "<?xml version=\"1.0\"?>\n<TestSequence/>\n");
    ASSERT_TRUE(CVrConfigData().StoreItem("TestExecutiveBlankFile", _bstr_t(blank.c_str())));

    ASSERT_TRUE(form.Open((folder / "night").string()));
    EXPECT_TRUE(fs::exists(folder / "night.tsq"));
    EXPECT_EQ(window.statuses.back(), "File '" + (folder / "night.tsq").string() + "' was created");
    EXPECT_EQ(Outline(tree), "Main Sequence\n");

    std::string bare = Write("plain", kBench); // exists: no extension added, loaded as it is
    ASSERT_TRUE(form.Open(bare));
    EXPECT_FALSE(fs::exists(folder / "plain.tsq"));
    EXPECT_EQ(document.Path(), bare);

    EXPECT_FALSE(form.Open((folder / "missing" / "x.tsq").string()));
    EXPECT_EQ(window.errors.back(),
              "Error: Couldn't create file '" + (folder / "missing" / "x.tsq").string() + "'.");
}

TEST_F(SequenceFormTest, AFileThatDoesNotParseLeavesNothingLoadedAndTheDocumentAsItWas) {
    std::string good = Write("bench.tsq", kBench);
    ASSERT_TRUE(form.Load(good));
    std::string bad = Write("broken.tsq", "<sequence><test name='a'></sequence>");
    EXPECT_FALSE(form.Load(bad));
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(Outline(tree), "Main Sequence\n");
    EXPECT_EQ(window.errors.back(), "Error: Couldn't open file '" + bad + "'.");
    EXPECT_EQ(window.statuses.back(), "Couldn't open file '" + bad + "'");
    EXPECT_EQ(document.Path(), good);

    form.ShowProperties(tree.Root());
    EXPECT_EQ(form.CodeFileToEdit(), std::nullopt);
    EXPECT_EQ(window.errors.back(), "Error: Code file is not provided for this Test.");
}

} // namespace
} // namespace runvex
