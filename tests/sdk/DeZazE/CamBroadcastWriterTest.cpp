// The channel's writer against the real component, installed from the build tree's resources
// into the suite's own components folders; the channel lives in a private /tmp and /dev/shm.
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "AllocationCounter.h"
#include "BroadcastReset.h"
#include "CGBitmapContext.h"
#include "CamBroadcastWriter.h"
#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "Folders.h"
#include "StampedChannelReader.h"
#include "TestSupport.h"
#include "shared_camera_bundle.h"
#include "shared_gworld_memory.h"

namespace {

const int kTimeoutMs = 20000;

bool IsLink(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

UInt32 Pixel(UInt8 a, UInt8 r, UInt8 g, UInt8 b)
{
    return UInt32(a) | UInt32(r) << 8 | UInt32(g) << 16 | UInt32(b) << 24; // A,R,G,B in memory
}

// Four opaque quadrants: red, green at the top; blue, white at the bottom.
void FillQuadrants(CoreGraphics::BitmapContext& bitmap)
{
    const UInt32 colours[4] = {Pixel(255, 255, 0, 0), Pixel(255, 0, 255, 0), Pixel(255, 0, 0, 255),
                               Pixel(255, 255, 255, 255)};
    for (UInt32 y = 0; y < bitmap.mImageHeight; ++y)
        for (UInt32 x = 0; x < bitmap.mImageWidth; ++x) {
            const int quadrant = (y * 2 / bitmap.mImageHeight) * 2 + x * 2 / bitmap.mImageWidth;
            memcpy(bitmap.mImageDataBytes + y * bitmap.mImageRowBytes + x * 4, &colours[quadrant],
                   4);
        }
}

class CamBroadcastWriterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        p3dtest::ResetBroadcast();
        for (SInt16 domain : {kUserDomain, kLocalDomain, kSystemDomain})
            p3dtest::RemoveTree(p3dtest::ComponentsFolder(domain));
        channel = p3dtest::ChannelPath();
    }
    void TearDown() override
    {
        writer.stopBroadcasting();
        SharedCameraBundle::sComponent.mDLL.Unload();
    }

    std::string contents() const { return p3dtest::ReadFile(channel); }
    UInt32 selector() const
    {
        UInt32 word = 0;
        const std::string bytes = contents();
        if (bytes.size() >= kSharedMemoryFileSize)
            memcpy(&word, bytes.data() + kSharedMemorySelectorOffset, 4);
        return word;
    }
    // The published frame's pixel at (x, y), row 0 at the top.
    UInt32 publishedPixel(int x, int y) const
    {
        const size_t buffer = selector() == kSharedMemoryCurrentBuffer1
                                  ? kSharedMemoryFrameBuffer1Offset
                                  : kSharedMemoryFrameBuffer0Offset;
        UInt32 pixel = 0;
        memcpy(&pixel, contents().data() + buffer + y * kSharedCameraFrameRowBytes + x * 4, 4);
        return pixel;
    }
    void startWithContexts()
    {
        writer.startBroadcasting(true, true);
        writer.createContexts(0);
        writer.createContexts(1);
    }
    // One frame of the drawing path filled with one colour; false when it was dropped. Between
    // taking the lock and drawing, whileDrawing runs.
    bool drawFrame(UInt32 pixel, const std::function<void()>& whileDrawing = {})
    {
        mColour.assign(size_t(kSharedCameraFrameWidth) * kSharedCameraFrameHeight, pixel);
        CFPtr<CIImage> image =
            CIImage::imageWithARGBMemory(mColour.data(), kSharedCameraFrameRowBytes,
                                         kSharedCameraFrameWidth, kSharedCameraFrameHeight);
        const unsigned long published = writer.framesPublished();
        CIContext* context = writer.beginSwitchContexts();
        if (whileDrawing)
            whileDrawing();
        if (context)
            context->drawImage(image.get(), CGPointMake(0, 0), image->extent());
        writer.endSwitchContexts();
        return writer.framesPublished() > published;
    }

    std::string channel;
    CamBroadcastWriter writer;
    std::vector<UInt32> mColour;
};

