// The command line: the data folder, --help, --screenshot, and the usage on wrong input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/options.h"
#include "testutil.h"

namespace {

namespace fs = std::filesystem;

OptionsResult Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "velmora");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return ParseOptions((int)args.size(), argv.data());
}

// The usage has been printed on the given stream and nothing on the other.
void ExpectUsageOn(const std::string& shown, const std::string& other) {
    EXPECT_NE(shown.find("Usage: velmora [DATADIR]"), std::string::npos) << shown;
    EXPECT_TRUE(other.empty()) << other;
}

TEST(Options, DataFolderDefaultsToTheWorkingDirectory) {
    const OptionsResult r = Parse({});
    EXPECT_TRUE(r.run);
    EXPECT_EQ(r.options.dataDir, ".");
    EXPECT_EQ(r.options.screenshotFile, "");
    EXPECT_TRUE(r.out.empty() && r.err.empty());
}

TEST(Options, ConnectAndTokenFile) {
    const OptionsResult r = Parse({"--connect", "node7:7420", "--token-file=tok"});
    ASSERT_TRUE(r.run) << r.err;
    EXPECT_EQ(r.options.connect, "node7:7420");
    EXPECT_EQ(r.options.tokenFile, "tok");
    const OptionsResult alone = Parse({"--token-file", "tok"});
    EXPECT_FALSE(alone.run);
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("--token-file goes with --connect"), std::string::npos) << alone.err;
}

TEST(Options, DataFolderAndScreenshotInEitherOrderAndForm) {
    const std::string dir = MakeTempDir();
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--screenshot", "shot.png", dir},
                                               {dir, "--screenshot", "shot.png"},
                                               {"--screenshot=shot.png", dir},
                                               {"--screenshot", "shot.png", "--", dir}}) {
        const OptionsResult r = Parse(args);
        ASSERT_TRUE(r.run) << r.err;
        EXPECT_EQ(r.options.dataDir, dir);
        EXPECT_EQ(r.options.screenshotFile, "shot.png");
    }
    fs::remove_all(dir);
}

TEST(Options, HelpPrintsTheUsageWithEveryKeyAndExitsZero) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"/no/such/folder", "--help"}}) {
        const OptionsResult r = Parse(args);
        EXPECT_FALSE(r.run);
        EXPECT_EQ(r.status, 0);
        ExpectUsageOn(r.out, r.err);
    }
    const std::string usage = UsageText();
    for (const char* needed :
         {"--screenshot FILE", "--help", "DATADIR", "Left drag", "Middle drag", "Right drag",
          "Space", "\n  f ", "\n  r ", "\n  p ", "h or F1", "Esc", "faster"}) {
        EXPECT_NE(usage.find(needed), std::string::npos) << needed;
    }
}

TEST(Options, WrongOptionsGiveTheUsageOnStderrAndStatusTwo) {
    const std::string dir = MakeTempDir();
    struct Case {
        std::vector<std::string> args;
        const char* problem;
    } cases[] = {
        {{"--bogus"}, "velmora: unknown option \"--bogus\""},
        {{"-x", dir}, "velmora: unknown option \"-x\""},
        {{"--help=yes"}, "velmora: unknown option \"--help=yes\""},
        {{"--screenshot"}, "velmora: --screenshot needs a FILE"},
        {{"--screenshot="}, "velmora: --screenshot needs a FILE"},
        {{"--screenshot", ""}, "velmora: --screenshot needs a FILE"},
        {{dir, dir}, "velmora: one DATADIR only"},
    };
    for (const Case& c : cases) {
        const OptionsResult r = Parse(c.args);
        EXPECT_FALSE(r.run);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind(c.problem, 0), 0u) << r.err;
        ExpectUsageOn(r.err, r.out);
    }
    fs::remove_all(dir);
}

TEST(Options, AMissingDataFolderGivesOneErrorLineAndStatusTwo) {
    const std::string dir = MakeTempDir();
    OptionsResult r = Parse({dir + "/missing"});
    EXPECT_FALSE(r.run);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "ERROR: data folder \"" + dir + "/missing\" does not exist\n");
    EXPECT_TRUE(r.out.empty());

    WriteFile(dir + "/volume.kav", "x");
    r = Parse({dir + "/volume.kav"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "ERROR: \"" + dir + "/volume.kav\" is not a folder\n");

    r = Parse({""});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "ERROR: data folder \"\" does not exist\n");
    fs::remove_all(dir);
}

TEST(Options, AFolderNamedLikeAnOptionFollowsTheDoubleDash) {
    const std::string dir = MakeTempDir();
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    fs::create_directory("-data");
    const OptionsResult plain = Parse({"-data"});
    const OptionsResult dashed = Parse({"--", "-data"});
    const OptionsResult lone = Parse({"-"});
    fs::current_path(before);
    EXPECT_EQ(plain.status, 2);
    ASSERT_TRUE(dashed.run) << dashed.err;
    EXPECT_EQ(dashed.options.dataDir, "-data");
    EXPECT_EQ(lone.err, "ERROR: data folder \"-\" does not exist\n");
    fs::remove_all(dir);
}

TEST(Options, EnteringTheDataFolderKeepsAScreenshotPathWhereItWasGiven) {
    const std::string dir = MakeTempDir();
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    fs::create_directory("data");
    OptionsResult r = Parse({"--screenshot", "shot.png", "data"});
    ASSERT_TRUE(r.run);
    std::string error;
    const bool entered = EnterDataFolder(r.options, error);
    const fs::path inside = fs::current_path();
    fs::current_path(before);
    EXPECT_TRUE(entered) << error;
    EXPECT_EQ(inside, fs::canonical(fs::path(dir) / "data"));
    EXPECT_EQ(r.options.screenshotFile, (fs::path(dir) / "shot.png").string());

    // A folder that vanished after parsing, or that cannot be entered, is one ERROR line.
    Options gone;
    gone.dataDir = dir + "/gone";
    EXPECT_FALSE(EnterDataFolder(gone, error));
    EXPECT_EQ(error.rfind("ERROR: cannot enter data folder \"" + dir + "/gone\": ", 0), 0u)
        << error;
    EXPECT_EQ(error.find('\n'), error.size() - 1);
    EXPECT_EQ(fs::current_path(), before);
    fs::remove_all(dir);
}

}  // namespace
