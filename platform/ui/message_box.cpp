// Message boxes over QMessageBox, the COM failure box, and answering boxes from tests.
#include "platform/ui/message_box.h"

#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/ui/modal.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <utility>
#include <vector>

namespace vr::ui {

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

// The buttons of each MB_ kind with their answers; the last is the one closing the box stands for.
std::vector<std::pair<QMessageBox::StandardButton, int>> ButtonsOf(UINT type) {
    switch (type & 0xF) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {
            {QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon IconOf(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

UINT MbIconOf(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Critical:
        return MB_ICONERROR;
    case QMessageBox::Question:
        return MB_ICONQUESTION;
    case QMessageBox::Warning:
        return MB_ICONWARNING;
    case QMessageBox::Information:
        return MB_ICONINFORMATION;
    default:
        return 0;
    }
}

// The answer a Qt button stands for; the cancel answer for anything else (the box closed otherwise).
int AnswerOf(int button, UINT type) {
    auto buttons = ButtonsOf(type);
    for (auto [standard, id] : buttons) {
        if (button == standard) {
            return id;
        }
    }
    // MB_ABORTRETRYIGNORE has no way out but its buttons; closing it is taken as Ignore would be wrong,
    // Abort is the safe reading.
    return (type & 0xF) == MB_ABORTRETRYIGNORE ? IDABORT : buttons.back().second;
}

QMessageBox::StandardButton StandardOf(int id) {
    switch (id) {
    case IDOK:
        return QMessageBox::Ok;
    case IDCANCEL:
        return QMessageBox::Cancel;
    case IDABORT:
        return QMessageBox::Abort;
    case IDRETRY:
        return QMessageBox::Retry;
    case IDIGNORE:
        return QMessageBox::Ignore;
    case IDYES:
        return QMessageBox::Yes;
    case IDNO:
        return QMessageBox::No;
    default:
        return QMessageBox::NoButton;
    }
}

std::u16string Text(BSTR text) {
    std::u16string out(BstrView(text));
    SysFreeString(text);
    return out;
}

// Nobody can answer a box where nothing is shown (the offscreen and minimal platforms), unless a test queued
// the answer.
bool NobodyCanAnswer() {
    QString platform = QGuiApplication::platformName();
    return (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) &&
           PendingModalAnswers() == 0;
}

} // namespace

int MessageBox(QWidget* parent, std::u16string_view text, std::u16string_view caption, UINT type) {
    if (NobodyCanAnswer()) {
        // As the programs' own boxes do there: written down, and answered as closing the box answers it.
        std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
        std::fflush(stderr);
        return AnswerOf(-1, type);
    }
    QMessageBox box(IconOf(type), ToQString(caption), ToQString(text), QMessageBox::NoButton, parent);
    auto buttons = ButtonsOf(type);
    for (auto [standard, id] : buttons) {
        box.addButton(standard);
    }
    box.setDefaultButton(buttons.front().first);
    if ((type & 0xF) != MB_ABORTRETRYIGNORE) {
        box.setEscapeButton(buttons.back().first);
    }
    return AnswerOf(ExecModal(box), type);
}

std::u16string ComErrorText(HRESULT hr, std::u16string_view source, std::u16string_view description) {
    std::u16string text(description.empty() ? std::u16string_view(HResultMessage(hr)) : description);
    text += u"\n\n";
    if (!source.empty()) {
        text += u"Source: ";
        text += source;
        text += u"\n";
    }
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(hr));
    text += u"Error code: " + FromUtf8(code);
    return text;
}

int ShowComError(QWidget* parent, HRESULT hr) {
    std::u16string source;
    std::u16string description;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetSource(&text))) {
            source = Text(text);
        }
        text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text))) {
            description = Text(text);
        }
        info->Release();
    }
    return MessageBox(parent, ComErrorText(hr, source, description), u"Error", MB_OK | MB_ICONERROR);
}

int ShowComError(QWidget* parent, const _com_error& error) {
    std::u16string source(BstrView(static_cast<BSTR>(error.Source())));
    std::u16string description(BstrView(static_cast<BSTR>(error.Description())));
    return MessageBox(parent, ComErrorText(error.Error(), source, description), u"Error",
                      MB_OK | MB_ICONERROR);
}

void AnswerNextMessageBox(int id, MessageBoxSeen* seen) {
    AnswerNextModal([id, seen](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        if (seen && box) {
            *seen = MessageBoxSeen{FromQString(box->windowTitle()), FromQString(box->text()),
                                   MbIconOf(box->icon())};
        }
        QAbstractButton* button = box ? box->button(StandardOf(id)) : nullptr;
        if (button) {
            button->click();
        } else {
            dialog.reject();
        }
    });
}

} // namespace vr::ui
