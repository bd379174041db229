// Widget behaviour without a window: the panel slide and hand-over, click routing and hit
// tests, check boxes, labels, and the frame counter.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/clock.h"
#include "widgets/framerate.h"
#include "widgets/widgetcontainer.h"

namespace {

using Steps = std::vector<int>;
using Clicks = std::vector<std::pair<int, int>>;

// Runs frames until the panel's slide ends; returns the step of every drawn frame.
Steps Slide(WidgetContainer& panel) {
    Steps drawn;
    for (vizState s = panel.GetState(); s == viz_Showing || s == viz_Hiding;) {
        if (panel.Advance()) drawn.push_back(panel.GetStep());
        if (panel.GetState() != s) break;
    }
    return drawn;
}

void MakeVisible(WidgetContainer& panel) {
    panel.Show();
    Slide(panel);
}

// Records the clicks offered to it and answers with a fixed verdict.
class ClickRecorder : public Widget {
public:
    explicit ClickRecorder(bool takes) : takes(takes) {}
    bool ProcessClick(int x, int y) override {
        clicks.push_back({x, y});
        return takes;
    }
    bool takes;
    Clicks clicks;
};

int buttonCalls = 0;
void CountButton() {
    ++buttonCalls;
}
std::vector<bool> reported;
void RecordCheck(bool value) {
    reported.push_back(value);
}

}  // namespace

TEST(PanelStates, ShowFromEveryState) {
    WidgetContainer panel(400, 500), other(200, 500);
    panel.SetWindowHeight(768);
    EXPECT_EQ(panel.GetState(), viz_Hidden);  // new: not drawn, takes no click
    EXPECT_FALSE(panel.Advance());
    EXPECT_FALSE(panel.ProcessClick(10, 700));
    panel.Hide();
    EXPECT_EQ(panel.GetState(), viz_Hidden);

    panel.Show();
    EXPECT_EQ(panel.GetState(), viz_Showing);
    EXPECT_EQ(panel.GetStep(), -400);
    panel.Advance();
    panel.Show();  // restarts from the edge
    EXPECT_EQ(panel.GetStep(), -400);

    MakeVisible(panel);
    panel.Show();  // no change
    EXPECT_EQ(panel.GetState(), viz_Visible);
    EXPECT_EQ(panel.GetStep(), 0);

    panel.SwitchTo(&other);
    panel.Advance();
    panel.Show();  // sliding out: slides in from the edge, the replacement stays pending
    EXPECT_EQ(panel.GetState(), viz_Showing);
    EXPECT_EQ(panel.GetStep(), -400);
    EXPECT_EQ(panel.GetReplacement(), &other);
}

TEST(PanelStates, HideAndSwitchToFromShowingVisibleAndHiding) {
    WidgetContainer target(400, 500);
    for (int from = 0; from < 3; ++from) {
        for (bool useSwitch : {false, true}) {
            WidgetContainer panel(400, 500);
            panel.Show();
            panel.Advance();
            if (from >= 1) MakeVisible(panel);
            if (from == 2) panel.Hide(), panel.Advance(), panel.Advance();
            if (useSwitch) {
                panel.SwitchTo(&target);
            } else {
                panel.Hide();
            }
            EXPECT_EQ(panel.GetState(), viz_Hiding) << from << useSwitch;
            EXPECT_EQ(panel.GetStep(), 0) << from << useSwitch;
            EXPECT_EQ(panel.GetReplacement(), useSwitch ? &target : nullptr);
        }
    }
}

TEST(PanelSlide, FiftyPixelsPerFrame) {
    WidgetContainer wide(400, 500), menu(200, 500), odd(120, 500);
    wide.Show();
    EXPECT_EQ(Slide(wide), (Steps{-350, -300, -250, -200, -150, -100, -50, 0, 0}));
    EXPECT_EQ(wide.GetState(), viz_Visible);
    wide.Hide();
    EXPECT_EQ(Slide(wide), (Steps{-50, -100, -150, -200, -250, -300, -350, -400}));
    EXPECT_EQ(wide.GetState(), viz_Hidden);
    EXPECT_EQ(wide.GetStep(), -400);

    menu.Show();
    EXPECT_EQ(Slide(menu), (Steps{-150, -100, -50, 0, 0}));
    menu.Hide();
    EXPECT_EQ(Slide(menu), (Steps{-50, -100, -150, -200}));

    // Sliding in lands on 0; sliding out vanishes short of -width.
    odd.Show();
    EXPECT_EQ(Slide(odd), (Steps{-70, -20, 0}));
    odd.Hide();
    EXPECT_EQ(Slide(odd), (Steps{-50, -100}));
    EXPECT_EQ(odd.GetStep(), -120);
}