TEST_F(CamBroadcastWriterTest, StartingLinksAndLoadsTheComponentAndStoppingRemovesIt)
{
    const std::string link = p3dtest::UserComponentLink();
    writer.startBroadcasting(false, true);
    EXPECT_FALSE(writer.isBroadcasting());
    EXPECT_FALSE(IsLink(link));

    writer.startBroadcasting(true, false);
    EXPECT_TRUE(writer.isBroadcasting());
    ASSERT_TRUE(IsLink(link));
    char target[PATH_MAX] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof(target) - 1), 0);
    EXPECT_EQ(std::string(target),
              std::string(P3D_BINARY_DIR) + "/lib/parallax3d/Resources/Parallax3D_XXX.component");
    UInt32 word = 0;
    memcpy(&word, contents().data() + kSharedMemoryConnectionsOffset, 4);
    EXPECT_EQ(word, UInt32(kSharedMemoryConnectionsRefused));
    writer.setComponentAllowCameraConnections(true);
    memcpy(&word, contents().data() + kSharedMemoryConnectionsOffset, 4);
    EXPECT_EQ(word, UInt32(kSharedMemoryConnectionsAllowed));

    writer.stopBroadcasting();
    EXPECT_FALSE(writer.isBroadcasting());
    EXPECT_FALSE(IsLink(link));
}

TEST_F(CamBroadcastWriterTest, AComponentInstalledSystemWideIsUsedAndItsUninstallReported)
{
    ASSERT_TRUE(p3dtest::CopyComponentInto(kSystemDomain));
    p3dtest::LogCapture log;
    writer.startBroadcasting(true, true);
    EXPECT_TRUE(writer.isBroadcasting());
    EXPECT_FALSE(IsLink(p3dtest::UserComponentLink()));
    writer.stopBroadcasting();
    EXPECT_FALSE(writer.isBroadcasting());
    const std::string text = log.text();
    EXPECT_EQ(text.find("SharedCameraBundle::Install)"), std::string::npos) << text;
    EXPECT_NE(
        text.find(" code : CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::UnInstall)"
                  " in sdk/DeZazE/CamBroadcastWriter.cpp:"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("(-[NSUICamBroadcastControl stopBroadcasting])"), std::string::npos);
}

TEST_F(CamBroadcastWriterTest, AComponentThatCannotBeLinkedIsReportedAndNothingBroadcasts)
{
    const std::string parent = p3dtest::BlockUserComponentsFolder();
    ASSERT_FALSE(parent.empty());
    p3dtest::LogCapture log;
    writer.startBroadcasting(true, true);
    EXPECT_FALSE(writer.isBroadcasting());
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::Install)"
                        " in sdk/DeZazE/CamBroadcastWriter.cpp:"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("(-[NSUICamBroadcastControl startBroadcasting])"), std::string::npos);
    p3dtest::RemoveTree(parent);
}

TEST_F(CamBroadcastWriterTest, BitmapsArriveCopiedOrStretchedInAlternateBuffers)
{
    writer.startBroadcasting(true, true);
    for (const auto& size : {std::pair{640, 480}, std::pair{320, 240}, std::pair{1280, 720}}) {
        SCOPED_TRACE(std::to_string(size.first) + " x " + std::to_string(size.second));
        CoreGraphics::BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(size.first, size.second,
                                     CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0));
        FillQuadrants(bitmap);
        const int first = writer.sharedCameraBufferNumber();
        writer.broadcastFrame(&bitmap);
        EXPECT_EQ(selector(),
                  first == 0 ? kSharedMemoryCurrentBuffer0 : kSharedMemoryCurrentBuffer1);
        EXPECT_EQ(writer.sharedCameraBufferNumber(), 1 - first);
        if (size.first == 640) {
            EXPECT_EQ(contents().compare(kSharedMemoryFrameBuffer0Offset,
                                         kSharedCameraFrameSizeBytes,
                                         reinterpret_cast<const char*>(bitmap.mImageDataBytes),
                                         kSharedCameraFrameSizeBytes),
                      0);
        }
        // Stretched to the whole frame: the quadrants' colours reach every corner, no border.
        EXPECT_EQ(publishedPixel(0, 0), Pixel(255, 255, 0, 0));
        EXPECT_EQ(publishedPixel(639, 0), Pixel(255, 0, 255, 0));
        EXPECT_EQ(publishedPixel(0, 479), Pixel(255, 0, 0, 255));
        EXPECT_EQ(publishedPixel(639, 479), Pixel(255, 255, 255, 255));
        EXPECT_EQ(publishedPixel(318, 238), Pixel(255, 255, 0, 0));
        EXPECT_EQ(publishedPixel(321, 241), Pixel(255, 255, 255, 255));
    }
    // Rows of another kind are converted, not copied as they are.
    CoreGraphics::BitmapContext grey;
    ASSERT_TRUE(grey.Construct(640, 480, CoreGraphics::BitmapContext::BitmapType_Device_Gray, 0));
    memset(grey.mImageDataBytes, 0x80, grey.mImageDataSize);
    writer.broadcastFrame(&grey);
    EXPECT_EQ(publishedPixel(0, 0), Pixel(255, 0x80, 0x80, 0x80));
    EXPECT_EQ(publishedPixel(639, 479), Pixel(255, 0x80, 0x80, 0x80));
}

