// The overlays' window-free parts: legend values and their layout, the progress bar's fill
// and the help panel's place and contents.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "widgets/colorlegend.h"
#include "widgets/helpoverlay.h"
#include "widgets/keybindings.h"
#include "widgets/progressbar.h"

namespace {

std::string Format(double value, double step) {
    char text[32];
    FormatLegendValue(value, step, text, sizeof text);
    return text;
}

TEST(LegendValues, ExtremesAndEverydayValuesStayShortAndReadable) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Format(1e30, 5e29), "1e30");
    EXPECT_EQ(Format(-1e30, 5e29), "-1e30");
    EXPECT_EQ(Format(-5e29, 5e29), "-5e29");
    EXPECT_EQ(Format(1e-30, 2.5e-31), "1e-30");
    EXPECT_EQ(Format(-1.23456e-30, 1e-31), "-1.23e-30");
    EXPECT_EQ(Format(7.5e-31, 2.5e-31), "7.5e-31");
    EXPECT_EQ(Format(101325, 25), "101325");
    EXPECT_EQ(Format(101325.25, 0.25), "101325.25");
    EXPECT_EQ(Format(1000, 250), "1000");
    EXPECT_EQ(Format(1250, 250), "1250");
    EXPECT_EQ(Format(0.30000000000000004, 0.1), "0.3");
    EXPECT_EQ(Format(1.5e7, 2.5e6), "1.5e7");
    // The rounding residue of a range through zero, and negative zero, read as 0.
    EXPECT_EQ(Format(-0.3 + 3 * 0.1, 0.1), "0");
    EXPECT_EQ(Format(-0.0, 1), "0");
    EXPECT_EQ(Format(std::nan(""), 1), "nan");
    EXPECT_EQ(Format(inf, 1), "inf");
    EXPECT_EQ(Format(-inf, inf), "-inf");
    EXPECT_EQ(Format(std::numeric_limits<double>::max(), inf), "1.798e308");
    EXPECT_EQ(Format(-1.23456789e-300, 1e-310), "-1.23e-300");
    EXPECT_EQ(Format(-0.000123456789, 1e-12), "-0.0001235");
}

TEST(LegendValues, FiveLabelsFitTellApartAndReadBackCloseToTheirValues) {
    const double ranges[][2] = {
        {-1e30, 1e30},    {0, 1e-30},     {1e-30, 2e-30},      {101325, 101326}, {0, 1},
        {-5, -1},         {1e6, 1e6 + 1}, {-1.7e308, 1.7e308}, {-0.3, 0.1},      {2, -2},
        {0.001, 0.00125}, {-1e-30, 1e30}, {12.5, 812.5},
    };
    for (const auto& r : ranges) {
        ColorLegendWidget legend;
        legend.SetVariable("Energy", r[0], r[1]);
        const double step = std::fabs(r[1] / 4 - r[0] / 4);
        std::set<std::string> seen;
        for (int i = 0; i < kLegendLabels; ++i) {
            const std::string label = legend.GetLabel(i);
            // Long double: the spacing of a +-1.7e308 range overflows a double.
            const double value = (double)(r[0] + ((long double)r[1] - r[0]) * i / 4);
            SCOPED_TRACE("range " + std::to_string(r[0]) + " .. " + std::to_string(r[1]) +
                         ", label " + label);
            EXPECT_LE(label.size(), (size_t)kLegendLabelChars);
            EXPECT_NEAR(strtod(label.c_str(), nullptr), value, step / 10);
            seen.insert(label);
        }
        EXPECT_EQ(seen.size(), (size_t)kLegendLabels);
    }
}

TEST(LegendValues, MinimumAtTheBottomAndOneLabelForAnEmptyRange) {
    ColorLegendWidget legend;
    legend.SetVariable("Density", 10, 50);
    EXPECT_STREQ(legend.GetLabel(0), "10");
    EXPECT_STREQ(legend.GetLabel(2), "30");
    EXPECT_STREQ(legend.GetLabel(4), "50");
    // An infinite end reads as such, not as 0 * inf.
    legend.SetVariable("Density", 0, std::numeric_limits<double>::infinity());
    EXPECT_STREQ(legend.GetLabel(0), "0");
    EXPECT_STREQ(legend.GetLabel(4), "inf");
    legend.SetVariable("Density", 3.5, 3.5);
    EXPECT_STREQ(legend.GetLabel(0), "3.5");
    for (int i = 1; i < kLegendLabels; ++i) EXPECT_STREQ(legend.GetLabel(i), "") << i;
    legend.SetVariable("A very long variable name", 0, 1);
    EXPECT_EQ(strlen(legend.GetName()), (size_t)kLegendNameChars);
    legend.SetVariable(nullptr, 0, 1);
    EXPECT_STREQ(legend.GetName(), "");
}

