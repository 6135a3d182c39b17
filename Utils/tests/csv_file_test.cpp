// The CSV file object as the test engine and scripts hold it: created from the build tree's registration,
// called through IVrCsvFile on real files, with a tracer recording its lines.
#include "CsvFilePath.h"
#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "csv_test_support.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "utils.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using csvtest::Value;
using vr::ComPtr;

struct ErrorReport {
    std::u16string source;
    std::u16string description;
};

// The calling thread's error information, taken.
ErrorReport TakeErrorInfo() {
    ComPtr<IErrorInfo> info;
    ErrorReport report{u"<none>", u"<none>"};
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return report;
    }
    BSTR source = nullptr;
    BSTR description = nullptr;
    EXPECT_EQ(info->GetSource(&source), S_OK);
    EXPECT_EQ(info->GetDescription(&description), S_OK);
    report = {std::u16string(vr::BstrView(source)), std::u16string(vr::BstrView(description))};
    SysFreeString(source);
    SysFreeString(description);
    return report;
}

class CsvFileTest : public commontest::TracedTest {
protected:
    void SetUp() override {
        TracedTest::SetUp();
        csv_ = Create();
        ASSERT_TRUE(csv_);
        folder_ = csvtest::FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override {
        csv_ = nullptr;
        CoFreeUnusedLibrariesEx(0, 0);
        TracedTest::TearDown();
    }

    static ComPtr<IVrCsvFile> Create() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(kCsvFileIndependentProgId, &clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_CsvFile);
        ComPtr<IVrCsvFile> csv;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVrCsvFile, csv.PutVoid()),
                  S_OK);
        return csv;
    }

    std::u16string Cell(LONG column, LONG row) {
        Value value;
        EXPECT_EQ(csv_->get_cell(column, row, &value.v), S_OK);
        EXPECT_EQ(value.v.vt, VT_BSTR);
        return value.Text();
    }
    void Put(LONG column, LONG row, const Value& value) {
        ASSERT_EQ(csv_->put_cell(column, row, value.v), S_OK);
    }
    LONG Rows() {
        LONG rows = -1;
        EXPECT_EQ(csv_->get_rows(&rows), S_OK);
        return rows;
    }
    LONG Columns() {
        LONG columns = -1;
        EXPECT_EQ(csv_->get_columns(&columns), S_OK);
        return columns;
    }
    HRESULT PutFile(IVrCsvFile* csv, std::u16string_view path) {
        BSTR text = vr::AllocBstr(path);
        HRESULT hr = csv->put_file(text);
        SysFreeString(text);
        return hr;
    }
    HRESULT PutFile(std::u16string_view path) { return PutFile(csv_.Get(), path); }
    HRESULT Init(std::u16string_view options) { return csv_->Init(Value(options).v); }
    std::u16string Path(const char* name) const { return csvtest::U16(folder_ / name); }
    std::string FileText(const char* name) const { return csvtest::ReadBytes(folder_ / name); }

    ComPtr<IVrCsvFile> csv_;
    std::filesystem::path folder_;
};

TEST_F(CsvFileTest, ANewObjectIsEmptyAndItsLifeIsTraced) {
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Columns(), 0);
    OLECHAR stale[] = u"stale"; // never freed: [out] arguments are written over, not freed
    BSTR file = stale;
    EXPECT_EQ(csv_->get_file(&file), S_OK);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(csv_->Close(), S_OK);
    csv_ = nullptr;
    std::vector<LONG> deltas;
    for (const auto& call : sink_->Calls()) {
        if (call.member == DISPID_TRACESINK_WRITECALL && call.first == u"CCsvFile::FinalConstruct()") {
            deltas.push_back(call.delta);
        }
    }
    EXPECT_EQ(deltas, (std::vector<LONG>{1, -1}));
}

TEST_F(CsvFileTest, CellsGrowTheGridAndHoldValuesAsText) {
    Value empty;
    ASSERT_EQ(csv_->get_cell(3, 2, &empty.v), S_OK);
    EXPECT_EQ(empty.v.vt, VT_BSTR);
    EXPECT_EQ(empty.v.bstrVal, nullptr) << "an empty cell is the null string";
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(Columns(), 4);

    Put(0, 0, Value(2.5));
    Put(1, 0, Value(42));
    Put(2, 0, Value(u"text"));
    Put(3, 0, Value());
    EXPECT_EQ(Cell(0, 0), u"2.5");
    EXPECT_EQ(Cell(1, 0), u"42");
    EXPECT_EQ(Cell(2, 0), u"text");
    EXPECT_EQ(Cell(3, 0), u"");
    Value text(u"by reference");
    Value reference;
    reference.v.vt = VT_VARIANT | VT_BYREF;
    reference.v.pvarVal = &text.v;
    Put(0, 5, reference);
    EXPECT_EQ(Cell(0, 5), u"by reference");
    EXPECT_EQ(Rows(), 6);
}

