// Screenshots read back from a real window: the back buffer as drawn, before the swap,
// whatever read state the caller left, saved to a PNG that holds the same pixels.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "glwindow.h"
#include "pngread.h"
#include "testutil.h"
#include "widgets/screenshot.h"

namespace {

// An odd width: rows of 3 x 321 bytes are not a multiple of OpenGL's default alignment.
const int kWidth = 321;
const int kHeight = 241;

testing::Environment* const window =
    testing::AddGlobalTestEnvironment(new GlWindow(kWidth, kHeight));

struct Colour {
    unsigned char r, g, b;
};
const Colour kBottomLeft{255, 0, 0}, kBottomRight{0, 0, 255}, kTopLeft{255, 255, 255},
    kTopRight{10, 20, 30};

void FillQuarter(int x, int y, const Colour& c) {
    glScissor(x, y, kWidth / 2, kHeight / 2);
    glClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Pixel (x, y) from the bottom-left corner.
Colour At(const RgbImage& image, int x, int y) {
    const unsigned char* p = &image.pixels[3 * ((size_t)y * image.width + x)];
    return {p[0], p[1], p[2]};
}

void ExpectColour(const RgbImage& image, int x, int y, const Colour& c) {
    const Colour got = At(image, x, y);
    EXPECT_TRUE(got.r == c.r && got.g == c.g && got.b == c.b)
        << x << "," << y << ": " << (int)got.r << " " << (int)got.g << " " << (int)got.b;
}

TEST(Screenshot, ReadsTheFrameJustDrawnAndSavesItAsShown) {
    // The shown (front) buffer holds green; the frame drawn since holds four quarters on
    // magenta.
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    FillQuarter(0, 0, kBottomLeft);
    FillQuarter(kWidth / 2, 0, kBottomRight);
    FillQuarter(0, kHeight / 2, kTopLeft);
    FillQuarter(kWidth / 2, kHeight / 2, kTopRight);
    glDisable(GL_SCISSOR_TEST);

    // Read state as some other code may have left it; the read-back must not depend on it.
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    RgbImage image;
    ReadFramebuffer(kWidth, kHeight, image);
    GLint readBuffer = 0, alignment = 0;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    EXPECT_EQ(readBuffer, GL_FRONT);
    EXPECT_EQ(alignment, 4);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    ASSERT_EQ(image.pixels.size(), 3u * kWidth * kHeight);
    ExpectColour(image, 2, 2, kBottomLeft);
    ExpectColour(image, kWidth - 3, 2, kBottomRight);
    ExpectColour(image, 2, kHeight - 3, kTopLeft);
    ExpectColour(image, kWidth - 3, kHeight - 3, kTopRight);
    // The odd last column and row are read too (the quarters leave them to the clear).
    ExpectColour(image, kWidth - 1, 2, {255, 0, 255});
    ExpectColour(image, 2, kHeight - 1, {255, 0, 255});

    const std::string dir = MakeTempDir();
    std::string name, error;
    ASSERT_TRUE(NextScreenshotName(dir, name, error)) << error;
    EXPECT_EQ(name, "velmora-0001.png");
    const std::string path = dir + "/" + name;
    ASSERT_TRUE(WritePng(path, image, error)) << error;
    RgbImage saved;
    ASSERT_TRUE(ReadPng(path, saved, error)) << error;
    EXPECT_EQ(saved.width, kWidth);
    EXPECT_EQ(saved.height, kHeight);
    EXPECT_TRUE(saved.pixels == image.pixels) << "the file differs from the window";
    ExpectColour(saved, 2, kHeight - 3, kTopLeft);
    std::filesystem::remove_all(dir);
}

TEST(Screenshot, AnEmptyAreaReadsNothing) {
    RgbImage image;
    image.pixels.assign(12, 7);
    ReadFramebuffer(0, 10, image);
    EXPECT_EQ(image.width, 0);
    EXPECT_TRUE(image.pixels.empty());
    ReadFramebuffer(-5, -5, image);
    EXPECT_TRUE(image.pixels.empty());
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace
