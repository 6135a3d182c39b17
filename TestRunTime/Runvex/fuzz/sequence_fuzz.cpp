// libFuzzer target: arbitrary sequence files (.tsq) loaded into the test executive's document and tree,
// saved, and loaded again.
// Oracle: a file that loads saves into one that loads as the same sequence (the tree, every test's
// properties and configuration code), and saving that again writes the same bytes; a file that is refused is
// one the XML layer refuses with a reason, or one without a root element.
//
// CI runs it for a bounded time through ctest (test "sequence_fuzz", built when clang++ is at hand and the
// build is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/sequence_fuzz fuzz-corpus <build>/TestRunTime/Runvex/fuzz/sequence_fuzz-seeds -max_len=4096 \
//       -max_total_time=600
// A crash leaves its input in the working folder (crash-*); replay it with bin/sequence_fuzz crash-<hash>.
#include "TestRunTime/Runvex/SequenceDocument.h"
#include "TestRunTime/Runvex/SequenceTree.h"
#include "platform/base/text.h"
#include "platform/xml/dom.h"
#include "tests/support/fuzz_folder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string g_path; // the file of each input, in the run's own folder

void Check(bool holds, const char* what, const std::string& input) {
    if (!holds) {
        std::fprintf(stderr, "sequence_fuzz: %s for:\n%s\n", what, input.c_str());
        std::abort();
    }
}

std::string FileBytes() {
    std::ifstream in(g_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The sequence as the test executive shows and runs it: each test's depth, label and properties in order.
std::string Outline(runvex::SequenceDocument& document) {
    runvex::SequenceTree tree;
    tree.Build(document.Root());
    std::string outline;
    for (runvex::SequenceItem* item : tree.PreOrder()) {
        for (runvex::SequenceItem* up = item->parent; up; up = up->parent) {
            outline += ' ';
        }
        runvex::TestProperties test = document.PropertiesOf(item->element);
        outline += item->label + "|" + test.description + "|" + test.codeFile + "|" + test.language + "|" +
                   test.config + "\n";
    }
    return outline;
}

// Why the XML layer refuses the file; empty when it loads it with a root element.
std::string XmlRefusal() {
    vr::xml::Document document;
    if (FAILED(vr::xml::Document::Create(&document))) {
        return "no document";
    }
    if (FAILED(document.load(vr::FromUtf8(g_path)))) {
        return vr::ToUtf8(document.parseError().reason);
    }
    return document.documentElement() ? std::string() : "no root element";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrtest::MakeFuzzFolder("sequence-fuzz");
    g_path = vrtest::FuzzFolder() + "/fuzzed.tsq";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(g_path, std::ios::binary | std::ios::trunc) << input;
    runvex::SequenceDocument document;
    if (FAILED(document.Load(g_path))) {
        Check(!XmlRefusal().empty(), "a file the XML layer loads was refused", input);
        return 0;
    }
    std::string outline = Outline(document);
    Check(SUCCEEDED(document.Save()), "a loaded sequence was not saved", input);
    std::string saved = FileBytes();
    runvex::SequenceDocument again;
    Check(SUCCEEDED(again.Load(g_path)), "a saved sequence does not load", input);
    Check(Outline(again) == outline, "the saved sequence is another one", input);
    Check(SUCCEEDED(again.Save()) && FileBytes() == saved, "saving again wrote other bytes", input);
    return 0;
}
