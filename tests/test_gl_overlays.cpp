// The overlays drawn in a real 1024 x 768 window as the viewer draws them, read back pixel by
// pixel: the colour legend against the colour map, its text and its keep-out areas, the
// progress bar and the help panel.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "glframe.h"
#include "glwindow.h"
#include "scene/camera.h"
#include "scene/scene.h"
#include "surface/colormap.h"
#include "widgets/colorlegend.h"
#include "widgets/framerate.h"
#include "widgets/glfont.h"
#include "widgets/helpoverlay.h"
#include "widgets/progressbar.h"
#include "widgets/widgetcontainer.h"

namespace {

const int kWidth = 1024;
const int kHeight = 768;

testing::Environment* const window =
    testing::AddGlobalTestEnvironment(new GlWindow(kWidth, kHeight));

const Rgb kBlack{0, 0, 0};
const Rgb kTextBlue{0, 0, 128};     // (0, 0, 0.5): the overlays' text
const Rgb kBoxGrey{178, 178, 178};  // white at 0.7 over black

using TestScene = TestSceneIn<kWidth, kHeight>;

// Prints text in the overlays' blue at a raster position.
class TextProbe : public Widget {
public:
    TextProbe(std::string text, int x, int y) : text(std::move(text)), x(x), y(y) {}
    void Render() override {
        glColor4f(0, 0, 0.5f, 1);
        glRasterPos2f((float)x, (float)y);
        font->Print("%s", text.c_str());
    }

private:
    std::string text;
    int x, y;
};

// How far printing moves the pen for the given text, in pixels.
float PenAdvance(const char* text) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRasterPos2f(0, 10);
    TestFont().Print("%s", text);
    GLfloat pos[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    return pos[0];
}

Rgb MapEntry(const std::vector<unsigned char>& map, int i) {
    return {map[4 * i], map[4 * i + 1], map[4 * i + 2]};
}

// Height of tick i above the bar's foot; the labels' digits are centred on it.
int TickY(const LegendLayout& l, int i) {
    return l.barY0 + (l.barY1 - l.barY0) * i / (kLegendLabels - 1);
}

TEST(Legend, BarShowsTheColourMapFromTheMinimumAtTheFootToTheMaximumAtTheTop) {
    ColorLegendWidget legend;
    legend.SetVariable("Energy", 0, 100);
    legend.SetShown(true);
    TestScene t({&legend});
    const Frame f = t.Draw();
    const LegendLayout l = LayOutLegend(kWidth, kHeight);
    ASSERT_TRUE(l.fits);
    std::vector<unsigned char> map(4 * kColorMapEntries);
    BuildColorMap(map.data());

    // Each row shows the entry its texture coordinate picks, give or take the few entries
    // that the widget plane's sub-pixel scale shifts it by.
    const int bar = l.barY1 - l.barY0;
    int wrong = 0;
    for (int y = l.barY0; y < l.barY1; ++y) {
        const int k = (int)std::floor((y - l.barY0 + 0.5) / bar * kColorMapEntries);
        for (int x : {l.barX0 + 1, (l.barX0 + l.barX1) / 2, l.barX1 - 2}) {
            bool matched = false;
            for (int d = -4; d <= 4 && !matched; ++d) {
                const int e = std::clamp(k + d, 0, kColorMapEntries - 1);
                matched = Near(f.At(x, y), MapEntry(map, e));
            }
            if (!matched && ++wrong <= 5) ADD_FAILURE() << x << "," << y << " " << f.At(x, y);
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(Near(f.At(l.barX0 + 5, l.barY0), {0, 0, 255}, 3)) << f.At(l.barX0 + 5, l.barY0);
    EXPECT_TRUE(Near(f.At(l.barX0 + 5, l.barY0 + bar / 2), {0, 255, 0}, 3));
    EXPECT_TRUE(Near(f.At(l.barX0 + 5, l.barY1 - 1), {255, 0, 0}, 3)) << "the top is not red";
    // The see-through box around it.
    EXPECT_TRUE(Near(f.At(l.boxX0 + 3, l.boxY0 + 3), kBoxGrey)) << f.At(l.boxX0 + 3, l.boxY0 + 3);
}

TEST(Legend, AnEmptyRangeShowsTheFirstColourAsTheSurfacesDo) {
    ColorLegendWidget legend;
    legend.SetVariable("Density", 2, 2);
    legend.SetShown(true);
    TestScene t({&legend});
    const Frame f = t.Draw();
    const LegendLayout l = LayOutLegend(kWidth, kHeight);
    const int bar = (l.barX1 - l.barX0 - 2) * (l.barY1 - l.barY0 - 2);
    EXPECT_EQ(f.Count({0, 0, 255}, l.barX0 + 1, l.barY0 + 1, l.barX1 - 1, l.barY1 - 1), bar);
}

TEST(Legend, TheNameAndTheFiveValuesAreDrawnAsText) {
    ColorLegendWidget legend;
    legend.SetVariable("Momentum", -1e30, 1e30);
    legend.SetShown(true);
    const LegendLayout l = LayOutLegend(kWidth, kHeight);
    // The same strings printed on their own at the legend's places.
    std::vector<TextProbe> probes;
    probes.emplace_back("Momentum", l.nameX, l.nameY);
    for (int i = 0; i < kLegendLabels; ++i)
        probes.emplace_back(legend.GetLabel(i), l.labelX, TickY(l, i) - 8);
    TestScene reference({&probes[0], &probes[1], &probes[2], &probes[3], &probes[4], &probes[5]});
    const Frame expected = reference.Draw();
    TestScene t({&legend});
    const Frame f = t.Draw();

    EXPECT_STREQ(legend.GetLabel(0), "-1e30");
    EXPECT_STREQ(legend.GetLabel(2), "0");
    int text = 0, differ = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = l.labelX - 2; x < kWidth; ++x) {
            if (y < l.barY1 + 14 && x < l.labelX) continue;  // the tick marks
            const bool want = expected.At(x, y) == kTextBlue, got = f.At(x, y) == kTextBlue;
            text += got;
            differ += want != got;
        }
    }
    EXPECT_GT(text, 300);
    EXPECT_EQ(differ, 0) << "the legend's text differs from its labels";
    // Each value sits by its own tick.
    for (int i = 0; i < kLegendLabels; ++i) {
        EXPECT_GT(f.Count(kTextBlue, l.labelX, TickY(l, i) - 10, l.boxX1, TickY(l, i) + 14), 20)
            << i;
    }
    // Another range, other text; hiding the legend removes everything.
    legend.SetVariable("Momentum", 0, 7);
    EXPECT_NE(t.Draw().Count(kTextBlue, l.labelX, 0, kWidth, kHeight),
              f.Count(kTextBlue, l.labelX, 0, kWidth, kHeight));
    legend.SetShown(false);
    EXPECT_EQ(t.Draw().Count(kBlack), kWidth * kHeight);
}

TEST(Legend, TheWidestTextFitsItsPlace) {
    const LegendLayout l = LayOutLegend(kWidth, kHeight);
    for (const char* label : {"8888888888", "-8.888e-38", "-0.0008888", "-1.798e308"}) {
        EXPECT_LT(PenAdvance(label), l.boxX1 - l.labelX - 2) << label;
    }
    for (const char* name : {"Density", "Energy", "Momentum"}) {
        EXPECT_LT(PenAdvance(name), l.boxX1 - l.nameX - 2) << name;
    }
}

TEST(Legend, StaysInsideItsBoxAndClearOfThePanelsAndTheFrameRateBox) {
    ColorLegendWidget legend;
    legend.SetShown(true);
    TestScene t({&legend});
    const LegendLayout l = LayOutLegend(kWidth, kHeight);
    const double ranges[][2] = {
        {-1e30, 1e30}, {-1.23456e-30, 9.87654e-30}, {-8.888e-38, 8.888e-38}};
    for (const auto& r : ranges) {
        legend.SetVariable("Momentum", r[0], r[1]);
        const Frame f = t.Draw();
        // One pixel of slack: the widget plane's scale is 0.414 / tan(22.5) off from exact.
        const int inBox = f.CountOther(kBlack, l.boxX0 - 1, l.boxY0 - 1, l.boxX1 + 2, l.boxY1 + 2);
        EXPECT_GT(inBox, 0);
        EXPECT_EQ(f.CountOther(kBlack, 0, 0, kWidth, kHeight), inBox) << "drawn outside its box";
        EXPECT_EQ(f.Count(kTextBlue, l.boxX1 - 3, 0, kWidth, kHeight), 0)
            << "text reaches the edge";
        EXPECT_EQ(f.CountOther(kBlack, 0, kHeight - 501, 401, kHeight), 0) << "over a panel";
        EXPECT_EQ(f.CountOther(kBlack, 0, 0, 101, 31), 0) << "over the frame-rate box";
        EXPECT_EQ(f.CountOther(kBlack, 0, 0, kWidth, 40), 0) << "over the progress bar";
    }

    // With the real panel and frame-rate box in the scene, their pixels stay as they were.
    WidgetContainer panel(400, 500);
    panel.SetTitle("City");
    panel.Show();
    while (!panel.Visible()) panel.Advance();
    FramerateWidget rate;
    TestScene without({&rate, &panel});
    TestScene with({&rate, &panel, &legend});
    const Frame a = without.Draw(), b = with.Draw();
    int changed = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) changed += a.At(x, y) != b.At(x, y);
    EXPECT_EQ(changed, b.CountOther(kBlack, l.boxX0 - 1, l.boxY0 - 1, l.boxX1 + 2, l.boxY1 + 2));
}

