// The editor control's form logic: building the rows, their places and their change, and the settings string.
#include "FormAttrModel.h"

#include "common/ParamParser.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <cstring>

namespace {

// The value of a name in an option string, when present.
bool FindOption(const std::string& text, const std::string& name, std::string* value) {
    std::u16string wideText = vr::FromUtf8(text);
    std::u16string wideName = vr::FromUtf8(name);
    BSTR found = nullptr;
    if (!GetParam(nullptr, &found, wideText.c_str(), wideName.c_str())) {
        return false;
    }
    *value = found ? vr::BstrToUtf8(found) : std::string();
    SysFreeString(found);
    return true;
}

std::string LocalName(const std::string& name) {
    size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

} // namespace

FormAttrModel::~FormAttrModel() {
    Clear();
}

bool FormAttrModel::Init(IUnknown* collection, CAttrValueList* lent, long nameWidth,
                         const std::string& options, const std::string& setup,
                         const std::string& childOptions) {
    options_ = options;
    std::u16string wideOptions = vr::FromUtf8(options);
    showSupplementary_ = !IsParamTrue(wideOptions.c_str(), u"NotShowSupplementarySetup");
    auto own = std::make_unique<CAttrCollValues>();
    if (collection && own->Init(collection, setup, options)) {
        owned_ = std::move(own);
        list_ = owned_.get();
    } else if (lent) {
        list_ = lent;
        showSupplementary_ = false;
    } else {
        showSupplementary_ = false; // nothing to show, not even a supplementary setup
    }
    nameWidth_ = static_cast<int>(nameWidth);
    if (!list_) {
        return true;
    }
    for (int index = 0; index < list_->GetCount(); ++index) {
        CAttrValue& value = *list_->GetAt(index);
        std::string editorOptions;
        if (FindOption(childOptions, value.GetNameText(), &editorOptions) ||
            FindOption(childOptions, LocalName(value.GetNameText()), &editorOptions)) {
            value.SetOptions(editorOptions.c_str());
        }
    }
    size_t rowCount = static_cast<size_t>(list_->GetCount()) + (showSupplementary_ ? 1 : 0);
    int editorWidth = EditorWidth(rowCount);
    for (int index = 0; index < list_->GetCount(); ++index) {
        AddRow(*list_->GetAt(index), false);
        rows_.back().rect.right = rows_.back().rect.left + editorWidth;
    }
    if (showSupplementary_) {
        supplementary_ = std::make_unique<CAttrValue>(kSupplementaryName, kSupplementaryOptions);
        supplementary_->SetValueText(Supplementary().c_str());
        AddRow(*supplementary_, true);
        rows_.back().rect.right = rows_.back().rect.left + editorWidth;
    }
    return true;
}

int FormAttrModel::EditorWidth(size_t rowCount) const {
    long long bottom = nextY_ + static_cast<long long>(rowCount) * kRowHeight;
    int margin = bottom > height_ ? kScrollBarMargin : kRightMargin;
    return width_ - nameWidth_ - margin;
}

void FormAttrModel::AddRow(CAttrValue& value, bool supplementary) {
    FormRow row;
    row.model = std::make_unique<AttrValueEditorModel>(value, options_);
    row.model->Combo().ShowValue(value.GetValueText());
    row.rect = {nameWidth_ + kEditorGap, nextY_, nameWidth_ + kEditorGap, nextY_ + kRowHeight};
    row.supplementary = supplementary;
    rows_.push_back(std::move(row));
    nextY_ += kRowHeight;
}

void FormAttrModel::Clear() {
    rows_.clear(); // before the values they edit
    owned_.reset();
    supplementary_.reset();
    list_ = nullptr;
    showSupplementary_ = false;
    nextY_ = kFirstY;
}

std::string FormAttrModel::Supplementary() const {
    return owned_ ? owned_->Supplementary : std::string();
}

std::pair<std::string, std::string> FormAttrModel::RowChanged(size_t row, const std::string& text) {
    const FormRow& changed = rows_.at(row);
    if (changed.supplementary && owned_) {
        owned_->Supplementary = text == CAttrValue::kUndefined ? std::string() : text;
    }
    return {changed.model->Value().GetNameText(), text};
}

HRESULT FormAttrModel::ApplySupplementary() {
    if (!showSupplementary_ || !owned_ || !owned_->Collection()) {
        return S_OK;
    }
    BSTR settings = vr::AllocBstrUtf8(owned_->Supplementary);
    HRESULT hr = owned_->Collection()->SetAttributes(settings);
    SysFreeString(settings);
    return hr;
}

std::string FormAttrModel::GetAttributes() const {
    BSTR settings = SysAllocString(u"");
    for (const FormRow& row : rows_) {
        std::string shown = row.model->Combo().CurrentText();
        if (shown == CAttrValue::kUndefined) {
            continue;
        }
        if (row.supplementary) {
            std::u16string joined = vr::FromUtf8(vr::BstrToUtf8(settings) + " " + shown);
            SysFreeString(settings);
            settings = SysAllocStringLen(joined.data(), static_cast<UINT>(joined.size()));
            continue;
        }
        std::u16string name = vr::FromUtf8(row.model->Value().GetNameText());
        std::u16string value = vr::FromUtf8(shown);
        // A name or value the writer cannot quote is left out rather than written broken.
        (void)AppendParam(&settings, name.c_str(), value.c_str(), u" ", false);
    }
    (void)GetParamRaw(&settings); // always succeeds
    std::string result = vr::BstrToUtf8(settings);
    SysFreeString(settings);
    return result;
}
