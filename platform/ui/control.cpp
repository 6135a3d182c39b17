// Controls on Qt: creating them by CLSID, their posted notices, and objects lent to them in process.
#include "platform/ui/control.h"

#include "platform/com/activation.h"
#include "platform/com/object.h"
#include "platform/com/variant.h"

#include <QCoreApplication>

#include <unistd.h>

namespace vr::ui {

namespace {

// The lent pointer with its type and the process that lent it. Threads: immutable after construction.
class LentObject : public vr::ObjectRoot, public IVrLentObject {
public:
    using Interfaces = vr::InterfaceList<IVrLentObject>;
    static constexpr bool kAggregatable = false;

    void Set(REFGUID type, void* object) {
        type_ = type;
        object_ = object;
    }

    HRESULT GetLentObject(REFGUID type, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        // A pointer means nothing in another process, even if a copy of this object ever got there.
        if (type != type_ || getpid() != process_) {
            return E_NOINTERFACE;
        }
        *object = object_;
        return S_OK;
    }

private:
    GUID type_ = GUID_NULL;      // set once before the object is handed out
    void* object_ = nullptr;     // the same
    pid_t process_ = ::getpid(); // the lending process
};

} // namespace

HRESULT EmptyPage::Create(QWidget* parent, const QRect& geometry, QWidget** widget) {
    if (!parent || !widget) {
        return E_INVALIDARG;
    }
    *widget = nullptr;
    if (page_) {
        return E_UNEXPECTED;
    }
    page_ = new QWidget(parent);
    page_->setGeometry(geometry);
    *widget = page_.data();
    return S_OK;
}

HRESULT CreateControl(REFCLSID clsid, QWidget* parent, const QRect& geometry, ControlHandle* control) {
    if (!control || !parent) {
        return E_INVALIDARG;
    }
    *control = ControlHandle{};
    ComPtr<IDispatch> dispatch;
    if (HRESULT hr =
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.PutVoid());
        FAILED(hr)) {
        return hr;
    }
    ComPtr<IVrControl> maker;
    if (HRESULT hr = dispatch->QueryInterface(IID_IVrControl, maker.PutVoid()); FAILED(hr)) {
        return E_NOINTERFACE;
    }
    QWidget* widget = nullptr;
    if (HRESULT hr = maker->CreateControlWidget(parent, geometry, &widget); FAILED(hr)) {
        return hr;
    }
    control->dispatch = std::move(dispatch);
    control->widget = widget;
    return S_OK;
}

ControlNotice::ControlNotice(UINT message, QWidget* sender, QString text)
    : QEvent(EventType()), message_(message), sender_(sender), text_(std::move(text)) {}

QEvent::Type ControlNotice::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostControlNotice(QWidget* parent, UINT message, QWidget* sender, const QString& text) {
    if (parent) {
        QCoreApplication::postEvent(parent, new ControlNotice(message, sender, text));
    }
}

HRESULT LendObject(REFGUID type, void* object, VARIANT* lent) {
    if (!lent) {
        return E_POINTER;
    }
    (void)VariantClear(lent); // the caller's earlier value is replaced, whatever it held
    ComPtr<vr::ComObject<LentObject>> holder;
    if (HRESULT hr = vr::ComObject<LentObject>::Create(&holder); FAILED(hr)) {
        return hr;
    }
    holder->Set(type, object);
    lent->vt = VT_UNKNOWN;
    return holder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&lent->punkVal));
}

void* LentObjectOf(const VARIANT& lent, REFGUID type) {
    if (lent.vt != VT_UNKNOWN || !lent.punkVal) {
        return nullptr;
    }
    ComPtr<IVrLentObject> holder;
    if (FAILED(lent.punkVal->QueryInterface(IID_IVrLentObject, holder.PutVoid()))) {
        return nullptr;
    }
    void* object = nullptr;
    return SUCCEEDED(holder->GetLentObject(type, &object)) ? object : nullptr;
}

} // namespace vr::ui
