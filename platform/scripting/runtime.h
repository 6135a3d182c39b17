// One script heap of the JScript engine: the Duktape context, the texts it ran, member numbers, interruption.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/scripting/activscp.h"
#include "platform/scripting/duktape/duk_config.h"

#include <duktape.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace vr::script {

// One script error as the engine reports it.
struct ScriptErrorInfo {
    HRESULT scode = E_FAIL;
    std::u16string description;
    std::u16string source; // the failing object's, else the kind of the error ("JScript runtime error")
    std::u16string helpFile;
    DWORD helpContext = 0;
    int chunk = -1;
    ULONG line = 0;          // counted from the chunk's starting line; 0 when not known
    LONG column = 0;         // 1-based; 0 when not known
    std::u16string lineText; // the source line, without its line break
    DWORD_PTR sourceContext = 0;
};

// What the heap asks of the engine that owns it while code runs.
class RuntimeOwner {
public:
    // The object of a named item, resolved through the site (with a reference in *item).
    [[nodiscard]] virtual HRESULT ResolveNamedItem(const std::u16string& name, IDispatch** item) = 0;
    // An error that left the outermost script call: handed to the site.
    virtual void ReportScriptError(const ScriptErrorInfo& error) = 0;
    // The outermost script call starts / ends.
    virtual void EnterScript() = 0;
    virtual void LeaveScript() = 0;

protected:
    ~RuntimeOwner() = default;
};

// A text given to ParseScriptText, kept to cut out the source line of an error.
struct ScriptChunk {
    std::u16string text;
    ULONG startingLine = 1;
    DWORD_PTR sourceContext = 0;
    bool operator==(const ScriptChunk&) const = default;
};

// Where the last thrown value came from, as the throw hook saw it.
struct ThrowSite {
    int chunk = -1;
    ULONG line = 0; // 1-based within its chunk, 0 when not known
};

// Thread contract: everything runs on the engine's thread, except the interrupt flag, which is atomic. The
// heap lives until the engine closes; the Runtime object as long as any script object handed out holds it.
class Runtime : public std::enable_shared_from_this<Runtime> {
public:
    // interrupt is the owner's flag, raised from any thread to stop running code.
    [[nodiscard]] static std::shared_ptr<Runtime> Create(RuntimeOwner* owner,
                                                         std::shared_ptr<std::atomic<bool>> interrupt);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Null once the heap is shut down.
    duk_context* Context() const { return ctx_; }
    bool Alive() const { return ctx_ != nullptr; }
    // Destroys the heap now (the engine closes): every host object it holds is released, which breaks the
    // cycles of hosts that keep script objects; script objects still held outside are disconnected.
    void Shutdown();
    static Runtime& Of(duk_context* ctx);

    // The engine detaches itself when it closes; named items then resolve no more.
    void Detach() { owner_ = nullptr; }
    RuntimeOwner* Owner() const { return owner_; }

    // The texts the heap ran, by number, for the source lines of errors. A text parsed again (a panel's
    // refresh script on every refresh) keeps the number it has; a text that can leave no function behind
    // (it holds no "function") is forgotten once no parse of it runs any more, so the texts kept are the
    // distinct ones that define functions, whatever the number of parses. AddChunk counts one parse of the
    // text, ReleaseChunk ends it (ChunkHold does both).
    int AddChunk(ScriptChunk chunk);
    void ReleaseChunk(int index);
    // Null for a number the heap does not hold (any more).
    const ScriptChunk* Chunk(int index) const;
    static std::string ChunkFileName(int index);
    static int ChunkIndexOf(std::string_view fileName);

    void ClearInterrupt() { interrupt_->store(false, std::memory_order_release); }
    bool InterruptRequested() const { return interrupt_->load(std::memory_order_acquire); }

    ThrowSite& LastThrow() { return lastThrow_; }

    // Member numbers handed out for script objects: one number per name for the whole heap.
    DISPID DispidOf(const std::u16string& name);
    const std::u16string* NameOf(DISPID id) const;

    // Keeps the value at idx alive in the heap's stash under a new key; Unpin lets it go.
    int Pin(duk_idx_t idx);
    void PushPinned(int key);
    void Unpin(int key);

    // The nesting of calls into script code on this heap (0 when none runs).
    int& EntryDepth() { return entryDepth_; }

private:
    Runtime(RuntimeOwner* owner, std::shared_ptr<std::atomic<bool>> interrupt)
        : owner_(owner), interrupt_(std::move(interrupt)) {}
    void InstallBuiltins();

    duk_context* ctx_ = nullptr;
    RuntimeOwner* owner_ = nullptr;
    std::shared_ptr<std::atomic<bool>> interrupt_;
    struct HeldChunk {
        ScriptChunk chunk;
        int parses = 0;         // parses of the text still running
        bool transient = false; // no function can come from it
    };
    std::map<int, HeldChunk> chunks_;                   // by number
    std::unordered_multimap<size_t, int> chunksByText_; // the text's hash -> number
    int nextChunk_ = 0;
    ThrowSite lastThrow_;
    std::map<std::u16string, DISPID> dispids_;
    std::vector<std::u16string> names_;
    int nextPin_ = 1;
    int entryDepth_ = 0;
};

