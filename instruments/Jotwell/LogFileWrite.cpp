// CLogFile: records collected in memory and written as a whole, the file opened, appended to and closed.
#include "LogFile.h"

#include "common/trace/Trace.h"
#include "platform/base/paths.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/base/user_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jotwell {

namespace {

// The end of the file read to find the root close tag: the tag and generous trailing white space.
constexpr off_t kTailLength = 4096;

} // namespace

HRESULT CLogFile::BeginRecord(BSTR bsRecordId) {
    SetTraceMethodName(u"CLogFile::BeginRecord()");
    return FailWithErrorInfo(CLSID_LogFile, OpenRecord(std::u16string(vr::BstrView(bsRecordId))));
}

HRESULT CLogFile::OpenRecord(const std::u16string& id) {
    // An id that is no element name would leave a file no reader can load.
    if (!IsLatin1XmlName(id)) {
        SetTraceSite();
        TraceHResultError(E_INVALIDARG, u"'%s' is no valid record name of a LogFile.", id.c_str());
        return E_INVALIDARG;
    }
    if (records_.contains(id)) {
        if (HRESULT hr = WriteRecord(id); FAILED(hr)) {
            return hr;
        }
    }
    records_[id];
    return S_OK;
}

HRESULT CLogFile::SaveField(BSTR bsRecordId, BSTR bsFieldId, BSTR bsData) {
    SetTraceMethodName(u"CLogFile::SaveField()");
    std::u16string recordId(vr::BstrView(bsRecordId));
    std::u16string fieldId(vr::BstrView(bsFieldId));
    if (!IsLatin1XmlName(fieldId)) {
        SetTraceSite();
        TraceHResultError(E_INVALIDARG, u"'%s' is no valid field name of a LogFile.", fieldId.c_str());
        return FailWithErrorInfo(CLSID_LogFile, E_INVALIDARG);
    }
    if (!records_.contains(recordId)) {
        if (HRESULT hr = OpenRecord(recordId); FAILED(hr)) {
            return FailWithErrorInfo(CLSID_LogFile, hr);
        }
    }
    std::u16string data(vr::BstrView(bsData));
    records_[recordId].push_back({fieldId, data});
    TraceInfo(u"Saved to LogFile '%s/%s' = '%s'.", recordId.c_str(), fieldId.c_str(),
              Abbreviated(data).c_str());
    return S_OK;
}

HRESULT CLogFile::EndRecord(BSTR bsRecordId) {
    SetTraceMethodName(u"CLogFile::EndRecord()");
    std::u16string id(vr::BstrView(bsRecordId));
    if (!records_.contains(id)) {
        SetTraceSite();
        TraceHResultError(E_INVALIDARG, u"There is no open record '%s' in the LogFile.", id.c_str());
        return FailWithErrorInfo(CLSID_LogFile, E_INVALIDARG);
    }
    return FailWithErrorInfo(CLSID_LogFile, WriteRecord(id));
}

HRESULT CLogFile::WriteRecord(const std::u16string& id) {
    auto record = records_.find(id);
    // One write per record, so a recorder that dies leaves whole records behind. A record that could not be
    // written stays open: the next end or flush tries again.
    if (HRESULT hr = WriteText(RecordBytes(id, record->second)); FAILED(hr)) {
        return hr;
    }
    records_.erase(record);
    return S_OK;
}

