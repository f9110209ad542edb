// The test-pattern camera: its scene's depth as the two eyes' frames show it, the motion and the
// counter, and how frames are delivered.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <linux/videodev2.h>
#include <turbojpeg.h>
#include <vector>

#include "AllocationCounter.h"
#include "FakeV4L2.h"
#include "TestPatternCamera.h"
#include "TestPatternRig.h"
#include "TestPatternScene.h"

namespace {

using Scene = TestPatternScene;

const uint64_t kFrameUs = (1000000 + 29) / 30; // the first microsecond of frame 1
const TestPatternRig kFaultyRig{6, 1.5, 3, -0.1};

// A camera on an in-memory device, its clock in the test's hands.
struct Rig
{
    Rig(uint32_t in_fourcc, int in_width, int in_height)
    {
        camera.Configure(device);
        device.fourcc = in_fourcc;
        device.width = uint32_t(in_width);
        device.height = uint32_t(in_height);
    }
    // One eye's frame as R,G,B, decoded independently of the camera.
    std::vector<uint8_t> Grab(Scene::Eye in_eye)
    {
        device.currentInput = in_eye;
        const int w = int(device.width), h = int(device.height);
        std::vector<uint8_t> data(size_t(w) * h * 2), rgb(size_t(w) * h * 3);
        uint64_t time = 0;
        const size_t size = camera.FillFrame(device, data.data(), data.size(), &time);
        EXPECT_GT(size, 0u);
        if (device.fourcc == V4L2_PIX_FMT_MJPEG) {
            tjhandle decoder = tjInitDecompress();
            EXPECT_EQ(tjDecompress2(decoder, data.data(), (unsigned long)size, rgb.data(), w, 0, h,
                                    TJPF_RGB, 0),
                      0);
            tjDestroy(decoder);
            return rgb;
        }
        for (size_t i = 0; i < size_t(w) * h; ++i) { // BT.601 video range
            const double y = 1.164 * (data[i * 2] - 16);
            const size_t pair = i & ~size_t(1);
            const double u = data[pair * 2 + 1] - 128, v = data[pair * 2 + 3] - 128;
            const double c[3] = {y + 1.596 * v, y - 0.392 * u - 0.813 * v, y + 2.017 * u};
            for (int k = 0; k < 3; ++k)
                rgb[i * 3 + size_t(k)] = uint8_t(std::clamp(std::lround(c[k]), 0L, 255L));
        }
        return rgb;
    }

