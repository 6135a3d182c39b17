// The test engine's results table: opening the results database, storing one row of TestResults per
// result (SaveResult) and numbering the executions of a test (SetNextTestExecSession) with numbers that
// stations sharing the database claim in the table TestExecSessions.
//
// The table holds the twelve columns TestID, TestResultID, TestResultValue, SpecValue, TestStatus,
// Description, SN, TestPlanID, TestPlanVariantID, ExecSession, TestDate and TestTime, all text. Every value
// reaches the database as a bound parameter, so an apostrophe in an SN, a test id or a value is stored as
// it is.
//
// Failures follow the common library's convention: a site tag, an error trace (LastErrorText) and a failure
// HRESULT, without rich error information (the engine sets that).
// Threads: as CADO, one thread at a time per database object.
#pragma once

#include "common/results/ADO.h"

#include <string>

// The engine's properties that each row carries; null is the empty text.
struct TestResultOwner {
    const OLECHAR* testId = nullptr;
    const OLECHAR* sn = nullptr;
    const OLECHAR* testPlanId = nullptr;
    const OLECHAR* testPlanVariantId = nullptr;
    const OLECHAR* execSession = nullptr;
};

// InitExecution's database step: opens the database with "File Name=<dsnFile>;" and makes the TestResults
// table (and its index by test and session) when the database has none yet, so a new user's database works
// at once; likewise the TestExecSessions table of claimed session numbers, whose absence fails only the
// claims. Failure: "Couldn't open DataBase specified by DSN file '<dsnFile>'." and E_FAIL; the database
// object stays as it is (closed), and every later statement on it fails.
[[nodiscard]] HRESULT OpenResultsDatabase(CADO& database, const OLECHAR* dsnFile);

// SaveResult after the engine's interruption check. Stores nothing and returns S_OK when the owner's SN is
// skipped (IsResultStorageSkipped), or, after the checks, when database is null (no DSN configured).
// - the description (missing: empty) must change to text: else "Vornic Error: A<line> (<file>)" with the
//   HRESULT's text, and that HRESULT;
// - the status (missing: 0) must be a number from 0 to 7: else "Wrong vTestStatus entry value of '<status>'."
//   and E_INVALIDARG;
// - a failed INSERT: "Couldn't save TestResult TestID='<id>': '<result id> = <value>' into the DataBase."
//   followed by the database's reason, and E_FAIL.
// value and specValue may be missing (empty texts); description, status and specValue may be missing
// arguments (VT_ERROR, DISP_E_PARAMNOTFOUND).
[[nodiscard]] HRESULT SaveTestResult(CADO* database, const TestResultOwner& owner, const VARIANT& value,
                                     const OLECHAR* resultId, const VARIANT& description,
                                     const VARIANT& status, const VARIANT& specValue);

// SetNextTestExecSession after the engine's interruption check: claims the number after the highest
// ExecSession stored or claimed for the test, nine digits ("000000001" for a test without any; the leading
// digits of a stored text count, as atol reads them), into *session; the empty text when database is null.
// A claimed number is held in TestExecSessions: no other claim, from this database object or any other
// process or station, gets it again. A number that another claim took first is given up for the next one.
// Each claim is a lookup and an insert, each a transaction of its own.
// Failures, *session untouched, E_FAIL, each text followed by the database's reason (which is also traced as
// an error line before):
// - a failed search: "Error while searching for records of 'TestResults' table of the DataBase with
//   TestID = '<id>'.";
// - a failed insert (or many claims lost in a row, without a reason): "Couldn't claim ExecSession
//   '<number>' of the 'TestExecSessions' table of the DataBase with TestID = '<id>'."
// The engine puts *session into its TestExecSession property.
[[nodiscard]] HRESULT NextTestExecSession(CADO* database, const OLECHAR* testId, std::u16string* session);
