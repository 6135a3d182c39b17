// The editor control's host wrapper against a stand-in control registered under the control's class: a
// failure the control reports in the exception information only by its wCode is raised as a failure.
#include "common/widgets/Formiq.h"
#include "controls/Formiq/include/formiq.h"
#include "platform/com/comutil.h"
#include "platform/com/server.h"
#include "platform/ui/control.h"
#include "platform/ui/tests/test_application.h"

#include <gtest/gtest.h>

namespace {

// Answers every call as a control does for a wrong argument: DISP_E_EXCEPTION with wCode and a text only.
class WCodeOnlyControl final : public IDispatch, public IVrControl {
public:
    static HRESULT Create(IUnknown* outer, REFIID riid, void** object) {
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* made = new WCodeOnlyControl;
        HRESULT hr = made->QueryInterface(riid, object);
        made->Release();
        return hr;
    }
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
        } else if (riid == IID_IVrControl) {
            *object = static_cast<IVrControl*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* excep, UINT*) override {
        *excep = EXCEPINFO{};
        excep->wCode = 1001;
        excep->bstrDescription = vr::AllocBstr(u"The rows could not be read.");
        return DISP_E_EXCEPTION;
    }
    HRESULT CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) override {
        *widget = new QWidget(parent);
        (*widget)->setGeometry(geometry);
        return S_OK;
    }

private:
    ULONG references_ = 1;
};

TEST(FormiqHost, AnExceptionWithOnlyItsWCodeIsAFailure) {
    vrtest::TestApplication();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        vr::ComPtr<IClassFactory> factory;
        ASSERT_EQ(
            vr::server::CreateClassFactory(&WCodeOnlyControl::Create, IID_IClassFactory, factory.PutVoid()),
            S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(CLSID_Formiq, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie),
                  S_OK);
        QWidget parent;
        CFormiq form;
        ASSERT_TRUE(form.Create("Settings", QRect(0, 0, 100, 50), &parent, 1));
        try {
            form.RetrieveAttributeValues();
            ADD_FAILURE() << "the control's failure was taken for success";
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 1001));
            EXPECT_EQ(std::u16string(vr::BstrView(error.Description().GetBSTR())),
                      u"The rows could not be read.");
        }
        (void)CoRevokeClassObject(cookie); // registered above
    }
    CoUninitialize();
}

} // namespace