TEST_F(CsvFileTest, ArraysGoDownAColumnOrAlongARow) {
    const Value a(u"a"), b(u"b"), c(u"c");
    Put(0, 0, Value::Array({&a, &b, &c}));
    EXPECT_EQ(Cell(0, 0) + Cell(0, 1) + Cell(0, 2), u"abc");
    EXPECT_EQ(Columns(), 1);

    ASSERT_EQ(Init(u"ArrayPlacement=Row"), S_OK);
    EXPECT_EQ(Rows(), 0) << "Init empties the grid";
    Put(0, 0, Value::Array({&a, &b, &c}, 5));
    EXPECT_EQ(Cell(0, 0) + Cell(1, 0) + Cell(2, 0), u"abc");
    EXPECT_EQ(Rows(), 1);

    ASSERT_EQ(Init(u"arrayplacement=COLUMN"), S_OK);
    Value array = Value::Array({&a, &b});
    Value reference;
    reference.v.vt = VT_VARIANT | VT_BYREF;
    reference.v.pvarVal = &array.v;
    Put(2, 1, reference);
    EXPECT_EQ(Cell(2, 1) + Cell(2, 2), u"ab");
}

TEST_F(CsvFileTest, AValueThatIsNoTextFailsAfterTheCellsBeforeIt) {
    const Value one(1), three(3);
    Value null;
    null.v.vt = VT_NULL;
    ASSERT_EQ(PutFile(Path("partial")), S_OK);
    EXPECT_EQ(csv_->put_cell(0, 0, Value::Array({&one, &null, &three}).v), DISP_E_TYPEMISMATCH);
    const ErrorReport error = TakeErrorInfo();
    EXPECT_EQ(error.source, kCsvFileProgId);
    EXPECT_EQ(error.description.rfind(u"(HRESULT: 0x80020005) ", 0), 0u) << vr::ToUtf8(error.description);
    EXPECT_NE(error.description.find(u"Vornic Error: A"), std::u16string::npos);
    EXPECT_NE(error.description.find(u" (CsvFile.cpp)"), std::u16string::npos);
    EXPECT_EQ(Cell(0, 0), u"1");
    EXPECT_EQ(Rows(), 1) << "the failed element made no cell";
    // The cell written before the failure is a change that Close saves.
    EXPECT_EQ(csv_->Close(), S_OK);
    EXPECT_EQ(FileText("partial.csv"), "\"1\"\r\n");
}

TEST_F(CsvFileTest, CellsOutsideTheGridFailAndLeaveItAlone) {
    Value value;
    EXPECT_EQ(csv_->get_cell(-1, 0, &value.v), E_INVALIDARG);
    EXPECT_EQ(TakeErrorInfo().description, u"CsvFile: Wrong cell (-1, 0): columns and rows count from 0.");
    EXPECT_EQ(csv_->put_cell(0, -3, Value(u"x").v), E_INVALIDARG);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Columns(), 0);
}

TEST_F(CsvFileTest, ACellTooFarAwayForMemoryFailsAndLeavesTheGridAlone) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer ends the process where operator new would throw std::bad_alloc";
#endif
    if (csvtest::ReadBytes("/proc/sys/vm/overcommit_memory").starts_with("1")) {
        GTEST_SKIP() << "with memory always overcommitted the allocation succeeds and fills the machine";
    }
    Put(1, 1, Value(u"x"));
    EXPECT_EQ(csv_->put_cell(2147483647, 2147483647, Value(u"y").v), E_OUTOFMEMORY);
    EXPECT_NE(
        TakeErrorInfo().description.find(u"The grid cannot grow to reach cell (2147483647, 2147483647)."),
        std::u16string::npos);
    EXPECT_EQ(csv_->put_cell(2147483647, 0, Value(u"y").v), E_OUTOFMEMORY);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Columns(), 2);
}