TEST(PanelHandOver, SwitchToSlidesTheReplacementInAndHideBringsTheMenuBack) {
    WidgetContainer menu(200, 500), options(400, 500);
    options.SetWindowHeight(768);
    MakeVisible(menu);
    menu.SwitchTo(&options);
    EXPECT_EQ(Slide(menu), (Steps{-50, -100, -150, -200}));
    EXPECT_EQ(menu.GetReplacement(), nullptr);
    EXPECT_EQ(options.GetState(), viz_Showing);
    EXPECT_EQ(options.GetStep(), -400);
    EXPECT_EQ(options.GetParent(), &menu);
    EXPECT_FALSE(options.ProcessClick(10, 700));  // still sliding
    Slide(options);
    EXPECT_TRUE(options.ProcessClick(10, 700));

    options.Hide();
    Slide(options);
    EXPECT_EQ(menu.GetState(), viz_Showing);
    EXPECT_EQ(menu.GetStep(), -200);
    EXPECT_EQ(options.GetParent(), &menu);  // kept for the next close

    // A parent or replacement that is already shown is left as it is.
    MakeVisible(menu);
    MakeVisible(options);
    options.Hide();
    Slide(options);
    EXPECT_EQ(menu.GetState(), viz_Visible);
    menu.SwitchTo(&options);
    MakeVisible(options);
    Slide(menu);
    EXPECT_EQ(options.GetState(), viz_Visible);
    EXPECT_EQ(options.GetStep(), 0);
}

TEST(PanelHandOver, SwitchToOnAHiddenPanelWaitsForItsNextSlideOut) {
    WidgetContainer menu(200, 500), options(400, 500);
    menu.SwitchTo(&options);
    EXPECT_EQ(menu.GetState(), viz_Hidden);
    EXPECT_EQ(menu.GetReplacement(), &options);
    for (int i = 0; i < 20; ++i) menu.Advance();
    MakeVisible(menu);
    EXPECT_EQ(options.GetState(), viz_Hidden);
    menu.Hide();
    Slide(menu);
    EXPECT_EQ(options.GetState(), viz_Showing);
    EXPECT_EQ(options.GetParent(), &menu);

    // A pending replacement takes precedence over the parent.
    WidgetContainer third(400, 500);
    options.SwitchTo(&third);
    Slide(options);
    EXPECT_EQ(third.GetState(), viz_Showing);
    EXPECT_EQ(menu.GetState(), viz_Hidden);
}

TEST(PanelClicks, EdgesAreInsideAndChildrenGetPanelCoordinates) {
    WidgetContainer panel(400, 500);
    panel.SetWindowHeight(768.9f);  // truncated: the top edge is row 768
    ClickRecorder child(false);
    panel.AddWidget(&child);
    EXPECT_EQ(child.GetWindowWidth(), 400);
    EXPECT_EQ(child.GetWindowHeight(), 500);
    MakeVisible(panel);
    for (auto [x, y] : Clicks{{0, 268}, {400, 768}, {0, 768}, {400, 268}})
        EXPECT_TRUE(panel.ProcessClick(x, y)) << x << "," << y;
    for (auto [x, y] : Clicks{{401, 500}, {-1, 500}, {200, 769}, {200, 267}})
        EXPECT_FALSE(panel.ProcessClick(x, y)) << x << "," << y;
    EXPECT_EQ(child.clicks, (Clicks{{0, 0}, {400, 500}, {0, 500}, {400, 0}}));
}

TEST(PanelClicks, TheLastAddedChildIsAskedFirstAndWins) {
    WidgetContainer panel(400, 500);
    panel.SetWindowHeight(768);
    ClickRecorder first(true), second(false), last(true);
    panel.AddWidget(&first);
    panel.AddWidget(&second);
    panel.AddWidget(&last);
    MakeVisible(panel);
    EXPECT_TRUE(panel.ProcessClick(30, 300));
    EXPECT_EQ(last.clicks.size(), 1u);
    EXPECT_TRUE(second.clicks.empty() && first.clicks.empty());

    last.takes = first.takes = false;  // nobody takes it: the panel still consumes it
    EXPECT_TRUE(panel.ProcessClick(30, 300));
    EXPECT_EQ(first.clicks, (Clicks{{30, 32}}));
    panel.Hide();
    panel.Advance();
    EXPECT_FALSE(panel.ProcessClick(30, 300));  // sliding out
    EXPECT_EQ(first.clicks.size(), 1u);
}

