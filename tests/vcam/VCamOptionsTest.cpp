// The command line: every option in both spellings, and what is refused with which words.
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "VCamOptions.h"

namespace {

bool Parse(std::vector<const char*> args, VCamOptions& options, std::string& error)
{
    args.insert(args.begin(), "parallax3d-vcam");
    return ParseVCamOptions(int(args.size()), args.data(), options, error);
}

TEST(VCamOptions, DefaultsToYuyvOnTheFirstOutputDeviceUntilStopped)
{
    VCamOptions options;
    std::string error;
    ASSERT_TRUE(Parse({}, options, error));
    EXPECT_EQ(options.format, OutputFormat::kYUYV);
    EXPECT_TRUE(options.device.empty());
    EXPECT_TRUE(options.output.empty());
    EXPECT_FALSE(options.pipewire);
    EXPECT_EQ(options.frames, -1);
    EXPECT_EQ(options.width, 0) << "the broadcast's size";
    EXPECT_TRUE(options.statsPath.empty());
    EXPECT_FALSE(options.hasNameSuffix);
    EXPECT_FALSE(options.help);
    EXPECT_FALSE(options.version);
}

TEST(VCamOptions, ReadsEveryOptionWithASpaceOrAnEqualsSign)
{
    VCamOptions options;
    std::string error;
    ASSERT_TRUE(
        Parse({"--output", "-", "--format=argb", "--frames", "5", "--name-suffix=", "--help"},
              options, error))
        << error;
    EXPECT_EQ(options.output, "-");
    EXPECT_EQ(options.format, OutputFormat::kARGB);
    EXPECT_EQ(options.frames, 5);
    EXPECT_TRUE(options.hasNameSuffix);
    EXPECT_EQ(options.nameSuffix, "");
    EXPECT_TRUE(options.help);

    ASSERT_TRUE(Parse({"--device=/dev/video10", "--format", "i420", "--name-suffix", " R", "-h",
                       "--version", "--pipewire"},
                      options, error));
    EXPECT_EQ(options.device, "/dev/video10");
    EXPECT_TRUE(options.pipewire) << "beside the device";
    EXPECT_EQ(options.format, OutputFormat::kI420);
    EXPECT_EQ(options.nameSuffix, " R");
    EXPECT_TRUE(options.help);
    EXPECT_TRUE(options.version);

    for (const auto& [size, width, height] :
         {std::tuple{"--size=640x480", 640, 480}, std::tuple{"--size=1280x720", 1280, 720}}) {
        ASSERT_TRUE(Parse({size, "--stats", "/tmp/figures.json"}, options, error)) << size;
        EXPECT_EQ(options.width, width);
        EXPECT_EQ(options.height, height);
        EXPECT_EQ(options.statsPath, "/tmp/figures.json");
    }
}

TEST(VCamOptions, RefusesWhatItCannotUseAndSaysWhy)
{
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"--frames", "0"}, "at least 1"},
        {{"--frames", "-3"}, "at least 1"},
        {{"--frames", "5x"}, "at least 1"},
        {{"--frames", "99999999999999999999"}, "at least 1"},
        {{"--format", "YUYV"}, "use yuyv, i420, argb or rgba"},
        {{"--format", "nv12"}, "unknown format \"nv12\""},
        {{"--device", "/dev/video1", "--output", "-"}, "not both"},
        {{"--pipewire", "--output", "-"}, "--pipewire goes alone or with --device"},
        {{"--pipewire=yes"}, "--pipewire"},
        {{"--size", "1000x1000"}, "640x480 or 1280x720, not \"1000x1000\""},
        {{"--size", "0x0"}, "640x480 or 1280x720"},
        {{"--size", "641x480"}, "640x480 or 1280x720"},
        {{"--size", "640x480x"}, "640x480 or 1280x720"},
        {{"--size", "junk"}, "640x480 or 1280x720"},
        {{"--stats="}, "a file path"},
        {{"--output"}, "--output needs a value"},
        {{"--output="}, "a path, or -"},
        {{"--device="}, "device node"},
        {{"--fps", "30"}, "unknown option --fps"},
        {{"video10"}, "unexpected argument \"video10\""},
        {{"--frames", "2", "video10", "--format", "argb"}, "unexpected argument \"video10\""},
    };
    for (const auto& [args, words] : cases) {
        VCamOptions options;
        std::string error;
        EXPECT_FALSE(Parse(args, options, error)) << args[0];
        EXPECT_NE(error.find(words), std::string::npos) << args[0] << ": " << error;
    }
}

TEST(VCamOptions, HelpTellsHowToMakeTheCameraVisible)
{
    const std::string usage = VCamUsage();
    for (const char* words : {"--device", "--output", "--pipewire", "--format", "--frames",
                              "--name-suffix", "--version", "exclusive_caps=1", "card_label",
                              "usermod -aG video", "Broadcast as a camera", "SIGTERM"})
        EXPECT_NE(usage.find(words), std::string::npos) << words;
}

} // namespace
