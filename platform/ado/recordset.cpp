// ADO-like recordsets: snapshots of a result with a current record, fields, Find and positions.
#include "platform/ado/recordset.h"

#include "platform/ado/ado_errors.h"
#include "platform/ado/command_text.h"
#include "platform/ado/find_criteria.h"
#include "platform/base/text.h"

namespace vr::ado {
namespace {

_variant_t VariantOf(const odbc::Cell& cell) {
    using Kind = odbc::Cell::Kind;
    switch (cell.kind) {
    case Kind::Null: {
        _variant_t null;
        null.vt = VT_NULL;
        return null;
    }
    case Kind::Integer:
        if (cell.integer >= INT32_MIN && cell.integer <= INT32_MAX) {
            return _variant_t(static_cast<LONG>(cell.integer));
        }
        return _variant_t(static_cast<LONGLONG>(cell.integer));
    case Kind::BigInteger:
        return _variant_t(static_cast<LONGLONG>(cell.integer));
    case Kind::Real:
        return _variant_t(cell.real);
    case Kind::Text:
        return _variant_t(cell.text.c_str());
    }
    return _variant_t();
}

LONG SizeOf(const odbc::Cell& cell) {
    using Kind = odbc::Cell::Kind;
    switch (cell.kind) {
    case Kind::Null:
        return 0;
    case Kind::Integer:
        return cell.integer >= INT32_MIN && cell.integer <= INT32_MAX ? 4 : 8;
    case Kind::BigInteger:
    case Kind::Real:
        return 8;
    case Kind::Text:
        return static_cast<LONG>(cell.text.size() * sizeof(char16_t));
    }
    return 0;
}

bool IsMissing(const VARIANT* start) {
    return start == nullptr || start->vt == VT_EMPTY || vr::IsMissingArgument(*start);
}

} // namespace

// ---- Field ----

const std::u16string& Field::Name() const {
    return owner_.columns_[column_].name;
}

const odbc::Cell& Field::Current() const {
    return owner_.CurrentCell(column_);
}

_variant_t Field::Value() const {
    return VariantOf(Current());
}

LONG Field::ActualSize() const {
    return SizeOf(Current());
}

// ---- Recordset ----

RecordsetPtr Recordset::Create() {
    return RecordsetPtr(new Recordset());
}

RecordsetPtr Recordset::FromResult(odbc::Statement& statement) {
    RecordsetPtr recordset = Create();
    recordset->Load(statement);
    return recordset;
}

void Recordset::Load(odbc::Statement& statement) {
    std::vector<odbc::Column> columns = statement.Columns();
    if (columns.empty()) {
        statement.CloseCursor();
        return; // a statement without rows leaves the recordset closed, as ADO hands it back
    }
    rows_ = statement.FetchAll(columns);
    columns_ = std::move(columns);
    position_ = 0;
    open_ = true;
}

void Recordset::Open(std::u16string_view source, const ConnectionPtr& connection,
                     CursorTypeEnum /*cursorType*/, LockTypeEnum /*lockType*/, LONG options) {
    if (open_) {
        RaiseError(adErrObjectOpen, u"The recordset is already open.");
    }
    if (!connection || connection->State() != adStateOpen) {
        RaiseError(adErrInvalidConnection, u"The recordset has no open connection to read from.");
    }
    odbc::Link& link = connection->OpenLink();
    std::shared_ptr<odbc::Statement> statement = link.NewStatement();
    statement->ExecuteDirect(CommandTextFor(source, options, link.UnquotedCase()));
    Load(*statement);
}

void Recordset::Close() {
    RequireOpen();
    open_ = false;
    columns_.clear();
    rows_.clear();
    position_ = 0;
}

void Recordset::RequireOpen() const {
    if (!open_) {
        RaiseError(adErrObjectClosed, u"The recordset is closed.");
    }
}

void Recordset::MoveFirst() {
    RequireOpen();
    if (rows_.empty()) {
        RaiseError(adErrNoCurrentRecord, u"The recordset has no records.");
    }
    position_ = 0;
}

void Recordset::MoveLast() {
    RequireOpen();
    if (rows_.empty()) {
        RaiseError(adErrNoCurrentRecord, u"The recordset has no records.");
    }
    position_ = static_cast<ptrdiff_t>(rows_.size()) - 1;
}

void Recordset::MoveNext() {
    RequireOpen();
    if (IsEOF()) {
        RaiseError(adErrNoCurrentRecord, u"The recordset stands past its last record.");
    }
    ++position_;
}

bool Recordset::IsBOF() const {
    RequireOpen();
    return position_ < 0 || rows_.empty();
}

bool Recordset::IsEOF() const {
    RequireOpen();
    return position_ >= static_cast<ptrdiff_t>(rows_.size());
}

LONG Recordset::RecordCount() const {
    RequireOpen();
    return static_cast<LONG>(rows_.size());
}

LONG Recordset::FieldCount() const {
    RequireOpen();
    return static_cast<LONG>(columns_.size());
}

Field Recordset::Fields(std::u16string_view name) const {
    RequireOpen();
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (EqualsNoCase(columns_[i].name, name)) {
            return Field(*this, i);
        }
    }
    RaiseError(adErrItemNotFound, u"The recordset has no field '" + std::u16string(name) + u"'.");
}

Field Recordset::Fields(LONG index) const {
    RequireOpen();
    if (index < 0 || static_cast<size_t>(index) >= columns_.size()) {
        RaiseError(adErrItemNotFound, u"The recordset has no field of that number.");
    }
    return Field(*this, static_cast<size_t>(index));
}

const odbc::Cell& Recordset::CurrentCell(size_t column) const {
    RequireOpen();
    if (IsBOF() || IsEOF()) {
        RaiseError(adErrNoCurrentRecord, u"The recordset has no current record.");
    }
    return rows_[static_cast<size_t>(position_)][column];
}

void Recordset::Find(std::u16string_view criteria, LONG skipRecords, SearchDirectionEnum direction,
                     const VARIANT* start) {
    RequireOpen();
    if (!IsMissing(start) || skipRecords < 0) {
        RaiseError(adErrInvalidArgument, u"Find takes no start bookmark and no negative skip.");
    }
    FindCriterion criterion = ParseFindCriterion(criteria);
    size_t column = Fields(criterion.column).column_;
    if (IsBOF() || IsEOF()) {
        RaiseError(adErrNoCurrentRecord, u"Find needs a current record to start from.");
    }
    auto count = static_cast<ptrdiff_t>(rows_.size());
    ptrdiff_t step = direction == adSearchBackward ? -1 : 1;
    for (ptrdiff_t row = position_ + step * skipRecords; row >= 0 && row < count; row += step) {
        if (Meets(criterion, rows_[static_cast<size_t>(row)][column])) {
            position_ = row;
            return;
        }
    }
    position_ = direction == adSearchBackward ? -1 : count;
}

LONG Recordset::AbsolutePosition() const {
    RequireOpen();
    if (rows_.empty()) {
        return adPosUnknown;
    }
    if (position_ < 0) {
        return adPosBOF;
    }
    if (IsEOF()) {
        return adPosEOF;
    }
    return static_cast<LONG>(position_ + 1);
}

} // namespace vr::ado