TEST_F(CamBroadcastWriterTest, BitmapsWithoutPixelsOrWithoutABroadcastAreIgnored)
{
    CoreGraphics::BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(640, 480, CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0));
    FillQuadrants(bitmap);
    writer.broadcastFrame(&bitmap);
    EXPECT_EQ(contents(), "") << "no component loaded: no channel either";

    writer.startBroadcasting(true, true);
    UInt8* pixels = bitmap.mImageDataBytes;
    const UInt32 rowBytes = bitmap.mImageRowBytes;
    const UInt32 height = bitmap.mImageHeight;
    bitmap.mImageDataBytes = nullptr;
    writer.broadcastFrame(&bitmap);
    bitmap.mImageDataBytes = pixels;
    bitmap.mImageRowBytes = 0;
    writer.broadcastFrame(&bitmap);
    bitmap.mImageRowBytes = rowBytes;
    bitmap.mImageHeight = 0;
    writer.broadcastFrame_WWWWxHHH(&bitmap);
    bitmap.mImageHeight = height;
    EXPECT_EQ(selector(), kSharedMemoryNoCurrentBuffer);
    EXPECT_EQ(writer.sharedCameraBufferNumber(), 0);
}

TEST_F(CamBroadcastWriterTest, AHeldLockDropsTheFrameAndTheSameBufferIsTriedNext)
{
    startWithContexts();
    CoreGraphics::BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(640, 480, CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0));
    FillQuadrants(bitmap);
    p3dtest::ComponentExports exports;
    {
        p3dtest::Child reader({CHANNEL_HELPER_PATH, "hold", "0"});
        ASSERT_EQ(reader.readLine(kTimeoutMs), "holding");
        writer.broadcastFrame(&bitmap);
        EXPECT_FALSE(drawFrame(Pixel(255, 0, 0, 255)));
        EXPECT_EQ(selector(), kSharedMemoryNoCurrentBuffer);
        EXPECT_EQ(writer.sharedCameraBufferNumber(), 0);
        // The reader's lock is still the reader's: nobody else got in.
        SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
        ASSERT_TRUE(exports.GetWriteableFrameBuffer(0, &record));
        EXPECT_FALSE(exports.TryLockFrameBuffer(record.frameBufferPtr));
        kill(reader.pid(), SIGUSR1);
        ASSERT_EQ(reader.readLine(kTimeoutMs), "released");
    }
    EXPECT_TRUE(drawFrame(Pixel(255, 0, 0, 255)));
    EXPECT_EQ(selector(), kSharedMemoryCurrentBuffer0);
    EXPECT_EQ(publishedPixel(10, 10), Pixel(255, 0, 0, 255));
}

TEST_F(CamBroadcastWriterTest, AFrozenReaderCostsAtMostTheLockLimitAndDyingGivesTheBufferBack)
{
    startWithContexts();
    p3dtest::Child reader({CHANNEL_HELPER_PATH, "hold", "0"});
    ASSERT_EQ(reader.readLine(kTimeoutMs), "holding");
    kill(reader.pid(), SIGSTOP);
    // A bound on waiting, not a speed: a writer blocked for good would never come back.
    const auto limit = std::chrono::milliseconds(SharedGWorldMemory::kFrameLockWaitMs * 8);
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(drawFrame(Pixel(255, 0, 0, 255)));
        EXPECT_LT(std::chrono::steady_clock::now() - start, limit);
    }
    kill(reader.pid(), SIGKILL);
    reader.wait(kTimeoutMs);
    int drawn = 0;
    for (int i = 0; i < 10; ++i)
        drawn += drawFrame(Pixel(255, 0, 0, 255)) ? 1 : 0;
    EXPECT_EQ(drawn, 10);
    EXPECT_EQ(publishedPixel(5, 5), Pixel(255, 0, 0, 255));
}

