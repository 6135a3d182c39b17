// The results table: opening the database, storing result rows, numbering execution sessions.
#include "common/results/ResultsTable.h"

#include "common/results/ResultRow.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>

namespace {

constexpr const OLECHAR* kCreateTable =
    u"CREATE TABLE IF NOT EXISTS TestResults (TestID TEXT, TestResultID TEXT, TestResultValue TEXT, "
    u"SpecValue TEXT, TestStatus TEXT, Description TEXT, SN TEXT, TestPlanID TEXT, TestPlanVariantID TEXT, "
    u"ExecSession TEXT, TestDate TEXT, TestTime TEXT)";
// SetNextTestExecSession looks rows up by test and session.
constexpr const OLECHAR* kCreateIndex =
    u"CREATE INDEX IF NOT EXISTS TestResultsBySession ON TestResults (TestID, ExecSession)";
// Stands for the existence check when the table cannot be made (EnsureTable).
constexpr const OLECHAR* kProbeTable = u"SELECT TestID FROM TestResults WHERE 1=0";

constexpr const OLECHAR* kInsertRow =
    u"INSERT INTO TestResults (TestID,TestResultID,TestResultValue,SpecValue,TestStatus,Description,SN,"
    u"TestPlanID,TestPlanVariantID,ExecSession,TestDate,TestTime) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)";
// The session numbers handed out, one row per claim: the key lets one claimant alone have a number, on any
// database and whatever the timing. Rows stay, so a number once claimed is never handed out again.
constexpr const OLECHAR* kCreateClaims =
    u"CREATE TABLE IF NOT EXISTS TestExecSessions (TestID TEXT NOT NULL, ExecSession TEXT NOT NULL, "
    u"PRIMARY KEY (TestID, ExecSession))";
constexpr const OLECHAR* kProbeClaims = u"SELECT TestID FROM TestExecSessions WHERE 1=0";
// The highest session of the test stored and the highest claimed, each read from an index alone: one row
// whatever the sessions hold (NULL for a test without any, which reads as a missing field).
constexpr const OLECHAR* kSelectLastSessions =
    u"SELECT (SELECT MAX([ExecSession]) FROM TestResults WHERE TestID=?) AS ExecSession, "
    u"(SELECT MAX([ExecSession]) FROM TestExecSessions WHERE TestID=?) AS Claimed;";
// Takes the number unless another claimant has it: a row made (one affected) is this claim's.
constexpr const OLECHAR* kClaimSession =
    u"INSERT INTO TestExecSessions (TestID,ExecSession) VALUES (?,?) ON CONFLICT DO NOTHING";
// Claims lost to other claimants in a row before the claim gives up. Each loss means another claim won in
// the moment between this one's lookup and its insert; with the pauses below, this many in a row does not
// happen by chance.
constexpr int kClaimAttempts = 100;
// The longest pause after a lost claim, in microseconds.
constexpr int kLongestClaimPause = 6400;

const OLECHAR* TextOf(const OLECHAR* text) {
    return text != nullptr ? text : u"";
}

std::u16string DisplayText(const VARIANT& value) {
    BSTR text = VariantToTextBstr(&value);
    std::u16string result(vr::U16View(text));
    SysFreeString(text);
    return result;
}

// A table that cannot be made may exist all the same: another station made it a moment ago, or this user may
// not create tables in a database set up for it.
bool EnsureTable(CADO& database, const OLECHAR* create, const OLECHAR* probe) {
    return database.Execute(create) || database.Execute(probe);
}

bool EnsureResultsTable(CADO& database) {
    if (!EnsureTable(database, kCreateTable, kProbeTable)) {
        return false;
    }
    static_cast<void>(database.Execute(kCreateIndex)); // rows are found without it, only slower
    // Results are stored without it; each claim then fails with the database's reason.
    static_cast<void>(EnsureTable(database, kCreateClaims, kProbeClaims));
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

// The number of a session text: its leading digits, as atol reads them; 0 for none. In 64 bits, so that
// numbers beyond the highest LONG keep growing rather than all reading as that one (and taken again), and
// bounded so that the claims after it cannot overflow.
LONGLONG SessionNumber(const std::string& stored) {
    constexpr LONGLONG kHighestSession = 999'999'999'999'999'999;
    return std::min(vr::Strtoi64(stored.c_str(), nullptr, 10), kHighestSession);
}

std::u16string SessionText(LONGLONG number) {
    return vr::FormatWString(u"%09lld", number);
}

// The number after the highest session stored or claimed for the test (1 when there is none, *found
// false); false when the search fails. The two are compared as numbers: texts of different lengths need not
// order as their numbers do.
bool LookUpNextSession(CADO& database, const OLECHAR* testId, LONGLONG* next, bool* found) {
    std::array<_variant_t, 2> keys = {TextOf(testId), TextOf(testId)};
    if (!database.Execute(kSelectLastSessions, keys)) {
        std::u16string message = vr::FormatWString(
            u"Error while searching for records of 'TestResults' table of the DataBase with TestID = '%s'.",
            TextOf(testId));
        SetTraceSite();
        TraceError(u"%s", WithCause(message, database.LastFailure()).c_str());
        return false;
    }
    std::string stored;
    std::string claimed;
    bool moved = database.MoveFirstItem() != FALSE;
    bool anyStored = moved && database.GetItem(u"ExecSession", stored);
    bool anyClaimed = moved && database.GetItem(u"Claimed", claimed);
    *found = anyStored || anyClaimed;
    *next = std::max(SessionNumber(stored), SessionNumber(claimed)) + 1;
    return true;
}

enum class ClaimResult { Claimed, Taken, Failed };

// One attempt at the number, in a transaction of its own (the connection commits each statement). A failed
// insert leaves the database's reason in *cause.
ClaimResult TryClaim(CADO& database, const OLECHAR* testId, const std::u16string& session,
                     std::u16string* cause) {
    std::array<_variant_t, 2> claim = {TextOf(testId), session.c_str()};
    LONG affected = -1;
    if (!database.Execute(kClaimSession, claim, &affected)) {
        *cause = database.LastFailure();
        return ClaimResult::Failed;
    }
    if (affected == 0 || affected == 1) {
        return affected == 1 ? ClaimResult::Claimed : ClaimResult::Taken;
    }
    // A driver that cannot say whether its row was made: the number may be shared.
    return ClaimResult::Failed;
}

// Claimants that lost a number to the same winner all see it committed at the same moment, and would look
// up and lose together again: a random pause, growing with the losses, sets them apart.
void PauseAfterLostClaims(int losses) {
    thread_local std::minstd_rand random(std::random_device{}());
    int longest = std::min(kLongestClaimPause, 100 << std::min(losses, 6));
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, longest)(random)));
}

