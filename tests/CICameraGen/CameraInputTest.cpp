// The camera input's reader and filter in process, against the real channel: the component is
// found in the suite's user components folder, the broadcaster runs in another process.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "CFNumber.h"
#include "CIContext.h"
#include "CIParallax3DInput.h"
#include "CIParallax3DInputResources.h"
#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "CoreGraphicsBitmapContext.h"
#include "DictionaryKeys.h"
#include "Folders.h"
#include "PNGDecoder.h"
#include "Q_2vuy_data.h"
#include "RenderImage.h"
#include "TestSupport.h"
#include "shared_camera_bundle.h"

using p3dtest::Child;

namespace {

const int kTimeoutMs = 20000;

// The image's pixels as A, R, G, B bytes, at its own size.
std::vector<UInt8> Pixels(const CIImage* image)
{
    const CGRect extent = image->extent();
    return p3dtest::RenderImage(image, size_t(extent.size.width), size_t(extent.size.height));
}

std::vector<UInt8> NumberedFrame(UInt32 number)
{
    std::vector<UInt8> frame(kSharedCameraFrameSizeBytes);
    p3dtest::FillFrame(frame.data(), number);
    return frame;
}

class CameraInputTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        // A fresh channel, and a fresh load of the component to see it.
        SharedCameraBundle::sComponent.mDLL.Unload();
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
        ASSERT_FALSE(p3dtest::LinkUserComponent().empty());
        CIParallax3DInput_VSharedCameraBuffer::IdentifyHost("test");
    }
};

TEST_F(CameraInputTest, WithNoBroadcasterTheReaderFindsNothingAndKeepsOnlyTheSizeField)
{
    CIParallax3DInput_VSharedCameraBuffer reader;
    EXPECT_FALSE(reader.readCurrentCameraFrame());
    SHARED_CAMERA_BUFFER expected = {};
    expected.sizeofSHARED_CAMERA_BUFFER = 32;
    EXPECT_EQ(memcmp(&reader.camera, &expected, sizeof(expected)), 0);
    EXPECT_FALSE(reader.hasCurrentCameraFrame());
    EXPECT_EQ(reader.fastestCoreImage(), nullptr);
    EXPECT_EQ(reader.frameSize().width, 640);
    ASSERT_NE(reader.bitmapContext(), nullptr);
    EXPECT_TRUE(reader.bitmapContext()->IsConstructed());
}

TEST_F(CameraInputTest, ARawFrameIsWrappedWhereItLiesUnderItsLock)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "31"}));
    p3dtest::LogCapture log;
    CIParallax3DInput_VSharedCameraBuffer reader;
    EXPECT_NE(log.text().find("__LP64__ CISpyglassInput (640,480) rowBytes:2560"),
              std::string::npos);
    ASSERT_TRUE(reader.readCurrentCameraFrame());
    EXPECT_EQ(reader.camera.framePixelFormat, kSharedCameraPixelFormat);
    CFPtr<CIImage> image = reader.fastestCoreImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->kind(), CIImage::Kind::kSource);
    EXPECT_EQ(image->sourceBase(), reader.camera.frameBufferPtr) << "a copy, not a wrap";
    EXPECT_EQ(Pixels(image.get()), NumberedFrame(31));
    // The lock was given back: another process can take the buffer.
    EXPECT_TRUE(p3dtest::RunChannelHelper({"trylock", "1"}));
}

TEST_F(CameraInputTest, OnlyThumbnailersReadWithoutTheLock)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "4"}));
    Child holder({CHANNEL_HELPER_PATH, "hold-current"});
    ASSERT_EQ(holder.readLine(kTimeoutMs), "holding");
    CIParallax3DInput_VSharedCameraBuffer reader;
    ASSERT_TRUE(reader.readCurrentCameraFrame());
    EXPECT_EQ(reader.fastestCoreImage(), nullptr) << "made an image without the lock";

    CIParallax3DInput_VSharedCameraBuffer::IdentifyHost("tumblerd");
    EXPECT_TRUE(CIParallax3DInput_VSharedCameraBuffer::RunningInSandboxWithNoSemaphores());
    EXPECT_NE(reader.fastestCoreImage(), nullptr);
    CIParallax3DInput_VSharedCameraBuffer::IdentifyHost("tumblerd-helper");
    EXPECT_FALSE(CIParallax3DInput_VSharedCameraBuffer::RunningInSandboxWithNoSemaphores());
    kill(holder.pid(), SIGKILL);
    holder.wait(kTimeoutMs);
}