TEST(Legend, HiddenWhenTheWindowHasNoRoom) {
    ColorLegendWidget legend;
    legend.SetVariable("Energy", 0, 1);
    legend.SetShown(true);
    TestScene t({&legend});
    EXPECT_EQ(t.Draw(200, 768).Count(kBlack), kWidth * kHeight);
    EXPECT_GT(t.Draw().CountOther(kBlack, 0, 0, kWidth, kHeight), 0);
}

TEST(ProgressBar, FillsItsShareRightOfTheFrameRateBox) {
    ProgressBarWidget bar;
    TestScene t({&bar});
    EXPECT_EQ(t.Draw().Count(kBlack), kWidth * kHeight) << "drawn without work";

    bar.SetProgress(1, 4);
    Frame f = t.Draw();
    const int y = 15, filledEnd = 110 + (kWidth - 10 - 110) / 4;
    EXPECT_EQ(f.At(112, y), kTextBlue);
    EXPECT_EQ(f.At(filledEnd - 3, y), kTextBlue);
    EXPECT_TRUE(Near(f.At(filledEnd + 3, y), kBoxGrey)) << f.At(filledEnd + 3, y);
    EXPECT_TRUE(Near(f.At(kWidth - 13, y), kBoxGrey)) << f.At(kWidth - 13, y);
    EXPECT_EQ(f.CountOther(kBlack, 0, 0, 106, kHeight), 0) << "over the frame-rate box";
    EXPECT_EQ(f.CountOther(kBlack, 0, 24, kWidth, kHeight), 0) << "not thin";
    EXPECT_EQ(f.CountOther(kBlack, kWidth - 8, 0, kWidth, kHeight), 0);

    bar.SetProgress(4, 4);
    EXPECT_EQ(t.Draw().At(kWidth - 13, y), kTextBlue);
    bar.Clear();
    EXPECT_EQ(t.Draw().Count(kBlack), kWidth * kHeight);
}

