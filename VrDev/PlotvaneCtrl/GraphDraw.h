// Painting a CGraphPlot with QPainter: the layout inside the control, the grid and axis labels, limits,
// curves, markers, cursor, legend and border, in that order.
#pragma once

#include "GraphPlot.h"

#include <QColor>
#include <QFont>
#include <QRect>

#include <array>
#include <optional>

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

// What a kept picture shows of its model: how many points of each graph and how many markers.
struct PaintedItems {
    std::array<size_t, kGraphCount> points{};
    size_t markers = 0;
    static PaintedItems Of(const CGraphPlot& plot);
};

// The pixels that the items added to the model since `painted` touch, with a margin for the pen: an empty
// rectangle when nothing was added, none when something shown was removed (only a full paint can show
// that). The plot rectangle must be the one the picture was painted with.
std::optional<QRect> AddedArea(const CGraphPlot& plot, const PaintedItems& painted);

// Paints the model inside area alone, from the background up (the device's background erased with the
// window colour, then everything in the order of a full paint), so that the pixels there come out as one
// full paint makes them. Curves, labels and the caption away from the area are skipped, so the cost
// follows the area rather than the whole picture. Used to bring a kept picture up to date with added items.
void PaintGraphArea(QPainter& painter, CGraphPlot& plot, const QRect& area, const FrameColours& colours);

// Brings a picture that shows `painted` of the model up to date, area being AddedArea's answer: draws the
// new points over it and, inside the area, again what a full paint draws after them, so the cost follows
// what was added and the graphs drawn above it, not the curve's length. Where the area reaches the
// legend, paints it as PaintGraphArea does.
void PaintAdded(QPainter& painter, CGraphPlot& plot, const PaintedItems& painted, const QRect& area,
                const FrameColours& colours);

// The steps of PaintGraph, for tests and for painting a part alone.
// The grid lines and ticks, and the labels unless told otherwise.
void PaintVerticalGrid(QPainter& painter, const CGraphPlot& plot, bool labels = true);
void PaintHorizontalGrid(QPainter& painter, const CGraphPlot& plot, bool labels = true);
// Curves; with an area, only the dots and segments that reach into it.
void PaintCurves(QPainter& painter, const CGraphPlot& plot, const QRect* area = nullptr);
// The legend's names, right to left from the plot's right edge inside its bottom; returns the left edge
// of each graph's drawn name (-1 for a graph without one, or whose name no longer fits).
std::array<int, kGraphCount> PaintLegend(QPainter& painter, const CGraphPlot& plot);

} // namespace plotvane
