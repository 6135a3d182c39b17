// The ADO layer's calls into unixODBC: the process's environment, connections, statements, parameters, rows
// and the driver's diagnostics.
//
// Free of the platform's Windows-style types on purpose: the ODBC headers define BOOL, DWORD, ULONG... with
// other widths, so only odbc_calls.cpp includes them, and this header carries nothing from either side.
// Text crosses as UTF-16 (the driver manager's SQLWCHAR); only the connection string goes as UTF-8, since
// the driver manager reads file data sources through the narrow call alone.
//
// Failures raise the layer's COM error (RaiseDriverError) with the driver's own messages.
// Threads: one Link and its statements are used by one thread at a time; different links may be used on
// different threads at once (the environment is made once, thread-safely).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vr::ado::odbc {

// Raises the layer's error (a _com_error with E_FAIL and the description); defined with the ADO errors.
[[noreturn]] void RaiseDriverError(const std::u16string& description);

// A value of an ODBC configuration file, as the driver manager reads it: "odbc.ini" (the user's and the
// system's data sources) or "odbcinst.ini" (the drivers); empty when the section or key is not there.
std::string ConfigurationValue(const std::string& section, const std::string& key, const char* file);

// How a driver treats identifiers written without quotes (what a [bracketed] name must become).
enum class IdentifierCase { AsWritten, Upper, Lower };

// One value going to or coming from the driver.
struct Cell {
    enum class Kind { Null, Integer, BigInteger, Real, Text };
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::u16string text;
};

// One value for a marker of a prepared statement; its text is borrowed for the length of the call.
struct Parameter {
    Cell::Kind kind = Cell::Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::u16string_view text;
};

struct Column {
    std::u16string name;
    Cell::Kind kind = Cell::Kind::Text; // the kind its values are fetched as
};

class Statement;

// One driver connection. Statements made from it are freed before it disconnects.
class Link {
public:
    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link();

    // Connects without prompting; raises with the driver's messages when that fails.
    void Connect(const std::string& utf8ConnectionString);
    void Disconnect();
    bool Connected() const { return handle_ != nullptr; }
    IdentifierCase UnquotedCase() const { return unquotedCase_; }

    // A new statement of this connection; raises when the link is closed or the driver refuses.
    std::shared_ptr<Statement> NewStatement();

private:
    void* handle_ = nullptr;
    IdentifierCase unquotedCase_ = IdentifierCase::AsWritten;
    std::vector<std::weak_ptr<Statement>> statements_;
};

// One statement handle: run text directly, or prepare once and run with parameters many times; then read
// the columns and rows of its result.
class Statement {
public:
    explicit Statement(void* handle) : handle_(handle) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // False once its connection has gone (the link frees it first).
    bool Usable() const { return handle_ != nullptr; }

    void ExecuteDirect(const std::u16string& sql);
    void Prepare(const std::u16string& sql);
    // Runs the prepared text with these values for its markers, in order.
    void ExecutePrepared(std::span<const Parameter> parameters);

    // The result's columns; none for a statement that returns no rows.
    std::vector<Column> Columns();
    // Rows touched by an INSERT, UPDATE or DELETE; -1 when the driver does not say.
    int64_t RowCount();
    // Reads every row of the result, then closes the cursor.
    std::vector<std::vector<Cell>> FetchAll(const std::vector<Column>& columns);
    void CloseCursor();

private:
    friend class Link;
    void Free();
    Cell Read(int column, Cell::Kind kind);

    // Before a statement runs again, an open cursor is closed and parameters bound before are unbound;
    // both are skipped when nothing is there to close or unbind (each is a call through the driver manager
    // into the driver, on every row stored).
    void PrepareToRun(size_t parameterCount);

    void* handle_ = nullptr;
    bool cursorMayBeOpen_ = false; // a run since the last CloseCursor; the statement's one thread
    size_t boundParameters_ = 0;   // markers bound by the last run, all rebound by a run with as many
};

} // namespace vr::ado::odbc
