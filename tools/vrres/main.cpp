// vrres: embeds files as resources of a module file, or lists the resources it carries.
//
//     vrres [--language <number>] <module file> <type> <name> <file> [<type> <name> <file>]...
//     vrres --list <module file>
//     vrres --help
//
// A type or name is "#<number>", decimal digits (a number), RT_HTML or RT_RCDATA (types only), or a name.
// Embedding keeps the module's other resources and replaces one of the same type, name and language; the
// language is LANG_NEUTRAL unless given (decimal or "0x" hexadecimal).
#include "platform/base/numbers.h"
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/resources/module_resources.h"
#include "platform/resources/resource_update.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = vr::kExitBadCommandLine;
constexpr int kExitFailed = 2;

struct Embedding {
    vr::ResourceId type;
    vr::ResourceId name;
    std::string file;
};

struct Options {
    bool list = false;
    WORD language = LANG_NEUTRAL;
    std::string module;
    std::vector<Embedding> embeddings;
};

void Usage(FILE* stream) {
    std::fputs(
        "usage: vrres [--language <number>] <module file> <type> <name> <file> "
        "[<type> <name> <file>]...\n"
        "       vrres --list <module file>\n"
        "Embeds files as resources of a module file (a build step), or lists the resources it carries.\n"
        "A type or name is #<number>, a number, RT_HTML or RT_RCDATA (types only), or a name.\n"
        "  --language N  the resources' language (decimal or 0x hexadecimal; neutral when not given)\n"
        "  --help        show this text\n"
        "  --version     show the build it comes from\n"
        "exit code 64: a command line vrres does not take\n",
        stream);
}

int Fail(const std::string& subject, HRESULT hr) {
    std::string text = vr::ToUtf8(vr::HResultMessage(hr));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    std::fprintf(stderr, "vrres: %s: %s (0x%08X)\n", subject.c_str(), text.c_str(),
                 static_cast<unsigned>(hr));
    return kExitFailed;
}

vr::ResourceId TypeOf(const std::string& text) {
    if (text == "RT_HTML") {
        return vr::ResourceId(RT_HTML);
    }
    if (text == "RT_RCDATA") {
        return vr::ResourceId(RT_RCDATA);
    }
    return vr::ResourceId::FromText(vr::FromUtf8(text));
}

std::optional<WORD> LanguageOf(const char* text) {
    const char* end = nullptr;
    bool overflow = false;
    ULONG value = vr::Strtoul(text, &end, 0, &overflow);
    if (end == text || *end != '\0' || overflow || value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<WORD>(value);
}

bool ParseArguments(int argc, char** argv, Options* options) {
    int i = 1;
    if (i < argc && argv[i][0] == '-' && std::string(argv[i]) != "--list" &&
        std::string(argv[i]) != "--language") {
        std::fprintf(stderr, "vrres: unknown switch %s\n", argv[i]);
        return false;
    }
    if (i < argc && std::string(argv[i]) == "--list") {
        options->list = true;
        options->module = i + 1 < argc ? argv[i + 1] : "";
        return argc == 3;
    }
    if (i + 1 < argc && std::string(argv[i]) == "--language") {
        std::optional<WORD> language = LanguageOf(argv[i + 1]);
        if (!language) {
            return false;
        }
        options->language = *language;
        i += 2;
    }
    if (i >= argc || (argc - i - 1) % 3 != 0 || argc - i - 1 == 0) {
        return false;
    }
    options->module = argv[i];
    for (++i; i < argc; i += 3) {
        Embedding embedding{TypeOf(argv[i]), vr::ResourceId::FromText(vr::FromUtf8(argv[i + 1])),
                            argv[i + 2]};
        if (!embedding.type.IsValid() || !embedding.name.IsValid()) {
            std::fprintf(stderr, "vrres: invalid resource type or name: %s %s\n", argv[i], argv[i + 1]);
            return false;
        }
        options->embeddings.push_back(std::move(embedding));
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int List(const std::string& module) {
    vr::ModuleResources resources;
    HRESULT hr = vr::ModuleResources::Open(module, &resources);
    if (FAILED(hr)) {
        return Fail(module, hr);
    }
    for (const vr::ResourceEntry& entry : resources.Entries()) {
        std::printf("%s %s 0x%04X %zu\n", vr::ToUtf8(entry.type.ToString()).c_str(),
                    vr::ToUtf8(entry.name.ToString()).c_str(), static_cast<unsigned>(entry.language),
                    entry.data.size());
    }
    return 0;
}

// Every file is read before the update starts, so a missing one leaves the module untouched.
int Embed(const Options& options) {
    std::vector<std::string> contents(options.embeddings.size());
    for (size_t i = 0; i < options.embeddings.size(); ++i) {
        if (!ReadWholeFile(options.embeddings[i].file, &contents[i]) || contents[i].size() > 0xFFFFFFFFu) {
            std::fprintf(stderr, "vrres: cannot read %s\n", options.embeddings[i].file.c_str());
            return kExitFailed;
        }
    }
    vr::ResourceUpdateHandle update = nullptr;
    HRESULT hr = vr::BeginUpdateResource(options.module, false, &update);
    if (FAILED(hr)) {
        return Fail(options.module, hr);
    }
    for (size_t i = 0; i < options.embeddings.size() && SUCCEEDED(hr); ++i) {
        const Embedding& embedding = options.embeddings[i];
        hr = vr::UpdateResource(update, embedding.type, embedding.name, options.language, contents[i].data(),
                                static_cast<DWORD>(contents[i].size()));
    }
    HRESULT ended = vr::EndUpdateResource(update, FAILED(hr));
    if (SUCCEEDED(hr)) {
        hr = ended;
    }
    return FAILED(hr) ? Fail(options.module, hr) : 0;
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "vrres")) {
        return 0;
    }
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        Usage(stdout);
        return 0;
    }
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        Usage(stderr);
        return kExitUsage;
    }
    return options.list ? List(options.module) : Embed(options);
}
