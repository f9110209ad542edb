// The stamped channel between a writer and readers: the layout other programs read, frames and
// their times, the writer's liveness, and frames that stay whole while a writer thread runs.
#include <atomic>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ChannelFrameFit.h"
#include "StampedChannelReader.h"
#include "StampedChannelWriter.h"
#include "TestSupport.h"
#include "shared_camera_buffer.h"

namespace {

uint32_t WordAt(const std::string& bytes, size_t offset)
{
    uint32_t word = 0;
    memcpy(&word, bytes.data() + offset, 4);
    return word;
}

// One frame of the writer's size, every pixel in_pixel; false when it was dropped.
bool Publish(StampedChannelWriter& writer, uint32_t in_pixel,
             StampedChannelWriter::Times in_times = {})
{
    const int n = writer.BeginFrame();
    if (n < 0)
        return false;
    uint32_t* pixels = reinterpret_cast<uint32_t*>(writer.Buffer(n));
    std::fill(pixels, pixels + size_t(writer.Width()) * size_t(writer.Height()), in_pixel);
    return writer.EndFrame(in_times);
}

class StampedChannelTest : public testing::Test
{
protected:
    p3dtest::TempDir dir;
    const std::string path = dir.file("stamped.tmp");
    StampedChannelWriter writer;
};

} // namespace

TEST_F(StampedChannelTest, TheFileHasTheLayoutOtherProgramsRead)
{
    ASSERT_TRUE(writer.Open(path, 1280, 720));
    writer.SetConnectionsAllowed(true);
    ASSERT_TRUE(Publish(writer, 0x332211FF));
    const std::string bytes = p3dtest::ReadFile(path);
    ASSERT_EQ(bytes.size(), size_t(kStampedChannelFileSize));
    EXPECT_EQ(bytes.substr(0, 8), "P3Dstamp");
    const uint32_t current = WordAt(bytes, 44);
    ASSERT_LT(current, 2u);
    const struct
    {
        size_t offset;
        uint32_t value;
    } words[] = {{8, 1},
                 {12, 4096},
                 {16, 1280},
                 {20, 720},
                 {24, 5120},
                 {28, 3686400},
                 {32, 4096},
                 {36, 3690496},
                 {40, 0},
                 {48, 1},
                 {56 + current * 56 + 40, 1280}, // the frame's own width
                 {kStampedChannelBuffer0Offset + current * kStampedChannelBufferBytes +
                      kStampedChannelBufferBytes - 4,
                  0x332211FF}};
    for (const auto& word : words)
        EXPECT_EQ(WordAt(bytes, word.offset), word.value) << "offset " << word.offset;
}

TEST_F(StampedChannelTest, AFrameIsHandedOnOnceWithItsTimesTheOlderEyesItsCaptureTime)
{
    ASSERT_TRUE(writer.Open(path, 640, 480));
    StampedChannelReader reader(path);
    const struct
    {
        uint64_t left, right, capture;
    } cases[] = {{5000, 4000, 4000}, {0, 700, 700}, {900, 0, 900}, {0, 0, 0}};
    for (const auto& c : cases) {
        const uint64_t before = StampedChannelNowNs();
        ASSERT_TRUE(Publish(writer, 0xFF, {c.left, c.right}));
        StampedChannelReader::Frame frame;
        ASSERT_TRUE(reader.IsWriterAlive());
        ASSERT_TRUE(reader.BeginRead(frame));
        EXPECT_EQ(std::vector({frame.leftCaptureNs, frame.rightCaptureNs, frame.captureNs}),
                  std::vector({c.left, c.right, c.capture}));
        EXPECT_GE(frame.publishNs, before);
        EXPECT_LE(frame.publishNs, StampedChannelNowNs());
        EXPECT_TRUE(reader.EndRead());
        EXPECT_FALSE(reader.BeginRead(frame)) << "a frame is handed on once";
    }
}

TEST_F(StampedChannelTest, ReadersFollowASizeChange)
{
    ASSERT_TRUE(writer.Open(path, 1280, 720));
    StampedChannelReader reader(path);
    ASSERT_TRUE(reader.IsWriterAlive());
    EXPECT_FALSE(writer.SetFrameSize(1000, 1000));
    EXPECT_FALSE(writer.SetFrameSize(0, 0));
    for (const auto& size : {std::pair{640, 480}, std::pair{1280, 720}, std::pair{640, 480}}) {
        ASSERT_TRUE(writer.SetFrameSize(size.first, size.second));
        ASSERT_TRUE(Publish(writer, 0xFF));
        int width = 0, height = 0;
        ASSERT_TRUE(reader.BroadcastSize(width, height));
        EXPECT_EQ(width, size.first);
        StampedChannelReader::Frame frame;
        ASSERT_TRUE(reader.BeginRead(frame));
        EXPECT_EQ(frame.width, size.first);
        EXPECT_EQ(frame.height, size.second);
        EXPECT_TRUE(reader.EndRead());
    }
}