    uint64_t now = 1000000;
    TestPatternCamera camera{[this] { return now; }};
    FakeV4L2 fake;
    FakeV4L2Device& device = fake.AddDevice();
};

std::vector<uint8_t> Render(Scene& io_scene, uint64_t in_frame, Scene::Eye in_eye, int in_width,
                            int in_height)
{
    std::vector<uint8_t> rgb(size_t(in_width) * in_height * 3);
    EXPECT_TRUE(
        io_scene.Render(in_frame, in_eye, in_width, in_height, rgb.data(), size_t(in_width) * 3));
    return rgb;
}

// Where the object's colour runs along the row through its middle: first column and mean column.
struct Span
{
    int first = -1;
    double centre = -1;
};

Span Measure(const std::vector<uint8_t>& in_rgb, int in_width, const Scene::Object& in_object,
             int in_row, int in_tolerance)
{
    Span span;
    double sum = 0;
    int count = 0;
    for (int x = 0; x < in_width; ++x) {
        const uint8_t* p = &in_rgb[(size_t(in_row) * in_width + x) * 3];
        bool match = true;
        for (int c = 0; c < 3; ++c)
            match = match && std::abs(p[c] - in_object.rgb[c]) <= in_tolerance;
        if (!match)
            continue;
        span.first = span.first < 0 ? x : span.first;
        sum += x;
        ++count;
    }
    span.centre = count ? sum / count : -1;
    return span;
}

int MiddleRow(const Scene::Object& in_object, int in_width, int in_height)
{
    const Scene::Box box = Scene::Place(in_object, 0, Scene::kLeftEye, in_width, in_height);
    return box.y + box.height / 2;
}

TEST(TestPatternScene, EyesDifferByEachDepthsParallax)
{
    Scene scene;
    for (const auto& [width, height] : {std::pair{640, 480}, {320, 240}, {1280, 720}}) {
        const std::vector<uint8_t> left = Render(scene, 0, Scene::kLeftEye, width, height);
        const std::vector<uint8_t> right = Render(scene, 0, Scene::kRightEye, width, height);
        for (const Scene::Object& object : Scene::Objects()) {
            SCOPED_TRACE(testing::Message() << object.name << " at " << width << "x" << height);
            const int row = MiddleRow(object, width, height);
            const int inLeft = Measure(left, width, object, row, 8).first;
            ASSERT_GE(inLeft, 0);
            EXPECT_NEAR(inLeft, Scene::Place(object, 0, Scene::kLeftEye, width, height).x, 1);
            EXPECT_EQ(inLeft - Measure(right, width, object, row, 8).first,
                      Scene::ParallaxPixels(object.depth, width, height));
        }
        // The wall's sky row, with the title on it, is the same in both eyes.
        const size_t titleRow = size_t(height) * 20 / 480 * width * 3;
        EXPECT_TRUE(
            std::equal(&left[titleRow], &left[titleRow + size_t(width) * 3], &right[titleRow]));
    }
    // Nearer is more; the wall has none.
    EXPECT_EQ(Scene::ParallaxPixels(Scene::kWallDepth, 640, 480), 0);
    EXPECT_LT(Scene::ParallaxPixels(Scene::Find("tower").depth, 640, 480),
              Scene::ParallaxPixels(Scene::Find("ball").depth, 640, 480));
    EXPECT_LT(Scene::ParallaxPixels(Scene::Find("ball").depth, 640, 480),
              Scene::ParallaxPixels(Scene::Find("pillar").depth, 640, 480));
}

TEST(TestPatternRig, ParsesItsTextStrictly)
{
    const struct
    {
        const char* text;
        bool parsed;
        TestPatternRig rig; // when parsed
        const char* reason; // when not
    } cases[] = {
        {"vertical=6,roll=1.5,focal=3,k1=-0.1", true, {6, 1.5, 3, -0.1}, ""},
        {"k1=0.05,vertical=-2.5", true, {-2.5, 0, 0, 0.05}, ""},
        {"", true, {}, ""},
        {"roll=1,roll=2", false, {}, "roll is given twice"},
        {"tilt=2",
         false,
         {},
         "\"tilt=2\" is not one of vertical=PX, roll=DEG, focal=PERCENT, k1=K"},
        {"roll", false, {}, "\"roll\" is not one of vertical=PX, roll=DEG, focal=PERCENT, k1=K"},
        {"roll=1,,focal=2",
         false,
         {},
         "\"\" is not one of vertical=PX, roll=DEG, focal=PERCENT, k1=K"},
        {"roll=1,", false, {}, "\"roll=1,\" ends in a comma"},
        {"focal=3%", false, {}, "focal takes a number from -20 to 20, not \"3%\""},
        {"k1=", false, {}, "k1 takes a number from -0.3 to 0.3, not \"\""},
        {"k1=nan", false, {}, "k1 takes a number from -0.3 to 0.3, not \"nan\""},
        {"k1=-0.5", false, {}, "k1 takes a number from -0.3 to 0.3, not \"-0.5\""},
        {"vertical=1e400", false, {}, "vertical takes a number from -100 to 100, not \"1e400\""},
    };
    for (const auto& c : cases) {
        TestPatternRig rig{1, 1, 1, 0.1};
        std::string reason;
        EXPECT_EQ(TestPatternRig::Parse(c.text, rig, reason), c.parsed) << c.text;
        const TestPatternRig expected = c.parsed ? c.rig : TestPatternRig{1, 1, 1, 0.1};
        EXPECT_EQ(rig.verticalPx, expected.verticalPx) << c.text;
        EXPECT_EQ(rig.rollDeg, expected.rollDeg) << c.text;
        EXPECT_EQ(rig.focalPercent, expected.focalPercent) << c.text;
        EXPECT_EQ(rig.k1, expected.k1) << c.text;
        EXPECT_EQ(reason, c.reason) << c.text;
    }
}

// The middle of an object's colour within in_reach of (io_x, io_y), to a fraction of a pixel:
// the pixels near its colour, weighted by how near.
void Centroid(const std::vector<uint8_t>& in_rgb, int in_width, int in_height,
              const Scene::Object& in_object, int in_reach, double& io_x, double& io_y)
{
    double sum = 0, sumX = 0, sumY = 0;
    for (int y = std::max(int(io_y) - in_reach, 0);
         y <= std::min(int(io_y) + in_reach, in_height - 1); ++y)
        for (int x = std::max(int(io_x) - in_reach, 0);
             x <= std::min(int(io_x) + in_reach, in_width - 1); ++x) {
            const uint8_t* p = &in_rgb[(size_t(y) * in_width + x) * 3];
            int distance = 0;
            for (int c = 0; c < 3; ++c)
                distance += std::abs(p[c] - in_object.rgb[c]);
            const double weight = std::clamp(1.0 - distance / 150.0, 0.0, 1.0);
            sum += weight;
            sumX += weight * x;
            sumY += weight * y;
        }
    io_x = sumX / sum;
    io_y = sumY / sum;
}

// Where Project says the scene's points land is where each eye's picture shows them, with the
// rig's faults and without: the sun's middle, as the mean of its projected disc.
TEST(TestPatternScene, ProjectFindsTheScenesPointsInEachEyesPicture)
{
    const Scene::Object& sun = Scene::Find("sun");
    const double metresPerPixel = sun.depth / TestPatternOptics::kFocalLength;
    const TestPatternPoint centre = {(sun.x + sun.width / 2.0 - 320) * metresPerPixel,
                                     (sun.y + sun.height / 2.0 - 240) * metresPerPixel, sun.depth};
    const auto same = [&](const TestPatternPoint& p) {
        return std::hypot(p.x - centre.x, p.y - centre.y, p.z - centre.z) < 1e-9;
    };
    ASSERT_TRUE(std::any_of(Scene::KnownPoints().begin(), Scene::KnownPoints().end(), same));
    for (const TestPatternRig& rig : {TestPatternRig(), kFaultyRig})
        for (const std::pair<int, int>& size : {std::pair{640, 480}, {1280, 720}}) {
            const int width = size.first, height = size.second;
            Scene scene;
            scene.SetRig(rig);
            for (const Scene::Eye eye : {Scene::kLeftEye, Scene::kRightEye}) {
                SCOPED_TRACE(testing::Message() << "eye " << eye << ", " << width << "x" << height
                                                << (rig.IsIdeal() ? ", ideal" : ", faulty"));
                // A lens's distortion moves a disc's middle off its centre's picture: the
                // disc's points, each weighted by the area it covers in the picture.
                const auto at = [&](double a, double b, double& x, double& y) {
                    ASSERT_TRUE(scene.Project(
                        eye,
                        {centre.x + a * metresPerPixel, centre.y + b * metresPerPixel, centre.z},
                        width, height, x, y));
                };
                double sum = 0, x = 0, y = 0;
                for (double a = -sun.width / 2.0; a < sun.width / 2.0; a += 0.5)
                    for (double b = -sun.width / 2.0; b < sun.width / 2.0; b += 0.5) {
                        if (std::hypot(a + 0.25, b + 0.25) > sun.width / 2.0)
                            continue;
                        double x0, y0, x1, y1, x2, y2, middleX, middleY;
                        at(a, b, x0, y0);
                        at(a + 0.5, b, x1, y1);
                        at(a, b + 0.5, x2, y2);
                        at(a + 0.25, b + 0.25, middleX, middleY);
                        const double area = (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0);
                        sum += area;
                        x += area * middleX;
                        y += area * middleY;
                    }
                x /= sum;
                y /= sum;
                double shownX = x, shownY = y;
                Centroid(Render(scene, 0, eye, width, height), width, height, sun,
                         int(sun.width * Scene::Scale(width, height)), shownX, shownY);
                EXPECT_NEAR(shownX, x, 0.1);
                EXPECT_NEAR(shownY, y, 0.1);
            }
        }
}

// The camera's frames carry the same depths, through 4:2:2 chroma and JPEG ringing.
TEST(TestPatternCamera, FramesOfEachFormatShowEachDepthsParallax)
{
    for (const uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG}) {
        Rig rig(fourcc, 640, 480);
        const std::vector<uint8_t> left = rig.Grab(Scene::kLeftEye);
        const std::vector<uint8_t> right = rig.Grab(Scene::kRightEye);
        for (const char* name : {"tower", "ball", "pillar"}) {
            SCOPED_TRACE(testing::Message()
                         << name << (fourcc == V4L2_PIX_FMT_YUYV ? " YUYV" : " MJPEG"));
            const Scene::Object& object = Scene::Find(name);
            const int row = MiddleRow(object, 640, 480);
            const double inLeft = Measure(left, 640, object, row, 24).centre;
            const double inRight = Measure(right, 640, object, row, 24).centre;
            ASSERT_GE(inLeft, 0);
            ASSERT_GE(inRight, 0);
            EXPECT_NEAR(inLeft - inRight, Scene::ParallaxPixels(object.depth, 640, 480), 1.0);
        }
    }
}

