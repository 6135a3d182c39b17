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

void PaintVerticalGrid(QPainter& painter, const CGraphPlot& plot) {
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
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(QPoint(px - 5, plot.XLabelLine()), QPoint(px + 5, plot.XLabelLine() + textHeight)),
            Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
            ToQString(FormatLabel(plot.XLabelFormat(), step.value)));
        Line(painter, Qt::black, px, r.bottom, px, plot.XLabelLine());
        if (step.value != x.begin && step.value != x.end) {
            Line(painter, kMajorGrid, px, bottom, px, top);
        }
    }
}

void PaintHorizontalGrid(QPainter& painter, const CGraphPlot& plot) {
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
        painter.setPen(Qt::black);
        painter.drawText(QRect(QPoint(edge - 10, py - textHeight / 2), QPoint(edge, py + textHeight / 2)),
                         Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                         ToQString(FormatLabel(plot.YLabelFormat(), step.value)));
        Line(painter, Qt::black, r.left, py, edge + 2, py);
        if (step.value != y.begin && step.value != y.end) {
            Line(painter, kMajorGrid, left, py, right, py);
        }
    }
}

void PaintCurves(QPainter& painter, const CGraphPlot& plot) {
    for (int g = 0; g < kGraphCount; ++g) {
        const Graph& graph = plot.GraphAt(g);
        const QColor colour = GraphColour(g);
        painter.setPen(SolidPen(colour, graph.lineWidth));
        QPoint previous;
        for (size_t j = 0; j < graph.x.size() && j < graph.y.size(); ++j) {
            const QPoint point(plot.MapX(graph.x[j]), plot.MapY(graph.y[j]));
            painter.fillRect(point.x() - 1, point.y() - 1, 3, 3, colour);
            if (!graph.dotOnly && j > 0) {
                painter.drawLine(previous, point);
            }
            previous = point;
        }
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

void PaintGraph(QPainter& painter, CGraphPlot& plot, bool full, const FrameColours& colours) {
    if (plot.Rect().IsEmpty()) {
        return;
    }
    full = plot.TakeFirstPaint() || full;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(CaptionFont());
    if (full) {
        PaintCaption(painter, plot, colours);
        const PlotRect& r = plot.Rect();
        painter.fillRect(QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)), kPlotBackground);
    }
    painter.setFont(LabelFont());
    PaintVerticalGrid(painter, plot);
    PaintHorizontalGrid(painter, plot);
    PaintLimits(painter, plot);
    PaintCurves(painter, plot);
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

} // namespace plotvane
