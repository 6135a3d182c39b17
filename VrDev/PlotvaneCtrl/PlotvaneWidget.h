// PlotvaneWidget: the graph control's window, a plain QWidget that paints its control's model.
#pragma once

#include <QImage>
#include <QWidget>

namespace plotvane {

class CPlotvaneCtrl;

// Paints into an image of its own size that it keeps between paints, so that an incremental paint draws
// over the earlier picture without erasing it; a full paint erases it first. Tells its control when it is
// destroyed. Window thread only.
class PlotvaneWidget : public QWidget {
public:
    PlotvaneWidget(CPlotvaneCtrl* control, QWidget* parent);
    ~PlotvaneWidget() override;
    PlotvaneWidget(const PlotvaneWidget&) = delete;
    PlotvaneWidget& operator=(const PlotvaneWidget&) = delete;

    // The control goes first: the widget paints an empty background from now on.
    void DetachControl() { control_ = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CPlotvaneCtrl* control_; // window thread; null once the control has gone
    QImage picture_;         // window thread; what the last paint left
};

} // namespace plotvane
