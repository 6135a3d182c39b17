// PlotvaneWidget: the graph control's window, a plain QWidget that paints its control's model.
#pragma once

#include "GraphDraw.h"

#include <QImage>
#include <QWidget>

namespace plotvane {

class CPlotvaneCtrl;

// Paints into an image of its own size that it keeps between paints. A full paint erases it and draws
// everything; an incremental paint draws only the points and markers added since the last paint (and, in
// their area, what lies above them), so its cost follows what was added, not the length of the curves,
// and the picture ends as a full paint would draw it. Points added while no paint could run (hidden window,
// paint not yet due) are all drawn by the next one. Tells its control when it is destroyed. Window thread
// only.
class PlotvaneWidget : public QWidget {
public:
    PlotvaneWidget(CPlotvaneCtrl* control, QWidget* parent);
    ~PlotvaneWidget() override;
    PlotvaneWidget(const PlotvaneWidget&) = delete;
    PlotvaneWidget& operator=(const PlotvaneWidget&) = delete;

    // The control goes first: the widget paints an empty background from now on.
    void DetachControl() { control_ = nullptr; }

    // Paints at once what was added to the model since the last paint: the whole window when the next
    // paint is a full one, else only the area of the additions (nothing when there are none).
    void RepaintAdded();

    // For tests: what the paints so far have left.
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CPlotvaneCtrl* control_; // window thread; null once the control has gone
    QImage picture_;         // window thread; what the last paint left
    PaintedItems painted_;   // window thread; the points and markers that picture_ shows
};

} // namespace plotvane
