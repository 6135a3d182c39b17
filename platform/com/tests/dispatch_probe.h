// A dual-interface test object served through a dispatch table, and a builder of IDispatch argument lists.
#pragma once

#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"

#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

struct IProbe : IDispatch {
    virtual HRESULT Subtract(LONG a, LONG b, LONG* difference) = 0;
    virtual HRESULT get_Name(BSTR* name) = 0;
    virtual HRESULT put_Name(BSTR name) = 0;
    virtual HRESULT get_Item(LONG index, VARIANT* value) = 0;
    virtual HRESULT put_Item(LONG index, const VARIANT& value) = 0;
    virtual HRESULT get_Visible(VARIANT_BOOL* visible) = 0;
    virtual HRESULT put_Visible(VARIANT_BOOL visible) = 0;
    virtual HRESULT Format(BSTR text, LONG width, VARIANT_BOOL upper, BSTR* formatted) = 0;
    virtual HRESULT Inspect(VARIANT value, LONG count, BSTR* description) = 0;
    virtual HRESULT Split(BSTR text, BSTR* head, LONG* rest, VARIANT_BOOL* found) = 0;
    virtual HRESULT Fail(LONG code, BSTR description) = 0;
    virtual HRESULT Throw() = 0;
    virtual HRESULT CountItems(SAFEARRAY* items, LONG* count) = 0;
    virtual HRESULT MakeWords(LONG count, SAFEARRAY** words) = 0;
    virtual HRESULT Pair(IProbe* other, LONG* otherSerial) = 0;
    virtual HRESULT Echo(IDispatch* object, IUnknown** same) = 0;
    virtual HRESULT Mix(CHAR c, BYTE b, USHORT us, ULONG ul, LONGLONG ll, FLOAT f, DATE when, CY money,
                        BSTR* summary) = 0;
    virtual HRESULT get_Serial(LONG* serial) = 0;
    virtual HRESULT get_Partner(IDispatch** partner) = 0;
    virtual HRESULT putref_Partner(IDispatch* partner) = 0;

protected:
    ~IProbe() = default;
};
VR_DECLARE_INTERFACE_ID(IProbe, "6F1D2C3B-4A59-4E7D-8C2B-1F0E9D8C7B6A")

namespace vrtest {

enum ProbeDispid : DISPID {
    kSubtract = 1,
    kName = 2,
    kItem = 3,
    kVisible = 4,
    kFormat = 5,
    kInspect = 6,
    kSplit = 7,
    kFail = 8,
    kThrow = 9,
    kCountItems = 10,
    kMakeWords = 11,
    kPair = 12,
    kEcho = 13,
    kMix = 14,
    kSerial = 15,
    kPartner = 16,
};

class CProbe : public vr::ObjectRoot, public vr::CoClass<CProbe>, public vr::DispatchImpl<CProbe, IProbe> {
public:
    using Interfaces = vr::InterfaceList<IProbe, IDispatch>;
    static const vr::DispatchTable<CProbe>& GetDispatchTable();

    HRESULT Subtract(LONG a, LONG b, LONG* difference) override;
    HRESULT get_Name(BSTR* name) override;
    HRESULT put_Name(BSTR name) override;
    HRESULT get_Item(LONG index, VARIANT* value) override;
    HRESULT put_Item(LONG index, const VARIANT& value) override;
    HRESULT get_Visible(VARIANT_BOOL* visible) override;
    HRESULT put_Visible(VARIANT_BOOL visible) override;
    HRESULT Format(BSTR text, LONG width, VARIANT_BOOL upper, BSTR* formatted) override;
    HRESULT Inspect(VARIANT value, LONG count, BSTR* description) override;
    HRESULT Split(BSTR text, BSTR* head, LONG* rest, VARIANT_BOOL* found) override;
    HRESULT Fail(LONG code, BSTR description) override;
    HRESULT Throw() override;
    HRESULT CountItems(SAFEARRAY* items, LONG* count) override;
    HRESULT MakeWords(LONG count, SAFEARRAY** words) override;
    HRESULT Pair(IProbe* other, LONG* otherSerial) override;
    HRESULT Echo(IDispatch* object, IUnknown** same) override;
    HRESULT Mix(CHAR c, BYTE b, USHORT us, ULONG ul, LONGLONG ll, FLOAT f, DATE when, CY money,
                BSTR* summary) override;
    HRESULT get_Serial(LONG* serial) override;
    HRESULT get_Partner(IDispatch** partner) override;
    HRESULT putref_Partner(IDispatch* partner) override;

    VARIANT_BOOL visible = VARIANT_FALSE;
    std::u16string name;
    int calls = 0;

private:
    static inline LONG nextSerial_ = 1;
    LONG serial_ = nextSerial_++;
    std::map<LONG, vr::OwnedVariant> items_;
    vr::ComPtr<IDispatch> partner_;
};

// An argument list for Invoke, written in the caller's order; owns its values.
class CallArgs {
public:
    CallArgs(std::initializer_list<VARIANT> positional = {});
    ~CallArgs();
    CallArgs(const CallArgs&) = delete;
    CallArgs& operator=(const CallArgs&) = delete;

    // A named argument (the parameter's position, or DISPID_PROPERTYPUT); named ones come before positional
    // ones in rgvarg, as callers lay them out.
    CallArgs& Named(DISPID id, VARIANT value);
    DISPPARAMS* Params();

private:
    std::vector<VARIANT> positional_; // caller's order
    std::vector<VARIANT> named_;
    std::vector<DISPID> namedIds_;
    std::vector<VARIANT> laidOut_;
    DISPPARAMS params_{};
};

// VARIANT makers; text becomes a new BSTR that CallArgs (or the test) frees.
VARIANT I4(LONG value);
VARIANT R8(double value);
VARIANT Bool(bool value);
VARIANT Text(std::u16string_view text);
VARIANT Missing();
VARIANT ByRef(VARTYPE vt, void* storage);
VARIANT Object(IDispatch* object); // AddRef'd
VARIANT Array(SAFEARRAY* array);   // adopted

// Invokes a member and keeps what came back.
struct CallOutcome {
    HRESULT hr = S_OK;
    VARIANT result;
    EXCEPINFO excep{};
    UINT argError = 0xFFFFFFFF;

    CallOutcome() { VariantInit(&result); }
    ~CallOutcome();
    CallOutcome(const CallOutcome&) = delete;
    CallOutcome& operator=(const CallOutcome&) = delete;
    std::u16string ResultText() const; // the result as a BSTR, or "" when it holds none
};

void Call(IDispatch* object, DISPID id, WORD flags, CallArgs& args, CallOutcome& outcome,
          bool wantExcep = true);

} // namespace vrtest