HRESULT CLogFile::EndAllRecords() {
    while (!records_.empty()) {
        if (HRESULT hr = WriteRecord(records_.begin()->first); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT CLogFile::Flush(VARIANT varboolNotClose) {
    SetTraceMethodName(u"CLogFile::Flush()");
    if (HRESULT hr = EndAllRecords(); FAILED(hr)) {
        return FailWithErrorInfo(CLSID_LogFile, hr);
    }
    if (!vr::IsMissingArgument(varboolNotClose)) {
        return S_OK;
    }
    if (HRESULT hr = CloseFile(); FAILED(hr)) {
        return FailWithErrorInfo(CLSID_LogFile, hr);
    }
    document_ = vr::xml::Document();
    return S_OK;
}

HRESULT CLogFile::CloseFile() {
    std::string closeTag = RootCloseTag(RootElement());
    // An open file is always completed, even when the write mode was switched off meanwhile.
    HRESULT hr = fd_ >= 0 ? WriteAll(closeTag) : WriteText(closeTag);
    if (FAILED(hr) || fd_ < 0) {
        return hr;
    }
    int closed = close(fd_);
    int error = errno;
    fd_ = -1;
    TraceInfo(u"Close LogFile '%s'.", FilePath().c_str());
    if (closed != 0) {
        SetTraceSite();
        hr = vr::HResultFromErrno(error);
        TraceHResultError(hr, u"Couldn't close LogFile '%s'.", FilePath().c_str());
        return hr;
    }
    return S_OK;
}

HRESULT CLogFile::WriteText(const std::string& bytes) {
    if (WriteModeIs(u"Off")) {
        return S_OK;
    }
    if (fd_ < 0) {
        if (HRESULT hr = OpenFile(); FAILED(hr)) {
            return hr;
        }
    }
    return WriteAll(bytes);
}

HRESULT CLogFile::OpenFile() {
    std::u16string root = RootElement();
    if (!IsLatin1XmlName(root)) {
        SetTraceSite();
        TraceHResultError(E_INVALIDARG, u"'%s' is no valid root element name of a LogFile.", root.c_str());
        return E_INVALIDARG;
    }
    bool fresh = WriteModeIs(u"Begin");
    std::string path = vr::ToUtf8(vr::MapWindowsPath(FilePath()));
    if (std::string reason; !vr::IsTrustedUserFile(path, {"recording", "written"}, &reason)) {
        SetTraceSite();
        TraceHResultError(E_ACCESSDENIED, u"%hs", reason.c_str());
        return E_ACCESSDENIED;
    }
    int flags = O_RDWR | O_CREAT | O_CLOEXEC | (fresh ? O_TRUNC : 0);
    fd_ = open(path.c_str(), flags, vr::UserFileModeIn(vr::FolderOfPath(path))); // the user's alone
    if (fd_ < 0) {
        HRESULT hr = vr::HResultFromErrno(errno);
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't open LogFile '%s'.", FilePath().c_str());
        return hr;
    }
    TraceInfo(u"Open LogFile '%s'.", FilePath().c_str());
    if (fresh) {
        // "Begin" lasts for one opening: from now on the object appends.
        BSTR next = vr::AllocBstr(u"Continue");
        (void)SetSetting(u"LOGFILE:WRITEMODE", next);
        SysFreeString(next);
    }
    HRESULT hr = PositionForAppend();
    if (FAILED(hr)) {
        close(fd_);
        fd_ = -1;
    }
    return hr;
}

HRESULT CLogFile::PositionForAppend() {
    struct stat status {};
    if (fstat(fd_, &status) != 0) {
        HRESULT hr = vr::HResultFromErrno(errno);
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't read the LogFile '%s'.", FilePath().c_str());
        return hr;
    }
    if (status.st_size == 0) {
        return WriteAll(FileHeader(RootElement()));
    }
    off_t tailStart = status.st_size > kTailLength ? status.st_size - kTailLength : 0;
    std::string tail(static_cast<size_t>(status.st_size - tailStart), '\0');
    ssize_t got = pread(fd_, tail.data(), tail.size(), tailStart);
    if (got < 0) {
        HRESULT hr = vr::HResultFromErrno(errno);
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't read the LogFile '%s'.", FilePath().c_str());
        return hr;
    }
    tail.resize(static_cast<size_t>(got));
    auto position = static_cast<off_t>(AppendPosition(tail, static_cast<uint64_t>(tailStart), RootElement()));
    // The close tag (and white space after it) goes; it is written again when the file is closed.
    if (ftruncate(fd_, position) != 0 || lseek(fd_, position, SEEK_SET) < 0) {
        HRESULT hr = vr::HResultFromErrno(errno);
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't append to the LogFile '%s'.", FilePath().c_str());
        return hr;
    }
    return S_OK;
}

HRESULT CLogFile::WriteAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(fd_, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            HRESULT hr = vr::HResultFromErrno(written < 0 ? errno : ENOSPC);
            SetTraceSite();
            TraceHResultError(hr, u"Couldn't write to the LogFile '%s'.", FilePath().c_str());
            return hr;
        }
        done += static_cast<size_t>(written);
    }
    return S_OK;
}

} // namespace jotwell