TEST_F(CameraInputTest, TheCopyPathGivesAPrivateCopyWithAlphaFirst)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "12"}));
    CIParallax3DInput_VSharedCameraBuffer reader;
    ASSERT_TRUE(reader.readCurrentCameraFrame());
    CGImageRef image = reader.quartzImageFrom_ARGB_CameraBuffer();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetBitmapInfo(image), CGBitmapInfo(2));
    EXPECT_NE(CGImageGetPixelBase(image), reader.camera.frameBufferPtr);
    EXPECT_EQ(
        memcmp(CGImageGetPixelBase(image), NumberedFrame(12).data(), kSharedCameraFrameSizeBytes),
        0);
    // The copy stays as it was when the channel moves on.
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "13"}));
    EXPECT_EQ(
        memcmp(CGImageGetPixelBase(image), NumberedFrame(12).data(), kSharedCameraFrameSizeBytes),
        0);
    CGImageRelease(image);
}

// Frames this channel never carries but a reader must survive: described by hand over memory
// of the test's own.
TEST_F(CameraInputTest, A2vuyFrameIsConvertedRowByRowWhenItCannotBeWrapped)
{
    CIParallax3DInput_VSharedCameraBuffer reader;
    const UInt8 white[] = {255, 255, 255, 255}, black[] = {255, 0, 0, 0};
    // Rows alternate white-black and black-white pairs, so a row read from the wrong place
    // shows; the padding holds bytes no row has.
    for (const int rowBytes : {1280, 1408}) {
        std::vector<UInt8> frame(size_t(rowBytes) * 480, 0xEE);
        std::vector<UInt8> expected(640 * 480 * 4);
        for (size_t y = 0; y < 480; ++y) {
            const bool odd = y % 2 != 0;
            for (size_t x = 0; x < 640; x += 2) {
                UInt8* pair = &frame[y * size_t(rowBytes) + x * 2];
                pair[0] = 128;            // Cb
                pair[1] = odd ? 16 : 235; // Y'0
                pair[2] = 128;            // Cr
                pair[3] = odd ? 235 : 16; // Y'1
                memcpy(&expected[(y * 640 + x) * 4], odd ? black : white, 4);
                memcpy(&expected[(y * 640 + x + 1) * 4], odd ? white : black, 4);
            }
        }
        reader.camera = SHARED_CAMERA_BUFFER{32,  frame.data(), rowBytes,      SInt32(frame.size()),
                                             640, 480,          FourCC("2vuy")};
        p3dtest::LogCapture log;
        CFPtr<CIImage> image = reader.fastestCoreImage();
        const std::string text = log.text();
        EXPECT_EQ(text.find("VERIFY"), std::string::npos)
            << "a working path reports nothing: " << text;
        ASSERT_NE(image, nullptr) << "row bytes " << rowBytes;
        EXPECT_NE(image->sourceBase(), frame.data());
        EXPECT_TRUE(Pixels(image.get()) == expected) << "row bytes " << rowBytes;
    }
}

TEST_F(CameraInputTest, DescriptionsThatDoNotFitTheirMemoryGiveNoImage)
{
    // Memory of the test's own has no channel lock: read it as thumbnailers do.
    CIParallax3DInput_VSharedCameraBuffer reader;
    CIParallax3DInput_VSharedCameraBuffer::IdentifyHost("tumblerd");
    std::vector<UInt8> frame(640 * 480 * 4);
    const SHARED_CAMERA_BUFFER good = {
        32, frame.data(), 2560, SInt32(frame.size()), 640, 480, kSharedCameraPixelFormat};
    reader.camera = good;
    EXPECT_NE(reader.fastestCoreImage(), nullptr);

    struct Case
    {
        const char* what;
        void (*change)(SHARED_CAMERA_BUFFER&);
    };
    const Case cases[] = {
        {"another format", [](SHARED_CAMERA_BUFFER& c) { c.framePixelFormat = FourCC("yuvs"); }},
        {"zero width", [](SHARED_CAMERA_BUFFER& c) { c.frameWidth = 0; }},
        {"negative height", [](SHARED_CAMERA_BUFFER& c) { c.frameHeight = -480; }},
        {"odd 2vuy width",
         [](SHARED_CAMERA_BUFFER& c) {
             c.framePixelFormat = FourCC("2vuy");
             c.frameWidth = 639;
         }},
        {"rows too short", [](SHARED_CAMERA_BUFFER& c) { c.frameBufferRowBytes = 2556; }},
        {"frame larger than its memory",
         [](SHARED_CAMERA_BUFFER& c) { c.frameBufferSizeBytes = 2560 * 479; }},
        {"wrong record size", [](SHARED_CAMERA_BUFFER& c) { c.sizeofSHARED_CAMERA_BUFFER = 24; }},
        {"no memory", [](SHARED_CAMERA_BUFFER& c) { c.frameBufferPtr = nullptr; }},
    };
    for (const Case& c : cases) {
        reader.camera = good;
        c.change(reader.camera);
        EXPECT_EQ(reader.fastestCoreImage(), nullptr) << c.what;
    }
}