TEST_F(CsvFileTest, ColumnsAndRowsCannotBeSet) {
    EXPECT_EQ(csv_->put_columns(3), E_NOTIMPL);
    ErrorReport error = TakeErrorInfo();
    EXPECT_EQ(error.source, kCsvFileProgId);
    EXPECT_EQ(error.description.rfind(u"Vornic Error: A", 0), 0u);
    EXPECT_NE(error.description.find(u" (CsvFile.cpp)"), std::u16string::npos);
    EXPECT_EQ(csv_->put_rows(3), E_NOTIMPL);
    EXPECT_EQ(csv_->get_cell(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(Rows(), 0) << "a refused read makes no cell";
}

TEST_F(CsvFileTest, InitReadsItsOptionsInOrder) {
    ASSERT_EQ(Init(u"FILE=" + Path("first") + u" ArrayPlacement=Row"), S_OK);
    BSTR file = nullptr;
    ASSERT_EQ(csv_->get_file(&file), S_OK);
    EXPECT_EQ(vr::BstrView(file), Path("first"));
    SysFreeString(file);

    const std::u16string bad = u"File=" + Path("second") + u", ArrayPlacement=Diagonal, File=third";
    EXPECT_EQ(Init(bad), E_INVALIDARG);
    EXPECT_EQ(TakeErrorInfo().description,
              u"CsvFile: Wrong value of 'ArrayPlacement' parameter within initialization string \"" + bad +
                  u"\".");
    EXPECT_EQ(Init(u"ArrayPlacement"), E_INVALIDARG) << "no value is a wrong value";
    // The item before the bad one took effect, the one after it did not.
    ASSERT_EQ(Init(bad), E_INVALIDARG);
    file = nullptr;
    ASSERT_EQ(csv_->get_file(&file), S_OK);
    EXPECT_EQ(vr::BstrView(file), Path("second"));
    SysFreeString(file);

    // A non-string argument leaves the defaults, and Init leaves nothing to save.
    Put(0, 0, Value(u"pending"));
    ASSERT_EQ(csv_->Init(Value(7).v), S_OK);
    OLECHAR stale[] = u"stale";
    file = stale;
    ASSERT_EQ(csv_->get_file(&file), S_OK);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(csv_->Close(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "second.csv"));

    const auto& calls = sink_->Calls();
    auto line = std::find_if(calls.begin(), calls.end(), [](const commontest::SinkCall& call) {
        return call.member == DISPID_TRACESINK_WRITETEXT && call.text == u"(sOptions = \"7\")";
    });
    ASSERT_NE(line, calls.end());
    EXPECT_EQ(line->level, TRACE_LEVEL_INFO);
    EXPECT_EQ(line->first.rfind(u"CCsvFile::Init(): CsvFileInit.cpp (", 0), 0u) << vr::ToUtf8(line->first);
}

TEST_F(CsvFileTest, SavedFilesReadBackIntoAnotherObject) {
    Put(0, 0, Value(u"a \"quoted\" word"));
    Put(2, 1, Value(u"x,y\r\nz"));
    ASSERT_EQ(csv_->SaveFile(Value(Path("grid")).v), S_OK);
    EXPECT_EQ(FileText("grid.csv"), "\"a \"\"quoted\"\" word\",\"\",\"\"\r\n\"\",\"\",\"x,y\r\nz\"\r\n");
    ASSERT_EQ(csv_->SaveFile(Value(Path("upper.CSV")).v), S_OK);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "upper.CSV.csv"));

    ComPtr<IVrCsvFile> other = Create();
    ASSERT_TRUE(other);
    ASSERT_EQ(other->put_cell(5, 5, Value(u"replaced").v), S_OK);
    ASSERT_EQ(PutFile(other.Get(), Path("grid.csv")), S_OK);
    ASSERT_EQ(other->ReadFile(Value::Missing().v), S_OK);
    csv_ = other;
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Columns(), 3);
    EXPECT_EQ(Cell(0, 0), u"a \"quoted\" word");
    EXPECT_EQ(Cell(2, 1), u"x,y\r\nz");
    // What was read is no change: Close leaves the file as it is.
    std::filesystem::remove(folder_ / "grid.csv");
    EXPECT_EQ(csv_->Close(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "grid.csv"));
}

