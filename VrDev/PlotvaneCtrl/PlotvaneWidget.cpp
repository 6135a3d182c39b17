// PlotvaneWidget: full and incremental paints of the control's model, and the control told of the end.
#include "PlotvaneWidget.h"

#include "GraphDraw.h"
#include "PlotvaneCtrl.h"

#include <QPainter>

namespace plotvane {

PlotvaneWidget::PlotvaneWidget(CPlotvaneCtrl* control, QWidget* parent) : QWidget(parent), control_(control) {
    setAttribute(Qt::WA_OpaquePaintEvent); // the kept picture covers the whole widget
}

PlotvaneWidget::~PlotvaneWidget() {
    if (control_) {
        control_->WindowDestroyed();
    }
}

void PlotvaneWidget::paintEvent(QPaintEvent*) {
    const FrameColours colours = FrameColours::FromPalette(palette());
    bool full = !control_ || control_->FullRepaint();
    if (picture_.size() != size()) {
        picture_ = QImage(size(), QImage::Format_RGB32);
        full = true;
    }
    {
        QPainter painter(&picture_);
        if (full) {
            painter.fillRect(picture_.rect(), colours.window);
        }
        if (control_) {
            control_->Plot().SetPlotRect(PlotRectFor(rect()));
            PaintGraph(painter, control_->Plot(), full, colours);
            control_->PaintDone();
        }
    }
    QPainter(this).drawImage(0, 0, picture_);
}

} // namespace plotvane
