// The CSV file server's public contract: the class that collects text cells in a grid and stores them as a
// comma-separated file, its dual interface and their identifiers. Other deliverables include only this
// header.
#pragma once

#include "platform/com/dispatch.h"

// A grid of text cells, saved to and read from a comma-separated file (dual; DISPIDs in brackets).
// Cells are addressed (column, row), both counted from 0; reading or writing a cell beyond the grid enlarges
// it. Apartment-threaded: one caller at a time.
struct IVrCsvFile : IDispatch {
    // [0x60020000] Empties the grid and sets the defaults (no file, no time stamp, arrays down a column),
    // then reads the option string, if one is given: "File=<path>", "FileMask=<path>" (a path that gets a
    // time stamp), "AddTimeStamp", "ArrayPlacement=Row|Column".
    [[nodiscard]] virtual HRESULT Init(VARIANT sOptions) = 0;
    // [0x60020001] Removes every row; nothing is left to save.
    [[nodiscard]] virtual HRESULT Clear() = 0;
    // [0] (default) A cell's text as VT_BSTR (null for an empty cell).
    [[nodiscard]] virtual HRESULT get_cell(LONG nColumn, LONG nRow, VARIANT* pVal) = 0;
    // [0] Stores a value as text; a one-dimensional VARIANT array fills successive cells from (nColumn, nRow)
    // along a row or down a column, as the array placement says.
    [[nodiscard]] virtual HRESULT put_cell(LONG nColumn, LONG nRow, VARIANT value) = 0;
    // [0x60020004] The length of the longest row; cannot be set (E_NOTIMPL).
    [[nodiscard]] virtual HRESULT get_columns(LONG* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_columns(LONG newVal) = 0;
    // [0x60020006] The number of rows; cannot be set (E_NOTIMPL).
    [[nodiscard]] virtual HRESULT get_rows(LONG* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_rows(LONG newVal) = 0;
    // [0x60020008] Writes the grid to the path given, or else to the `file` path (with the time stamp when
    // one is asked for); ".csv" is appended to a path that has none.
    [[nodiscard]] virtual HRESULT SaveFile(VARIANT sFilePath) = 0;
    // [0x60020009] Replaces the grid by the cells of a file, found as SaveFile finds it. A read that fails
    // leaves the grid as it was.
    [[nodiscard]] virtual HRESULT ReadFile(VARIANT sFilePath) = 0;
    // [0x6002000a] The default path of SaveFile and ReadFile.
    [[nodiscard]] virtual HRESULT get_file(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_file(BSTR newVal) = 0;
    // [0x6002000c] Saves the grid to the `file` path when it changed since it was last saved, read or
    // cleared; a failed save is returned with its error information.
    [[nodiscard]] virtual HRESULT Close() = 0;

protected:
    ~IVrCsvFile() = default;
};
VR_DECLARE_INTERFACE_ID(IVrCsvFile, "2CE41CE1-825A-4A59-BB36-8B632BE3926B")

inline constexpr CLSID CLSID_CsvFile = vr::MakeGuid("7D247D1A-2919-4E2F-82B2-ED109F47798E");

inline constexpr const char16_t* kCsvFileProgId = u"Vornic.CsvFile.1";
inline constexpr const char16_t* kCsvFileIndependentProgId = u"Vornic.CsvFile";
