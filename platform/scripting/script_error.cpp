// Script errors: status code, description, kind and source position of a thrown value; counting script
// entries.
#include "platform/com/bstr.h"
#include "platform/scripting/runtime.h"

#include <algorithm>

namespace vr::script {
namespace {

constexpr std::u16string_view kRuntimeErrorSource = u"JScript runtime error";
constexpr std::u16string_view kCompileErrorSource = u"JScript compilation error";

// On an Error raised for a failed host call: where the failure came from, as the object said it.
constexpr const char* kOriginSourceKey = DUK_HIDDEN_SYMBOL("vrSource");
constexpr const char* kOriginHelpFileKey = DUK_HIDDEN_SYMBOL("vrHelpFile");
constexpr const char* kOriginHelpContextKey = DUK_HIDDEN_SYMBOL("vrHelpContext");

std::u16string StringProperty(duk_context* ctx, duk_idx_t idx, const char* key) {
    duk_get_prop_string(ctx, idx, key);
    std::u16string text = duk_is_string(ctx, -1) ? TextAt(ctx, -1) : std::u16string();
    duk_pop(ctx);
    return text;
}

// The `number` an error carries when it is a status code (negative as a 32-bit value).
bool StatusProperty(duk_context* ctx, duk_idx_t idx, HRESULT* scode) {
    duk_get_prop_string(ctx, idx, "number");
    bool found = false;
    if (duk_is_number(ctx, -1)) {
        double number = duk_get_number(ctx, -1);
        if (number >= -2147483648.0 && number < 4294967296.0) {
            auto code = static_cast<HRESULT>(static_cast<uint32_t>(static_cast<int64_t>(number)));
            found = code < 0;
            *scode = code;
        }
    }
    duk_pop(ctx);
    return found;
}

HRESULT StatusOfErrorKind(const std::u16string& name) {
    if (name == u"SyntaxError") {
        return JSERR_SYNTAX;
    }
    if (name == u"ReferenceError") {
        return JSERR_UNDEFINED;
    }
    if (name == u"TypeError") {
        return JSERR_OBJECT_EXPECTED;
    }
    if (name == u"RangeError") {
        return JSERR_RANGE;
    }
    return JSERR_UNCAUGHT_EXCEPTION;
}

// Line `line` (1-based) of text, without its line break.
std::u16string LineOf(std::u16string_view text, ULONG line) {
    size_t start = 0;
    for (ULONG current = 1; current < line; ++current) {
        size_t next = text.find(u'\n', start);
        if (next == std::u16string_view::npos) {
            return {};
        }
        start = next + 1;
    }
    size_t end = text.find(u'\n', start);
    std::u16string_view found =
        text.substr(start, end == std::u16string_view::npos ? text.size() - start : end - start);
    if (!found.empty() && found.back() == u'\r') {
        found.remove_suffix(1);
    }
    return std::u16string(found);
}

ULONG LineCount(std::u16string_view text) {
    return static_cast<ULONG>(std::count(text.begin(), text.end(), u'\n')) + 1;
}

void PlaceError(Runtime& runtime, int chunkIndex, ULONG chunkLine, ScriptErrorInfo* error) {
    const ScriptChunk* chunk = runtime.Chunk(chunkIndex);
    if (!chunk || chunkLine == 0) {
        return;
    }
    chunkLine = std::min(chunkLine, LineCount(chunk->text)); // a syntax error found at the end of the text
    error->chunk = chunkIndex;
    error->sourceContext = chunk->sourceContext;
    error->line = chunk->startingLine + chunkLine - 1;
    error->lineText = LineOf(chunk->text, chunkLine);
    size_t code = error->lineText.find_first_not_of(u" \t");
    error->column = static_cast<LONG>(code == std::u16string::npos ? 1 : code + 1);
}

// An Error's own position, when it names one of our texts.
bool OwnPosition(duk_context* ctx, duk_idx_t idx, int* chunk, ULONG* line) {
    duk_get_prop_string(ctx, idx, "lineNumber");
    *line = static_cast<ULONG>(duk_get_uint_default(ctx, -1, 0));
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, "fileName");
    *chunk = duk_is_string(ctx, -1) ? Runtime::ChunkIndexOf(duk_get_string(ctx, -1)) : -1;
    duk_pop(ctx);
    return *line > 0 && *chunk >= 0;
}

// The failing object's source, help file and help context, when the error carries them.
void TakeExceptionOrigin(duk_context* ctx, duk_idx_t idx, ScriptErrorInfo* error) {
    if (duk_get_prop_string(ctx, idx, kOriginSourceKey) && duk_is_string(ctx, -1)) {
        error->source = TextAt(ctx, -1);
    }
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, idx, kOriginHelpFileKey) && duk_is_string(ctx, -1)) {
        error->helpFile = TextAt(ctx, -1);
    }
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, kOriginHelpContextKey);
    error->helpContext = static_cast<DWORD>(duk_get_uint_default(ctx, -1, 0));
    duk_pop(ctx);
}

} // namespace

