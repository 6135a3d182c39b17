// The byte format of cross-process calls: frames, and the values they carry (text, VARIANTs with arrays and
// object references, error information). The reader trusts nothing: every length, count, type and nesting
// depth is checked against what the frame holds, and a malformed frame is refused with RPC_E_INVALID_DATA.
//
// Frame: u32 body length, then the body: u8 kind and the kind's fields. Numbers are little-endian.
// Threads: a Writer or Reader belongs to one thread.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vr::rpc {

// Largest frame body accepted from a peer.
inline constexpr uint32_t kMaxFrameBody = 64u << 20;
// Deepest nesting of VARIANTs (a by-reference VARIANT or an array of VARIANTs holding more).
inline constexpr int kMaxVariantDepth = 8;

// Release gives back references to an object the receiver exports; Hold adds references to one, sent before a
// message that carries the object home (see ObjectRefKind::ReceiversObject).
enum class FrameKind : uint8_t { Request = 1, Reply = 2, Release = 3, Hold = 4 };
enum class Operation : uint8_t {
    QueryInterface = 1,
    GetIDsOfNames = 2,
    Invoke = 3,
    CreateInstance = 4,
    GetPublished = 5
};

// An object reference in a message: null, an object the sender exports (a proxy for the receiver), or an
// object of the receiver's own that comes home. A reference that comes home carries one reference of its own,
// announced by a Hold frame sent ahead of the message and given back when the receiver reads it: without it,
// the sender's proxy could be released (and the receiver's export ended) before the message is read, as when
// a callee hands back the caller's object and drops its proxy at once.
enum class ObjectRefKind : uint8_t { Null = 0, SendersObject = 1, ReceiversObject = 2 };

// What turns interface pointers into references and back; provided by the channel a message travels on.
class ObjectMarshaller {
public:
    virtual ~ObjectMarshaller() = default;
    // Describes object for the peer (adding a remote reference when it is exported).
    [[nodiscard]] virtual HRESULT Export(IUnknown* object, ObjectRefKind* kind, uint64_t* id,
                                         bool* dispatch) = 0;
    // The interface pointer a reference stands for, with one reference (null for Null).
    [[nodiscard]] virtual HRESULT Import(ObjectRefKind kind, uint64_t id, bool dispatch,
                                         IUnknown** object) = 0;
    // Gives back what Export added for a reference whose message is never sent.
    virtual void Unexport(ObjectRefKind kind, uint64_t id) = 0;
};

class Writer {
public:
    // Room for the usual message from the start, so that writing one allocates once, not at every doubling.
    explicit Writer(ObjectMarshaller* marshaller = nullptr) : marshaller_(marshaller) {
        bytes_.reserve(kUsualMessage);
        bytes_.resize(4); // the length prefix
    }

    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v) { Raw(&v, 2); }
    void U32(uint32_t v) { Raw(&v, 4); }
    void U64(uint64_t v) { Raw(&v, 8); }
    void Raw(const void* data, size_t size);
    void Guid(const GUID& guid) { Raw(&guid, sizeof guid); }
    // Text with null kept apart from empty.
    void Text(const OLECHAR* text, uint32_t length);
    void Bstr(BSTR text);
    [[nodiscard]] HRESULT Variant(const VARIANT& value);
    [[nodiscard]] HRESULT Object(IUnknown* object);
    // The thread's error information (consumed), or its absence.
    void ErrorInfo();

    // The message will not be sent: the references its objects added are given back.
    void Abandon();

    // The bytes of a frame: the length prefix filled in.
    std::vector<uint8_t> Finish();
    std::vector<uint8_t>& Bytes() { return bytes_; }
    ObjectMarshaller* Marshaller() const { return marshaller_; }

private:
    HRESULT Value(VARTYPE vt, const void* data, int depth);
    HRESULT Array(SAFEARRAY* array, VARTYPE elementVt, int depth);

    static constexpr size_t kUsualMessage = 256;
    ObjectMarshaller* marshaller_;
    std::vector<uint8_t> bytes_;
    std::vector<std::pair<ObjectRefKind, uint64_t>> exported_; // what Abandon gives back
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size, ObjectMarshaller* marshaller = nullptr)
        : data_(data), size_(size), marshaller_(marshaller) {}

    [[nodiscard]] bool U8(uint8_t* v) { return Raw(v, 1); }
    [[nodiscard]] bool U16(uint16_t* v) { return Raw(v, 2); }
    [[nodiscard]] bool U32(uint32_t* v) { return Raw(v, 4); }
    [[nodiscard]] bool U64(uint64_t* v) { return Raw(v, 8); }
    [[nodiscard]] bool I32(int32_t* v) { return Raw(v, 4); }
    [[nodiscard]] bool Raw(void* out, size_t size);
    [[nodiscard]] bool Guid(GUID* guid) { return Raw(guid, sizeof *guid); }
    // A new BSTR (null for a null text); false when malformed.
    [[nodiscard]] bool Bstr(BSTR* text);
    // A VARIANT the caller owns (VariantClear); by-reference values arrive as values of their own (the
    // caller gives them storage), *sentAs telling the type as sent. RPC_E_INVALID_DATA when malformed.
    [[nodiscard]] HRESULT Variant(VARIANT* value, VARTYPE* sentAs = nullptr);
    [[nodiscard]] HRESULT Object(IUnknown** object);
    // Error information read and made the thread's (or cleared).
    [[nodiscard]] bool ErrorInfo();

    size_t Remaining() const { return size_ - offset_; }
    bool AtEnd() const { return offset_ == size_; }

private:
    HRESULT Value(VARTYPE vt, void* out, int depth);
    HRESULT Array(VARTYPE elementVt, SAFEARRAY** out, int depth);

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    ObjectMarshaller* marshaller_;
};

// Whether values of this type can cross (their by-reference and array forms follow the same rule).
bool IsCarriedType(VARTYPE vt);

// Reads one frame body as a peer's message would be read, without acting on it (the fuzz target's entry):
// S_OK for a well-formed message, RPC_E_INVALID_DATA otherwise.
HRESULT CheckMessage(const uint8_t* body, size_t size);

} // namespace vr::rpc
