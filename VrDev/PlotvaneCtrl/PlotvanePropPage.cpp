// CPlotvanePropPage: the empty property page.
#include "PlotvanePropPage.h"

namespace plotvane {

HRESULT CPlotvanePropPage::CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) {
    return page_.Create(parent, geometry, widget);
}

} // namespace plotvane
