// Widgets drawn into a real window through the scene's pixel transform, read back with
// glReadPixels: glyphs, buttons, check boxes, a sliding panel and the frame-rate box.
#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "glframe.h"
#include "glwindow.h"
#include "scene/camera.h"
#include "scene/scene.h"
#include "testutil.h"
#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/framerate.h"
#include "widgets/glfont.h"
#include "widgets/widgetcontainer.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const int kWidth = 400;
const int kHeight = 300;

testing::Environment* const window =
    testing::AddGlobalTestEnvironment(new GlWindow(kWidth, kHeight));

const Rgb kBlack{0, 0, 0};
const Rgb kBlue{0, 0, 255};
const Rgb kWhite{255, 255, 255};
const Rgb kTextBlue{0, 0, 128};  // (0, 0, 0.5): titles and the frame rate

using TestScene = TestSceneIn<kWidth, kHeight>;

// Prints text in a colour at a raster position, as the widgets do.
class TextProbe : public Widget {
public:
    TextProbe(const char* text, float r, float g, float b, int x, int y)
        : text(text), r(r), g(g), b(b), x(x), y(y) {}
    void Render() override {
        glColor4f(r, g, b, 1);
        glRasterPos2f((float)x, (float)y);
        font->Print("%s", text.c_str());
    }

private:
    std::string text;
    float r, g, b;
    int x, y;
};

// Pixel-exact raster positions for measuring how far text moves the pen.
void PixelProjection() {
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// How far printing moves the raster position for the given text.
float PenAdvance(const char* text) {
    glRasterPos2f(0, 10);
    TestFont().Print("%s", text);
    GLfloat pos[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    return pos[0];
}

}  // namespace

TEST(Font, BuiltOnceOnFirstUseEvenForANullFormat) {
    if (TestFont().Base() != 0) GTEST_SKIP() << "font already built by an earlier test";
    CaptureStdout();
    TestFont().Print(nullptr);
    TestFont().Print("x");
    TestFont().Print("y");
    EXPECT_EQ(GetCapturedStdout(), "Generating font...\n");
    const GLuint base = TestFont().Base();
    ASSERT_NE(base, 0u);
    for (GLuint i = 0; i < 96; ++i) EXPECT_TRUE(glIsList(base + i)) << i;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Font, TextAppearsInItsColourAtTheRasterPosition) {
    TextProbe probe("Hg", 1, 0, 0, 40, 50);
    TestScene t({&probe});
    Frame f = t.Draw();
    const Rgb red{255, 0, 0};
    const int inside = f.Count(red, 38, 40, 90, 76);  // baseline 50, 24-pixel glyphs
    EXPECT_GT(inside, 60);
    EXPECT_EQ(f.Count(red), inside) << "text drawn away from its raster position";
    EXPECT_GT(f.Count(red, 38, 50, 60, 70), 20) << "no 'H' standing on the baseline";
    EXPECT_GT(f.Count(red, 55, 40, 90, 50), 3) << "no descender of 'g' under the baseline";

    TextProbe empty("", 1, 0, 0, 40, 50);
    TestScene none({&empty});
    EXPECT_EQ(none.Draw().Count(kBlack), kWidth * kHeight);
}

TEST(Font, AtMost255CharactersAndOnlyCodes32To127AreDrawn) {
    PixelProjection();
    const float a = PenAdvance("a");
    ASSERT_GT(a, 5);
    EXPECT_FLOAT_EQ(PenAdvance(std::string(300, 'a').c_str()), 255 * a);
    EXPECT_FLOAT_EQ(PenAdvance("a\001\t\n\037\200\240\377a"), 2 * a);
    glRasterPos2f(0, 10);
    TestFont().Print("%d%s", 12, std::string(400, 'a').c_str());
    GLfloat pos[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    EXPECT_FLOAT_EQ(pos[0], PenAdvance("12") + 253 * a);

    // Lists made after the font must not be reached by bytes beyond 127: fill the names
    // right after the glyphs with lists that move the pen far.
    const GLuint base = TestFont().Base();
    const GLuint others = glGenLists(160);
    ASSERT_EQ(others, base + 96) << "the list names after the font are taken";
    const GLubyte none = 0;
    for (GLuint i = 0; i < 160; ++i) {
        glNewList(others + i, GL_COMPILE);
        glBitmap(0, 0, 0, 0, 1000, 0, &none);
        glEndList();
    }
    EXPECT_FLOAT_EQ(PenAdvance("a\x80\xc8\xff"), a);
    glDeleteLists(others, 160);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Font, NoFaceWarnsOnceAndDrawsNothing) {
    // A child process whose fontconfig knows no fonts at all.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string dir = MakeTempDir();
            WriteFile(dir + "/fonts.conf", "<?xml version=\"1.0\"?><fontconfig></fontconfig>");
            setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
            BitmapFont none;
            for (int i = 0; i < 3; ++i) none.Print("frame %d", i);
            std::exit(none.Base() == 0 && glGetError() == GL_NO_ERROR ? 0 : 1);
        },
        testing::ExitedWithCode(0), "^WARNING: no \"sans-serif:bold\" font: [^\n]*\n$");
}

