// CFormiqCtrl: the attribute-collection editor control's object, its dispatch interface _DFormiq over the
// form of its widget (FormAttr.h), and the widget its host asks for (IVrControl).
#pragma once

#include "FormAttr.h"
#include "include/formiq.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/ui/control.h"

#include <QPointer>

// Threads: apartment-threaded, on the window thread of its widget; nothing is locked. The widget belongs to
// the host's parent widget; the object deletes it when released first, and acts on nothing (E_UNEXPECTED)
// when it has no widget.
class CFormiqCtrl : public vr::ObjectRoot,
                    public vr::CoClass<CFormiqCtrl>,
                    public vr::DispatchImpl<CFormiqCtrl, _DFormiq>,
                    public IVrControl {
public:
    using Interfaces = vr::InterfaceList<_DFormiq, IDispatch, IVrControl>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CFormiqCtrl>& GetDispatchTable();

    void FinalRelease();

    HRESULT CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) override;

    HRESULT Init(IUnknown* collection, VARIANT values, LONG nameWidth, BSTR options, BSTR setup,
                 BSTR childOptions, VARIANT_BOOL* done);
    HRESULT RetrieveAttributeValues();
    HRESULT StoreAttributeValues();
    HRESULT GetAttributes(BSTR* settings);
    HRESULT Clear();

private:
    // The form, or null after tracing why there is none.
    CFormAttr* Form();

    QPointer<FormiqWidget> widget_; // the control's window; null before it is made and after it is gone
};
