// CCsvFile: the dispatch table, construction and release, the cells and the properties.
#include "CsvFile.h"

#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

namespace utils {

namespace {

constexpr DISPID DISPID_CSV_INIT = 0x60020000;
constexpr DISPID DISPID_CSV_CLEAR = 0x60020001;
constexpr DISPID DISPID_CSV_COLUMNS = 0x60020004;
constexpr DISPID DISPID_CSV_ROWS = 0x60020006;
constexpr DISPID DISPID_CSV_SAVEFILE = 0x60020008;
constexpr DISPID DISPID_CSV_READFILE = 0x60020009;
constexpr DISPID DISPID_CSV_FILE = 0x6002000a;
constexpr DISPID DISPID_CSV_CLOSE = 0x6002000c;

LONG ClampToLong(size_t count) {
    return count > static_cast<size_t>(std::numeric_limits<LONG>::max()) ? std::numeric_limits<LONG>::max()
                                                                         : static_cast<LONG>(count);
}

bool IsVariantArray(const VARIANT& value) {
    return value.vt == (VT_ARRAY | VT_VARIANT) && value.parray && SafeArrayGetDim(value.parray) == 1;
}

} // namespace

const vr::DispatchTable<CCsvFile>& CCsvFile::GetDispatchTable() {
    using D = vr::DispatchTable<CCsvFile>;
    static const D table(
        u"IVrCsvFile",
        {
            D::Method<&CCsvFile::Init>(DISPID_CSV_INIT, u"Init", {vr::Param(u"sOptions").Optional()}),
            D::Method<&CCsvFile::Clear>(DISPID_CSV_CLEAR, u"Clear"),
            D::PropGet<&CCsvFile::get_cell>(DISPID_VALUE, u"cell", {u"nColumn", u"nRow", u"pVal"}),
            D::PropPut<&CCsvFile::put_cell>(DISPID_VALUE, u"cell", {u"nColumn", u"nRow", u"value"}),
            D::PropGet<&CCsvFile::get_columns>(DISPID_CSV_COLUMNS, u"columns", {u"pVal"}),
            D::PropPut<&CCsvFile::put_columns>(DISPID_CSV_COLUMNS, u"columns", {u"newVal"}),
            D::PropGet<&CCsvFile::get_rows>(DISPID_CSV_ROWS, u"rows", {u"pVal"}),
            D::PropPut<&CCsvFile::put_rows>(DISPID_CSV_ROWS, u"rows", {u"newVal"}),
            D::Method<&CCsvFile::SaveFile>(DISPID_CSV_SAVEFILE, u"SaveFile",
                                           {vr::Param(u"sFilePath").Optional()}),
            D::Method<&CCsvFile::ReadFile>(DISPID_CSV_READFILE, u"ReadFile",
                                           {vr::Param(u"sFilePath").Optional()}),
            D::PropGet<&CCsvFile::get_file>(DISPID_CSV_FILE, u"file", {u"pVal"}),
            D::PropPut<&CCsvFile::put_file>(DISPID_CSV_FILE, u"file", {u"newVal"}),
            D::Method<&CCsvFile::Close>(DISPID_CSV_CLOSE, u"Close"),
        });
    return table;
}

HRESULT CCsvFile::FinalConstruct() {
    SetTraceMethodName(u"CCsvFile::FinalConstruct()");
    TraceFunction(u"CCsvFile::FinalConstruct()", 1);
    SetDefaults();
    return S_OK;
}

void CCsvFile::FinalRelease() {
    SetTraceMethodName(u"CCsvFile::FinalRelease()");
    TraceFunction(u"CCsvFile::FinalConstruct()", -1);
}

void CCsvFile::SetDefaults() {
    modified_ = false;
    placement_ = Placement::Column;
    timeStamp_ = false;
}

HRESULT CCsvFile::Clear() {
    SetTraceMethodName(u"CCsvFile::Clear()");
    grid_.Clear();
    modified_ = false;
    return S_OK;
}

HRESULT CCsvFile::CellAt(LONG column, LONG row, std::u16string** cell) {
    if (column < 0 || row < 0) {
        SetTraceSite();
        TraceError(u"CsvFile: Wrong cell (%d, %d): columns and rows count from 0.", column, row);
        return E_INVALIDARG;
    }
    try {
        *cell = &grid_.Cell(static_cast<size_t>(column), static_cast<size_t>(row));
        return S_OK;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    SetTraceSite();
    TraceHResultError(E_OUTOFMEMORY, u"CsvFile: The grid cannot grow to reach cell (%d, %d).", column, row);
    return E_OUTOFMEMORY;
}

HRESULT CCsvFile::get_cell(LONG nColumn, LONG nRow, VARIANT* pVal) {
    SetTraceMethodName(u"CCsvFile::get_cell()");
    if (!pVal) {
        return E_POINTER;
    }
    std::u16string* cell = nullptr;
    if (HRESULT hr = CellAt(nColumn, nRow, &cell); FAILED(hr)) {
        return WithErrorInfo(hr);
    }
    // An empty cell is the null BSTR.
    BSTR text = cell->empty() ? nullptr : vr::AllocBstr(*cell);
    if (!cell->empty() && !text) {
        return WithErrorInfo(TraceInternalError());
    }
    VariantInit(pVal);
    pVal->vt = VT_BSTR;
    pVal->bstrVal = text;
    return S_OK;
}

HRESULT CCsvFile::put_cell(LONG nColumn, LONG nRow, VARIANT value) {
    SetTraceMethodName(u"CCsvFile::put_cell()");
    return WithErrorInfo(PutValue(nColumn, nRow, value));
}

HRESULT CCsvFile::PutValue(LONG column, LONG row, const VARIANT& value) {
    const VARIANT plain = UnwrapVariantRef(value);
    if (IsVariantArray(plain)) {
        return PutArray(column, row, plain.parray);
    }
    return StoreText(column, row, plain);
}

HRESULT CCsvFile::PutArray(LONG column, LONG row, SAFEARRAY* array) {
    SAFEARRAY* copy = nullptr;
    if (HRESULT hr = SafeArrayCopy(array, &copy); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Vornic Error: A%d (%hs)", __LINE__, SourceFileName(__FILE__));
        return hr;
    }
    LONG lower = 0;
    LONG upper = -1;
    HRESULT hr = SafeArrayGetLBound(copy, 1, &lower);
    if (SUCCEEDED(hr)) {
        hr = SafeArrayGetUBound(copy, 1, &upper);
    }
    if (FAILED(hr)) {
        hr = TraceInternalError();
    }
    // Positions are counted in 64 bits: an array that starts near the last row must not wrap around.
    int64_t at[2] = {column, row};
    const int along = placement_ == Placement::Column ? 1 : 0;
    for (int64_t index = lower; SUCCEEDED(hr) && index <= upper; ++index, ++at[along]) {
        if (at[along] > std::numeric_limits<LONG>::max()) {
            SetTraceSite();
            TraceError(u"CsvFile: The array put at cell (%d, %d) reaches past the last row or column.",
                       column, row);
            hr = E_INVALIDARG;
            break;
        }
        const LONG position = static_cast<LONG>(index);
        VARIANT element;
        VariantInit(&element);
        hr = SafeArrayGetElement(copy, &position, &element);
        if (FAILED(hr)) {
            hr = TraceInternalError();
            break;
        }
        hr = StoreText(static_cast<LONG>(at[0]), static_cast<LONG>(at[1]), element);
        (void)VariantClear(&element);
    }
    (void)SafeArrayDestroy(copy);
    return hr;
}

// Cells written stay written, also when a later element of an array fails: the grid has changed then.
HRESULT CCsvFile::StoreText(LONG column, LONG row, const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Vornic Error: A%d (%hs)", __LINE__, SourceFileName(__FILE__));
        return hr;
    }
    std::u16string* cell = nullptr;
    HRESULT hr = CellAt(column, row, &cell);
    if (SUCCEEDED(hr)) {
        cell->assign(vr::BstrView(text.bstrVal));
        modified_ = true;
    }
    (void)VariantClear(&text);
    return hr;
}

HRESULT CCsvFile::get_columns(LONG* pVal) {
    SetTraceMethodName(u"CCsvFile::get_columns()");
    if (!pVal) {
        return E_POINTER;
    }
    *pVal = ClampToLong(grid_.Columns());
    return S_OK;
}

HRESULT CCsvFile::put_columns(LONG) {
    SetTraceMethodName(u"CCsvFile::put_columns()");
    (void)TraceInternalError();
    return WithErrorInfo(E_NOTIMPL);
}

HRESULT CCsvFile::get_rows(LONG* pVal) {
    SetTraceMethodName(u"CCsvFile::get_rows()");
    if (!pVal) {
        return E_POINTER;
    }
    *pVal = ClampToLong(grid_.Rows());
    return S_OK;
}

HRESULT CCsvFile::put_rows(LONG) {
    SetTraceMethodName(u"CCsvFile::put_rows()");
    (void)TraceInternalError();
    return WithErrorInfo(E_NOTIMPL);
}

HRESULT CCsvFile::get_file(BSTR* pVal) {
    SetTraceMethodName(u"CCsvFile::get_file()");
    if (!pVal) {
        return E_POINTER;
    }
    *pVal = fileName_.empty() ? nullptr : vr::AllocBstr(fileName_);
    if (!fileName_.empty() && !*pVal) {
        return WithErrorInfo(TraceInternalError());
    }
    return S_OK;
}

HRESULT CCsvFile::put_file(BSTR newVal) {
    SetTraceMethodName(u"CCsvFile::put_file()");
    fileName_ = vr::BstrView(newVal);
    return S_OK;
}

} // namespace utils