TEST_F(CamBroadcastWriterTest, TheDrawingPathRendersIntoTheChannelBuffersInTurn)
{
    startWithContexts();
    SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
    ASSERT_TRUE(SharedCameraBundle::GetWriteableFrameBuffer_N(0, &record));
    EXPECT_EQ(CGBitmapContextGetData(writer.currentCGContext()), record.frameBufferPtr);
    for (int n = 0; n < 2; ++n) {
        ASSERT_TRUE(writer.use_SHARED_CAMERA_BUFFER(n));
        EXPECT_EQ(publishedPixel(320, 240), 0u) << "erased to transparent";
    }
    EXPECT_TRUE(drawFrame(Pixel(255, 255, 0, 0)));
    EXPECT_EQ(selector(), kSharedMemoryCurrentBuffer0);
    EXPECT_EQ(publishedPixel(639, 479), Pixel(255, 255, 0, 0));
    EXPECT_TRUE(drawFrame(Pixel(255, 0, 255, 0)));
    EXPECT_EQ(selector(), kSharedMemoryCurrentBuffer1);
    EXPECT_EQ(publishedPixel(0, 0), Pixel(255, 0, 255, 0));
    EXPECT_EQ(writer.sharedCameraBufferNumber(), 0);

    if (p3dtest::CountsAllocations()) { // a steady frame allocates nothing
        drawFrame(Pixel(255, 1, 2, 3));
        const long before = p3dtest::AllocationCount();
        for (int i = 0; i < 10; ++i)
            writer.beginSwitchContexts(), writer.endSwitchContexts();
        EXPECT_EQ(p3dtest::AllocationCount(), before);
    }

    writer.destroyContexts();
    EXPECT_EQ(writer.currentCIContext(), nullptr);
    p3dtest::LogCapture log;
    writer.destroyContexts();
    const std::string text = log.text();
    for (const char* missing : {" code : _CIContext[kNSUICamBroadcastControlFast_Buffer0]!=nil",
                                " code : _CGContext[kNSUICamBroadcastControlFast_Buffer0]!=0",
                                " code : _CIContext[kNSUICamBroadcastControlFast_Buffer1]!=nil",
                                " code : _CGContext[kNSUICamBroadcastControlFast_Buffer1]!=0"})
        EXPECT_NE(text.find(std::string(missing) + " in sdk/DeZazE/CamBroadcastWriter.cpp:"),
                  std::string::npos)
            << missing;
    EXPECT_NE(text.find("(-[NSUICamBroadcastControlFast destroyContexts])"), std::string::npos);
}

TEST_F(CamBroadcastWriterTest, AChannelGoneWhileBroadcastingIsReportedAndFollowed)
{
    startWithContexts();
    ASSERT_TRUE(drawFrame(Pixel(255, 255, 0, 0)));
    unsigned long dropped = writer.framesDropped();
    for (const std::string change : {"deleted", "cut short", "cut short while a frame is drawn"}) {
        SCOPED_TRACE(change);
        const std::function<void()> apply = [&] {
            change == "deleted" ? unlink(channel.c_str()) : truncate(channel.c_str(), 4096);
        };
        const bool whileDrawing = change == "cut short while a frame is drawn";
        p3dtest::LogCapture log;
        if (!whileDrawing) {
            apply();
            // The writer looks at its file only so often; a touch past its end it sees at once.
            std::this_thread::sleep_for(
                std::chrono::milliseconds(SharedGWorldMemory::kFileCheckMs + 10));
        }
        EXPECT_FALSE(drawFrame(Pixel(255, 0, 0, 255), whileDrawing ? apply : nullptr));
        EXPECT_EQ(writer.framesDropped(), ++dropped);
        EXPECT_NE(log.text().find(" code : theChannelFile"), std::string::npos);
        EXPECT_TRUE(drawFrame(Pixel(255, 0, 0, 255)));
        EXPECT_EQ(publishedPixel(100, 100), Pixel(255, 0, 0, 255)) << "seen at the path";
    }
}