TEST_F(CsvFileTest, AFileMaskStampsOnlyTheFilePath) {
    ASSERT_EQ(Init(u"FileMask=" + Path("out.csv")), S_OK);
    Put(0, 0, Value(u"1"));
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(csv_->SaveFile(Value::Missing().v), S_OK);
    const std::time_t after = std::time(nullptr);
    std::vector<std::u16string> expected;
    for (std::time_t t = before; t <= after; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        expected.push_back(utils::CsvFilePath(Path("out.csv"), &local));
    }
    std::vector<std::u16string> written;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        written.push_back(csvtest::U16(entry.path()));
    }
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(std::find(expected.begin(), expected.end(), written[0]), expected.end())
        << vr::ToUtf8(written[0]);

    ASSERT_EQ(csv_->SaveFile(Value(Path("x")).v), S_OK);
    EXPECT_EQ(FileText("x.csv"), "\"1\"\r\n");
    ASSERT_EQ(Init(u"File=" + Path("plain") + u" AddTimeStamp=0"), S_OK);
    Put(0, 0, Value(u"2"));
    ASSERT_EQ(csv_->SaveFile(Value::Missing().v), S_OK);
    EXPECT_EQ(FileText("plain.csv"), "\"2\"\r\n");
}

TEST_F(CsvFileTest, WithoutAPathNothingIsSaved) {
    EXPECT_EQ(csv_->SaveFile(Value::Missing().v), E_INVALIDARG);
    EXPECT_EQ(TakeErrorInfo().description, u"Csv file FilePath is not provided.");
    EXPECT_EQ(csv_->ReadFile(Value(u"").v), E_INVALIDARG);
    // Pending changes without a path to save them to are reported by Close.
    Put(0, 0, Value(u"lost?"));
    EXPECT_EQ(csv_->Close(), E_INVALIDARG);
    EXPECT_EQ(TakeErrorInfo().description, u"Csv file FilePath is not provided.");
}

TEST_F(CsvFileTest, CloseSavesOnlyPendingChanges) {
    ASSERT_EQ(PutFile(Path("closed")), S_OK);
    Put(0, 0, Value(u"v"));
    ASSERT_EQ(csv_->Close(), S_OK);
    EXPECT_EQ(FileText("closed.csv"), "\"v\"\r\n");
    EXPECT_EQ(Cell(0, 0), u"v") << "the grid stays as it is";
    std::filesystem::remove(folder_ / "closed.csv");
    EXPECT_EQ(csv_->Close(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "closed.csv")) << "nothing changed since the save";
    Put(0, 0, Value(u"w"));
    ASSERT_EQ(csv_->Clear(), S_OK);
    EXPECT_EQ(csv_->Close(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "closed.csv")) << "nothing to save after Clear";
}

TEST_F(CsvFileTest, AFailedReadKeepsTheGridThatCloseThenSaves) {
    ASSERT_EQ(PutFile(Path("results")), S_OK);
    Put(0, 0, Value(u"first"));
    ASSERT_EQ(csv_->SaveFile(Value::Missing().v), S_OK);
    Put(0, 1, Value(u"second"));
    EXPECT_EQ(csv_->ReadFile(Value(Path("missing")).v), E_FAIL);
    const ErrorReport error = TakeErrorInfo();
    EXPECT_EQ(error.source, kCsvFileProgId);
    EXPECT_EQ(error.description, u"Could not open file '" + Path("missing.csv") + u"'.");
    EXPECT_EQ(Rows(), 2);
    ASSERT_EQ(csv_->Close(), S_OK);
    EXPECT_EQ(FileText("results.csv"), "\"first\"\r\n\"second\"\r\n");
}

TEST_F(CsvFileTest, AFailedSaveMakesCloseFailAndKeepsTheChangesPending) {
    const std::u16string path = Path("later/out.csv");
    ASSERT_EQ(PutFile(path), S_OK);
    Put(0, 0, Value(u"kept"));
    EXPECT_EQ(csv_->SaveFile(Value::Missing().v), E_FAIL);
    EXPECT_EQ(csv_->Close(), E_FAIL);
    const ErrorReport error = TakeErrorInfo();
    EXPECT_EQ(error.source, kCsvFileProgId);
    EXPECT_EQ(error.description, u"Could not create/open file '" + path + u"'.");
    std::filesystem::create_directory(folder_ / "later");
    EXPECT_EQ(csv_->Close(), S_OK);
    EXPECT_EQ(FileText("later/out.csv"), "\"kept\"\r\n");
}

} // namespace
