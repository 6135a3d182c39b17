// Painting the graph model with QPainter: layout, grid, labels, limits, curves, markers, cursor, legend.
#include "GraphDraw.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QString>

#include <algorithm>

namespace plotvane {

namespace {

QString ToQString(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// A 1-pixel solid pen; zero or negative graph widths draw as 1 pixel too.
QPen SolidPen(const QColor& colour, int width = 1) {
    QPen pen(colour);
    pen.setWidth(std::max(width, 1));
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

// How far a line's pixels may reach beyond the rectangle of its end points.
int PenMargin(int width) {
    return std::max(width, 1) / 2 + 2;
}

QRect DotRect(const QPoint& point) {
    return {point.x() - 1, point.y() - 1, 3, 3};
}

QRect SegmentRect(const QPoint& from, const QPoint& to, int margin) {
    return QRect(from, to).normalized().adjusted(-margin, -margin, margin, margin);
}

QRect InsidePlot(const PlotRect& r) {
    return {QPoint(r.left, r.top), QPoint(r.right, r.bottom)};
}

void Line(QPainter& painter, const QColor& colour, int x1, int y1, int x2, int y2) {
    painter.setPen(SolidPen(colour));
    painter.drawLine(x1, y1, x2, y2);
}

void PaintCaption(QPainter& painter, const CGraphPlot& plot, const FrameColours& colours) {
    if (plot.Caption().empty()) {
        return;
    }
    const PlotRect& r = plot.Rect();
    const int height = QFontMetrics(painter.font(), painter.device()).height();
    const int captionTop = r.top - height - 4;
    const int captionBottom = r.top - 3;
    painter.setPen(SolidPen(colours.buttonShadow));
    painter.setBrush(CaptionFill(colours.buttonFace));
    painter.drawRect(QRect(QPoint(r.left - 2, captionTop - 1), QPoint(r.right + 2, captionBottom + 5)));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(r.left, captionTop), QPoint(r.right, captionBottom)),
                     Qt::AlignCenter | Qt::TextSingleLine, ToQString(plot.Caption()));
}

void PaintLimits(QPainter& painter, const CGraphPlot& plot) {
    for (double limit : {plot.YLimitHigh(), plot.YLimitLow()}) {
        if (limit != 0) {
            const int y = plot.MapY(limit);
            Line(painter, kLimitLine, plot.MapX(plot.XWindow().begin), y, plot.MapX(plot.XWindow().end), y);
        }
    }
}

void PaintVerticalLine(QPainter& painter, const CGraphPlot& plot, const QColor& colour, double x) {
    const int px = plot.MapX(x);
    Line(painter, colour, px, plot.MapY(plot.YWindow().begin), px, plot.MapY(plot.YWindow().end));
}

void PaintBorder(QPainter& painter, const CGraphPlot& plot, const FrameColours& colours) {
    const PlotRect& r = plot.Rect();
    painter.setPen(SolidPen(colours.buttonHighlight, 2));
    painter.drawLine(r.left - 1, r.bottom + 1, r.right + 1, r.bottom + 1);
    painter.drawLine(r.right + 1, r.bottom + 1, r.right + 1, r.top - 1);
    painter.setPen(SolidPen(colours.buttonShadow, 2));
    painter.drawLine(r.right + 1, r.top - 1, r.left - 1, r.top - 1);
    painter.drawLine(r.left - 1, r.top - 1, r.left - 1, r.bottom);
}

} // namespace

FrameColours FrameColours::FromPalette(const QPalette& palette) {
    FrameColours colours;
    colours.buttonShadow = palette.color(QPalette::Dark);
    colours.buttonFace = palette.color(QPalette::Button);
    colours.buttonHighlight = palette.color(QPalette::Light);
    colours.window = palette.color(QPalette::Window);
    return colours;
}

QColor GraphColour(int index) {
    switch (index) {
    case 1:
        return {0, 255, 0};
    case 2:
        return {0, 255, 255};
    case 3:
        return {255, 255, 0};
    default:
        return {255, 60, 60}; // graphs 0 and 4
    }
}

QColor CaptionFill(const QColor& buttonFace) {
    auto lighter = [](int component) { return std::min(component + 20, 255); };
    return {lighter(buttonFace.red()), lighter(buttonFace.green()), lighter(buttonFace.blue())};
}

PlotRect PlotRectFor(const QRect& bounds) {
    const int right = bounds.x() + bounds.width();
    const int bottom = bounds.y() + bounds.height();
    return PlotRect{bounds.x() + 36, bounds.y() + 18, right - 10, bottom - 24};
}

QFont CaptionFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    return font;
}

