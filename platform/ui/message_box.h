// Message boxes as the programs use them (buttons, icons and answers by the usual numbers), and the box that
// shows a COM failure: its description, its source and its HRESULT.
#pragma once

#include "platform/base/types.h"
#include "platform/com/hresult.h"

#include <string>
#include <string_view>

class QWidget;
class _com_error;

// Buttons (one of) and icon (one of), combined.
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONSTOP = MB_ICONERROR;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONEXCLAMATION = MB_ICONWARNING;
inline constexpr UINT MB_ICONINFORMATION = 0x40;

// The answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

namespace vr::ui {

// Shows a modal message box (through ExecModal, so tests can answer it) and returns the button chosen;
// closing the box without a button gives its cancel answer (IDCANCEL, IDNO for MB_YESNO, IDOK for MB_OK,
// IDABORT for MB_ABORTRETRYIGNORE). Where nothing is shown (the offscreen or minimal platform) and no test
// queued an answer, nobody could answer: the box is written to standard error as "<caption>: <text>" and
// gets its cancel answer at once. Window thread only.
int MessageBox(QWidget* parent, std::u16string_view text, std::u16string_view caption, UINT type);

// The text of the box that shows a COM failure: the description (the HRESULT's system text when there is
// none), then the source when known, then the code, e.g.
//     Couldn't open the connection.
//
//     Source: Vornic.Connection
//     Error code: 0x80004005
std::u16string ComErrorText(HRESULT hr, std::u16string_view source, std::u16string_view description);

// Shows the calling thread's error information for the failure hr (consuming it, as GetErrorInfo does), with
// caption "Error", the error icon and an OK button. Window thread only.
int ShowComError(QWidget* parent, HRESULT hr);
// The same for a failure raised as _com_error.
int ShowComError(QWidget* parent, const _com_error& error);

// For tests: what a shown message box said, and the answer that ends it.
struct MessageBoxSeen {
    std::u16string caption;
    std::u16string text;
    UINT icon = 0; // MB_ICON* as shown
};
// Queues the answer id for the next message box (a modal answer that clicks that button); seen, when given,
// receives what the box showed. A box without that button is closed with its cancel answer instead.
void AnswerNextMessageBox(int id, MessageBoxSeen* seen = nullptr);

} // namespace vr::ui
