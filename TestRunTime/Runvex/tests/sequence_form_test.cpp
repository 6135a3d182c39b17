// The sequence file and its tree as the form shows and edits them: a user's file, its nesting through
// grouping elements, edits written back with the rest of the file kept, new files from the blank one, and
// the commands around a selection.
#include "TestRunTime/Runvex/tests/fixture.h"
#include "common/config/VrConfigData.h"
#include "tests/support/file_faults.h"

#include <sstream>

namespace runvex {
namespace {

namespace fs = std::filesystem;

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
        for (SequenceItem* up = item->parent; up; up = up->parent) {
            outline += "  ";
        }
        outline += item->label + "\n";
    }
    return outline;
}

using SequenceFormTest = RunvexTest;

TEST_F(SequenceFormTest, AUsersFileShowsItsTestsNestedThroughGroupsAndSavesBackUnchanged) {
    std::string path = Write("bench.tsq", kBench);
    ASSERT_TRUE(form.Load(path));
    EXPECT_EQ(Outline(tree), "Main Sequence\n  Rails\n    Ripple\n    Identify\n  Buffer\n");
    EXPECT_EQ(window.statuses.back(), "File '" + path + "' was loaded");
    TestProperties rails = document.PropertiesOf(Item("Rails").element);
    EXPECT_EQ(rails.codeFile + "|" + rails.language + "|" + rails.config,
              R"(C:\Ostrel\Test\Scripts\rails.JScript.ts|JScript|limit = "4.75 < v < 5.25";)");
    TestProperties identify = document.PropertiesOf(Item("Identify").element);
    EXPECT_EQ(identify.description + identify.codeFile + identify.language + identify.config, "");

    form.Save();
    EXPECT_EQ(ReadFile(path), kBench);
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
    EXPECT_STREQ(form.PropertyRows().FindByName("Code File")->GetValueText(), "<Undefined>");
    form.PropertyEdited("Name", "Identify meter");
    form.PropertyEdited("Code File", R"(C:\Ostrel\Test\Scripts\identify.JScript.ts)");
    form.PropertyEdited("Language", "JScript");
    form.ConfigEdited("settle = 100;");
    EXPECT_EQ(document.PropertiesOf(Item("Identify meter").element).name, "Identify meter");
    EXPECT_EQ(window.trees, trees);

    form.Save();
    ASSERT_TRUE(form.Load(path));
    TestProperties edited = document.PropertiesOf(Item("Identify meter").element);
    EXPECT_EQ(edited.codeFile + "|" + edited.language + "|" + edited.config,
              R"(C:\Ostrel\Test\Scripts\identify.JScript.ts|JScript|settle = 100;)");
    EXPECT_NE(ReadFile(path).find("<!-- Power-supply bench"), std::string::npos);

    // Rows the view pushes back while the form fills them, and edits on the root item, change nothing.
    window.onShowProperties = [&] { form.PropertyEdited("Name", "clobbered"); };
    form.ShowProperties(Item("Rails"));
    window.onShowProperties = nullptr;
    form.ShowProperties(tree.Root());
    form.PropertyEdited("Name", "root");
    form.ConfigEdited("root config");
    EXPECT_EQ(Outline(tree), "Main Sequence\n  Rails\n    Ripple\n    Identify meter\n  Buffer\n");
    EXPECT_EQ(document.PropertiesOf(document.Root()).config, "");
}

TEST_F(SequenceFormTest, AddAndInsertPutTheNewTestBeforeTheSelectedOneOrLast) {
    ASSERT_TRUE(form.Load(Write("empty.tsq", "<sequence>\n  <!-- nothing yet -->\n</sequence>\n")));
    EXPECT_EQ(Outline(tree), "Main Sequence\n");
    form.AddTest(); // the root selected: appended
    EXPECT_EQ(Outline(tree), "Main Sequence\n  New Test\n");

    ASSERT_TRUE(form.Load(Write("bench.tsq", kBench)));
    form.ShowProperties(Item("Buffer"));
    form.AddTest();
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
    EXPECT_EQ(window.statuses.back(), "File '" + (folder / "night.tsq").string() + "' was created");
    EXPECT_EQ(Outline(tree), "Main Sequence\n");

    std::string bare = Write("plain", kBench); // exists: no extension added
    ASSERT_TRUE(form.Open(bare));
    EXPECT_EQ(document.Path(), bare);

    std::string nowhere = (folder / "missing" / "x.tsq").string();
    EXPECT_FALSE(form.Open(nowhere));
    EXPECT_EQ(window.errors.back(), "Error: Couldn't create file '" + nowhere + "'.");
}

