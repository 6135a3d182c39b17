// An ADO-like recordset: the rows of a table or a query, read whole when it opens, with a current record,
// its fields, Find and AbsolutePosition.
//
// A recordset is a snapshot: cursor and lock types are taken as ADO takes them but change nothing (rows are
// read, never updated through it). Errors raise _com_error (ado_errors.h): adErrObjectClosed on a closed
// recordset, adErrObjectOpen when opening an open one, adErrNoCurrentRecord where a current record is
// needed and there is none, adErrItemNotFound for an unknown field, adErrInvalidArgument for criteria
// Find cannot read.
// Threads: one thread at a time, as its connection.
#pragma once

#include "platform/ado/connection.h"
#include "platform/com/comutil.h"

#include <string_view>
#include <vector>

namespace vr::ado {

class Recordset;

// One column of the current record.
class Field {
public:
    const std::u16string& Name() const;
    // The value: VT_NULL, VT_I4 (small integers), VT_I8, VT_R8 or VT_BSTR (text and everything else).
    _variant_t Value() const;
    // The value's size in bytes: two per UTF-16 unit of text, the width of a number, 0 for NULL.
    LONG ActualSize() const;

private:
    friend class Recordset;
    Field(const Recordset& owner, size_t column) : owner_(owner), column_(column) {}

    const odbc::Cell& Current() const;

    const Recordset& owner_;
    size_t column_;
};

class Recordset {
public:
    static RecordsetPtr Create();
    // An open recordset holding a statement's result, or a closed one when the statement has no columns.
    static RecordsetPtr FromResult(odbc::Statement& statement);
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs the source (a table name with adCmdTable, statement text otherwise) on the connection and reads
    // its rows; the first row becomes current. A statement without rows (an INSERT) runs and leaves the
    // recordset closed.
    void Open(std::u16string_view source, const ConnectionPtr& connection,
              CursorTypeEnum cursorType = adOpenUnspecified, LockTypeEnum lockType = adLockUnspecified,
              LONG options = adCmdUnspecified);
    void Close();
    LONG State() const { return open_ ? adStateOpen : adStateClosed; }

    // MoveFirst and MoveLast raise adErrNoCurrentRecord on an empty recordset; MoveNext past the last
    // record reaches EOF, and raises once there.
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    bool IsBOF() const;
    bool IsEOF() const;
    LONG RecordCount() const;

    LONG FieldCount() const;
    // By name (without regard to case) or by number from 0.
    Field Fields(std::u16string_view name) const;
    Field Fields(LONG index) const;

    // Searches from the current record (after skipping skipRecords) towards the end or the beginning for
    // the first record that meets "<column> <op> <value>" (op: = <> < > <= >= LIKE; value: 'text' with ''
    // for a quote, #date#, or a number; LIKE takes * or % for any run of characters; text compares
    // without regard to case). Found: that record becomes current; else the recordset stands at EOF
    // (forward) or BOF (backward). start: only a missing argument (null or VT_ERROR) is taken.
    void Find(std::u16string_view criteria, LONG skipRecords = 0,
              SearchDirectionEnum direction = adSearchForward, const VARIANT* start = nullptr);
    // The current record's number from 1, or adPosBOF / adPosEOF; adPosUnknown on an empty recordset.
    LONG AbsolutePosition() const;

private:
    friend class Field;
    Recordset() = default;
    void Load(odbc::Statement& statement);
    void RequireOpen() const;
    const odbc::Cell& CurrentCell(size_t column) const;

    bool open_ = false;
    std::vector<odbc::Column> columns_;
    std::vector<std::vector<odbc::Cell>> rows_;
    // -1 is BOF, rows_.size() is EOF.
    ptrdiff_t position_ = 0;
};

} // namespace vr::ado