void KeepExceptionOrigin(duk_context* ctx, duk_idx_t errorIdx, const EXCEPINFO& excep) {
    errorIdx = duk_normalize_index(ctx, errorIdx);
    if (SysStringLen(excep.bstrSource) > 0) {
        PushText(ctx, BstrView(excep.bstrSource));
        duk_put_prop_string(ctx, errorIdx, kOriginSourceKey);
    }
    if (SysStringLen(excep.bstrHelpFile) > 0) {
        PushText(ctx, BstrView(excep.bstrHelpFile));
        duk_put_prop_string(ctx, errorIdx, kOriginHelpFileKey);
    }
    if (excep.dwHelpContext != 0) {
        duk_push_uint(ctx, excep.dwHelpContext);
        duk_put_prop_string(ctx, errorIdx, kOriginHelpContextKey);
    }
}

ScriptErrorInfo DescribeScriptError(Runtime& runtime, duk_idx_t idx, int compileChunk) {
    duk_context* ctx = runtime.Context();
    idx = duk_normalize_index(ctx, idx);
    ScriptErrorInfo error;
    error.source = std::u16string(kRuntimeErrorSource);
    bool isError = duk_is_error(ctx, idx);
    std::u16string kind = isError ? StringProperty(ctx, idx, "name") : std::u16string();
    if (runtime.InterruptRequested()) {
        error.scode = JSERR_INTERRUPTED;
        error.description = u"The script was interrupted.";
    } else if (duk_is_object(ctx, idx)) {
        if (!StatusProperty(ctx, idx, &error.scode)) {
            error.scode = isError ? StatusOfErrorKind(kind) : JSERR_UNCAUGHT_EXCEPTION;
        }
        TakeExceptionOrigin(ctx, idx, &error);
        error.description = StringProperty(ctx, idx, "description");
        if (error.description.empty()) {
            error.description = StringProperty(ctx, idx, "message");
        }
        if (error.description.empty() && !isError) {
            error.description = TextAt(ctx, idx);
        }
    } else {
        error.scode = JSERR_UNCAUGHT_EXCEPTION; // throw "x": the thrown value is the description
        error.description = TextAt(ctx, idx);
    }
    int chunk = -1;
    ULONG line = 0;
    if (compileChunk >= 0 && kind == u"SyntaxError") {
        error.source = std::u16string(kCompileErrorSource);
        chunk = compileChunk;
        duk_get_prop_string(ctx, idx, "lineNumber");
        line = static_cast<ULONG>(duk_get_uint_default(ctx, -1, 1));
        duk_pop(ctx);
    } else if (runtime.LastThrow().chunk >= 0) {
        chunk = runtime.LastThrow().chunk;
        line = runtime.LastThrow().line;
    } else if (isError) {
        OwnPosition(ctx, idx, &chunk, &line);
    }
    PlaceError(runtime, chunk, line, &error);
    return error;
}

void FillExcepInfo(const ScriptErrorInfo& error, EXCEPINFO* excep) {
    *excep = EXCEPINFO{};
    excep->bstrSource = AllocBstr(error.source);
    excep->bstrDescription = AllocBstr(error.description);
    excep->bstrHelpFile = error.helpFile.empty() ? nullptr : AllocBstr(error.helpFile);
    excep->dwHelpContext = error.helpContext;
    excep->scode = error.scode;
}

ScriptEntry::ScriptEntry(Runtime& runtime) : runtime_(runtime), outermost_(++runtime.EntryDepth() == 1) {
    if (outermost_) {
        runtime_.LastThrow() = ThrowSite{};
        if (runtime_.Owner()) {
            runtime_.Owner()->EnterScript();
        }
    }
}

ScriptEntry::~ScriptEntry() {
    --runtime_.EntryDepth();
    if (outermost_) {
        runtime_.ClearInterrupt(); // an interrupt ends the run it reached, or the next one
        if (runtime_.Owner()) {
            runtime_.Owner()->LeaveScript();
        }
    }
}

} // namespace vr::script