QFont LabelFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(7);
    return font;
}

void PaintVerticalGrid(QPainter& painter, const CGraphPlot& plot, bool labels) {
    const PlotRect& r = plot.Rect();
    const AxisWindow& x = plot.XWindow();
    const int top = plot.MapY(plot.YWindow().end);
    const int bottom = plot.MapY(plot.YWindow().begin);
    const int textHeight = QFontMetrics(painter.font(), painter.device()).height();
    for (const GridStep& step : GridWalk(x)) {
        const int px = plot.MapX(step.value);
        if (!step.major) {
            Line(painter, kMinorGrid, px, bottom, px, top);
            continue;
        }
        if (labels) {
            painter.setPen(Qt::black);
            painter.drawText(
                QRect(QPoint(px - 5, plot.XLabelLine()), QPoint(px + 5, plot.XLabelLine() + textHeight)),
                Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                ToQString(FormatLabel(plot.XLabelFormat(), step.value)));
        }
        Line(painter, Qt::black, px, r.bottom, px, plot.XLabelLine());
        if (step.value != x.begin && step.value != x.end) {
            Line(painter, kMajorGrid, px, bottom, px, top);
        }
    }
}

void PaintHorizontalGrid(QPainter& painter, const CGraphPlot& plot, bool labels) {
    const PlotRect& r = plot.Rect();
    const AxisWindow& y = plot.YWindow();
    const int left = plot.MapX(plot.XWindow().begin);
    const int right = plot.MapX(plot.XWindow().end);
    const int textHeight = QFontMetrics(painter.font(), painter.device()).height();
    const int edge = plot.YLabelEdge();
    for (const GridStep& step : GridWalk(y)) {
        const int py = plot.MapY(step.value);
        if (!step.major) {
            Line(painter, kMinorGrid, left, py, right, py);
            continue;
        }
        if (labels) {
            painter.setPen(Qt::black);
            painter.drawText(QRect(QPoint(edge - 10, py - textHeight / 2), QPoint(edge, py + textHeight / 2)),
                             Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                             ToQString(FormatLabel(plot.YLabelFormat(), step.value)));
        }
        Line(painter, Qt::black, r.left, py, edge + 2, py);
        if (step.value != y.begin && step.value != y.end) {
            Line(painter, kMajorGrid, left, py, right, py);
        }
    }
}

namespace {

// One graph's dots and segments from point `first` on (the segment into it included), with an area only
// those that reach into it.
void PaintCurve(QPainter& painter, const CGraphPlot& plot, int g, size_t first, const QRect* area) {
    const Graph& graph = plot.GraphAt(g);
    const size_t count = std::min(graph.x.size(), graph.y.size());
    if (first >= count) {
        return;
    }
    const QColor colour = GraphColour(g);
    painter.setPen(SolidPen(colour, graph.lineWidth));
    const int margin = PenMargin(graph.lineWidth);
    const auto pointAt = [&](size_t j) { return QPoint(plot.MapX(graph.x[j]), plot.MapY(graph.y[j])); };
    QPoint previous = first > 0 ? pointAt(first - 1) : QPoint();
    for (size_t j = first; j < count; ++j) {
        const QPoint point = pointAt(j);
        if (!area || DotRect(point).intersects(*area)) {
            painter.fillRect(DotRect(point), colour);
        }
        if (!graph.dotOnly && j > 0 && (!area || SegmentRect(previous, point, margin).intersects(*area))) {
            painter.drawLine(previous, point);
        }
        previous = point;
    }
}

} // namespace

