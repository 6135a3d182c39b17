// The graph model and its painting: waves, sweeps, options, grid walks that end, label formats, and what
// lands on which pixel of an offscreen image (no font metrics involved).
#include "GraphDraw.h"
#include "GraphPlot.h"
#include "platform/ui/tests/test_application.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace plotvane {
namespace {

std::vector<std::pair<double, double>> PointsOf(const CGraphPlot& plot, int index) {
    std::vector<std::pair<double, double>> points;
    for (size_t j = 0; j < plot.GraphAt(index).x.size(); ++j) {
        points.emplace_back(plot.GraphAt(index).x[j], plot.GraphAt(index).y[j]);
    }
    return points;
}

TEST(GraphModelTest, WavesRunAlongXAndRestartPastTheWindow) {
    CGraphPlot plot;
    EXPECT_EQ(plot.AppendWaveText(1, u"1;2;3"), 3u);
    EXPECT_EQ(PointsOf(plot, 1), (std::vector<std::pair<double, double>>{{-5, 1}, {-4, 2}, {-3, 3}}));
    EXPECT_EQ(plot.GraphAt(1).nextX, -2);

    CGraphPlot spaced;
    EXPECT_EQ(spaced.AppendWaveText(1, u"1 2 3"), 3u);
    EXPECT_EQ(PointsOf(spaced, 1), PointsOf(plot, 1));
    CGraphPlot doubled;
    EXPECT_EQ(doubled.AppendWaveText(1, u"1,,2"), 1u);

    CGraphPlot sweep;
    sweep.SetDataWindow(AxisWindow{0, 10, 1}, AxisWindow{});
    sweep.SetMarker(3);
    sweep.SetCursor(4);
    sweep.PutPoint(2, 7, 7);
    for (int i = 0; i <= 10; ++i) {
        EXPECT_FALSE(sweep.RestartSweepIfPast(1));
        sweep.AppendWaveValue(1, i);
    }
    EXPECT_EQ(sweep.GraphAt(1).x.back(), 10);
    EXPECT_TRUE(sweep.RestartSweepIfPast(1)); // the twelfth wave
    sweep.AppendWaveValue(1, 11);
    EXPECT_EQ(PointsOf(sweep, 1), (std::vector<std::pair<double, double>>{{0, 11}}));
    EXPECT_TRUE(sweep.GraphAt(2).x.empty());
    EXPECT_TRUE(sweep.Markers().empty());
    EXPECT_EQ(sweep.Cursor(), kNone);

    sweep.SetWaveStep(1, 0.25);
    sweep.SetWaveStep(1, 0); // keeps 0.25
    sweep.AppendWaveValue(1, 5.5);
    EXPECT_EQ(sweep.GraphAt(1).x.back(), 1);
    EXPECT_EQ(sweep.GraphAt(1).nextX, 1.25);
    sweep.SetMarker(1.7e308);
    EXPECT_TRUE(sweep.Markers().empty());
}

TEST(GraphModelTest, OptionsApplyInOrderAndDotOnlyFollowsEveryCall) {
    CGraphPlot plot;
    EXPECT_EQ(plot.ApplyOptions(u"LineWidth=11", -1), u"LineWidth");
    EXPECT_EQ(plot.ApplyOptions(u"linewidth=10 DotOnly", -1), u"");
    for (int g = 0; g < kGraphCount; ++g) {
        EXPECT_EQ(plot.GraphAt(g).lineWidth, 10);
        EXPECT_TRUE(plot.GraphAt(g).dotOnly);
    }
    EXPECT_EQ(plot.ApplyOptions(u"Caption='A B'", -1), u"");
    EXPECT_EQ(plot.Caption(), u"A B");
    EXPECT_FALSE(plot.GraphAt(4).dotOnly);

    EXPECT_EQ(plot.ApplyOptions(u"GraphName=volts LineWidth=3 DotOnly", 3), u"");
    EXPECT_EQ(plot.GraphAt(1).name, u"volts");
    EXPECT_EQ(plot.GraphAt(3).name, u"");
    EXPECT_EQ(plot.GraphAt(3).lineWidth, 3);
    EXPECT_EQ(plot.GraphAt(2).lineWidth, 10);
    EXPECT_TRUE(plot.GraphAt(3).dotOnly);
    EXPECT_FALSE(plot.GraphAt(2).dotOnly);

    // A format that would read a string or write through an argument is refused; items before it count.
    EXPECT_EQ(plot.ApplyOptions(u"Caption=x XLabelFormat=%s", -1), u"XLabelFormat");
    EXPECT_EQ(plot.ApplyOptions(u"YLabelFormat=%n", -1), u"YLabelFormat");
    EXPECT_EQ(plot.Caption(), u"x");
    EXPECT_EQ(plot.XLabelFormat(), u"%G");
    EXPECT_EQ(plot.ApplyOptions(u"XLabelFormat=%5.1fV", -1), u"");

    plot.Reset();
    EXPECT_EQ(plot.Caption(), u"");
    EXPECT_EQ(plot.GraphAt(1).name, u"");
    EXPECT_EQ(plot.GraphAt(3).lineWidth, 1);
}

TEST(GraphModelTest, GridWalksEndWhateverTheStep) {
    const auto x = GridWalk(AxisWindow{-5, 5, 1});
    ASSERT_EQ(x.size(), 41u);
    EXPECT_TRUE(x.front().major);
    EXPECT_FALSE(x[1].major);
    EXPECT_EQ(x.back().value, 5);
    EXPECT_EQ(std::count_if(x.begin(), x.end(), [](const GridStep& s) { return s.major; }), 11);
    EXPECT_EQ(GridWalk(AxisWindow{5, -5, -1}).size(), 41u);
    EXPECT_EQ(GridWalk(AxisWindow{-5, 5, 0}).size(), 1u);
    EXPECT_EQ(GridWalk(AxisWindow{-5, 5, -1}).size(), 1u);
    EXPECT_EQ(GridWalk(AxisWindow{2, 2, 1}).size(), 1u);
    EXPECT_EQ(GridWalk(AxisWindow{0, 1, 1e-300}).size(), static_cast<size_t>(kMaxGridSteps));
}

TEST(GraphModelTest, LabelsGetTheArgumentTheirConversionReads) {
    EXPECT_EQ(FormatLabel(u"%G", 2.5), u"2.5");
    EXPECT_EQ(FormatLabel(u"%G", -5), u"-5");
    EXPECT_EQ(FormatLabel(u"%G", 1e6), u"1E+06");
    EXPECT_EQ(FormatLabel(u"%d", 2.5), u"2");
    EXPECT_EQ(FormatLabel(u"%5d", -2.5), u"   -2");
    EXPECT_EQ(FormatLabel(u"%x", 1e12), u"7fffffff");
    EXPECT_EQ(FormatLabel(u"%d%%", 50), u"50%");
    for (const char16_t* refused : {u"%s", u"%n", u"%G %G", u"none", u"%p", u"%*d", u"%lld", u"%S"}) {
        EXPECT_EQ(LabelArgumentOf(refused), LabelArgument::Refused) << std::string(refused, refused + 3);
        EXPECT_EQ(FormatLabel(refused, 1), u"");
    }
}

TEST(GraphModelTest, MappingPutsOutsideValuesFarAway) {
    CGraphPlot plot;
    plot.SetPlotRect(PlotRectFor(QRect(0, 0, 200, 100)));
    EXPECT_EQ(plot.Rect(), (PlotRect{36, 18, 190, 76}));
    EXPECT_EQ(plot.XLabelLine(), 86);
    EXPECT_EQ(plot.YLabelEdge(), 26);
    EXPECT_EQ(plot.MapX(-5), 36);
    EXPECT_EQ(plot.MapX(5), 190);
    EXPECT_EQ(plot.MapY(5), 18);
    EXPECT_EQ(plot.MapY(7), kFarCoordinate);
    EXPECT_EQ(plot.MapX(-5.1), kFarCoordinate);
    plot.SetDataWindow(AxisWindow{1, 1, 1}, AxisWindow{1, 1, 1}); // infinite scales
    EXPECT_EQ(plot.MapX(1), kFarCoordinate);
    EXPECT_EQ(plot.MapY(2), kFarCoordinate);
}

// ---- Pixels ----

QImage Paint(CGraphPlot& plot, int width, int height) {
    vrtest::TestApplication();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    plot.SetPlotRect(PlotRectFor(image.rect()));
    PaintGraph(painter, plot, true, FrameColours{});
    return image;
}

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

TEST(GraphDrawTest, GridLimitsCurvesMarkersAndCursorLandOnTheirPixels) {
    CGraphPlot plot;
    plot.SetDataWindow(AxisWindow{0, 40, 10},
                       AxisWindow{-10, 30, 10}); // 400 x 200 plot: 10 and 5 px per unit
    plot.SetYLimits(0, 30);
    plot.PutPoint(0, 2, 2);
    plot.PutPoint(0, 6, 2);
    plot.PutPoint(3, 2, 6);
    plot.PutPoint(3, 6, 6);
    plot.ApplyOptions(u"DotOnly", 3);
    plot.SetMarker(33);
    plot.SetCursor(37);
    plot.PutPoint(1, 38, 50); // above the window: mapped to row 32767, far below
    plot.PutPoint(1, 38, 20);
    const QImage image = Paint(plot, 446, 242);
    const PlotRect& r = plot.Rect();
    ASSERT_EQ(r, (PlotRect{36, 18, 436, 218}));

    EXPECT_EQ(At(image, r.left + 12, r.bottom - 37), kPlotBackground);
    EXPECT_EQ(At(image, plot.MapX(10), r.bottom - 37), kMajorGrid);
    EXPECT_EQ(At(image, plot.MapX(12.5), r.bottom - 37), kMinorGrid);
    EXPECT_EQ(At(image, r.left + 12, plot.MapY(20)), kMajorGrid);
    EXPECT_EQ(At(image, r.left + 13, plot.MapY(30)), kLimitLine);
    EXPECT_EQ(At(image, r.left + 13, plot.MapY(0)), kMajorGrid); // no line at a limit of 0
    EXPECT_EQ(At(image, plot.MapX(33), r.top + 57), kMarkerLine);
    EXPECT_EQ(At(image, plot.MapX(37), r.top + 57), kCursorLine);
    EXPECT_EQ(At(image, plot.MapX(38), r.bottom - 3), GraphColour(1)); // down to row 32767

    // Graph 0 joins its points; graph 3 (dot only) shows its 3 x 3 squares alone.
    EXPECT_EQ(At(image, plot.MapX(4), plot.MapY(2)), GraphColour(0));
    EXPECT_EQ(At(image, plot.MapX(2) + 1, plot.MapY(6) + 1), GraphColour(3));
    EXPECT_EQ(At(image, plot.MapX(4), plot.MapY(6)), kPlotBackground);
    // No major line on the window's edges: only ticks below the plot.
    EXPECT_NE(At(image, r.left, r.top + 57), kMajorGrid);
    EXPECT_EQ(At(image, plot.MapX(20), r.bottom + 5), QColor(Qt::black));
}

TEST(GraphDrawTest, DegenerateWindowsPaintAndEnd) {
    CGraphPlot plot;
    plot.SetDataWindow(AxisWindow{-5, 5, 0}, AxisWindow{5, -5, 1});
    plot.PutPoint(1, 0, 0);
    EXPECT_EQ(At(Paint(plot, 200, 100), 100, 40), kPlotBackground);
    plot.SetDataWindow(AxisWindow{3, 3, 1}, AxisWindow{3, 3, -1});
    EXPECT_EQ(At(Paint(plot, 200, 100), 100, 40), kPlotBackground);
}

TEST(GraphDrawTest, LegendNamesStandRightToLeftAndCloseUp) {
    vrtest::TestApplication();
    CGraphPlot plot;
    plot.GraphAt(0).name = u"alpha";
    plot.GraphAt(2).name = u"gamma";
    plot.GraphAt(3).name = std::u16string(400, u'w'); // too wide: left out, and the running edge moves on
    plot.GraphAt(4).name = u"z";
    QImage image(400, 200, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(CaptionFont());
    plot.SetPlotRect(PlotRectFor(image.rect()));
    const auto lefts = PaintLegend(painter, plot);
    const QFontMetrics metrics(CaptionFont(), &image);
    EXPECT_EQ(lefts[0], plot.Rect().right - metrics.horizontalAdvance("alpha") - 10);
    EXPECT_EQ(lefts[1], -1);
    EXPECT_EQ(lefts[2], lefts[0] - metrics.horizontalAdvance("gamma") - 10);
    EXPECT_EQ(lefts[3], -1);
    EXPECT_EQ(lefts[4], -1);
}

} // namespace
} // namespace plotvane