TEST(Buttons, InclusiveHitTestAndOneCallPerClick) {
    ButtonWidget button(10, 10, 380, 35);
    EXPECT_STREQ(button.GetText(), "Button");
    EXPECT_TRUE(button.ProcessClick(10, 10));  // no callback: still taken
    button.SetCallback(CountButton);
    for (auto [x, y] : Clicks{{10, 10}, {390, 45}, {390, 10}, {10, 45}})
        EXPECT_TRUE(button.ProcessClick(x, y)) << x << "," << y;
    for (auto [x, y] : Clicks{{391, 45}, {10, 46}, {9, 20}, {200, 9}})
        EXPECT_FALSE(button.ProcessClick(x, y)) << x << "," << y;
    EXPECT_EQ(buttonCalls, 4);
}

TEST(CheckBoxes, ClicksToggleAndReportSetStateIsSilent) {
    CheckBoxWidget box(10, 200, 35);
    EXPECT_STREQ(box.GetText(), "Check");
    EXPECT_FALSE(box.GetState());
    EXPECT_TRUE(box.ProcessClick(10, 200));  // no callback: still flips
    EXPECT_TRUE(box.GetState());
    box.SetState(false);
    box.SetCallback(RecordCheck);
    EXPECT_TRUE(box.ProcessClick(45, 235));
    EXPECT_TRUE(box.ProcessClick(10, 235));
    box.SetState(true);
    EXPECT_TRUE(box.ProcessClick(45, 200));
    // Just outside each edge, and on the label.
    for (auto [x, y] : Clicks{{9, 210}, {46, 210}, {20, 199}, {20, 236}, {60, 210}})
        EXPECT_FALSE(box.ProcessClick(x, y)) << x << "," << y;
    EXPECT_EQ(reported, (std::vector<bool>{true, false, false}));
}

TEST(Labels, LongTextsAreCutTo127AndNullIsEmpty) {
    const std::string longText(300, 'x'), cut(127, 'x');
    ButtonWidget button(0, 0, 10, 10);
    CheckBoxWidget box(0, 0, 10);
    WidgetContainer panel(10, 10);
    button.SetText(longText.c_str());
    box.SetText(longText.c_str());
    panel.SetTitle(longText.c_str());
    EXPECT_EQ(button.GetText(), cut);
    EXPECT_EQ(box.GetText(), cut);
    EXPECT_EQ(panel.GetTitle(), cut);
    box.SetText(nullptr);
    EXPECT_STREQ(box.GetText(), "");
}

TEST(FrameRate, CountsFramesPerPeriodOfMoreThanASecondAndTakesClicksOnTheBox) {
    FramerateWidget rate;
    const int64_t t0 = rate.GetPeriodStart();
    for (int i = 0; i <= 5; ++i) rate.CountFrame(t0 + 200 * i);
    EXPECT_EQ(rate.GetFps(), -1);  // exactly one second does not close the period
    rate.CountFrame(t0 + 1001);
    EXPECT_EQ(rate.GetFps(), 6);
    EXPECT_EQ(rate.GetFrames(), 1);  // the closing frame opens the next period
    rate.CountFrame(t0 + 2500);
    EXPECT_EQ(rate.GetFps(), 1);

    EXPECT_TRUE(rate.ProcessClick(0, 0));
    EXPECT_TRUE(rate.ProcessClick(100, 30));
    EXPECT_FALSE(rate.ProcessClick(101, 30));
    EXPECT_FALSE(rate.ProcessClick(50, 31));
}

TEST(FrameRate, TheClockCountsElapsedMilliseconds) {
    // Sleeping uses no processor time, so a processor-time clock would stand still here.
    const int64_t before = MonotonicMillis();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const int64_t slept = MonotonicMillis() - before;
    EXPECT_GE(slept, 59);
    EXPECT_LT(slept, 60000);
}