TEST(Buttons, FaceColourAtTheRectangleAndAWhiteLabel) {
    ButtonWidget button(50, 60, 120, 35);
    button.SetText("OK");
    TestScene t({&button});
    Frame f = t.Draw(kBlue);
    const Rgb face{178, 178, 178};
    for (int x : {53, 100, 166}) {
        EXPECT_TRUE(Near(f.At(x, 62), face)) << x << " " << f.At(x, 62);
        EXPECT_TRUE(Near(f.At(x, 92), face)) << x << " " << f.At(x, 92);
    }
    for (auto [x, y] : {std::pair{46, 77}, {174, 77}, {100, 56}, {100, 99}})
        EXPECT_EQ(f.At(x, y), kBlue) << x << "," << y;
    // The label starts 10 pixels in, on the baseline y + 10.
    EXPECT_GT(f.Count(kWhite, 58, 66, 100, 95), 30);
    EXPECT_EQ(f.Count(kWhite), f.Count(kWhite, 58, 66, 100, 95));

    button.SetText("");
    EXPECT_EQ(t.Draw(kBlue).Count(kWhite), 0);
}

TEST(CheckBoxes, CrossOnlyWhenCheckedAndTheLabelToTheRight) {
    CheckBoxWidget box(20, 100, 35);
    box.SetText("");
    TestScene t({&box});
    const Rgb face{178, 178, 178};
    Frame unchecked = t.Draw(kBlue);
    EXPECT_TRUE(Near(unchecked.At(37, 117), face)) << unchecked.At(37, 117);
    EXPECT_EQ(unchecked.At(21, 117), kBlue);  // the square's 4-pixel margin
    EXPECT_EQ(unchecked.Count(kWhite), 0);

    box.SetState(true);
    Frame checked = t.Draw(kBlue);
    EXPECT_GT(checked.Count(kWhite, 24, 104, 51, 131), 40);  // two 27-pixel diagonals
    EXPECT_EQ(checked.Count(kWhite), checked.Count(kWhite, 23, 103, 52, 132));

    box.SetText("Wire");
    Frame labelled = t.Draw(kBlue);
    EXPECT_GT(labelled.Count(kWhite, 64, 104, 130, 135), 30);  // from x + 45, baseline y + 10
}

TEST(Panels, SlideInFromTheLeftAtTheTopAndDrawChildrenInPanelCoordinates) {
    WidgetContainer panel(200, 150);
    panel.SetTitle("Menu");
    ButtonWidget button(10, 10, 100, 35);
    button.SetText("");
    panel.AddWidget(&button);
    TestScene t({&panel});
    const Rgb background{178, 178, 255};  // white at 0.7 over blue
    const Rgb face{178, 178, 178};

    EXPECT_EQ(t.Draw(kBlue).Count(kBlue), kWidth * kHeight);  // hidden
    panel.Show();
    Frame first = t.Draw(kBlue);  // left edge at -150
    EXPECT_TRUE(Near(first.At(25, 220), background)) << first.At(25, 220);
    EXPECT_EQ(first.At(75, 220), kBlue);
    EXPECT_EQ(first.At(25, 140), kBlue);  // the panel hangs from the top edge

    while (!panel.Visible()) t.Draw(kBlue);
    Frame shown = t.Draw(kBlue);
    EXPECT_TRUE(Near(shown.At(190, 200), background)) << shown.At(190, 200);
    EXPECT_TRUE(Near(shown.At(5, 155), background)) << shown.At(5, 155);
    EXPECT_EQ(shown.At(205, 200), kBlue);
    EXPECT_EQ(shown.At(100, 145), kBlue);
    EXPECT_TRUE(Near(shown.At(60, 150 + 27), face)) << shown.At(60, 150 + 27);
    EXPECT_TRUE(Near(shown.At(14, 150 + 14), face)) << shown.At(14, 150 + 14);
    EXPECT_TRUE(Near(shown.At(120, 150 + 27), background)) << shown.At(120, 150 + 27);
    // The title, 30 pixels below the top edge.
    const int title = shown.Count(kTextBlue);
    EXPECT_GT(title, 30);
    EXPECT_EQ(shown.Count(kTextBlue, 4, 260, 100, 296), title);

    panel.Hide();
    while (panel.GetState() != viz_Hidden) t.Draw(kBlue);
    EXPECT_EQ(t.Draw(kBlue).Count(kBlue), kWidth * kHeight);
}

TEST(FrameRate, BoxInTheLowerLeftShowsQuestionMarksThenTheCount) {
    // The texts the box should show, drawn on their own at the same spot.
    TextProbe unknown("??? f/s", 0, 0, 0.5f, 6, 6);
    TextProbe one("1 f/s", 0, 0, 0.5f, 6, 6);
    TestScene reference1({&unknown}), reference2({&one});
    const std::vector<bool> unknownMask = reference1.Draw().Mask(kTextBlue);
    const std::vector<bool> oneMask = reference2.Draw().Mask(kTextBlue);
    ASSERT_NE(unknownMask, oneMask);

    FramerateWidget rate;
    TestScene t({&rate});
    Frame first = t.Draw();
    const Rgb fill{178, 178, 178};  // white at 0.7 over black
    for (auto [x, y] : {std::pair{3, 3}, {97, 3}, {97, 27}, {3, 27}, {50, 27}}) {
        EXPECT_TRUE(Near(first.At(x, y), fill)) << x << "," << y << " " << first.At(x, y);
    }
    EXPECT_EQ(first.Count(kBlack, 0, 33, kWidth, kHeight), kWidth * (kHeight - 33));
    EXPECT_EQ(first.Count(kBlack, 103, 0, kWidth, 33), (kWidth - 103) * 33);
    EXPECT_TRUE(first.Mask(kTextBlue) == unknownMask) << "not \"??? f/s\" at (6, 6)";

    // One frame in a period of just over a second: the box shows "1 f/s".
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    Frame later = t.Draw();
    EXPECT_EQ(rate.GetFps(), 1);
    EXPECT_TRUE(later.Mask(kTextBlue) == oneMask) << "not \"1 f/s\" at (6, 6)";
}
