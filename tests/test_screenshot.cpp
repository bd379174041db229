// Screenshot files without a window: the choice of the next free name, and PNG writing with
// its row order, its temporary file and its failures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "pngread.h"
#include "testutil.h"
#include "widgets/pngfile.h"
#include "widgets/screenshot.h"

namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path) {
    WriteFile(path, "x");
}

std::string Next(const std::string& folder) {
    std::string name, error;
    EXPECT_TRUE(NextScreenshotName(folder, name, error)) << error;
    return name;
}

// The files in a folder, by name.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A width x height picture in which every pixel differs from its neighbours.
RgbImage Pattern(int width, int height) {
    RgbImage image;
    image.width = width;
    image.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.pixels.push_back((unsigned char)(40 * x + 1));
            image.pixels.push_back((unsigned char)(50 * y + 2));
            image.pixels.push_back((unsigned char)(x * y + 3));
        }
    }
    return image;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ScreenshotName, StartsAtOneAndGoesOnePastTheHighestNumber) {
    const std::string dir = MakeTempDir();
    EXPECT_EQ(Next(dir), "velmora-0001.png");
    Touch(dir + "/velmora-0001.png");
    EXPECT_EQ(Next(dir), "velmora-0002.png");
    // A gap left by a deleted file is not filled: names keep the order of saving.
    Touch(dir + "/velmora-0007.png");
    EXPECT_EQ(Next(dir), "velmora-0008.png");
    Touch(dir + "/velmora-9999.png");
    EXPECT_EQ(Next(dir), "velmora-10000.png");
    Touch(dir + "/velmora-10000.png");
    EXPECT_EQ(Next(dir), "velmora-10001.png");
    fs::remove_all(dir);
}

TEST(ScreenshotName, OtherFilesDoNotCount) {
    const std::string dir = MakeTempDir();
    for (const char* name :
         {"velmora-12.png", "velmora-0050.png.tmp", "velmora-00a1.png", "other-0009.png",
          "velmora-0030.jpg", "velmora-.png", "velmora-1234567890123.png", "xvelmora-0040.png"}) {
        Touch(dir + "/" + name);
    }
    EXPECT_EQ(Next(dir), "velmora-0001.png");
    fs::create_directory(dir + "/velmora-0003.png");  // a taken name, whatever it is
    EXPECT_EQ(Next(dir), "velmora-0004.png");
    fs::remove_all(dir);
}

TEST(ScreenshotName, FailsOnAMissingFolderAndWhenNumbersRunOut) {
    const std::string dir = MakeTempDir();
    std::string name = "unchanged", error;
    EXPECT_FALSE(NextScreenshotName(dir + "/missing", name, error));
    EXPECT_NE(error.find(dir + "/missing"), std::string::npos) << error;
    EXPECT_EQ(name, "unchanged");

    Touch(dir + "/velmora-999999999.png");
    error.clear();
    EXPECT_FALSE(NextScreenshotName(dir, name, error));
    EXPECT_NE(error.find("no screenshot number"), std::string::npos) << error;
    fs::remove_all(dir);
}

TEST(PngFile, WritesTheTopRowFirstAndEveryPixelExactly) {
    const std::string dir = MakeTempDir();
    const std::string path = dir + "/shot.png";
    // Odd sizes: rows of 15 bytes are not a multiple of 4.
    const RgbImage image = Pattern(5, 3);
    std::string error;
    ASSERT_TRUE(WritePng(path, image, error)) << error;
    EXPECT_EQ(Slurp(path).substr(0, 8), "\x89PNG\r\n\x1a\n");

    RgbImage back;
    ASSERT_TRUE(ReadPng(path, back, error)) << error;
    EXPECT_EQ(back.width, 5);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.pixels, image.pixels);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"shot.png"}) << "a temporary file is left";
    fs::remove_all(dir);
}

TEST(PngFile, ReplacesAnOldFileWhole) {
    const std::string dir = MakeTempDir();
    const std::string path = dir + "/shot.png";
    WriteFile(path, std::string(100000, 'o'));
    std::string error;
    ASSERT_TRUE(WritePng(path, Pattern(2, 2), error)) << error;
    RgbImage back;
    ASSERT_TRUE(ReadPng(path, back, error)) << error;
    EXPECT_EQ(back.pixels, Pattern(2, 2).pixels);
    EXPECT_LT(fs::file_size(path), 1000u);
    fs::remove_all(dir);
}

TEST(PngFile, FailuresNameTheFileLeaveItUntouchedAndCleanUp) {
    const std::string dir = MakeTempDir();
    std::string error;

    EXPECT_FALSE(WritePng(dir + "/missing/shot.png", Pattern(2, 2), error));
    EXPECT_NE(error.find(dir + "/missing/shot.png"), std::string::npos) << error;

    // The rename fails onto a folder; the finished temporary file must go.
    fs::create_directory(dir + "/taken.png");
    fs::create_directory(dir + "/taken.png/inside");
    error.clear();
    EXPECT_FALSE(WritePng(dir + "/taken.png", Pattern(2, 2), error));
    EXPECT_NE(error.find("taken.png"), std::string::npos) << error;

    // A picture whose buffer does not match its size is refused before anything is written.
    const std::string old = dir + "/old.png";
    WriteFile(old, "old picture");
    RgbImage bad = Pattern(4, 4);
    bad.pixels.pop_back();
    error.clear();
    EXPECT_FALSE(WritePng(old, bad, error));
    EXPECT_FALSE(error.empty());
    RgbImage empty;
    EXPECT_FALSE(WritePng(old, empty, error));
    EXPECT_EQ(Slurp(old), "old picture");

    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"old.png", "taken.png"}));
    fs::remove_all(dir);
}

TEST(PngFile, TheWrittenFileFollowsTheUmask) {
    const std::string dir = MakeTempDir();
    const mode_t old = umask(022);
    std::string error;
    ASSERT_TRUE(WritePng(dir + "/shot.png", Pattern(1, 1), error)) << error;
    umask(old);
    struct stat st;
    ASSERT_EQ(stat((dir + "/shot.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    fs::remove_all(dir);
}

}  // namespace
