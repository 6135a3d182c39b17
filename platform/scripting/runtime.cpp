// The script heap: creation with the throw hook and the interrupt check, texts, member numbers, pinned
// values.
#include "platform/scripting/runtime.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <utility>

extern "C" int vr_duk_exec_timeout_check(void* heap_udata) {
    auto* runtime = static_cast<vr::script::Runtime*>(heap_udata);
    return runtime && runtime->InterruptRequested() ? 1 : 0;
}

namespace vr::script {
namespace {

constexpr const char* kPinStash = "vrPinned";
constexpr std::string_view kChunkPrefix = "script#";

void OnFatal(void*, const char* message) {
    std::fprintf(stderr, "script engine: fatal error: %s\n", message ? message : "");
    std::abort();
}

// The script function's file name and line of one call-stack level, when it is script code.
bool PositionOfLevel(duk_context* ctx, duk_int_t level, ThrowSite* site) {
    duk_inspect_callstack_entry(ctx, level);
    if (!duk_is_object(ctx, -1)) {
        duk_pop(ctx);
        return false;
    }
    duk_get_prop_string(ctx, -1, "lineNumber");
    auto line = static_cast<ULONG>(duk_get_uint_default(ctx, -1, 0));
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, "function");
    duk_get_prop_string(ctx, -1, "fileName");
    int chunk = duk_is_string(ctx, -1) ? Runtime::ChunkIndexOf(duk_get_string(ctx, -1)) : -1;
    duk_pop_3(ctx);
    if (line == 0 || chunk < 0) {
        return false;
    }
    *site = ThrowSite{chunk, line};
    return true;
}

// Duktape.errThrow: remembers where each thrown value (an Error or any other value) was thrown from: the
// nearest script frame, so that a host function's failure carries its caller's line.
duk_ret_t RecordThrowSite(duk_context* ctx) {
    ThrowSite site;
    for (duk_int_t level = -2; level >= -64; --level) {
        if (PositionOfLevel(ctx, level, &site)) {
            Runtime::Of(ctx).LastThrow() = site;
            break;
        }
        duk_inspect_callstack_entry(ctx, level);
        bool end = duk_is_undefined(ctx, -1);
        duk_pop(ctx);
        if (end) {
            break;
        }
    }
    duk_dup(ctx, 0);
    return 1;
}

void AppendCesu8(std::string& out, char16_t unit) {
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

} // namespace

std::shared_ptr<Runtime> Runtime::Create(RuntimeOwner* owner, std::shared_ptr<std::atomic<bool>> interrupt) {
    std::shared_ptr<Runtime> runtime(new Runtime(owner, std::move(interrupt)));
    runtime->ctx_ = duk_create_heap(nullptr, nullptr, nullptr, runtime.get(), &OnFatal);
    if (!runtime->ctx_) {
        return nullptr;
    }
    runtime->InstallBuiltins();
    return runtime;
}

Runtime::~Runtime() {
    Shutdown();
}

void Runtime::Shutdown() {
    // Finalizers release host objects, whose release may release script objects of this heap: they find the
    // heap gone already and leave it alone.
    if (duk_context* ctx = std::exchange(ctx_, nullptr)) {
        duk_destroy_heap(ctx);
    }
}

Runtime& Runtime::Of(duk_context* ctx) {
    duk_memory_functions functions{};
    duk_get_memory_functions(ctx, &functions);
    return *static_cast<Runtime*>(functions.udata);
}

void Runtime::InstallBuiltins() {
    duk_get_global_string(ctx_, "Duktape");
    duk_push_c_function(ctx_, &RecordThrowSite, 1);
    duk_put_prop_string(ctx_, -2, "errThrow");
    duk_pop(ctx_);
    duk_push_heap_stash(ctx_);
    duk_push_object(ctx_);
    duk_put_prop_string(ctx_, -2, kPinStash);
    duk_pop(ctx_);
    InstallHostBuiltins(ctx_);
}

int Runtime::AddChunk(ScriptChunk chunk) {
    size_t hash = std::hash<std::u16string>{}(chunk.text);
    auto [first, last] = chunksByText_.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        HeldChunk& held = chunks_.at(it->second);
        if (held.chunk == chunk) {
            ++held.parses;
            return it->second;
        }
    }
    // A free number: after INT_MAX parses the numbers start again, past those still held.
    int index = nextChunk_;
    while (chunks_.count(index) != 0) {
        index = index == std::numeric_limits<int>::max() ? 0 : index + 1;
    }
    nextChunk_ = index == std::numeric_limits<int>::max() ? 0 : index + 1;
    bool transient = chunk.text.find(u"function") == std::u16string::npos;
    chunks_.emplace(index, HeldChunk{std::move(chunk), 1, transient});
    chunksByText_.emplace(hash, index);
    return index;
}

