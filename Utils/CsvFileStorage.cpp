// CCsvFile: saving the grid to its file, reading it back, and closing with pending changes saved.
#include "CsvFile.h"

#include "CsvFilePath.h"

#include <new>
#include <stdexcept>

namespace utils {

// The argument when it is a string, else the `file` path; only the `file` path gets the time stamp.
HRESULT CCsvFile::BuildFilePath(const VARIANT& filePath, std::u16string* path) const {
    const bool fromArgument = filePath.vt == VT_BSTR;
    const std::u16string given = fromArgument ? std::u16string(vr::BstrView(filePath.bstrVal)) : fileName_;
    if (given.empty()) {
        SetTraceSite();
        TraceError(u"Csv file FilePath is not provided.");
        return E_INVALIDARG;
    }
    if (timeStamp_ && !fromArgument) {
        const std::tm now = LocalTimeNow();
        *path = CsvFilePath(given, &now);
    } else {
        *path = CsvFilePath(given, nullptr);
    }
    return S_OK;
}

HRESULT CCsvFile::Save(const VARIANT& filePath) {
    std::u16string path;
    if (HRESULT hr = BuildFilePath(filePath, &path); FAILED(hr)) {
        return hr;
    }
    try {
        if (!grid_.WriteFile(path)) {
            return E_FAIL;
        }
    } catch (const std::bad_alloc&) {
        return TraceInternalError();
    }
    modified_ = false;
    return S_OK;
}

HRESULT CCsvFile::Read(const VARIANT& filePath) {
    std::u16string path;
    if (HRESULT hr = BuildFilePath(filePath, &path); FAILED(hr)) {
        return hr;
    }
    try {
        if (!grid_.ReadFile(path)) {
            return E_FAIL;
        }
    } catch (const std::bad_alloc&) {
        return TraceInternalError();
    } catch (const std::length_error&) {
        return TraceInternalError();
    }
    modified_ = false;
    return S_OK;
}

HRESULT CCsvFile::SaveFile(VARIANT sFilePath) {
    SetTraceMethodName(u"CCsvFile::SaveFile()");
    return WithErrorInfo(Save(sFilePath));
}

HRESULT CCsvFile::ReadFile(VARIANT sFilePath) {
    SetTraceMethodName(u"CCsvFile::ReadFile()");
    return WithErrorInfo(Read(sFilePath));
}

// A save that fails is returned with its error information, so that the changes are not lost unnoticed; they
// stay pending, and a later Close tries again.
HRESULT CCsvFile::Close() {
    SetTraceMethodName(u"CCsvFile::Close()");
    if (!modified_) {
        return S_OK;
    }
    return WithErrorInfo(Save(vr::MissingArgument()));
}

} // namespace utils
