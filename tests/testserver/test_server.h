// CTestServer: the test server's one class, its dual interface served from a dispatch table.
#pragma once

#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "vrtestserver.h"

#include <array>
#include <string>

class CTestServer : public vr::ObjectRoot,
                    public vr::CoClass<CTestServer>,
                    public vr::DispatchImpl<CTestServer, IVrTestServer>,
                    public vr::SupportErrorInfoImpl<IVrTestServer> {
public:
    using Interfaces = vr::InterfaceList<IVrTestServer, IDispatch, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CTestServer>& GetDispatchTable();

    HRESULT Add(LONG a, LONG b, LONG* sum) override;
    HRESULT get_Name(BSTR* name) override;
    HRESULT put_Name(BSTR name) override;
    HRESULT get_Item(LONG index, BSTR* value) override;
    HRESULT put_Item(LONG index, BSTR value) override;
    HRESULT Greet(BSTR name, VARIANT title, LONG times, BSTR* text) override;
    HRESULT Fail(BSTR description) override;

private:
    // Sets rich error information with this class's ProgID as source, and returns hr.
    static HRESULT Report(HRESULT hr, std::u16string_view description);
    static HRESULT CopyOut(const std::u16string& text, BSTR* out);

    std::u16string name_;
    std::array<std::u16string, 4> items_;
};