void Runtime::ReleaseChunk(int index) {
    auto found = chunks_.find(index);
    if (found == chunks_.end() || --found->second.parses > 0 || !found->second.transient) {
        return;
    }
    auto [first, last] = chunksByText_.equal_range(std::hash<std::u16string>{}(found->second.chunk.text));
    for (auto it = first; it != last; ++it) {
        if (it->second == index) {
            chunksByText_.erase(it);
            break;
        }
    }
    chunks_.erase(found);
}

const ScriptChunk* Runtime::Chunk(int index) const {
    auto found = chunks_.find(index);
    return found != chunks_.end() ? &found->second.chunk : nullptr;
}

std::string Runtime::ChunkFileName(int index) {
    return std::string(kChunkPrefix) + std::to_string(index);
}

int Runtime::ChunkIndexOf(std::string_view fileName) {
    if (!fileName.starts_with(kChunkPrefix)) {
        return -1;
    }
    int index = -1;
    auto digits = fileName.substr(kChunkPrefix.size());
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    return error == std::errc{} && end == digits.data() + digits.size() ? index : -1;
}

DISPID Runtime::DispidOf(const std::u16string& name) {
    auto [it, added] = dispids_.emplace(name, static_cast<DISPID>(names_.size() + 1));
    if (added) {
        names_.push_back(name);
    }
    return it->second;
}

const std::u16string* Runtime::NameOf(DISPID id) const {
    return id >= 1 && id <= static_cast<DISPID>(names_.size()) ? &names_[id - 1] : nullptr;
}

int Runtime::Pin(duk_idx_t idx) {
    idx = duk_normalize_index(ctx_, idx);
    int key = nextPin_++;
    duk_push_heap_stash(ctx_);
    duk_get_prop_string(ctx_, -1, kPinStash);
    duk_dup(ctx_, idx);
    duk_put_prop_index(ctx_, -2, static_cast<duk_uarridx_t>(key));
    duk_pop_2(ctx_);
    return key;
}

void Runtime::PushPinned(int key) {
    duk_push_heap_stash(ctx_);
    duk_get_prop_string(ctx_, -1, kPinStash);
    duk_get_prop_index(ctx_, -1, static_cast<duk_uarridx_t>(key));
    duk_remove(ctx_, -2);
    duk_remove(ctx_, -2);
}

void Runtime::Unpin(int key) {
    if (!ctx_) {
        return;
    }
    duk_push_heap_stash(ctx_);
    duk_get_prop_string(ctx_, -1, kPinStash);
    duk_del_prop_index(ctx_, -1, static_cast<duk_uarridx_t>(key));
    duk_pop_2(ctx_);
}

void PushText(duk_context* ctx, std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t unit : text) {
        AppendCesu8(bytes, unit);
    }
    duk_push_lstring(ctx, bytes.data(), bytes.size());
}

std::u16string DecodeDukString(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        if (extra > 0 && i + extra >= bytes.size()) {
            out += u'\uFFFD';
            break;
        }
        char32_t code = extra == 0   ? lead
                        : extra == 1 ? (lead & 0x1F)
                        : extra == 2 ? (lead & 0x0F)
                                     : (lead & 0x07);
        for (int k = 1; k <= extra; ++k) {
            code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (code >> 10));
            out += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::u16string TextAt(duk_context* ctx, duk_idx_t idx) {
    duk_dup(ctx, idx);
    duk_size_t length = 0;
    // A toString that throws gives its error's text instead: the host's C++ frames see no script error.
    const char* bytes = duk_safe_to_lstring(ctx, -1, &length);
    std::u16string text = DecodeDukString(std::string_view(bytes, length));
    duk_pop(ctx);
    return text;
}

} // namespace vr::script
