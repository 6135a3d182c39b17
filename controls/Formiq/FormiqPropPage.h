// CFormiqPropPage: the editor control's property page, a placeholder that shows nothing.
#pragma once

#include "controls/Formiq/include/formiq.h"
#include "platform/com/object.h"
#include "platform/ui/control.h"

// Its page is an empty widget: the control has no properties to edit there. Apartment-threaded: the
// window thread calls it.
class CFormiqPropPage : public vr::ObjectRoot, public vr::CoClass<CFormiqPropPage>, public IVrControl {
public:
    using Interfaces = vr::InterfaceList<IVrControl>;
    static constexpr bool kAggregatable = false;

    // IVrControl: the empty page as a child of parent; the parent owns it.
    // E_UNEXPECTED while the page it made before still exists.
    HRESULT CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) override {
        return page_.Create(parent, geometry, widget);
    }

private:
    vr::ui::EmptyPage page_; // window thread
};