// Whether two rectangles, edges included, share a pixel.
bool Overlap(int ax0, int ay0, int ax1, int ay1, int bx0, int by0, int bx1, int by1) {
    return ax0 <= bx1 && bx0 <= ax1 && ay0 <= by1 && by0 <= ay1;
}

TEST(LegendLayout, AtTheRightEdgeClearOfPanelsAndTheBottomStripForAnyWindow) {
    const LegendLayout l = LayOutLegend(1024, 768);
    ASSERT_TRUE(l.fits);
    EXPECT_GE(l.boxX1, 1024 - 20);
    EXPECT_LT(l.boxX1, 1024);
    EXPECT_GE(l.barY1 - l.barY0, 300);
    EXPECT_NEAR(l.boxY0 + l.boxY1, 768, 1) << "vertically centred";
    EXPECT_GT(l.nameY, l.barY1);

    int shown = 0;
    for (int w = 100; w <= 2000; w += 37) {
        for (int h = 60; h <= 1500; h += 41) {
            const LegendLayout k = LayOutLegend(w, h);
            SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
            if (w >= 640 && h >= 300) {
                EXPECT_TRUE(k.fits);
            }
            if (!k.fits) continue;
            ++shown;
            EXPECT_TRUE(k.boxX0 >= 0 && k.boxX1 < w && k.boxY0 >= 0 && k.boxY1 < h);
            EXPECT_FALSE(Overlap(k.boxX0, k.boxY0, k.boxX1, k.boxY1, 0, h - 500, 400, h))
                << "over a panel";
            EXPECT_GE(k.boxY0, 40) << "over the frame-rate box or the progress bar";
            EXPECT_TRUE(k.barX0 > k.boxX0 && k.labelX > k.barX1 && k.labelX < k.boxX1);
            EXPECT_TRUE(k.barY0 > k.boxY0 && k.nameY > k.barY1 && k.nameY < k.boxY1);
            EXPECT_GE(k.barY1 - k.barY0, 100);
        }
    }
    EXPECT_GT(shown, 500);
    // Too narrow to pass the panels: the legend goes below them.
    const LegendLayout narrow = LayOutLegend(600, 768);
    ASSERT_TRUE(narrow.fits);
    EXPECT_LT(narrow.boxY1, 768 - 500);
    EXPECT_FALSE(LayOutLegend(200, 768).fits);
    EXPECT_FALSE(LayOutLegend(1024, 150).fits);
}

TEST(ProgressBar, FillFollowsTheShareDoneWithinTheBar) {
    EXPECT_EQ(FilledLength(0, 10, 100), 0);
    EXPECT_EQ(FilledLength(5, 10, 100), 50);
    EXPECT_EQ(FilledLength(1, 3, 100), 33);
    EXPECT_EQ(FilledLength(10, 10, 100), 100);
    EXPECT_EQ(FilledLength(15, 10, 100), 100);
    EXPECT_EQ(FilledLength(-1, 10, 100), 0);
    EXPECT_EQ(FilledLength(1, 0, 100), 0);
    EXPECT_EQ(FilledLength(1000000000000L, 2000000000000L, 900), 450);
    ProgressBarWidget bar;
    EXPECT_FALSE(bar.Shown());
    bar.SetProgress(3, 7);
    EXPECT_TRUE(bar.Shown());
    bar.Clear();
    EXPECT_FALSE(bar.Shown());
}

TEST(Help, ListsEveryKeyAndMouseButtonOnACentredPanel) {
    std::set<std::string> inputs;
    for (const Binding& b : kBindings) inputs.insert(b.input);
    for (const char* needed : {"Left drag", "Middle drag", "Right drag", "Left click", "Space", "f",
                               "r", "p", "h or F1", "Esc"}) {
        EXPECT_EQ(inputs.count(needed), 1u) << needed;
    }

    const HelpRect r = LayOutHelp(1024, 768);
    EXPECT_GT(r.x0, 400) << "over the panels";
    EXPECT_LT(r.x1, 1024);
    EXPECT_NEAR(r.y0 + r.y1, 768, 1);
    const HelpRect narrow = LayOutHelp(800, 600);
    EXPECT_EQ(narrow.x0 + narrow.x1, 800) << "centred when the panels leave no room";
    const HelpRect small = LayOutHelp(300, 200);
    EXPECT_EQ(small.x0, 0);
    EXPECT_EQ(small.y1, 200) << "the title stays in view";

    HelpOverlayWidget help;
    help.SetWindowWidth(1024);
    help.SetWindowHeight(768);
    EXPECT_FALSE(help.ProcessClick(512, 384)) << "hidden: clicks pass";
    help.Toggle();
    EXPECT_TRUE(help.ProcessClick(512, 384));
    EXPECT_FALSE(help.ProcessClick(r.x0 - 1, 384));
    help.Toggle();
    EXPECT_FALSE(help.GetShown());
}

}  // namespace
