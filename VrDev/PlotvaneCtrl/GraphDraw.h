// Painting a CGraphPlot with QPainter: the layout inside the control, the grid and axis labels, limits,
// curves, markers, cursor, legend and border, in that order.
#pragma once

#include "GraphPlot.h"

#include <QColor>
#include <QFont>
#include <QRect>

class QPainter;
class QPalette;

namespace plotvane {

// The desktop colours the caption box, the border and the erased background take.
struct FrameColours {
    QColor buttonShadow{160, 160, 160};
    QColor buttonFace{240, 240, 240};
    QColor buttonHighlight{255, 255, 255};
    QColor window{255, 255, 255};
    // The same roles from a widget's palette (dark, button, light, window).
    static FrameColours FromPalette(const QPalette& palette);
};

// Fixed colours of the plot.
QColor GraphColour(int index);
inline const QColor kPlotBackground{0, 0, 0};
inline const QColor kMajorGrid{0, 80, 0};
inline const QColor kMinorGrid{0, 50, 0};
inline const QColor kLimitLine{255, 0, 0};
inline const QColor kMarkerLine{160, 160, 160};
inline const QColor kCursorLine{0, 255, 255};
// The caption box's fill: the button face with 20 added to each component, held at 255.
QColor CaptionFill(const QColor& buttonFace);

// The plot rectangle inside a control's bounds: 36 pixels left for the y labels, 18 above for the
// caption, 10 on the right and 24 below for the x labels. Bounds are (x, y, width, height), so a
// 200 x 100 control gives (36, 18, 190, 76).
PlotRect PlotRectFor(const QRect& bounds);

// "Arial" at 8 points (caption, legend) and 7 points (axis labels).
QFont CaptionFont();
QFont LabelFont();

// Threads: the painter's thread; a widget's painter only on the window thread.
//
// Paints the model on the painter (its plot rectangle set already): everything, or with full false
// everything but the caption and the plot's black background, over what the device holds. Nothing is
// painted while the plot rectangle is all zeros; the model's first paint is always full.
void PaintGraph(QPainter& painter, CGraphPlot& plot, bool full, const FrameColours& colours);

// The steps of PaintGraph, for tests and for painting a part alone.
void PaintVerticalGrid(QPainter& painter, const CGraphPlot& plot);
void PaintHorizontalGrid(QPainter& painter, const CGraphPlot& plot);
void PaintCurves(QPainter& painter, const CGraphPlot& plot);
// The legend's names, right to left from the plot's right edge inside its bottom; returns the left edge
// of each graph's drawn name (-1 for a graph without one, or whose name no longer fits).
std::array<int, kGraphCount> PaintLegend(QPainter& painter, const CGraphPlot& plot);

} // namespace plotvane