TEST_F(StampedChannelTest, TheWriterIsAliveWhileItHoldsTheFileAndLetsProgramsConnect)
{
    StampedChannelReader reader(path);
    EXPECT_FALSE(reader.IsWriterAlive()) << "no file";
    ASSERT_TRUE(writer.Open(path, 640, 480));
    writer.SetConnectionsAllowed(true);
    StampedChannelReader fresh(path); // the first reader waits a moment before it looks again
    EXPECT_TRUE(fresh.IsWriterAlive());
    StampedChannelWriter second;
    EXPECT_FALSE(second.Open(path, 640, 480)) << "one writer at a time";
    writer.SetConnectionsAllowed(false);
    EXPECT_FALSE(fresh.IsWriterAlive()) << "connections refused";
    writer.Close();
    EXPECT_FALSE(StampedChannelReader(path).IsWriterAlive()) << "closed";

    // A writer that dies is seen gone: the kernel drops its lock.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        StampedChannelWriter dying;
        const char ok = dying.Open(path, 640, 480) ? 'y' : 'n';
        dying.SetConnectionsAllowed(true);
        if (write(ready[1], &ok, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    EXPECT_TRUE(StampedChannelReader(path).IsWriterAlive());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_FALSE(StampedChannelReader(path).IsWriterAlive()) << "killed";
    EXPECT_TRUE(second.Open(path, 640, 480)) << "a new writer takes over";
}

TEST_F(StampedChannelTest, AReaderHoldingAFrameOrKilledWhileReadingNeverStopsTheWriter)
{
    ASSERT_TRUE(writer.Open(path, 640, 480));
    ASSERT_TRUE(Publish(writer, 0x01));
    StampedChannelReader holder(path);
    StampedChannelReader::Frame held;
    ASSERT_TRUE(holder.IsWriterAlive());
    ASSERT_TRUE(holder.BeginRead(held));
    for (uint32_t i = 2; i < 6; ++i)
        EXPECT_TRUE(Publish(writer, i)) << "frame " << i;
    EXPECT_TRUE(holder.EndRead()) << "the held frame was never written";

    const pid_t child = fork();
    if (child == 0) {
        StampedChannelReader dying(path);
        StampedChannelReader::Frame frame;
        if (!dying.IsWriterAlive() || !dying.BeginRead(frame))
            _exit(1);
        pause(); // killed holding the frame
        _exit(0);
    }
    // The other buffer, then the one the child reads once it is gone.
    ASSERT_TRUE(Publish(writer, 7));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child read a frame";
    for (uint32_t i = 8; i < 12; ++i)
        EXPECT_TRUE(Publish(writer, i)) << "frame " << i;
}

TEST_F(StampedChannelTest, FramesHandedOnAreWholeWhileAWriterThreadPublishes)
{
    ASSERT_TRUE(writer.Open(path, 640, 480));
    std::atomic<bool> stop{false};
    std::atomic<int> published{0};
    std::thread writing([&] {
        // Each frame one value throughout, and its capture time the same value.
        for (uint32_t value = 1; !stop; ++value) {
            const int n = writer.BeginFrame();
            if (n < 0)
                continue;
            uint32_t* pixels = reinterpret_cast<uint32_t*>(writer.Buffer(n));
            std::fill(pixels, pixels + 640 * 480, value);
            writer.EndFrame({value, value});
            ++published;
        }
    });
    StampedChannelReader reader(path);
    int whole = 0, torn = 0;
    std::vector<uint32_t> copy(640 * 480);
    while (whole < 200 && published < 20000) {
        StampedChannelReader::Frame frame;
        reader.WaitForNewFrame(10000000);
        if (!reader.IsWriterAlive() || !reader.BeginRead(frame))
            continue;
        memcpy(copy.data(), frame.pixels, copy.size() * 4);
        const uint64_t capture = frame.captureNs;
        if (!reader.EndRead())
            continue;
        const bool same =
            std::all_of(copy.begin(), copy.end(), [&](uint32_t pixel) { return pixel == capture; });
        ++(same ? whole : torn);
    }
    stop = true;
    writing.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GE(whole, 1);
}

TEST(ChannelFrameFit, APictureOfAnotherAspectLiesCentredAtEvenPlaces)
{
    const struct
    {
        int width, height, frameWidth, frameHeight;
        ChannelFrameRect fit;
    } cases[] = {
        {1280, 720, 640, 480, {0, 60, 640, 360}},
        {640, 480, 1280, 720, {160, 0, 960, 720}},
        {640, 480, 640, 480, {0, 0, 640, 480}},
        {1280, 720, 1280, 720, {0, 0, 1280, 720}},
    };
    for (const auto& c : cases) {
        const ChannelFrameRect fit =
            FitChannelFrame(c.width, c.height, c.frameWidth, c.frameHeight);
        EXPECT_EQ(std::vector({fit.x, fit.y, fit.width, fit.height}),
                  std::vector({c.fit.x, c.fit.y, c.fit.width, c.fit.height}))
            << c.width << "x" << c.height << " in " << c.frameWidth << "x" << c.frameHeight;
    }
}
