// The results database wrapper over the ADO layer.
#include "common/results/ADO.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace {

using namespace vr::ado;

// Execute's texts held prepared at most; the results table runs two (its lookup and its insert).
constexpr size_t kMaxPreparedCommands = 16;
// Why a statement cannot run on an object whose last Open failed (or that was never opened).
constexpr const OLECHAR* kNotOpen = u"The database isn't open: its connection could not be made.";

const OLECHAR* TextOrEmpty(const _bstr_t& text) {
    const OLECHAR* value = text;
    return value != nullptr ? value : u"";
}

// Reports the exception being handled as the wrapper's error line and keeps its reason in *reason; call
// only inside a catch block.
BOOL ReportCaught(const char* file, int line, std::u16string* reason) {
    SetTraceSiteAt(file, line);
    try {
        throw;
    } catch (const _com_error& error) {
        _bstr_t source = error.Source();
        _bstr_t description = error.Description();
        TraceError(u"COM Exception: Source: '%s'; HRESULT: 0x%08X; Message: '%hs'; Description: '%s';",
                   TextOrEmpty(source), error.Error(), error.ErrorMessage(), TextOrEmpty(description));
        *reason = description.length() > 0 ? std::u16string(TextOrEmpty(description))
                                           : vr::FromUtf8(error.ErrorMessage());
    } catch (...) {
        TraceError(u"Unknown Exception ...");
        *reason = u"Unknown Exception ...";
    }
    return FALSE;
}

} // namespace

// Every operation ends with this: whatever its work raised becomes the error line and FALSE.
#define CADO_CATCH_ALL                                                                                       \
    catch (...) {                                                                                            \
        return ReportCaught(__FILE__, __LINE__, &m_lastFailure);                                             \
    }

CADO::CADO() {
    TraceFunction(u"CADO::CADO()", 1);
}

CADO::~CADO() {
    Close();
    m_preparedCommands.clear();
    m_pRecordSet.reset();
    m_pCommand.reset();
    m_pConnection.reset();
    TraceFunction(u"CADO::CADO()", -1);
}

const ConnectionPtr& CADO::HeldConnection() const {
    if (!m_pConnection) {
        RaiseError(E_POINTER, kNotOpen);
    }
    return m_pConnection;
}

