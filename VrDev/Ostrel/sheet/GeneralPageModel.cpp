// The General page's logic: the adapter file and the device connection of the sheet.
#include "VrDev/Ostrel/sheet/GeneralPageModel.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/comtext/VariantTexts.h"
#include "common/trace/Trace.h"
#include "platform/base/file_read.h"
#include "platform/base/file_write.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/com/variant.h"

#include <filesystem>
#include <system_error>

namespace ostrel {

namespace {

// Copies the blank template to path, never over an existing file; false with the reason in *error.
bool CopyBlankTo(const std::u16string& path, std::string* error) {
    std::u16string blank = BlankAdapterFilePath();
    if (blank.empty()) {
        *error = "the configuration item AdapterBlankFile names no blank file";
        return false;
    }
    std::string text;
    if (vr::FileReadResult read = vr::ReadInputFile(vr::ToUtf8(blank), &text); !read) {
        *error = read.reason;
        return false;
    }
    // Made whole, and only where nothing is (platform/base/file_write.h).
    vr::FileWriteResult made = vr::WriteFileWhole(vr::ToUtf8(path), text, {vr::FileWriteMode::CreateNew, {}});
    *error = made.why;
    return static_cast<bool>(made);
}

} // namespace

std::u16string GeneralPageModel::AdapterFolder() {
    return vr::MapWindowsPath(std::u16string_view(u"c:\\Ostrel\\Adapter"));
}

std::vector<std::u16string> GeneralPageModel::ConnectionNames() {
    std::vector<std::u16string> names;
    _variant_t records;
    IVrRigmont* rigmont = context_.Rigmont();
    HRESULT hr = rigmont ? rigmont->GetRecordNames(_bstr_t(u"connection"), &records) : REGDB_E_CLASSNOTREG;
    if (SUCCEEDED(hr) && !vrcommon::VariantArrayTexts(records, &names)) {
        hr = DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
        TraceError(u"Error while working with VrRigmont; Code: 0x%08X.", static_cast<unsigned>(hr));
        return {};
    }
    std::erase_if(names, [](const std::u16string& name) { return name.empty() || name.front() == u'_'; });
    return names;
}

BrowseResult GeneralPageModel::Browse(const std::u16string& path) {
    if (context_.HasFile()) {
        return BrowseResult::kAlreadyChosen;
    }
    std::error_code ignored; // an unreadable place counts as missing: the copy then says what is wrong
    if (!std::filesystem::exists(vr::ToUtf8(path), ignored)) {
        std::string error;
        if (!CopyBlankTo(path, &error)) {
            TraceError(u"Couldn't create file '%ls'. %ls", path.c_str(), vr::FromUtf8(error).c_str());
            context_.Error(u"Couldn't create file '" + path + u"'");
            return BrowseResult::kNotCreated;
        }
    }
    return SUCCEEDED(context_.SetAdapterFile(path)) ? BrowseResult::kChosen : BrowseResult::kNotValid;
}

std::u16string GeneralPageModel::PathText() const {
    return context_.HasFile() ? context_.FileName() : std::u16string();
}

HRESULT GeneralPageModel::ConnectionChanged(const std::u16string& name) {
    return name.empty() ? S_FALSE : context_.ChooseConnection(name);
}

} // namespace ostrel