TEST(TestPatternCamera, TheBallMovesWithTheClockAndTheCounterCounts)
{
    Rig rig(V4L2_PIX_FMT_YUYV, 640, 480);
    const Scene::Object& ball = Scene::Find("ball");
    const int row = MiddleRow(ball, 640, 480);
    const std::vector<uint8_t> first = rig.Grab(Scene::kRightEye);
    rig.now += kFrameUs * 2;
    const std::vector<uint8_t> third = rig.Grab(Scene::kRightEye);
    const double moved =
        Measure(third, 640, ball, row, 24).centre - Measure(first, 640, ball, row, 24).centre;
    EXPECT_NEAR(moved, 2 * ball.step, 1.0);

    // Between two frames only the ball and the counter change.
    Scene scene;
    const std::vector<uint8_t> before = Render(scene, 99, Scene::kLeftEye, 640, 480);
    const std::vector<uint8_t> after = Render(scene, 100, Scene::kLeftEye, 640, 480);
    const Scene::Box counter = Scene::CounterBox(Scene::kLeftEye, 640, 480);
    const Scene::Box from = Scene::Place(ball, 99, Scene::kLeftEye, 640, 480);
    const Scene::Box to = Scene::Place(ball, 100, Scene::kLeftEye, 640, 480);
    const auto inside = [](const Scene::Box& box, int x, int y) {
        return x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
    };
    int counterChanged = 0, elsewhereChanged = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const size_t at = (size_t(y) * 640 + size_t(x)) * 3;
            if (std::equal(&before[at], &before[at + 3], &after[at]))
                continue;
            if (inside(counter, x, y))
                ++counterChanged;
            else if (!inside(from, x, y) && !inside(to, x, y))
                ++elsewhereChanged;
        }
    EXPECT_GT(counterChanged, 0);
    EXPECT_EQ(elsewhereChanged, 0);
}

