// VARIANT and SAFEARRAY: the automation value types and the functions that copy, convert and compare them.
// them.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;
struct tagVARIANT;
using VARIANT = tagVARIANT;
using VARIANTARG = tagVARIANT;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VERSIONED_STREAM = 73,
    VT_BSTR_BLOB = 0x0FFF,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xFFFF,
    VT_ILLEGALMASKED = 0x0FFF,
    VT_TYPEMASK = 0x0FFF,
};

// A fixed-point number of 96 bits with a scale; held by reference only (VT_DECIMAL | VT_BYREF).
struct DECIMAL {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
};

// The automation value: a type tag and a union of the values and references the components use.
struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
    };
};

// Accessors in the usual spelling, for code that reads better with them.
#define V_VT(v) ((v)->vt)
#define V_BSTR(v) ((v)->bstrVal)
#define V_I4(v) ((v)->lVal)
#define V_R8(v) ((v)->dblVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_ARRAY(v) ((v)->parray)
#define V_ERROR(v) ((v)->scode)
#define V_VARIANTREF(v) ((v)->pvarVal)
#define V_I1(v) ((v)->cVal)
#define V_I2(v) ((v)->iVal)
#define V_I8(v) ((v)->llVal)
#define V_UI1(v) ((v)->bVal)
#define V_UI2(v) ((v)->uiVal)
#define V_UI4(v) ((v)->ulVal)
#define V_UI8(v) ((v)->ullVal)
#define V_INT(v) ((v)->intVal)
#define V_UINT(v) ((v)->uintVal)
#define V_R4(v) ((v)->fltVal)
#define V_CY(v) ((v)->cyVal)
#define V_DATE(v) ((v)->date)
#define V_BYREF(v) ((v)->byref)
#define V_ISBYREF(v) (((v)->vt & VT_BYREF) != 0)
#define V_ISARRAY(v) (((v)->vt & VT_ARRAY) != 0)

// Flags of VariantChangeType(Ex).
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;

// Results of VarCmp.
inline constexpr HRESULT VARCMP_LT = 0;
inline constexpr HRESULT VARCMP_EQ = 1;
inline constexpr HRESULT VARCMP_GT = 2;
inline constexpr HRESULT VARCMP_NULL = 3;

// Flags of VarCmp.
inline constexpr ULONG NORM_IGNORECASE = 0x00000001;

// Thread contract: a VARIANT or SAFEARRAY belongs to one thread at a time; these functions take no locks
// (only a SAFEARRAY's lock count is atomic). Interfaces held in values are AddRef'd and Released on the
// calling thread.
//
// Ownership: a by-value VARIANT owns its BSTR, interface reference and SAFEARRAY; a by-reference one
// (VT_BYREF) owns nothing. DECIMAL is held by reference only.

// Makes v VT_EMPTY without looking at what it held.
void VariantInit(VARIANT* v);
// Frees what v owns and makes it VT_EMPTY. DISP_E_BADVARTYPE for a type a VARIANT cannot hold;
// DISP_E_ARRAYISLOCKED (v unchanged) when its array is locked.
[[nodiscard]] HRESULT VariantClear(VARIANT* v);
// Deep copy: BSTRs and arrays are duplicated, interfaces AddRef'd; by-reference values are copied as
// references. dest is cleared first (it must hold a valid VARIANT); on failure dest is unchanged.
[[nodiscard]] HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// As VariantCopy, but a by-reference src yields a deep copy of the value it refers to (through at most one
// VT_VARIANT|VT_BYREF; a reference to a VT_VARIANT|VT_BYREF is E_INVALIDARG). dest may equal src.
[[nodiscard]] HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);

// Converts with the OLE Automation rules, always in the C locale (lcid is ignored); dest may equal src; on
// failure dest and src are unchanged.
// - numbers convert to numbers with range checks (DISP_E_OVERFLOW); floating values round half to even;
//   VT_BOOL is 0 or VARIANT_TRUE (-1; all bits set in an unsigned target); VT_CY is scaled by 10000;
// - text to numbers: blanks around, a sign, decimal point and exponent ("1e3"); anything else
//   DISP_E_TYPEMISMATCH; to VT_BOOL also "True"/"False" in any case;
// - numbers to text: VT_R8 with up to 15 significant digits, VT_R4 with 7, exponent form as "1E+20";
//   VT_BOOL as "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL;
// - VT_DATE is days since 1899-12-30 (the fraction's magnitude is the time of day), valid from 0100-01-01 to
//   9999-12-31; as text "yyyy-mm-dd hh:mm:ss", written without the time at midnight and as the time alone on
//   1899-12-30; read back from those forms (also with 'T' between date and time, and "hh:mm");
// - VT_EMPTY converts to 0, "" or false; VT_NULL only to VT_NULL; VT_ERROR only to VT_I4;
// - an object converts to a value through its value property (DISPID_VALUE) unless VARIANT_NOVALUEPROP, and
// to
//   VT_DISPATCH/VT_UNKNOWN through QueryInterface;
// - an array converts only to its own type (a copy).
[[nodiscard]] HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);
[[nodiscard]] HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, USHORT flags,
                                          VARTYPE vt);

