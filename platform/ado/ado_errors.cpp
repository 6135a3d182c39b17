// Raising the ADO layer's errors as _com_error with error information.
#include "platform/ado/ado_errors.h"

#include "platform/ado/odbc_calls.h"
#include "platform/com/comptr.h"

#include <string>

namespace vr::ado {

void RaiseError(HRESULT hr, std::u16string_view description) {
    ComPtr<ICreateErrorInfo> created;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(created.Put()))) {
        std::u16string source(kErrorSource);
        std::u16string text(description);
        static_cast<void>(created->SetGUID(GUID_NULL));
        static_cast<void>(created->SetSource(source.data()));
        static_cast<void>(created->SetDescription(text.data()));
        static_cast<void>(created.As(&info));
    }
    throw _com_error(hr, info.Get());
}

namespace odbc {

void RaiseDriverError(const std::u16string& description) {
    RaiseError(E_FAIL, description);
}

} // namespace odbc
} // namespace vr::ado
