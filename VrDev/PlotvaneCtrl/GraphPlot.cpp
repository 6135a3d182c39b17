// CGraphPlot: points, waves, options, the data-to-pixel mapping, the grid walk and the label formats.
#include "GraphPlot.h"

#include "common/options/ParamParser.h"
#include "platform/base/format.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

#include <cmath>
#include <limits>

namespace plotvane {

namespace {

// Data to pixels along one axis: truncated toward zero, kFarCoordinate outside [low, high] or not finite.
int MapToPixel(double pixel, int low, int high) {
    const double truncated = std::trunc(pixel);
    if (!(truncated >= low && truncated <= high)) {
        return kFarCoordinate;
    }
    return static_cast<int>(truncated);
}

// A BSTR copy of an option string, freed at the end of the scope.
class OwnedBstr {
public:
    explicit OwnedBstr(const std::u16string& text)
        : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~OwnedBstr() { SysFreeString(bstr_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR* Address() { return &bstr_; }
    BSTR Get() const { return bstr_; }

private:
    BSTR bstr_;
};

} // namespace

CGraphPlot::CGraphPlot() {
    Reset();
}

void CGraphPlot::Reset() {
    xLabelFormat_ = u"%G";
    yLabelFormat_ = u"%G";
    caption_.clear();
    for (Graph& graph : graphs_) {
        graph.name.clear();
        graph.lineWidth = 1;
        graph.dotOnly = false;
    }
    SetDataWindow(AxisWindow{}, AxisWindow{});
    Clear();
}

void CGraphPlot::Clear() {
    ClearGraph(-1);
    markers_.clear();
    cursor_ = kNone;
    yLimitLow_ = 0;
    yLimitHigh_ = 0;
}

void CGraphPlot::ClearGraph(int index) {
    for (int i = 0; i < kGraphCount; ++i) {
        if (index < 0 || index == i) {
            Graph& graph = graphs_[static_cast<size_t>(i)];
            graph.x.clear();
            graph.y.clear();
            graph.nextX = xWindow_.begin;
        }
    }
}

void CGraphPlot::SetDataWindow(const AxisWindow& x, const AxisWindow& y) {
    xWindow_ = x;
    yWindow_ = y;
    for (Graph& graph : graphs_) {
        graph.nextX = x.begin;
        graph.xStep = x.step;
    }
    RecomputeScales();
}

void CGraphPlot::PutPoint(int index, double x, double y) {
    Graph& graph = GraphAt(index);
    graph.x.push_back(x);
    graph.y.push_back(y);
    graph.nextX = x + graph.xStep;
}

void CGraphPlot::AppendWaveValue(int index, double y) {
    PutPoint(index, GraphAt(index).nextX, y);
}

size_t CGraphPlot::AppendWaveText(int index, const std::u16string& text) {
    size_t appended = 0;
    const OLECHAR* position = text.c_str();
    const OLECHAR* const end = position + text.size();
    while (position < end) {
        const OLECHAR* after = position;
        const double value = vr::Wcstod(position, &after);
        if (after == position) {
            break;
        }
        AppendWaveValue(index, value);
        ++appended;
        position = after < end ? after + 1 : end; // one separator, whatever it is
    }
    return appended;
}

bool CGraphPlot::RestartSweepIfPast(int index) {
    if (!(xWindow_.end < GraphAt(index).nextX)) {
        return false;
    }
    ClearGraph(-1);
    markers_.clear();
    cursor_ = kNone;
    return true;
}

void CGraphPlot::SetWaveStep(int index, double step) {
    if (step != 0) {
        GraphAt(index).xStep = step;
    }
}

void CGraphPlot::SetMarker(double x) {
    if (x == kNone) {
        markers_.clear();
    } else {
        markers_.push_back(x);
    }
}

void CGraphPlot::SetYLimits(double low, double high) {
    yLimitLow_ = low;
    yLimitHigh_ = high;
}

std::u16string CGraphPlot::ApplyOptions(const std::u16string& options, int index) {
    OwnedBstr text(options);
    const int count = ParamCount(text.Get());
    for (int i = 0; i < count; ++i) {
        BSTR name = nullptr;
        BSTR value = nullptr;
        if (!GetParamAt(&name, &value, text.Get(), i)) {
            continue;
        }
        const std::u16string itemName = name ? std::u16string(name) : std::u16string();
        const std::u16string itemValue = value ? std::u16string(value) : std::u16string();
        SysFreeString(name);
        SysFreeString(value);
        if (vr::EqualsNoCase(itemName, u"XLabelFormat")) {
            if (LabelArgumentOf(itemValue) == LabelArgument::Refused) {
                return u"XLabelFormat";
            }
            xLabelFormat_ = itemValue;
        } else if (vr::EqualsNoCase(itemName, u"YLabelFormat")) {
            if (LabelArgumentOf(itemValue) == LabelArgument::Refused) {
                return u"YLabelFormat";
            }
            yLabelFormat_ = itemValue;
        } else if (vr::EqualsNoCase(itemName, u"LineWidth")) {
            LONG width = 0;
            if (!TextToLong(&width, itemValue.c_str(), 10, true, true) || width > kMaxLineWidth) {
                return u"LineWidth";
            }
            for (int g = 0; g < kGraphCount; ++g) {
                if (index < 0 || index == g) {
                    graphs_[static_cast<size_t>(g)].lineWidth = width;
                }
            }
        } else if (vr::EqualsNoCase(itemName, u"Caption")) {
            caption_ = itemValue;
        } else if (vr::EqualsNoCase(itemName, u"GraphName")) {
            graphs_[1].name =
                itemValue; // the graph index is not passed on: graph 1, as SetGraphName's default
        }
    }
    const bool dotOnly = GetBoolParam(text.Address(), u"DotOnly", false);
    for (int g = 0; g < kGraphCount; ++g) {
        if (index < 0 || index == g) {
            graphs_[static_cast<size_t>(g)].dotOnly = dotOnly;
        }
    }
    return {};
}

void CGraphPlot::SetPlotRect(const PlotRect& rect) {
    rect_ = rect;
    xLabelLine_ = rect.bottom + 10;
    yLabelEdge_ = rect.left - 10;
    RecomputeScales();
}

void CGraphPlot::RecomputeScales() {
    // A window whose begin equals its end gives an infinite (or NaN) scale; MapX and MapY then answer
    // kFarCoordinate, so nothing of it lands inside the plot.
    xScale_ = (rect_.right - rect_.left) / (xWindow_.end - xWindow_.begin);
    yScale_ = (rect_.bottom - rect_.top) / (yWindow_.end - yWindow_.begin);
}

int CGraphPlot::MapX(double v) const {
    return MapToPixel(rect_.left + (v - xWindow_.begin) * xScale_, rect_.left, rect_.right);
}

int CGraphPlot::MapY(double v) const {
    return MapToPixel(rect_.bottom - (v - yWindow_.begin) * yScale_, rect_.top, rect_.bottom);
}

bool CGraphPlot::TakeFirstPaint() {
    const bool first = firstPaint_;
    firstPaint_ = false;
    return first;
}

std::vector<GridStep> GridWalk(const AxisWindow& axis) {
    const double quarter = axis.step / 4;
    const bool ascending = axis.end > axis.begin;
    // The walk goes on only when each step brings the value nearer the end; otherwise the loop "while the
    // value has not passed the end" would never end, so the begin alone is walked.
    const bool towardEnd = std::isfinite(quarter) && std::isfinite(axis.begin) && std::isfinite(axis.end) &&
                           (ascending ? quarter > 0 : quarter < 0);
    const int limit = towardEnd ? kMaxGridSteps : 1;
    std::vector<GridStep> steps;
    double v = axis.begin;
    for (int n = 0; n < limit && (ascending ? v <= axis.end : v >= axis.end); ++n) {
        steps.push_back(GridStep{v, n % 4 == 0});
        v += quarter;
    }
    return steps;
}

LabelArgument LabelArgumentOf(const std::u16string& format) {
    switch (vr::CheckUserFormat(format.c_str())) {
    case vr::FormatKind::Integer:
        return LabelArgument::Integer;
    case vr::FormatKind::Floating:
        return LabelArgument::Floating;
    case vr::FormatKind::Character:
        return LabelArgument::Character;
    case vr::FormatKind::String:
    case vr::FormatKind::Invalid:
        break;
    }
    return LabelArgument::Refused;
}

std::u16string FormatLabel(const std::u16string& format, double value) {
    const LabelArgument argument = LabelArgumentOf(format);
    if (argument == LabelArgument::Refused) {
        return {};
    }
    if (argument == LabelArgument::Floating) {
        return vr::FormatWString(format.c_str(), value);
    }
    // An integer conversion reads a 32-bit integer: the value truncated toward zero, clamped to that range
    // (a cast of a value outside it would be undefined).
    constexpr double kLow = std::numeric_limits<LONG>::min();
    constexpr double kHigh = std::numeric_limits<LONG>::max();
    const double truncated = std::isnan(value) ? 0 : std::trunc(value);
    const LONG whole = truncated <= kLow    ? std::numeric_limits<LONG>::min()
                       : truncated >= kHigh ? std::numeric_limits<LONG>::max()
                                            : static_cast<LONG>(truncated);
    return vr::FormatWString(format.c_str(), whole);
}

} // namespace plotvane