TEST(Help, APanelOfTextInTheMiddleToggledOnAndOff) {
    HelpOverlayWidget help;
    TestScene t({&help});
    EXPECT_EQ(t.Draw().Count(kBlack), kWidth * kHeight);
    help.Toggle();
    const Frame f = t.Draw();
    const HelpRect r = LayOutHelp(kWidth, kHeight);
    const int inside = f.CountOther(kBlack, r.x0, r.y0, r.x1 + 1, r.y1 + 1);
    EXPECT_EQ(f.CountOther(kBlack, 0, 0, kWidth, kHeight), inside) << "text outside the panel";
    EXPECT_EQ(f.Count(kTextBlue, r.x1 - 3, r.y0, r.x1 + 1, r.y1), 0) << "text reaches the edge";
    // Keys on the left, actions on the right, lines from the top to the bottom.
    const int h = r.y1 - r.y0;
    EXPECT_GT(f.Count(kTextBlue, r.x0, r.y0, r.x0 + 180, r.y1), 1000);
    EXPECT_GT(f.Count(kTextBlue, r.x0 + 190, r.y0, r.x1, r.y1), 1000);
    EXPECT_GT(f.Count(kTextBlue, r.x0, r.y1 - h / 8, r.x1, r.y1), 100);
    EXPECT_GT(f.Count(kTextBlue, r.x0, r.y0, r.x1, r.y0 + h / 8), 100);
    help.Toggle();
    EXPECT_EQ(t.Draw().Count(kBlack), kWidth * kHeight);
}

}  // namespace
