// CPlotvanePropPage: the empty property page.
#include "PlotvanePropPage.h"

namespace plotvane {

HRESULT CPlotvanePropPage::CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) {
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

} // namespace plotvane