// The claim's test had no session stored or claimed before.
void TraceFirstSession(const OLECHAR* testId) {
    SetTraceSite();
    TraceInfo(
        u"WARNING: Couldn't find records of the 'TestResults' table of the DataBase with TestID = '%s', "
        u"so set ExecSession to 0.",
        TextOf(testId));
}

[[nodiscard]] HRESULT ReportFailedClaim(const OLECHAR* testId, LONGLONG candidate,
                                        const std::u16string& cause) {
    std::u16string message = vr::FormatWString(
        u"Couldn't claim ExecSession '%s' of the 'TestExecSessions' table of the DataBase with TestID = "
        u"'%s'.",
        SessionText(candidate).c_str(), TextOf(testId));
    SetTraceSite();
    TraceError(u"%s", WithCause(message, cause).c_str());
    return E_FAIL;
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
        std::u16string message =
            vr::FormatWString(u"Couldn't save TestResult TestID='%s': '%s = %s' into the DataBase.",
                              TextOf(owner.testId), TextOf(resultId), valueText.c_str());
        SetTraceSite();
        TraceError(u"%s", WithCause(message, database->LastFailure()).c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT NextTestExecSession(CADO* database, const OLECHAR* testId, std::u16string* session) {
    if (database == nullptr) {
        session->clear();
        return S_OK;
    }
    LONGLONG candidate = 0;
    std::u16string cause;
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        LONGLONG next = 0;
        bool found = false;
        if (!LookUpNextSession(*database, testId, &next, &found)) {
            return E_FAIL;
        }
        // Never back to a number already lost (the highest text of a table need not be its highest number).
        candidate = std::max(next, candidate + 1);
        std::u16string text = SessionText(candidate);
        switch (TryClaim(*database, testId, text, &cause)) {
        case ClaimResult::Claimed:
            if (!found) {
                TraceFirstSession(testId);
            }
            *session = std::move(text);
            return S_OK;
        case ClaimResult::Failed:
            return ReportFailedClaim(testId, candidate, cause);
        case ClaimResult::Taken:
            PauseAfterLostClaims(attempt + 1);
            break;
        }
    }
    return ReportFailedClaim(testId, candidate, cause);
}
