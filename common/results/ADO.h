// The results database wrapper: one ADO connection, a command and the current recordset, with the
// operations the test engine stores and reads results through.
//
// Every operation records its trace name ("CADO::Execute()") and returns TRUE or FALSE; an ADO error (or
// any other exception) is caught in the operation, traced as an error line
// "COM Exception: Source: '...'; HRESULT: 0x........; Message: '...'; Description: '...';" (the driver's
// message is the description) and turned into FALSE. Nothing is thrown out of the class.
//
// Statements that carry data go to the driver with bound parameters (the Execute overload with values):
// a value is never written into the statement text.
//
// Threads: an object is used by one thread at a time (the engine's apartment).
#pragma once

#include "platform/ado/ado.h"

#include <functional>
#include <map>
#include <span>
#include <string>

// Modes of CADO::Send.
inline constexpr int ADO_SEND_BY_COMMAND = 100;
inline constexpr int ADO_SEND_BY_RECORDSET = 200;

class CADO {
public:
    CADO();
    // Close, then releases the recordset, the command and the connection.
    virtual ~CADO();
    CADO(const CADO&) = delete;
    CADO& operator=(const CADO&) = delete;

    // Opens a new connection with an ADO connection string ("File Name=<file data source>;") and makes the
    // command that runs statements with parameters; the current recordset is released. After a failed
    // Open the connection stays closed, and every later statement fails.
    virtual BOOL Open(const OLECHAR* connectionString);
    // Records its trace name; closes nothing.
    virtual BOOL Close();
    // Opens the table (or source text) as the current recordset.
    virtual BOOL OpenRecordSet(const OLECHAR* source);
    // Makes the current recordset when there is none, else closes it when open.
    virtual BOOL ResetRecordSet();
    // ADO_SEND_BY_COMMAND: fSendByCommandPtr; ADO_SEND_BY_RECORDSET: fSendByRecordSet; other modes: FALSE.
    virtual BOOL Send(const OLECHAR* text, int mode);
    // Find on the open current recordset; FALSE when nothing meets the criteria (the recordset at EOF).
    virtual BOOL SelectRecordSet(const OLECHAR* criteria);
    // Opens the text as the current recordset (dynamic cursor, optimistic locks).
    virtual BOOL fSendByRecordSet(const OLECHAR* text);
    // Runs the text as a stored procedure call on the command; its result becomes the current recordset.
    virtual BOOL fSendByCommandPtr(const OLECHAR* text);

    // Traces "SQL: \"<text>\"" and runs the text; its result becomes the current recordset.
    BOOL Execute(const OLECHAR* sql);
    // The same with one value per "?" marker of the text, bound as parameters. Each text runs on a command of
    // its own that keeps it prepared, so statements that alternate (a lookup, then an insert) are not parsed
    // again on every run. recordsAffected, when given, receives the rows an INSERT, UPDATE or DELETE touched
    // (-1 when the driver does not say); it is left alone on FALSE.
    BOOL Execute(const OLECHAR* sql, std::span<const _variant_t> parameters, LONG* recordsAffected = nullptr);
    // Moves the current recordset to its first record; FALSE without a recordset or a record.
    BOOL MoveFirstItem();
    // The current record's field as UTF-8 text; FALSE without a recordset, or when the field is unknown,
    // NULL or empty (its actual size is not above zero). text is left alone on FALSE.
    BOOL GetItem(const OLECHAR* fieldName, std::string& text);
    // Why the last operation that returned FALSE failed, in the database's own words (the error line's
    // description: the driver's messages), else the HRESULT's text. Read it right after that FALSE: a later
    // success does not clear it.
    const std::u16string& LastFailure() const { return m_lastFailure; }

protected:
    vr::ado::ConnectionPtr m_pConnection;
    vr::ado::CommandPtr m_pCommand;
    vr::ado::RecordsetPtr m_pRecordSet;

private:
    // The held connection, or E_POINTER raised when there is none (as a call through a null pointer).
    const vr::ado::ConnectionPtr& HeldConnection() const;
    // The command that keeps the text prepared, made on first use; E_POINTER raised when the last Open
    // failed (as m_pCommand's users do).
    const vr::ado::CommandPtr& PreparedCommandFor(const OLECHAR* text);
    BOOL RunCommand(const vr::ado::CommandPtr& command, const OLECHAR* text,
                    std::span<const _variant_t> parameters, LONG options, LONG* recordsAffected = nullptr);

    // Execute's commands by statement text, for the current connection (Open empties it). Bounded: a caller
    // that runs ever new texts empties it rather than holding statements without end. The object's thread.
    std::map<std::u16string, vr::ado::CommandPtr, std::less<>> m_preparedCommands;
    std::u16string m_lastFailure; // the object's thread
};
