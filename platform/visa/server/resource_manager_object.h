// The resource manager class (ProgID "VISA.GlobalRM"): opens sessions and finds resources.
#pragma once

#include "platform/com/object.h"
#include "platform/visa/visa_com.h"

class CVisaResourceManager : public vr::ObjectRoot,
                             public vr::CoClass<CVisaResourceManager>,
                             public IResourceManager {
public:
    using Interfaces = vr::InterfaceList<IResourceManager>;
    static constexpr bool kAggregatable = false;

    HRESULT Open(BSTR resourceName, LONG mode, LONG openTimeout, BSTR options,
                 IVisaSession** session) override;
    HRESULT FindRsrc(BSTR expression, SAFEARRAY** names) override;
};
