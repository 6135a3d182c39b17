// Windows error codes from errno, and their texts (table: win32errors.inc).
#include "platform/base/syserror.h"

#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/hresult.h"

#include <cerrno>
#include <system_error>

namespace vr {
namespace {

struct ErrorEntry {
    DWORD code;
    const char* text;
};

#define VR_WIN32_ERROR(name, code, text) {code, text},
constexpr ErrorEntry kErrors[] = {
#include "platform/base/win32errors.inc"
};
#undef VR_WIN32_ERROR

struct ErrnoEntry {
    int err;
    DWORD code;
};

// What a Windows call would have reported in the same situation. Socket failures take the Windows Sockets
// codes, except where a Win32 code says it as well (refused, unreachable, timed out, aborted).
constexpr ErrnoEntry kErrnoCodes[] = {
    // files and folders
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED}, // opening a folder as a file
    {EROFS, ERROR_WRITE_PROTECT},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EMLINK, ERROR_TOO_MANY_LINKS},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_QUOTA_EXCEEDED},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {EOVERFLOW, ERROR_FILE_TOO_LARGE},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {ESPIPE, ERROR_SEEK_ON_DEVICE},
    {EDEADLK, ERROR_POSSIBLE_DEADLOCK},
    {ENOLCK, ERROR_SHARING_BUFFER_EXCEEDED},
    {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
    // handles, memory, arguments
    {EBADF, ERROR_INVALID_HANDLE},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EFAULT, ERROR_NOACCESS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EDOM, ERROR_INVALID_PARAMETER},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER}, // a result that does not fit the caller's buffer
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {EBUSY, ERROR_BUSY},
    {EAGAIN, ERROR_RETRY},
    {EINTR, ERROR_OPERATION_ABORTED},
    {ECANCELED, ERROR_OPERATION_ABORTED},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {ETIME, ERROR_TIMEOUT},
    // devices and serial lines
    {EIO, ERROR_GEN_FAILURE},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
    {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
    {ENOMEDIUM, ERROR_NOT_READY},
    {ENOTTY, ERROR_INVALID_FUNCTION}, // a terminal control call on something that is no terminal
    {EPIPE, ERROR_BROKEN_PIPE},
    // processes
    {ESRCH, ERROR_INVALID_PARAMETER}, // no such process: what opening an unknown process id reports
    {ECHILD, ERROR_WAIT_NO_CHILDREN},
    {E2BIG, ERROR_FILENAME_EXCED_RANGE}, // a command line too long
    {ENOEXEC, ERROR_BAD_FORMAT},
    // sockets
    {ECONNREFUSED, ERROR_CONNECTION_REFUSED},
    {ECONNRESET, WSAECONNRESET},
    {ECONNABORTED, ERROR_CONNECTION_ABORTED},
    {EHOSTUNREACH, ERROR_HOST_UNREACHABLE},
    {ENETUNREACH, ERROR_NETWORK_UNREACHABLE},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {ENETDOWN, WSAENETDOWN},
    {ENETRESET, WSAENETRESET},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {EINPROGRESS, WSAEWOULDBLOCK}, // a connect that goes on in the background
    {EALREADY, WSAEALREADY},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {ENOBUFS, WSAENOBUFS},
};

} // namespace

DWORD Win32ErrorFromErrno(int err) {
    if (err == 0) {
        return ERROR_SUCCESS;
    }
    for (const auto& entry : kErrnoCodes) {
        if (entry.err == err) {
            return entry.code;
        }
    }
    return ERROR_GEN_FAILURE;
}

HRESULT HResultFromErrno(int err) {
    // Only failures come here: a failed call that left errno 0 must still read as a failure.
    return err == 0 ? E_FAIL : HRESULT_FROM_WIN32(Win32ErrorFromErrno(err));
}

std::u16string Win32ErrorMessage(DWORD code) {
    code &= 0xFFFF;
    for (const auto& entry : kErrors) {
        if (entry.code == code) {
            return FromUtf8(entry.text) + u"\r\n";
        }
    }
    return u"";
}

std::string ErrnoText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

} // namespace vr
