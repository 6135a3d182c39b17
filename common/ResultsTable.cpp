// The results table: opening the database, storing result rows, numbering execution sessions.
#include "common/ResultsTable.h"

#include "common/ResultRow.h"
#include "common/Trace.h"
#include "platform/base/format.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

#include <array>
#include <ctime>

namespace {

constexpr const OLECHAR* kCreateTable =
    u"CREATE TABLE IF NOT EXISTS TestResults (TestID TEXT, TestResultID TEXT, TestResultValue TEXT, "
    u"SpecValue TEXT, TestStatus TEXT, Description TEXT, SN TEXT, TestPlanID TEXT, TestPlanVariantID TEXT, "
    u"ExecSession TEXT, TestDate TEXT, TestTime TEXT)";
// SetNextTestExecSession looks rows up by test and session.
constexpr const OLECHAR* kCreateIndex =
    u"CREATE INDEX IF NOT EXISTS TestResultsBySession ON TestResults (TestID, ExecSession)";
// Stands for the existence check when the table cannot be made (another station made it a moment ago, or
// this user may not create tables in a database set up for it).
constexpr const OLECHAR* kProbeTable = u"SELECT TestID FROM TestResults WHERE 1=0";

constexpr const OLECHAR* kInsertRow =
    u"INSERT INTO TestResults (TestID,TestResultID,TestResultValue,SpecValue,TestStatus,Description,SN,"
    u"TestPlanID,TestPlanVariantID,ExecSession,TestDate,TestTime) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)";
// The highest session of the test, read from the index alone: one row whatever the sessions hold (NULL
// when the test has none yet, which reads as a missing field).
constexpr const OLECHAR* kSelectLastSession =
    u"SELECT MAX([ExecSession]) AS ExecSession FROM TestResults WHERE TestID=?;";

const OLECHAR* TextOf(const OLECHAR* text) {
    return text != nullptr ? text : u"";
}

std::u16string DisplayText(const VARIANT& value) {
    BSTR text = VariantToTextBstr(&value);
    std::u16string result(vr::U16View(text));
    SysFreeString(text);
    return result;
}

bool EnsureResultsTable(CADO& database) {
    if (!database.Execute(kCreateTable)) {
        return database.Execute(kProbeTable) != FALSE;
    }
    static_cast<void>(database.Execute(kCreateIndex)); // rows are found without it, only slower
    return true;
}

// The description as stored; a value that has no text fails with the conversion's HRESULT.
[[nodiscard]] HRESULT DescriptionText(const VARIANT& description, std::u16string* text) {
    if (IsMissingArgument(description)) {
        text->clear();
        return S_OK;
    }
    _variant_t converted;
    if (HRESULT hr = VariantChangeType(&converted, &description, 0, VT_BSTR); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Vornic Error: A%d (%hs)", __LINE__, SourceFileName(__FILE__));
        return hr;
    }
    *text = CleanDescription(vr::BstrView(converted.bstrVal));
    return S_OK;
}

[[nodiscard]] HRESULT StatusWord(const VARIANT& status, const OLECHAR** word) {
    LONG number = 0;
    if (!IsMissingArgument(status)) {
        _variant_t converted;
        HRESULT hr = VariantChangeType(&converted, &status, 0, VT_I4);
        number = SUCCEEDED(hr) ? converted.lVal : -1;
    }
    *word = TestStatusWord(number);
    if (*word == nullptr) {
        SetTraceSite();
        TraceError(u"Wrong vTestStatus entry value of '%s'.", DisplayText(status).c_str());
        return E_INVALIDARG;
    }
    return S_OK;
}

// The next session after the stored one: its leading number plus one, nine digits.
std::u16string SessionAfter(const std::u16string& stored) {
    LONGLONG number = vr::Wcstol(stored.c_str(), nullptr, 10); // 64 bits: the highest LONG has a successor
    return vr::FormatWString(u"%09lld", number + 1);
}

} // namespace

HRESULT OpenResultsDatabase(CADO& database, const OLECHAR* dsnFile) {
    std::u16string connection = vr::FormatWString(u"File Name=%s;", TextOf(dsnFile));
    if (!database.Open(connection.c_str()) || !EnsureResultsTable(database)) {
        SetTraceSite();
        TraceError(u"Couldn't open DataBase specified by DSN file '%s'.", TextOf(dsnFile));
        return E_FAIL;
    }
    return S_OK;
}

HRESULT SaveTestResult(CADO* database, const TestResultOwner& owner, const VARIANT& value,
                       const OLECHAR* resultId, const VARIANT& description, const VARIANT& status,
                       const VARIANT& specValue) {
    if (IsResultStorageSkipped(owner.sn)) {
        return S_OK;
    }
    std::u16string valueText = IsMissingArgument(value) ? u"" : ResultValueText(value);
    std::u16string specText = IsMissingArgument(specValue) ? u"" : DisplayText(specValue);
    std::u16string descriptionText;
    if (HRESULT hr = DescriptionText(description, &descriptionText); FAILED(hr)) {
        return hr;
    }
    const OLECHAR* statusWord = nullptr;
    if (HRESULT hr = StatusWord(status, &statusWord); FAILED(hr)) {
        return hr;
    }
    ResultTimestamp now = FormatResultTimestamp(std::time(nullptr));
    if (database == nullptr) {
        return S_OK;
    }
    std::array<_variant_t, 12> row = {TextOf(owner.testId),
                                      TextOf(resultId),
                                      valueText.c_str(),
                                      specText.c_str(),
                                      statusWord,
                                      descriptionText.c_str(),
                                      TextOf(owner.sn),
                                      TextOf(owner.testPlanId),
                                      TextOf(owner.testPlanVariantId),
                                      TextOf(owner.execSession),
                                      now.date.c_str(),
                                      now.time.c_str()};
    if (!database->Execute(kInsertRow, row)) {
        SetTraceSite();
        TraceError(u"Couldn't save TestResult TestID='%s': '%s = %s' into the DataBase.",
                   TextOf(owner.testId), TextOf(resultId), valueText.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT NextTestExecSession(CADO* database, const OLECHAR* testId, std::u16string* session) {
    if (database == nullptr) {
        session->clear();
        return S_OK;
    }
    std::array<_variant_t, 1> keys = {TextOf(testId)};
    if (!database->Execute(kSelectLastSession, keys)) {
        SetTraceSite();
        TraceError(
            u"Error while searching for records of 'TestResults' table of the DataBase with TestID = '%s'.",
            TextOf(testId));
        return E_FAIL;
    }
    std::string stored;
    bool found = database->MoveFirstItem() && database->GetItem(u"ExecSession", stored);
    if (!found) {
        SetTraceSite();
        TraceInfo(
            u"WARNING: Couldn't find records of the 'TestResults' table of the DataBase with TestID = '%s', "
            u"so set ExecSession to 0.",
            TextOf(testId));
    }
    *session = SessionAfter(vr::FromUtf8(!found || stored.empty() ? std::string("0") : stored));
    return S_OK;
}