BOOL CADO::Open(const OLECHAR* connectionString) {
    SetTraceMethodName(u"CADO::Open()");
    try {
        m_pConnection = Connection::Create();
        m_pCommand.reset();
        m_preparedCommands.clear();
        m_pRecordSet.reset();
        m_pConnection->Open(vr::U16View(connectionString));
        m_pCommand = Command::Create();
        return TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::Close() {
    SetTraceMethodName(u"CADO::Close()");
    return TRUE;
}

BOOL CADO::ResetRecordSet() {
    SetTraceMethodName(u"CADO::ResetRecordSet()");
    try {
        if (!m_pRecordSet) {
            m_pRecordSet = Recordset::Create();
        } else if (m_pRecordSet->State() != adStateClosed) {
            m_pRecordSet->Close();
        }
        return TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::OpenRecordSet(const OLECHAR* source) {
    if (!ResetRecordSet()) {
        return FALSE;
    }
    SetTraceMethodName(u"CADO::OpenRecordSet()");
    try {
        m_pRecordSet->Open(vr::U16View(source), HeldConnection(), adOpenKeyset, adLockBatchOptimistic,
                           adCmdTable);
        return TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::Send(const OLECHAR* text, int mode) {
    SetTraceMethodName(u"CADO::Send()");
    switch (mode) {
    case ADO_SEND_BY_COMMAND:
        return fSendByCommandPtr(text);
    case ADO_SEND_BY_RECORDSET:
        return fSendByRecordSet(text);
    default:
        return FALSE;
    }
}

BOOL CADO::SelectRecordSet(const OLECHAR* criteria) {
    SetTraceMethodName(u"CADO::SelectRecordSet()");
    try {
        if (!m_pRecordSet || m_pRecordSet->State() != adStateOpen) {
            return FALSE;
        }
        m_pRecordSet->Find(vr::U16View(criteria), 0, adSearchForward);
        return m_pRecordSet->AbsolutePosition() == adPosEOF ? FALSE : TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::fSendByRecordSet(const OLECHAR* text) {
    if (!ResetRecordSet()) {
        return FALSE;
    }
    SetTraceMethodName(u"CADO::fSendByRecordSet()");
    try {
        m_pRecordSet->Open(vr::U16View(text), HeldConnection(), adOpenDynamic, adLockOptimistic, adCmdText);
        return TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::fSendByCommandPtr(const OLECHAR* text) {
    if (!ResetRecordSet()) {
        return FALSE;
    }
    SetTraceMethodName(u"CADO::fSendByCommandPtr()");
    try {
        if (!m_pCommand) {
            RaiseError(E_POINTER, kNotOpen);
        }
        return RunCommand(m_pCommand, text, {}, adCmdStoredProc);
    }
    CADO_CATCH_ALL
}

const CommandPtr& CADO::PreparedCommandFor(const OLECHAR* text) {
    if (!m_pCommand) {
        RaiseError(E_POINTER, kNotOpen);
    }
    std::u16string_view key = vr::U16View(text);
    auto found = m_preparedCommands.find(key);
    if (found == m_preparedCommands.end()) {
        if (m_preparedCommands.size() >= kMaxPreparedCommands) {
            m_preparedCommands.clear();
        }
        found = m_preparedCommands.emplace(std::u16string(key), Command::Create()).first;
    }
    return found->second;
}

// The command prepares the text again only when the text, its type or the connection changed.
BOOL CADO::RunCommand(const CommandPtr& command, const OLECHAR* text, std::span<const _variant_t> parameters,
                      LONG options, LONG* recordsAffected) {
    try {
        command->SetActiveConnection(HeldConnection());
        command->SetCommandText(vr::U16View(text));
        m_pRecordSet = command->Execute(recordsAffected, parameters, options);
        return TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::Execute(const OLECHAR* sql) {
    SetTraceMethodName(u"CADO::Execute()");
    SetTraceSite();
    TraceInfo(u"SQL: \"%s\"", sql != nullptr ? sql : u"");
    if (!ResetRecordSet()) {
        return FALSE;
    }
    SetTraceMethodName(u"CADO::Execute()");
    try {
        m_pRecordSet = HeldConnection()->Execute(vr::U16View(sql), nullptr, adCmdText);
        return TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::Execute(const OLECHAR* sql, std::span<const _variant_t> parameters, LONG* recordsAffected) {
    SetTraceMethodName(u"CADO::Execute()");
    SetTraceSite();
    TraceInfo(u"SQL: \"%s\"", sql != nullptr ? sql : u"");
    if (!ResetRecordSet()) {
        return FALSE;
    }
    SetTraceMethodName(u"CADO::Execute()");
    try {
        return RunCommand(PreparedCommandFor(sql), sql, parameters, adCmdText, recordsAffected);
    }
    CADO_CATCH_ALL
}

BOOL CADO::MoveFirstItem() {
    SetTraceMethodName(u"CADO::MoveFirstItem()");
    if (!m_pRecordSet) {
        return FALSE;
    }
    try {
        m_pRecordSet->MoveFirst();
        return TRUE;
    }
    CADO_CATCH_ALL
}

BOOL CADO::GetItem(const OLECHAR* fieldName, std::string& text) {
    SetTraceMethodName(u"CADO::GetItem()");
    if (!m_pRecordSet) {
        return FALSE;
    }
    try {
        Field field = m_pRecordSet->Fields(vr::U16View(fieldName));
        if (field.ActualSize() <= 0) {
            return FALSE;
        }
        text = static_cast<_bstr_t>(field.Value()).utf8();
        return TRUE;
    }
    CADO_CATCH_ALL
}