// Made by the registry or directly by its class, the filter describes exactly its clock and
// takes it.
TEST(CameraInputFilter, DescribesOneParameterAndPassesRegionsThrough)
{
    CIParallax3DInputLoader loader;
    EXPECT_TRUE(loader.load(nullptr));
    const std::pair<const char*, CFPtr<CIFilter>> filters[] = {
        {"registry", CIFilter::filterWithName(CFSTR("CIParallax3DInput"))},
        {"class", CIParallax3DInput::filterWithName(CFSTR("CIParallax3DInput"))},
    };
    for (const auto& [how, filter] : filters) {
        ASSERT_NE(filter, nullptr) << how;
        auto* input = static_cast<CIParallax3DInput*>(filter.get());
        CFDictionaryRef custom = input->customAttributes();
        EXPECT_EQ(p3dtest::DictionaryKeys(custom), std::set<std::string>{"inputClock"}) << how;
        auto clock =
            custom ? static_cast<CFDictionaryRef>(CFDictionaryGetValue(custom, CFSTR("inputClock")))
                   : nullptr;
        ASSERT_NE(clock, nullptr) << how;
        EXPECT_EQ(p3dtest::DictionaryKeys(clock),
                  (std::set<std::string>{"CIAttributeType", "CIAttributeIdentity",
                                         "CIAttributeDefault", "CIAttributeSliderMax",
                                         "CIAttributeSliderMin", "CIAttributeMin"}))
            << how;
        auto number = [&](CFStringRef key) {
            double value = -1;
            CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(clock, key)),
                             kCFNumberDoubleType, &value);
            return value;
        };
        EXPECT_EQ(number(kCIAttributeDefault), 0.0) << how;
        EXPECT_EQ(number(kCIAttributeIdentity), 0.0) << how;
        EXPECT_EQ(number(kCIAttributeMin), 0.0) << how;
        EXPECT_EQ(number(kCIAttributeSliderMin), 0.0) << how;
        EXPECT_EQ(number(kCIAttributeSliderMax), 1000000000.0) << how;
        EXPECT_TRUE(
            CFEqual(CFDictionaryGetValue(clock, kCIAttributeType), kCIAttributeTypeDistance))
            << how;
        CFRelease(custom);

        double tick = 42;
        CFNumberRef value = CFNumberCreate(nullptr, kCFNumberDoubleType, &tick);
        EXPECT_TRUE(filter->setValue(value, CFSTR("inputClock"))) << how;
        CFRelease(value);
        for (CGRect rect : {CGRect{{0, 0}, {640, 480}}, CGRect{{-3.5, 7}, {0, 1e9}}}) {
            const CGRect region = input->regionOf(0, rect, nullptr);
            EXPECT_EQ(memcmp(&region, &rect, sizeof(rect)), 0) << how;
        }
    }
    EXPECT_NE(CIParallax3DInput::UnusedFilterKernel(), nullptr);
}

TEST_F(CameraInputTest, TheFilterGoesFromItsPictureToLiveFramesAndKeepsTheLastOne)
{
    CIParallax3DInputLoader().load(nullptr);
    CFPtr<CIFilter> filter = CIFilter::filterWithName(CFSTR("CIParallax3DInput"));
    auto* input = static_cast<CIParallax3DInput*>(filter.get());
    EXPECT_EQ(input->cameraBuffer(), nullptr) << "making the filter must not touch the channel";

    // Before any broadcast: the no-camera picture, exactly as the plug-in carries it.
    CFPtr<CIImage> first = filter->outputImage();
    ASSERT_NE(first, nullptr);
    const CIParallax3DInputResource png = CIParallax3DInputFindResource("CISpyglassInput", "png");
    CoreImage::DecodedImage picture;
    ASSERT_TRUE(CoreImage::DecodePNG(png.bytes, png.size, picture));
    EXPECT_EQ(Pixels(first.get()), picture.pixels);
    EXPECT_EQ(input->sharedFrameBuffer(), nullptr);

    // The broadcast starts: the same filter shows it.
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "21"}));
    CFPtr<CIImage> live = filter->outputImage();
    EXPECT_EQ(Pixels(live.get()), NumberedFrame(21));
    EXPECT_NE(input->sharedFrameBuffer(), nullptr);

    // It pauses: the last frame stays.
    ASSERT_TRUE(p3dtest::RunChannelHelper({"unpublish"}));
    EXPECT_EQ(Pixels(filter->outputImage().get()), NumberedFrame(21));
    // And goes on.
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "22"}));
    EXPECT_EQ(Pixels(filter->outputImage().get()), NumberedFrame(22));
}

} // namespace