// VARCMP_LT, VARCMP_EQ, VARCMP_GT or VARCMP_NULL; a failure HRESULT when the values cannot be compared.
// Numbers compare as numbers whatever their types; strings compare by UTF-16 code unit, or without regard to
// case with NORM_IGNORECASE; VT_NULL on either side gives VARCMP_NULL; VT_EMPTY is 0 against a number and ""
// against a string; a number is less than any string. Errors, objects and arrays give DISP_E_TYPEMISMATCH.
[[nodiscard]] HRESULT VarCmp(const VARIANT* left, const VARIANT* right, LCID lcid, ULONG flags);

// ---- SAFEARRAY ----

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

inline constexpr USHORT FADF_AUTO = 0x0001;
inline constexpr USHORT FADF_STATIC = 0x0002;
inline constexpr USHORT FADF_EMBEDDED = 0x0004;
inline constexpr USHORT FADF_FIXEDSIZE = 0x0010;
inline constexpr USHORT FADF_RECORD = 0x0020;
inline constexpr USHORT FADF_HAVEIID = 0x0040;
inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_UNKNOWN = 0x0200;
inline constexpr USHORT FADF_DISPATCH = 0x0400;
inline constexpr USHORT FADF_VARIANT = 0x0800;

// An array of automation values. rgsabound holds cDims entries (declared with one for layout; allocated
// with as many as the array has). Bounds are stored from the last dimension to the first, as in OLE.
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

// Dimensions are numbered from 1, the first being the leftmost. bounds of SafeArrayCreate and indices of
// Get/Put/PtrOfIndex are given first dimension first; the first dimension varies fastest in memory.
// Element types: VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8,
// VT_CY, VT_DATE, VT_BSTR, VT_BOOL, VT_ERROR, VT_DISPATCH, VT_UNKNOWN, VT_VARIANT. New elements are zero
// (VT_EMPTY for VARIANT, null for BSTR and interfaces). Creation returns null for a bad type or bounds.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
// Frees the array and what its elements own; DISP_E_ARRAYISLOCKED while it is locked; null is S_OK.
[[nodiscard]] HRESULT SafeArrayDestroy(SAFEARRAY* array);
[[nodiscard]] HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
[[nodiscard]] HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lower);
[[nodiscard]] HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upper);
// Copies an element out: a BSTR is duplicated, an interface AddRef'd, a VARIANT deep-copied into value
// (whose old content is not looked at). DISP_E_BADINDEX for an index outside the bounds.
[[nodiscard]] HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value);
// Copies value in, freeing the element it replaces. For VT_BSTR, VT_DISPATCH and VT_UNKNOWN value is the
// BSTR or interface pointer itself; for every other type it points at the value (a VARIANT* for VT_VARIANT).
[[nodiscard]] HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, const void* value);
[[nodiscard]] HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, const LONG* indices, void** element);
// A deep copy, unlocked; a null array copies to null.
[[nodiscard]] HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
// A locked array cannot be destroyed or redimensioned (DISP_E_ARRAYISLOCKED). Unlocking an unlocked array is
// E_UNEXPECTED. The count is atomic, so threads that share an array may lock it concurrently.
[[nodiscard]] HRESULT SafeArrayLock(SAFEARRAY* array);
[[nodiscard]] HRESULT SafeArrayUnlock(SAFEARRAY* array);
// Locks the array and hands out its data (null for an array without elements); undone by UnaccessData.
[[nodiscard]] HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
[[nodiscard]] HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
// Changes the bounds of the last (rightmost) dimension; elements cut off are freed, new ones are zero.
[[nodiscard]] HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* lastDimension);

namespace vr {

// The value automation passes for an optional argument left out: VT_ERROR holding DISP_E_PARAMNOTFOUND.
inline VARIANT MissingArgument() {
    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    return missing;
}

// Whether value is that marker.
inline bool IsMissingArgument(const VARIANT& value) {
    return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

} // namespace vr
