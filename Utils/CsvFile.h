// CCsvFile: the CSV file object a test script fills with values and stores as a comma-separated file.
#pragma once

#include "CsvFileCpp.h"
#include "common/trace/Trace.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "utils.h"

#include <string>

namespace utils {

// The end of a public method: a failure gets rich error information from the last error text, with the
// class's ProgID as its source.
[[nodiscard]] inline HRESULT WithErrorInfo(HRESULT hr) {
    return FailWithErrorInfo(CLSID_CsvFile, hr);
}

// Threads: apartment-threaded; one caller at a time, nothing is locked.
class CCsvFile : public vr::ObjectRoot,
                 public vr::CoClass<CCsvFile>,
                 public vr::DispatchImpl<CCsvFile, IVrCsvFile>,
                 public vr::SupportErrorInfoImpl<IVrCsvFile> {
public:
    using Interfaces = vr::InterfaceList<IVrCsvFile, IDispatch, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CCsvFile>& GetDispatchTable();

    HRESULT FinalConstruct();
    void FinalRelease();

    HRESULT Init(VARIANT sOptions) override;
    HRESULT Clear() override;
    HRESULT get_cell(LONG nColumn, LONG nRow, VARIANT* pVal) override;
    HRESULT put_cell(LONG nColumn, LONG nRow, VARIANT value) override;
    HRESULT get_columns(LONG* pVal) override;
    HRESULT put_columns(LONG newVal) override;
    HRESULT get_rows(LONG* pVal) override;
    HRESULT put_rows(LONG newVal) override;
    HRESULT SaveFile(VARIANT sFilePath) override;
    HRESULT ReadFile(VARIANT sFilePath) override;
    HRESULT get_file(BSTR* pVal) override;
    HRESULT put_file(BSTR newVal) override;
    HRESULT Close() override;

private:
    // Where the elements of an array put into a cell go.
    enum class Placement : LONG { Row = 0, Column = 1 };

    // The work of the methods; each returns a failure after tracing it, and the method adds the rich error
    // information.
    HRESULT ApplyOptions(BSTR options);
    HRESULT PutValue(LONG column, LONG row, const VARIANT& value);
    HRESULT PutArray(LONG column, LONG row, SAFEARRAY* array);
    HRESULT StoreText(LONG column, LONG row, const VARIANT& value);
    HRESULT CellAt(LONG column, LONG row, std::u16string** cell);
    HRESULT BuildFilePath(const VARIANT& filePath, std::u16string* path) const;
    HRESULT Save(const VARIANT& filePath);
    HRESULT Read(const VARIANT& filePath);
    void SetDefaults();

    std::u16string fileName_;
    bool modified_ = false;
    Placement placement_ = Placement::Column;
    bool timeStamp_ = false;
    CsvGrid grid_;
};

} // namespace utils