// One parse of a text: the chunk counted for as long as it runs (Runtime::AddChunk and ReleaseChunk).
class ChunkHold {
public:
    ChunkHold(std::shared_ptr<Runtime> runtime, ScriptChunk chunk)
        : runtime_(std::move(runtime)), index_(runtime_->AddChunk(std::move(chunk))) {}
    ~ChunkHold() { runtime_->ReleaseChunk(index_); }
    ChunkHold(const ChunkHold&) = delete;
    ChunkHold& operator=(const ChunkHold&) = delete;
    int Index() const { return index_; }

private:
    std::shared_ptr<Runtime> runtime_;
    int index_;
};

// ---- Text between UTF-16 and Duktape's strings (CESU-8, non-BMP code points possibly as 4 bytes) ----
void PushText(duk_context* ctx, std::u16string_view text);
std::u16string TextAt(duk_context* ctx, duk_idx_t idx); // the value as a string (ToString)
std::u16string DecodeDukString(std::string_view bytes);

// ---- Values between VARIANT and script ----
// Pushes the script value of v (objects as host proxies, arrays as SAFEARRAY holders for VBArray).
void PushVariant(duk_context* ctx, const VARIANT& v);
// The VARIANT of the script value at idx (script objects as IDispatch); out must be empty.
[[nodiscard]] HRESULT ValueToVariant(duk_context* ctx, duk_idx_t idx, VARIANT* out);

// ---- Host objects ----
void PushHostObject(duk_context* ctx, IDispatch* object);
// The IDispatch behind a host proxy at idx, or null (no reference added).
IDispatch* HostObjectAt(duk_context* ctx, duk_idx_t idx);
// The SAFEARRAY held by an array value at idx, or null.
SAFEARRAY* SafeArrayAt(duk_context* ctx, duk_idx_t idx);
void PushSafeArray(duk_context* ctx, const SAFEARRAY* array);

// A script object as IDispatch.
[[nodiscard]] HRESULT WrapScriptObject(Runtime& runtime, duk_idx_t idx, IDispatch** out);
// When object is a script object of this heap, pushes it and answers true.
bool PushScriptObjectOf(Runtime& runtime, IDispatch* object);

// Throws a script Error carrying hr as its `number` and description as its message, at the caller's line. An
// empty description is replaced by hr's text unless keepEmpty (the host already said what went wrong).
[[noreturn]] void ThrowHResult(duk_context* ctx, HRESULT hr, std::u16string_view description,
                               bool keepEmpty = false);
// Throws the error of a member that a host object does not have ("Object doesn't support this property or
// method"), for a read, a write or a call alike.
[[noreturn]] void ThrowUnknownMember(duk_context* ctx);
// Invokes and turns a failure into a script error (EXCEPINFO's description and scode when given).
void InvokeOrThrow(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result);
// Turns a failed Invoke into a script error: its description and the code inside excep, and the object's own
// source, help file and help context, which the error keeps until it is reported; excep is cleared.
[[noreturn]] void ThrowInvokeFailure(duk_context* ctx, HRESULT hr, EXCEPINFO& excep);
// When the value at idx is a host object's member function (obj.Member read as a value), its object (no
// reference added) and DISPID.
bool HostMemberOf(duk_context* ctx, duk_idx_t idx, IDispatch** object, DISPID* id);
// The member name of the host object at hostIdx (its DISPID learnt once per object); false when the value is
// no host object or the object has no such member.
bool HostMemberByName(duk_context* ctx, duk_idx_t hostIdx, const std::u16string& name, IDispatch** object,
                      DISPID* id);
// How a member is called with arguments: read (a method call or a property read with arguments) or put (the
// last argument is the value, passed as the named DISPID_PROPERTYPUT argument).
enum class MemberCall { Read, Put };
// Invokes the member with the count script values from first as its arguments; pushes the result (undefined
// for a put). A failure is thrown as a script error.
void CallHostMember(duk_context* ctx, IDispatch* object, DISPID id, MemberCall kind, duk_idx_t first,
                    duk_idx_t count);
// Defines the helper that assignments to member calls compile to ("obj.m(a) = v"; member_call.cpp).
void InstallMemberCallHelper(duk_context* ctx);
// Defines the helper that "typeof obj.m" compiles to: a member the host object lacks is "undefined" there,
// though reading it fails.
void InstallTypeOfMemberHelper(duk_context* ctx);

// Gives the Error at errorIdx the source, help file and help context of excep (those it has), which the
// report of the error then names instead of the engine's own kind of error.
void KeepExceptionOrigin(duk_context* ctx, duk_idx_t errorIdx, const EXCEPINFO& excep);
// The error at idx (a thrown value) as the engine reports it; compileChunk names the text being compiled when
// the error is a syntax error of that text, else -1.
ScriptErrorInfo DescribeScriptError(Runtime& runtime, duk_idx_t idx, int compileChunk);
// Fills excep from an error (description, source, help file and context, scode).
void FillExcepInfo(const ScriptErrorInfo& error, EXCEPINFO* excep);

// Counts one call into script code; the outermost one tells the owner and, when it ends, reports its error
// and consumes an interrupt request.
class ScriptEntry {
public:
    explicit ScriptEntry(Runtime& runtime);
    ~ScriptEntry();
    ScriptEntry(const ScriptEntry&) = delete;
    ScriptEntry& operator=(const ScriptEntry&) = delete;
    bool Outermost() const { return outermost_; }

private:
    Runtime& runtime_;
    bool outermost_;
};

// Installs ActiveXObject, Enumerator, VBArray and the member-call helper into the global object.
void InstallHostBuiltins(duk_context* ctx);

} // namespace vr::script
