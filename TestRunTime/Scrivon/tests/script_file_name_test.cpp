// Script file names: the language part, the script path rules, and the verdict and error-line rules.
#include "TestRunTime/Scrivon/RunVerdict.h"
#include "TestRunTime/Scrivon/ScriptFileName.h"

#include <gtest/gtest.h>

namespace scrivon {
namespace {

const std::vector<std::string> kLanguages = {"JScript", "VBScript"};

TEST(ScriptFileName, FindsAKnownLanguagePartOnly) {
    EXPECT_EQ(LanguagePart("/t/demo.jscript.ts", kLanguages), "jscript");
    EXPECT_EQ(LanguagePart("/t/notes.ts", kLanguages), std::nullopt);
    EXPECT_EQ(LanguagePart("/t/a.Perl.ts", kLanguages), std::nullopt);
    EXPECT_EQ(LanguagePart("/t/JScript.d/run.ts", kLanguages), std::nullopt); // a folder is no language part
}

TEST(ScriptFileName, InsertsOrRenamesOnlyTheLanguagePart) {
    EXPECT_EQ(ScriptPathFor("/t/demo", "JScript", kLanguages, true, true), "/t/demo.JScript.ts");
    EXPECT_EQ(ScriptPathFor("/t/demo.tsx", "JScript", kLanguages, true, true), "/t/demo.tsx.JScript.ts");
    EXPECT_EQ(ScriptPathFor("/JScript/demo.JScript.ts", "VBScript", kLanguages, false, false),
              "/JScript/demo.VBScript.ts");
    EXPECT_EQ(ScriptPathFor("/t/notes.ts", "VBScript", kLanguages, false, false), "/t/notes.ts");
    EXPECT_EQ(TestIdOf("/t/demo.JScript.ts"), "demo.JScript");
}

TEST(RunVerdict, PassesEmptyTrueAndPassInAnyCase) {
    for (const char* passing : {"", "PASSED", "True", "pass"}) {
        EXPECT_EQ(VerdictOf(true, passing), 1) << passing;
    }
    EXPECT_EQ(VerdictOf(true, "ok"), 2);
    EXPECT_EQ(VerdictOf(false, "true"), 7);
}

TEST(RunVerdict, ReadsTheLineAfterTheFirstMarker) {
    EXPECT_EQ(ErrorLineOf("Error: x\nLine:   12, Column: 3 Line: 40"), 12);
    EXPECT_EQ(ErrorLineOf("Line: x"), 0);
    EXPECT_EQ(ErrorLineOf("line: 5"), 0);
}

} // namespace
} // namespace scrivon
