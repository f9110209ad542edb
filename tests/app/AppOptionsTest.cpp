#include <gtest/gtest.h>

#include "AppOptions.h"
#include "TestSupport.h"

namespace {

TEST(AppOptions, GoodCommandLinesSetWhatTheySay)
{
    AppOptions options;
    QString error;
    ASSERT_TRUE(AppOptions::Parse({"parallax3d", "--monitor", "swapped", "--no-broadcast",
                                   "--left-camera", "Cam A", "--right-camera=Cam B",
                                   "--test-cameras", "--quit-after", "2.5", "--snapshot",
                                   "/tmp/x.png", "--calibration", RIG_CALIBRATION, "--align-eyes"},
                                  options, error))
        << error.toStdString();
    EXPECT_EQ(options.monitorType, 3);
    EXPECT_EQ(options.broadcast, false);
    EXPECT_EQ(options.leftCamera, "Cam A");
    EXPECT_EQ(options.rightCamera, "Cam B");
    EXPECT_TRUE(options.testCameras);
    EXPECT_DOUBLE_EQ(options.quitAfterSeconds, 2.5);
    EXPECT_EQ(options.snapshotPath, "/tmp/x.png");
    ASSERT_TRUE(options.calibration.has_value());
    EXPECT_EQ(options.calibration->image_width, 640);
    EXPECT_TRUE(options.alignEyes);

    AppOptions none;
    ASSERT_TRUE(AppOptions::Parse({"parallax3d"}, none, error));
    EXPECT_FALSE(none.monitorType.has_value());
    EXPECT_FALSE(none.broadcast.has_value());
    EXPECT_FALSE(none.size.has_value()) << "the kept size stays";

    for (const auto& [name, size] :
         {std::pair{"640x480", QSize(640, 480)}, std::pair{"1280x720", QSize(1280, 720)}}) {
        AppOptions sized;
        ASSERT_TRUE(AppOptions::Parse({"parallax3d", "--size", name}, sized, error));
        EXPECT_EQ(sized.size, size);
    }

    AppOptions depth;
    ASSERT_TRUE(AppOptions::Parse({"parallax3d", "--monitor", "depth"}, depth, error));
    EXPECT_EQ(depth.monitorType, 5);

    // The test pattern's rig and chessboard bring the test pattern.
    AppOptions rig;
    ASSERT_TRUE(AppOptions::Parse(
        {"parallax3d", "--test-rig", "roll=1.5,k1=-0.1", "--test-chessboard"}, rig, error))
        << error.toStdString();
    EXPECT_TRUE(rig.testCameras);
    EXPECT_EQ(rig.testRig, "roll=1.5,k1=-0.1");
    EXPECT_TRUE(rig.testChessboard);

    // A skew is the test pattern's, and the figures go to their file.
    AppOptions skew;
    ASSERT_TRUE(AppOptions::Parse({"parallax3d", "--test-skew", "10", "--stats", "/tmp/s.json"},
                                  skew, error))
        << error.toStdString();
    EXPECT_TRUE(skew.testCameras);
    EXPECT_EQ(skew.testSkewMs, 10);
    EXPECT_EQ(skew.statsPath, "/tmp/s.json");

    // A recording from the start: the window's layout unless told, the container by the
    // extension.
    const struct
    {
        QStringList arguments;
        const char* format;
        std::optional<RecordLayout> layout;
    } recordings[] = {
        {{"--record", "/tmp/eyes.mkv"}, "matroska", std::nullopt},
        {{"--record=/tmp/eyes.MP4", "--record-layout", "monitor"}, "mp4", RecordLayout::Monitor},
        {{"--record", "/tmp/eyes", "--record-layout=two-streams"},
         "matroska",
         RecordLayout::TwoStreams},
        {{"--stream", "rtmp://127.0.0.1/live/key"}, "flv", std::nullopt},
    };
    for (const auto& r : recordings) {
        AppOptions recorded;
        ASSERT_TRUE(AppOptions::Parse(QStringList{"parallax3d"} + r.arguments, recorded, error))
            << error.toStdString();
        ASSERT_TRUE(recorded.recordTo.has_value()) << r.arguments.join(' ').toStdString();
        EXPECT_STREQ(recorded.recordTo->format, r.format);
        EXPECT_EQ(recorded.recordLayout, r.layout);
    }
}

TEST(AppOptions, BadOptionsAndValuesAreRefusedWithAMessage)
{
    // A calibration that reads well but whose right eye looks away from the left one's.
    p3dtest::TempDir dir;
    StereoCalibration turned;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, turned, reason)) << reason;
    turned.R2 = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    ASSERT_TRUE(turned.Save(dir.file("turned.yml"), reason)) << reason;
    const QString turnedPath = QString::fromStdString(dir.file("turned.yml"));
    const struct
    {
        QStringList arguments;
        QString said;
    } cases[] = {
        {{"--monitor", "3d"}, "--monitor takes left, stereo, swapped, right or depth, not \"3d\""},
        {{"--monitor", "Depth"}, "--monitor"},
        {{"--monitor"}, "monitor"},
        {{"--quit-after", "soon"}, "--quit-after"},
        {{"--quit-after", "0"}, "--quit-after"},
        {{"--quit-after", "-4"}, "--quit-after"},
        {{"--quit-after", "nan"}, "--quit-after"},
        {{"--snapshot", "x.jpg"}, ".png"},
        {{"--broadcast", "--no-broadcast"}, "contradict"},
        {{"--calibration", "/nonexistent.yml"},
         "--calibration /nonexistent.yml: cannot read /nonexistent.yml"},
        {{"--calibration", turnedPath}, "does not rectify"},
        {{"--test-rig", "tilt=2"}, "--test-rig: \"tilt=2\" is not one of"},
        {{"--test-skew", "ten"}, "--test-skew takes whole milliseconds from 0 to 1000"},
        {{"--test-skew", "1001"}, "--test-skew"},
        {{"--stats", ""}, "--stats takes a file name"},
        {{"--size", "1000x1000"}, "--size takes 640x480 or 1280x720, not \"1000x1000\""},
        {{"--size", "0x0"}, "--size takes"},
        {{"--size", "hd"}, "--size takes"},
        {{"--size", "1280x720", "--calibration", RIG_CALIBRATION},
         "cameras now give 1280 x 720 (16:9)"},
        {{"--record", "/tmp/x.avi"}, "--record: Cannot record to a .avi file: .mkv or .mp4"},
        {{"--record", "/nonexistent/x.mkv"}, "--record: cannot write into /nonexistent"},
        {{"--record", "srt://127.0.0.1:9000"}, "--record writes a file"},
        {{"--stream", "udp://127.0.0.1:9000"}, "--stream: Cannot stream to udp://"},
        {{"--stream", "/tmp/x.mkv"}, "--stream takes an srt:// or rtmp:// URL"},
        {{"--record", "/tmp/x.mp4", "--record-layout", "two-streams"}, "Matroska"},
        {{"--record-layout", "3d"}, "--record-layout takes monitor, side-by-side, two-streams"},
        {{"--record", "/tmp/x.mkv", "--stream", "srt://h:1"}, "one at a time"},
        {{"--frobnicate"}, "frobnicate"},
        {{"stray"}, "stray"},
    };
    for (const auto& c : cases) {
        AppOptions options;
        QString error;
        EXPECT_FALSE(AppOptions::Parse(QStringList{"parallax3d"} + c.arguments, options, error))
            << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(error.contains(c.said)) << error.toStdString();
    }
}

// A camera asked for by name exists or is "No Camera"; the message lists what there is.
TEST(AppOptions, CamerasAskedForByNameMustExist)
{
    const struct
    {
        QString left, right;
        std::vector<std::string> cameras;
        std::string error; // empty: accepted
    } cases[] = {
        {"Cam B", "No Camera", {"Cam A", "Cam B"}, ""},
        {"Cam A",
         "cam b",
         {"Cam A", "Cam B"},
         "no camera named \"cam b\"; the cameras are: \"Cam A\", \"Cam B\""},
        {"Cam A", "", {}, "no camera named \"Cam A\"; no camera is plugged in"},
    };
    for (const auto& c : cases) {
        AppOptions options;
        options.leftCamera = c.left;
        options.rightCamera = c.right;
        QString error;
        EXPECT_EQ(options.camerasExist(c.cameras, error), c.error.empty());
        EXPECT_EQ(error.toStdString(), c.error);
    }
}

} // namespace
