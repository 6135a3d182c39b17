// CPlotvanePropPage: the graph control's property page, a placeholder that shows nothing.
#pragma once

#include "platform/com/object.h"
#include "platform/ui/control.h"
#include "plotvane.h"

namespace plotvane {

// Its page is an empty widget: the control has no properties to edit there. Apartment-threaded: the
// window thread calls it.
class CPlotvanePropPage : public vr::ObjectRoot, public vr::CoClass<CPlotvanePropPage>, public IVrControl {
public:
    using Interfaces = vr::InterfaceList<IVrControl>;
    static constexpr bool kAggregatable = false;

    // IVrControl: the empty page as a child of parent; the parent owns it.
    // E_UNEXPECTED while the page it made before still exists.
    HRESULT CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) override;

private:
    vr::ui::EmptyPage page_; // window thread
};

} // namespace plotvane
