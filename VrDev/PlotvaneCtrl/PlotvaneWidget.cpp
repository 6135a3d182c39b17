// PlotvaneWidget: full and incremental paints of the control's model, and the control told of the end.
#include "PlotvaneWidget.h"

#include "GraphDraw.h"
#include "PlotvaneCtrl.h"

#include <QPaintEvent>
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

void PlotvaneWidget::RepaintAdded() {
    if (!control_ || control_->FullRepaint() || picture_.size() != size()) {
        repaint();
        return;
    }
    control_->Plot().SetPlotRect(PlotRectFor(rect()));
    const std::optional<QRect> added = AddedArea(control_->Plot(), painted_);
    if (!added) {
        repaint();
    } else if (!added->isEmpty()) {
        repaint(*added & rect());
    }
}

void PlotvaneWidget::paintEvent(QPaintEvent* event) {
    const FrameColours colours = FrameColours::FromPalette(palette());
    bool full = !control_ || control_->FullRepaint();
    if (picture_.size() != size()) {
        picture_ = QImage(size(), QImage::Format_RGB32);
        full = true;
    }
    {
        QPainter painter(&picture_);
        std::optional<QRect> added;
        if (control_) {
            control_->Plot().SetPlotRect(PlotRectFor(rect()));
            if (!full) {
                added = AddedArea(control_->Plot(), painted_);
            }
        }
        if (added) {
            PaintAdded(painter, control_->Plot(), painted_, *added & picture_.rect(), colours);
        } else {
            painter.fillRect(picture_.rect(), colours.window);
            if (control_) {
                PaintGraph(painter, control_->Plot(), true, colours);
            }
        }
        if (control_) {
            painted_ = PaintedItems::Of(control_->Plot());
            control_->PaintDone();
        }
        if (!added && event->rect() != rect()) {
            update(); // the whole picture changed but only part of it reaches the window now
        }
    }
    QPainter(this).drawImage(event->rect(), picture_, event->rect());
}

} // namespace plotvane
