// Opening sessions by resource name and searching the station's resources.
#include "resource_manager_object.h"

#include "platform/base/text.h"
#include "platform/com/errorinfo.h"
#include "platform/visa/message_session.h"
#include "platform/visa/resource_search.h"
#include "platform/visa/serial_ports.h"
#include "visa_session_object.h"

namespace {

HRESULT Report(const vr::visa::Failure& failure) {
    return vr::ReportError(failure.status, vr::uuidof<IResourceManager>(), u"VISA.GlobalRM",
                           vr::FromUtf8(failure.message));
}

constexpr LONG kKnownModes = EXCLUSIVE_LOCK | SHARED_LOCK | LOAD_CONFIG;

} // namespace

HRESULT CVisaResourceManager::Open(BSTR resourceName, LONG mode, LONG openTimeout, BSTR options,
                                   IVisaSession** session) {
    if (!session) {
        return E_POINTER;
    }
    *session = nullptr;
    if ((mode & ~kKnownModes) != 0 || (mode & EXCLUSIVE_LOCK && mode & SHARED_LOCK)) {
        return Report(
            {vr::visa::kErrorInvalidAccessMode,
             vr::visa::StatusText(vr::visa::kErrorInvalidAccessMode) + " (" + std::to_string(mode) + ")"});
    }
    std::unique_ptr<vr::visa::MessageSession> opened;
    vr::visa::Failure failure;
    HRESULT hr = vr::visa::MessageSession::Open(vr::ToUtf8(vr::BstrView(resourceName)), openTimeout, &opened,
                                                &failure);
    if (FAILED(hr)) {
        return Report(failure);
    }
    return CVisaSession::Create(std::move(opened), vr::BstrView(options), session);
}

HRESULT CVisaResourceManager::FindRsrc(BSTR expression, SAFEARRAY** names) {
    if (!names) {
        return E_POINTER;
    }
    *names = nullptr;
    std::vector<std::string> matches;
    vr::visa::Failure failure;
    HRESULT hr = vr::visa::FindResources(vr::ToUtf8(vr::BstrView(expression)),
                                         vr::visa::ListSerialResources(), &matches, &failure);
    if (FAILED(hr)) {
        return Report(failure);
    }
    *names = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(matches.size()));
    if (!*names) {
        return E_OUTOFMEMORY;
    }
    for (LONG index = 0; index < static_cast<LONG>(matches.size()); ++index) {
        BSTR name = vr::AllocBstrUtf8(matches[static_cast<size_t>(index)]);
        (void)SafeArrayPutElement(*names, &index, name); // the array keeps its own copy
        SysFreeString(name);
    }
    return S_OK;
}