void PaintCurves(QPainter& painter, const CGraphPlot& plot, const QRect* area) {
    for (int g = 0; g < kGraphCount; ++g) {
        PaintCurve(painter, plot, g, 0, area);
    }
}

std::array<int, kGraphCount> PaintLegend(QPainter& painter, const CGraphPlot& plot) {
    std::array<int, kGraphCount> lefts{};
    lefts.fill(-1);
    const PlotRect& r = plot.Rect();
    const QFontMetrics metrics(painter.font(), painter.device());
    const int top = r.bottom - metrics.height() - 2;
    int running = r.right;
    for (int g = 0; g < kGraphCount; ++g) {
        const Graph& graph = plot.GraphAt(g);
        if (graph.name.empty()) {
            continue;
        }
        const QString name = ToQString(graph.name);
        const int left = running - metrics.horizontalAdvance(name) - 10;
        if (left >= r.left) {
            painter.setPen(GraphColour(g));
            painter.drawText(QPoint(left, top + metrics.ascent()), name);
            lefts[static_cast<size_t>(g)] = left;
        }
        running = left;
    }
    return lefts;
}

namespace {

// A full paint, or with full false one without the caption and the plot's background, or one limited to
// area (everything from the background up, clipped there).
void PaintLayers(QPainter& painter, CGraphPlot& plot, bool full, const FrameColours& colours,
                 const QRect* area) {
    if (plot.Rect().IsEmpty()) {
        return;
    }
    full = plot.TakeFirstPaint() || full;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect inside = InsidePlot(plot.Rect());
    // The labels and the caption stand outside the plot: an area within it needs none of them.
    const bool text = !area || !inside.contains(*area);
    if (area) {
        painter.setClipRect(*area, Qt::IntersectClip);
        painter.fillRect(*area, colours.window);
    }
    painter.setFont(CaptionFont());
    if (full) {
        if (text) {
            PaintCaption(painter, plot, colours);
        }
        painter.fillRect(inside, kPlotBackground);
    }
    painter.setFont(LabelFont());
    PaintVerticalGrid(painter, plot, text);
    PaintHorizontalGrid(painter, plot, text);
    PaintLimits(painter, plot);
    PaintCurves(painter, plot, area);
    for (double marker : plot.Markers()) {
        PaintVerticalLine(painter, plot, kMarkerLine, marker);
    }
    if (plot.Cursor() != kNone) {
        PaintVerticalLine(painter, plot, kCursorLine, plot.Cursor());
    }
    painter.setFont(CaptionFont());
    (void)PaintLegend(painter, plot); // the drawn positions matter to tests only
    PaintBorder(painter, plot, colours);
    painter.restore();
}

QRect VerticalLineRect(const CGraphPlot& plot, double x) {
    const int px = plot.MapX(x);
    return SegmentRect(QPoint(px, plot.MapY(plot.YWindow().begin)), QPoint(px, plot.MapY(plot.YWindow().end)),
                       PenMargin(1));
}

} // namespace

void PaintGraph(QPainter& painter, CGraphPlot& plot, bool full, const FrameColours& colours) {
    PaintLayers(painter, plot, full, colours, nullptr);
}

void PaintGraphArea(QPainter& painter, CGraphPlot& plot, const QRect& area, const FrameColours& colours) {
    if (!area.isEmpty()) {
        PaintLayers(painter, plot, true, colours, &area);
    }
}

