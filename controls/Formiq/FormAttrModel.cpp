// The editor control's form logic: building the rows, their places and their change, and the settings string.
#include "FormAttrModel.h"

#include "common/options/ParamParser.h"
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
    CAttrValueList* list = nullptr;
    CAttrCollValues* ownList = nullptr;
    if (auto made = std::make_unique<CAttrCollValues>();
        collection && made->Init(collection, setup, options)) {
        ownList = made.get();
        list = ownList;
        ownedLists_.push_back(std::move(made));
    } else {
        list = lent;
        showSupplementary_ = false; // a lent list, or nothing to show: no supplementary setup either
    }
    nameWidth_ = static_cast<int>(nameWidth);
    if (!list) {
        return true;
    }
    for (int index = 0; index < list->GetCount(); ++index) {
        CAttrValue& value = *list->GetAt(index);
        std::string editorOptions;
        if (FindOption(childOptions, value.GetNameText(), &editorOptions) ||
            FindOption(childOptions, LocalName(value.GetNameText()), &editorOptions)) {
            value.SetOptions(editorOptions.c_str());
        }
    }
    size_t rowCount = static_cast<size_t>(list->GetCount()) + (showSupplementary_ ? 1 : 0);
    int editorWidth = EditorWidth(rowCount);
    size_t first = rows_.size();
    for (int index = 0; index < list->GetCount(); ++index) {
        AddRow(*list->GetAt(index), nullptr);
    }
    if (showSupplementary_) {
        supplementaries_.push_back(std::make_unique<CAttrValue>(kSupplementaryName, kSupplementaryOptions));
        supplementaries_.back()->SetValueText(ownList->Supplementary.c_str());
        AddRow(*supplementaries_.back(), ownList);
    }
    for (size_t row = first; row < rows_.size(); ++row) {
        rows_[row].rect.right = rows_[row].rect.left + editorWidth;
    }
    return true;
}

int FormAttrModel::EditorWidth(size_t rowCount) const {
    long long bottom = nextY_ + static_cast<long long>(rowCount) * kRowHeight;
    int margin = bottom > height_ ? kScrollBarMargin : kRightMargin;
    return width_ - nameWidth_ - margin;
}

void FormAttrModel::AddRow(CAttrValue& value, CAttrCollValues* supplementaryOf) {
    FormRow row;
    row.model = std::make_unique<AttrValueEditorModel>(value, options_);
    row.rect = {nameWidth_ + kEditorGap, nextY_, nameWidth_ + kEditorGap, nextY_ + kRowHeight};
    row.supplementaryOf = supplementaryOf;
    rows_.push_back(std::move(row));
    nextY_ += kRowHeight;
}

void FormAttrModel::Clear() {
    rows_.clear(); // before the values they edit
    ownedLists_.clear();
    supplementaries_.clear();
    showSupplementary_ = false;
    nextY_ = kFirstY;
}

std::string FormAttrModel::Supplementary() const {
    return ownedLists_.empty() ? std::string() : ownedLists_.back()->Supplementary;
}

std::pair<std::string, std::string> FormAttrModel::RowChanged(size_t row, const std::string& text) {
    const FormRow& changed = rows_.at(row);
    if (changed.supplementaryOf) {
        changed.supplementaryOf->Supplementary = text == CAttrValue::kUndefined ? std::string() : text;
    }
    return {changed.model->Value().GetNameText(), text};
}

HRESULT FormAttrModel::ApplySupplementary() {
    HRESULT result = S_OK;
    for (const FormRow& row : rows_) {
        if (!row.supplementaryOf || !row.supplementaryOf->Collection()) {
            continue;
        }
        BSTR settings = vr::AllocBstrUtf8(row.supplementaryOf->Supplementary);
        HRESULT hr = row.supplementaryOf->Collection()->SetAttributes(settings);
        SysFreeString(settings);
        result = FAILED(result) ? result : hr; // the first failure, after applying every one
    }
    return result;
}

std::string FormAttrModel::GetAttributes() const {
    BSTR settings = SysAllocString(u"");
    for (const FormRow& row : rows_) {
        std::string shown = row.model->Combo().CurrentText();
        if (shown == CAttrValue::kUndefined) {
            continue;
        }
        if (row.supplementaryOf) {
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
    // A supplementary text with an item the writer cannot quote is handed on as it was, not cut short.
    (void)GetParamRaw(&settings);
    std::string result = vr::BstrToUtf8(settings);
    SysFreeString(settings);
    return result;
}
