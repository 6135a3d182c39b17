// CGraphPlot: the graph control's model (data window, five graphs of points, limits, cursor, markers,
// caption, label formats) and its data-to-pixel mapping, free of any window.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace plotvane {

inline constexpr int kGraphCount = 5;
// The cursor that is not drawn; as a marker value it removes every marker.
inline constexpr double kNone = 1.7e308;
// Where a value outside the data window maps to, on either axis.
inline constexpr int kFarCoordinate = 32767;
// The widest line a LineWidth option accepts.
inline constexpr int kMaxLineWidth = 10;
// A grid walk takes at most this many quarter steps (1000 labelled divisions), whatever its step.
inline constexpr int kMaxGridSteps = 4001;

// One axis of the data window: the range shown and the spacing of its major grid lines.
struct AxisWindow {
    double begin = -5;
    double end = 5;
    double step = 1;
};

// Pixels; right and bottom belong to the rectangle. All zeros until the first paint.
struct PlotRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool IsEmpty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    bool operator==(const PlotRect&) const = default;
};

// One curve: its points in the order added, where its next wave value goes, and how it is drawn.
struct Graph {
    std::vector<double> x;
    std::vector<double> y;
    double nextX = -5;
    double xStep = 1;
    std::u16string name;
    int lineWidth = 1;
    bool dotOnly = false;
};

// One quarter step of a grid walk; every fourth one (from the first) is major and labelled.
struct GridStep {
    double value;
    bool major;
};

// Which argument a type of label conversion gets.
enum class LabelArgument { Refused, Integer, Floating, Character };

// Threads: none of its own; the control's window thread owns it.
class CGraphPlot {
public:
    CGraphPlot();

    // Labels "%G", no caption, every graph unnamed with width 1 and lines, data window -5..5 step 1 on both
    // axes, and Clear().
    void Reset();
    // Removes the points of every graph, every marker, the cursor and both Y limits.
    void Clear();
    // Removes the points of one graph (0..4), or of every graph for a negative index; their next x goes back
    // to X begin, their steps stay.
    void ClearGraph(int index);

    const AxisWindow& XWindow() const { return xWindow_; }
    const AxisWindow& YWindow() const { return yWindow_; }
    // Stores both axes; every graph's next x becomes X begin and its step X step; the points stay.
    void SetDataWindow(const AxisWindow& x, const AxisWindow& y);

    const Graph& GraphAt(int index) const { return graphs_.at(static_cast<size_t>(index)); }
    Graph& GraphAt(int index) { return graphs_.at(static_cast<size_t>(index)); }

    // Appends (x, y); the graph's next x becomes x + its step.
    void PutPoint(int index, double x, double y);
    // Appends (next x, y) and advances next x by the graph's step.
    void AppendWaveValue(int index, double y);
    // Appends the numbers of a text, each read as strtod reads it and followed by one separator character
    // of any kind; stops where no number can be read (so a doubled separator ends the wave). Returns how
    // many were appended.
    size_t AppendWaveText(int index, const std::u16string& text);
    // A wave that would start right of the data window starts a new sweep: every graph cleared, markers and
    // cursor removed. True when that happened.
    bool RestartSweepIfPast(int index);
    // A step of 0 keeps the graph's step.
    void SetWaveStep(int index, double step);

    double Cursor() const { return cursor_; }
    void SetCursor(double x) { cursor_ = x; }
    const std::vector<double>& Markers() const { return markers_; }
    // Appends a marker, or removes every marker for kNone.
    void SetMarker(double x);
    double YLimitLow() const { return yLimitLow_; }
    double YLimitHigh() const { return yLimitHigh_; }
    void SetYLimits(double low, double high);

    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption) { caption_ = std::move(caption); }
    const std::u16string& XLabelFormat() const { return xLabelFormat_; }
    const std::u16string& YLabelFormat() const { return yLabelFormat_; }

    // Applies an option string to one graph (0..4) or, for a negative index, to all: XLabelFormat,
    // YLabelFormat, LineWidth (a whole number up to 10), Caption, GraphName (always graph 1), then DotOnly
    // (absent means off), names compared without regard to case, other names ignored. Returns the name of
    // the first option with a wrong value ("LineWidth", "XLabelFormat", "YLabelFormat"), items before it
    // applied and DotOnly untouched; empty when everything was applied.
    std::u16string ApplyOptions(const std::u16string& options, int index);

    // Layout: the plot rectangle, the x label line (bottom + 10), the y label edge (left - 10) and the
    // scales.
    void SetPlotRect(const PlotRect& rect);
    const PlotRect& Rect() const { return rect_; }
    int XLabelLine() const { return xLabelLine_; }
    int YLabelEdge() const { return yLabelEdge_; }
    double XScale() const { return xScale_; }
    double YScale() const { return yScale_; }
    // Data to pixels, truncated toward zero; kFarCoordinate outside the plot rectangle (also when the
    // window's begin equals its end and the scale is infinite).
    int MapX(double v) const;
    int MapY(double v) const;

    // Set until the first paint takes it.
    bool TakeFirstPaint();

private:
    void RecomputeScales();

    // Every member: the thread that owns the model (the control's window thread).
    std::array<Graph, kGraphCount> graphs_;
    AxisWindow xWindow_;
    AxisWindow yWindow_;
    double yLimitLow_ = 0;
    double yLimitHigh_ = 0;
    double cursor_ = kNone;
    std::vector<double> markers_;
    std::u16string caption_;
    std::u16string xLabelFormat_ = u"%G";
    std::u16string yLabelFormat_ = u"%G";
    PlotRect rect_;
    int xLabelLine_ = 10;
    int yLabelEdge_ = -10;
    double xScale_ = 0;
    double yScale_ = 0;
    bool firstPaint_ = true;
};

// The quarter steps of one axis from begin toward end, as the grid and the labels walk them: while the
// value has not passed end (or, for an end not above begin, not fallen below it). A step of 0, not finite
// or pointing away from end walks the begin alone, and no walk takes more than kMaxGridSteps.
std::vector<GridStep> GridWalk(const AxisWindow& axis);

// What a label format does with the value: exactly one conversion (any number of "%%") that reads an
// integer, a double or a character; a string, pointer, "%n", '*' or 64-bit conversion, none or several
// are Refused.
LabelArgument LabelArgumentOf(const std::u16string& format);
// The label of a value: the format applied to the value as a double, or truncated toward zero (clamped to
// 32 bits) for an integer or character conversion. Empty for a refused format.
std::u16string FormatLabel(const std::u16string& format, double value);

} // namespace plotvane