TEST_F(SequenceFormTest, AFileThatDoesNotParseLeavesNothingLoadedAndTheDocumentAsItWas) {
    std::string good = Write("bench.tsq", kBench);
    ASSERT_TRUE(form.Load(good));
    std::string bad = Write("broken.tsq", "<sequence><test name='a'></sequence>");
    EXPECT_FALSE(form.Load(bad));
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(Outline(tree), "Main Sequence\n");
    // Under the box's first line: where and why the parser refused it.
    EXPECT_TRUE(window.errors.back().starts_with("Error: Couldn't open file '" + bad +
                                                 "'.\nThe file is not well-formed XML: line 1, column "))
        << window.errors.back();
    EXPECT_EQ(window.statuses.back(), "Couldn't open file '" + bad + "'");
    EXPECT_EQ(document.Path(), good);

    EXPECT_EQ(form.CodeFileToEdit(), std::nullopt);
    EXPECT_EQ(window.errors.back(), "Error: Code file is not provided for this Test.");
    ASSERT_TRUE(form.Load(good));
    form.ShowProperties(Item("Rails"));
    EXPECT_EQ(form.CodeFileToEdit(), std::nullopt);
    EXPECT_EQ(window.errors.back(),
              R"(Error: Couldn't find file 'C:\Ostrel\Test\Scripts\rails.JScript.ts'.)");
    Write("rails.JScript.ts",
          "function Test() {}"); // the data home's Sequence folder stands for C:\Ostrel\Sequence
    form.PropertyEdited("Code File", R"(C:\Ostrel\Sequence\rails.JScript.ts)");
    EXPECT_EQ(form.CodeFileToEdit(), (folder / "rails.JScript.ts").string());
}

// Someone who may write the folder plants the name the old save wrote through; and the disk fills up.
TEST_F(SequenceFormTest, ASaveNeverFollowsAPlantedLinkAndLeavesTheFileWholeOnAFullDisk) {
    std::string path = Write("bench.tsq", kBench);
    std::string victim = Write("precious.txt", "someone's own file");
    fs::create_symlink(victim, path + ".saving");
    ASSERT_TRUE(form.Load(path));
    form.ShowProperties(Item("Buffer"));
    form.PropertyEdited("Description", "checked");
    form.Save();
    EXPECT_EQ(window.statuses.back(), "File '" + path + "' was saved");
    EXPECT_EQ(ReadFile(victim), "someone's own file");
    EXPECT_TRUE(fs::is_symlink(path + ".saving"));
    EXPECT_NE(ReadFile(path).find("description=\"checked\""), std::string::npos);

    vrtest::SmallDisk disk((folder / "disk").string(), 32 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.WhyNot();
    }
    std::string full = (folder / "disk" / "bench.tsq").string();
    vrtest::PutFileBytes(full, kBench);
    ASSERT_TRUE(form.Load(full));
    form.ShowProperties(Item("Buffer"));
    form.ConfigEdited(std::string(40000, 'c'));
    form.Save();
    EXPECT_EQ(window.statuses.back(), "Couldn't save file '" + full + "'");
    EXPECT_EQ(window.errors.back(), "Error: Couldn't save file '" + full + "'.\nCouldn't save '" + full +
                                        "': No space left on device; the file is left as it was.");
    EXPECT_EQ(ReadFile(full), kBench);
    EXPECT_EQ(vrtest::FolderNames((folder / "disk").string()), std::vector<std::string>{"bench.tsq"});
}

} // namespace
} // namespace runvex