TEST_F(CamBroadcastWriterTest, AFrameIsDrawnOnceAtTheBroadcastSizeAndTheClassicFileGetsItFitted)
{
    startWithContexts();
    EXPECT_FALSE(writer.setFrameSize(1000, 1000));
    EXPECT_FALSE(writer.setFrameSize(641, 480));
    StampedChannelReader reader;
    const UInt32 red = Pixel(255, 255, 0, 0), blue = Pixel(255, 0, 0, 255),
                 black = Pixel(255, 0, 0, 0);
    for (const auto& size : {std::pair{1280, 720}, std::pair{640, 480}}) {
        const int width = size.first, height = size.second;
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        ASSERT_TRUE(writer.setFrameSize(width, height));
        EXPECT_EQ(writer.extent().size.width, width);
        // Red above, blue below.
        mColour.assign(size_t(width) * size_t(height), red);
        std::fill(mColour.begin() + long(mColour.size() / 2), mColour.end(), blue);
        CFPtr<CIImage> image =
            CIImage::imageWithARGBMemory(mColour.data(), size_t(width) * 4, width, height);
        writer.setCaptureTimes(1000, 2000);
        CIContext* context = writer.beginSwitchContexts();
        ASSERT_NE(context, nullptr);
        context->drawImage(image.get(), CGPointMake(0, 0), image->extent());
        writer.endSwitchContexts();

        ASSERT_TRUE(reader.IsWriterAlive());
        StampedChannelReader::Frame frame;
        ASSERT_TRUE(reader.BeginRead(frame));
        EXPECT_EQ(frame.width, width);
        EXPECT_EQ(frame.captureNs, 1000000u);
        EXPECT_EQ(frame.rightCaptureNs, 2000000u);
        EXPECT_EQ(memcmp(frame.pixels, mColour.data(), mColour.size() * 4), 0);
        EXPECT_TRUE(reader.EndRead());

        // The classic file as its readers see it: 640 x 480, the picture between bars at HD.
        const bool hd = width == 1280;
        const struct
        {
            int x, y;
            UInt32 pixel;
        } pixels[] = {{0, 0, hd ? black : red},
                      {639, 59, hd ? black : red},
                      {0, 60, red},
                      {639, 238, red},
                      {0, 242, blue},
                      {639, 419, blue},
                      {0, 420, hd ? black : blue},
                      {639, 479, hd ? black : blue}};
        for (const auto& p : pixels)
            EXPECT_EQ(publishedPixel(p.x, p.y), p.pixel) << p.x << "," << p.y;
    }
    writer.stopBroadcasting();
    EXPECT_FALSE(reader.IsWriterAlive()) << "the stamped channel ends with the broadcast";
}

TEST(CGContextFromCameraBuffer, OnlyAGeometryInsideTheBufferGivesAContext)
{
    std::vector<UInt8> memory(kSharedCameraFrameSizeBytes);
    const SHARED_CAMERA_BUFFER good = {
        sizeof(SHARED_CAMERA_BUFFER), memory.data(), kSharedCameraFrameRowBytes,
        kSharedCameraFrameSizeBytes,  640,           480,
        kSharedCameraPixelFormat};
    CGContextRef context = CGContextRef_From_ARGB_CameraBuffer(good);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(CGBitmapContextGetData(context), memory.data());
    EXPECT_EQ(CGBitmapContextGetWidth(context), 640u);
    EXPECT_EQ(CGBitmapContextGetHeight(context), 480u);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(context), size_t(kSharedCameraFrameRowBytes));
    EXPECT_EQ(CGBitmapContextGetBitmapInfo(context), CGBitmapInfo(kCGImageAlphaPremultipliedFirst));
    CGContextRelease(context);

    const std::function<void(SHARED_CAMERA_BUFFER&)> bad[] = {
        [](SHARED_CAMERA_BUFFER& b) { b.frameBufferPtr = nullptr; },
        [](SHARED_CAMERA_BUFFER& b) { b.frameWidth = 0; },
        [](SHARED_CAMERA_BUFFER& b) { b.frameHeight = -480; },
        [](SHARED_CAMERA_BUFFER& b) { b.frameBufferRowBytes = 100; }, // narrower than a row
        [](SHARED_CAMERA_BUFFER& b) { b.frameBufferSizeBytes -= 1; }, // last row outside
        [](SHARED_CAMERA_BUFFER& b) { b.frameBufferRowBytes = INT32_MIN; }};
    for (size_t i = 0; i < std::size(bad); ++i) {
        SHARED_CAMERA_BUFFER record = good;
        bad[i](record);
        EXPECT_EQ(CGContextRef_From_ARGB_CameraBuffer(record), nullptr) << i;
    }
}

} // namespace