TEST(TestPatternCamera, EachFrameNumberIsDeliveredOnceAtItsTime)
{
    Rig rig(V4L2_PIX_FMT_YUYV, 320, 240);
    std::vector<uint8_t> frame(320 * 240 * 2);
    uint64_t time = 0;
    ASSERT_TRUE(rig.camera.FrameReady(rig.device));
    ASSERT_EQ(rig.camera.FillFrame(rig.device, frame.data(), frame.size(), &time), frame.size());
    EXPECT_EQ(time, 1000000u);
    EXPECT_FALSE(rig.camera.FrameReady(rig.device));
    rig.now += kFrameUs - 1;
    EXPECT_FALSE(rig.camera.FrameReady(rig.device));
    rig.now += 1;
    ASSERT_TRUE(rig.camera.FrameReady(rig.device));
    ASSERT_EQ(rig.camera.FillFrame(rig.device, frame.data(), frame.size(), &time), frame.size());
    EXPECT_EQ(time, 1000000u + 1000000u / 30);
    EXPECT_FALSE(rig.camera.FrameReady(rig.device));
}

TEST(TestPatternCamera, NoRoomOrAnotherFormatGetsNothing)
{
    for (const uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_NV12}) {
        Rig rig(fourcc, 320, 240);
        std::vector<uint8_t> frame(320 * 240 * 2);
        uint64_t time = 0;
        const size_t room = fourcc == V4L2_PIX_FMT_NV12 ? frame.size() : 100;
        EXPECT_EQ(rig.camera.FillFrame(rig.device, frame.data(), room, &time), 0u) << fourcc;
    }
}

TEST(TestPatternCamera, SteadyFramesAllocateNothing)
{
    for (const uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV + 1}) {
        // The last one a faulty rig with the chessboard.
        const bool faulty = fourcc == V4L2_PIX_FMT_YUYV + 1;
        Rig rig(faulty ? V4L2_PIX_FMT_YUYV : fourcc, 640, 480);
        rig.camera.scene().SetRig(faulty ? kFaultyRig : TestPatternRig());
        rig.camera.scene().SetChessboard(faulty);
        std::vector<uint8_t> frame(640 * 480 * 2);
        uint64_t time = 0;
        const auto both = [&] {
            for (int eye : {0, 1}) {
                rig.device.currentInput = eye;
                ASSERT_GT(rig.camera.FillFrame(rig.device, frame.data(), frame.size(), &time), 0u);
            }
            rig.now += kFrameUs;
        };
        both(); // the first frame of a size makes the buffers
        const long before = p3dtest::AllocationCount();
        for (int i = 0; i < 10; ++i)
            both();
        EXPECT_EQ(p3dtest::AllocationCount(), before) << fourcc;
    }
}

} // namespace
