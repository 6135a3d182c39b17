// A form row's logic: combo options, label text, and storing or retrieving the value with its error texts.
#include "common/attrvalues/AttrValueEditorModel.h"

#include "common/attrvalues/AttrValue.h"
#include "common/options/ParamParser.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/errorinfo.h"

#include <cstdio>

namespace {

std::u16string FromBstr(BSTR text) {
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

} // namespace

AttrValueRowFlags AttrValueRowFlags::Parse(const std::string& text) {
    std::u16string options = vr::FromUtf8(text);
    AttrValueRowFlags flags;
    flags.showNameAsStandardStatic = IsParamTrue(options.c_str(), u"ShowNameAsStandardStatic");
    flags.showLocalNameOnly = IsParamTrue(options.c_str(), u"ShowLocalNameOnly");
    flags.dynamicallyStoreAttrValue = IsParamTrue(options.c_str(), u"DynamicallyStoreAttrValue");
    flags.notAutoSetRecentValue = IsParamTrue(options.c_str(), u"NotAutoSetRecentValue");
    return flags;
}

std::string AttrValueEditorModel::ChildOptions(CAttrValue& value, const std::string& rowOptions) {
    std::u16string start = vr::FromUtf8(rowOptions);
    BSTR options = SysAllocStringLen(start.data(), static_cast<UINT>(start.size()));
    EnsureParam(&options, u"NotAutoSetInitialSelection");
    if (value.GetValueCount() == 0) {
        std::u16string name = vr::FromUtf8(value.GetNameText());
        AppendParam(&options, u"RegistryVarNameForRecentValues", name.c_str(), u" ", false);
    } else {
        AppendParam(&options, u"MaxNumOfRecentValues", u"0", u" ", false);
        EnsureParam(&options, u"NotEditable");
    }
    std::string result = vr::ToUtf8(FromBstr(options));
    SysFreeString(options);
    return result + " " + value.GetOptions();
}

AttrValueEditorModel::AttrValueEditorModel(CAttrValue& value, const std::string& rowOptions) : value_(value) {
    std::string childOptions = ChildOptions(value, rowOptions);
    flags_ = AttrValueRowFlags::Parse(childOptions);
    combo_ = std::make_unique<AttrValueComboModel>(childOptions);
    for (int index = 0; index < value.GetValueCount(); ++index) {
        combo_->AppendListValue(value.GetValueAt(index));
    }
    combo_->ShowValue(value.GetValueText());
}

std::string AttrValueEditorModel::LabelText() const {
    std::string name = value_.GetNameText();
    if (flags_.showLocalNameOnly) {
        size_t colon = name.find(':');
        if (colon != std::string::npos) {
            name = name.substr(colon + 1);
        }
    }
    return flags_.showNameAsStandardStatic && value_.GetChoiceCount() == 0 ? name + " :" : name;
}

void AttrValueEditorModel::ChooseName(const std::string& name) {
    value_.SetNameText(name.c_str());
}

AttrValueEditorModel::Outcome AttrValueEditorModel::Retrieve(std::string* shownText) {
    Outcome outcome;
    outcome.hr = value_.RetrieveValue();
    if (FAILED(outcome.hr)) {
        outcome.errorText = AttrValueErrorText("retrieving", value_.GetNameText(), outcome.hr);
        return outcome;
    }
    std::string shown = combo_->ShowValue(value_.GetValueText());
    if (shownText) {
        *shownText = shown;
    }
    return outcome;
}

AttrValueEditorModel::Outcome AttrValueEditorModel::Store() {
    Outcome outcome;
    std::string text = combo_->CurrentText();
    outcome.hr = value_.StoreValue(text.c_str());
    if (FAILED(outcome.hr)) {
        outcome.errorText = AttrValueErrorText("storing", value_.GetNameText(), outcome.hr);
        return outcome;
    }
    if (!flags_.notAutoSetRecentValue && text != CAttrValue::kUndefined) {
        combo_->AddRecentValue();
    }
    return outcome;
}

AttrValueEditorModel::Outcome AttrValueEditorModel::Type(const std::string& text) {
    AttrValueComboModel::Check check =
        combo_->CheckText(value_, text, true, flags_.dynamicallyStoreAttrValue);
    return check.storeNow ? Store() : Outcome{};
}

std::string AttrValueErrorText(const char* action, const std::string& name, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string text = std::string("Error while ") + action + " \"" + name + "\" attribute value!\n";
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR source = nullptr;
        BSTR description = nullptr;
        (void)info->GetSource(&source);
        (void)info->GetDescription(&description);
        text += "Source: " + vr::ToUtf8(FromBstr(source)) +
                "\nDescription: " + vr::ToUtf8(FromBstr(description)) + "\n";
        SysFreeString(source);
        SysFreeString(description);
        info->Release();
    }
    return text + "HRESULT = " + code + ".";
}