namespace {

// Whether area reaches the band at the plot's bottom where the legend's names stand (with a margin for
// the glyphs); false when no graph has a name.
bool TouchesLegend(QPainter& painter, const CGraphPlot& plot, const QRect& area) {
    bool named = false;
    for (int g = 0; g < kGraphCount; ++g) {
        named = named || !plot.GraphAt(g).name.empty();
    }
    if (!named) {
        return false;
    }
    const PlotRect& r = plot.Rect();
    const int height = QFontMetrics(CaptionFont(), painter.device()).height();
    return area.bottom() >= r.bottom - height - 6 && area.top() <= r.bottom + 2;
}

} // namespace

void PaintAdded(QPainter& painter, CGraphPlot& plot, const PaintedItems& painted, const QRect& area,
                const FrameColours& colours) {
    if (area.isEmpty() || plot.Rect().IsEmpty()) {
        return;
    }
    // The legend's text blends into what lies under it, so drawing it twice would change its pixels:
    // there the area is painted afresh from the background up.
    if (TouchesLegend(painter, plot, area)) {
        PaintGraphArea(painter, plot, area, colours);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(area, Qt::IntersectClip);
    const PaintedItems now = PaintedItems::Of(plot);
    int lowest = kGraphCount;
    for (int g = kGraphCount - 1; g >= 0; --g) {
        if (painted.points[static_cast<size_t>(g)] < now.points[static_cast<size_t>(g)]) {
            lowest = g;
        }
    }
    // The new points of the lowest graph that has any go over what the picture holds; everything a full
    // paint draws after them (the graphs above, markers, cursor, border: all opaque lines and squares,
    // which come out the same however often they are drawn) is drawn again over them inside the area.
    if (lowest < kGraphCount) {
        PaintCurve(painter, plot, lowest, painted.points[static_cast<size_t>(lowest)], nullptr);
    }
    for (int g = lowest + 1; g < kGraphCount; ++g) {
        PaintCurve(painter, plot, g, 0, &area);
    }
    for (double marker : plot.Markers()) {
        PaintVerticalLine(painter, plot, kMarkerLine, marker);
    }
    if (plot.Cursor() != kNone) {
        PaintVerticalLine(painter, plot, kCursorLine, plot.Cursor());
    }
    PaintBorder(painter, plot, colours);
    painter.restore();
}

PaintedItems PaintedItems::Of(const CGraphPlot& plot) {
    PaintedItems items;
    for (int g = 0; g < kGraphCount; ++g) {
        items.points[static_cast<size_t>(g)] = std::min(plot.GraphAt(g).x.size(), plot.GraphAt(g).y.size());
    }
    items.markers = plot.Markers().size();
    return items;
}

std::optional<QRect> AddedArea(const CGraphPlot& plot, const PaintedItems& painted) {
    const PaintedItems now = PaintedItems::Of(plot);
    if (now.markers < painted.markers) {
        return std::nullopt;
    }
    QRect area;
    for (int g = 0; g < kGraphCount; ++g) {
        const size_t first = painted.points[static_cast<size_t>(g)];
        const size_t end = now.points[static_cast<size_t>(g)];
        if (end < first) {
            return std::nullopt;
        }
        const Graph& graph = plot.GraphAt(g);
        const int margin = PenMargin(graph.lineWidth);
        // A new point's dot, and its segment from the point before it (shown already or new as well).
        for (size_t j = first; j < end; ++j) {
            const QPoint point(plot.MapX(graph.x[j]), plot.MapY(graph.y[j]));
            area |= DotRect(point);
            if (!graph.dotOnly && j > 0) {
                const QPoint previous(plot.MapX(graph.x[j - 1]), plot.MapY(graph.y[j - 1]));
                area |= SegmentRect(previous, point, margin);
            }
        }
    }
    for (size_t m = painted.markers; m < now.markers; ++m) {
        area |= VerticalLineRect(plot, plot.Markers()[m]);
    }
    return area;
}

} // namespace plotvane
