// CCsvFile::Init: the defaults and the option string that sets the file, its time stamp and the array
// placement.
#include "CsvFile.h"

#include "common/options/ParamParser.h"
#include "platform/base/text.h"

namespace utils {

namespace {

// A BSTR out-argument of the option-string parser, freed on scope exit.
struct OwnedBstr {
    BSTR text = nullptr;
    OwnedBstr() = default;
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text); }
    std::u16string_view View() const { return vr::BstrView(text); }
};

} // namespace

HRESULT CCsvFile::Init(VARIANT sOptions) {
    SetTraceMethodName(u"CCsvFile::Init()");
    BSTR shown = VariantToTextBstr(&sOptions);
    SetTraceSite();
    TraceInfo(u"(sOptions = \"%s\")", shown ? shown : u"");
    SysFreeString(shown);

    grid_.Clear();
    fileName_.clear();
    SetDefaults();
    if (sOptions.vt != VT_BSTR) {
        return S_OK;
    }
    return WithErrorInfo(ApplyOptions(sOptions.bstrVal));
}

// Items take effect in order, so those before a bad "ArrayPlacement" have been applied when it fails.
HRESULT CCsvFile::ApplyOptions(BSTR options) {
    timeStamp_ = IsParamTrue(options, u"AddTimeStamp");
    const int count = ParamCount(options);
    for (int i = 0; i < count; ++i) {
        OwnedBstr name;
        OwnedBstr value;
        if (!GetParamAt(&name.text, &value.text, options, i)) {
            continue;
        }
        if (vr::EqualsNoCase(name.View(), u"File")) {
            fileName_ = value.View();
        } else if (vr::EqualsNoCase(name.View(), u"FileMask")) {
            fileName_ = value.View();
            timeStamp_ = true;
        } else if (vr::EqualsNoCase(name.View(), u"ArrayPlacement")) {
            if (value.text && vr::EqualsNoCase(value.View(), u"Row")) {
                placement_ = Placement::Row;
            } else if (value.text && vr::EqualsNoCase(value.View(), u"Column")) {
                placement_ = Placement::Column;
            } else {
                SetTraceSite();
                TraceError(u"CsvFile: Wrong value of 'ArrayPlacement' parameter within initialization string "
                           u"\"%s\".",
                           options ? options : u"");
                return E_INVALIDARG;
            }
        }
    }
    return S_OK;
}

} // namespace utils
