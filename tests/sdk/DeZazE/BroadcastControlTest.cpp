// The broadcast control as the stereo window holds it, on the offscreen platform: its switches,
// their preferences, the component's installation, and what another process then receives.
#include <QCheckBox>
#include <QSettings>
#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "BroadcastWidgetTest.h"
#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "Folders.h"
#include "NSUserDefault.h"
#include "P3DBroadcastControl.h"
#include "TestSupport.h"
#include "WidgetApplication.h"
#include "shared_camera_bundle.h"

namespace {

const int kTimeoutMs = 30000;

std::string SettingsFile()
{
    return std::string(getenv("XDG_CONFIG_HOME")) + "/Parallax3D/Parallax3D.conf";
}

// The frame a reader in another process gets now: one frame of the virtual camera's output.
std::string FrameSeenByAnotherProcess()
{
    p3dtest::Child vcam({VCAM_PATH, "--output", "-", "--format", "argb", "--frames", "1"});
    return vcam.wait(kTimeoutMs) == 0 ? vcam.out() : "vcam failed: " + vcam.err();
}

class BroadcastControlTest : public p3dtest::BroadcastWidgetTest
{
protected:
    void SetUp() override
    {
        p3dtest::BroadcastWidgetTest::SetUp();
        if (IsSkipped())
            return;
        control = std::make_unique<P3DBroadcastControl>();
        control->awakeFromNib();
    }
    void TearDown() override
    {
        if (control)
            control->setBroadcastEnabled(false);
    }

    // One frame of the drawing path: the bitmap rendered into the channel.
    bool drawFrame(const CoreGraphics::BitmapContext& bitmap)
    {
        CFPtr<CIImage> image = CIImage::imageWithARGBMemory(
            bitmap.mImageDataBytes, bitmap.mImageRowBytes, bitmap.mImageWidth, bitmap.mImageHeight);
        CIContext* context = control->beginSwitchContexts();
        if (context)
            context->drawImage(image.get(), CGPointMake(0, 0), image->extent());
        control->endSwitchContexts();
        return context != nullptr;
    }

    std::unique_ptr<P3DBroadcastControl> control;
};

TEST_F(BroadcastControlTest, FirstLaunchAllowsConnectionsAndDoesNotBroadcast)
{
    control->applicationDidFinishLaunching(nullptr);
    EXPECT_TRUE(control->areCameraConnectionAllowed());
    EXPECT_FALSE(control->isBroadcastEnabled());
    EXPECT_FALSE(control->isBroadcasting());
    EXPECT_TRUE(control->allowCameraButton()->isHidden());
    EXPECT_FALSE(p3dtest::PathExists(p3dtest::UserComponentLink()));
    EXPECT_FALSE(p3dtest::PathExists(p3dtest::ChannelPath()));
    EXPECT_EQ(control->currentCIContext(), nullptr);
}

TEST_F(BroadcastControlTest, AComponentInstalledSystemWideStaysUnloadedUntilSwitchedOn)
{
    ASSERT_TRUE(p3dtest::CopyComponentInto(kSystemDomain));
    control->applicationDidFinishLaunching(nullptr);
    EXPECT_FALSE(control->isBroadcasting());
    control->allowCameraButton()->click(); // off, kept for the start
    control->setBroadcastEnabled(true);
    EXPECT_TRUE(control->isBroadcasting());
    EXPECT_FALSE(control->allowCameraButton()->isHidden());
    UInt32 word = 0;
    memcpy(&word, p3dtest::ReadFile(p3dtest::ChannelPath()).data() + kSharedMemoryConnectionsOffset,
           4);
    EXPECT_EQ(word, UInt32(kSharedMemoryConnectionsRefused));
    control->setBroadcastEnabled(false);
    p3dtest::RemoveTree(p3dtest::ComponentsFolder(kSystemDomain));
}

TEST_F(BroadcastControlTest, StoredSwitchesOfTheWrongKindCountAsAbsent)
{
    const struct
    {
        const char* file;
        bool allow, broadcast;
    } cases[] = {
        {"[General]\n_rebroadcastButton=banana\n_allowCameraButton=0\n", false, false},
        {"[General]\n_rebroadcastButton=1\n_allowCameraButton=yes\n", true, true},
        {"\x01\x02garbage\xff[[[\n=\n", true, false},
    };
    ASSERT_EQ(system(("mkdir -p \"$(dirname '" + SettingsFile() + "')\"").c_str()), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        p3dtest::WriteFile(SettingsFile(), c.file);
        P3DBroadcastControl next;
        next.applicationDidFinishLaunching(nullptr);
        EXPECT_EQ(next.areCameraConnectionAllowed(), c.allow);
        EXPECT_EQ(next.isBroadcastEnabled(), c.broadcast);
        EXPECT_EQ(next.isBroadcasting(), c.broadcast);
        next.setBroadcastEnabled(false);
    }
}

TEST_F(BroadcastControlTest, EveryWayOfSwitchingStartsAndStopsTheBroadcast)
{
    const struct
    {
        const char* name;
        std::function<void(P3DBroadcastControl&, bool)> set;
    } ways[] = {
        {"click", [](P3DBroadcastControl& c, bool) { c.rebroadcastButton()->click(); }},
        {"toggle", [](P3DBroadcastControl& c, bool) { c.toggleBroadcastButtonAction(nullptr); }},
        {"set", [](P3DBroadcastControl& c, bool on) { c.setBroadcastEnabled(on); }},
    };
    control->applicationDidFinishLaunching(nullptr);
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        way.set(*control, true);
        EXPECT_TRUE(control->isBroadcasting());
        EXPECT_TRUE(p3dtest::PathExists(p3dtest::UserComponentLink()));
        EXPECT_FALSE(control->allowCameraButton()->isHidden());
        CIContext* zero = control->currentCIContext();
        ASSERT_NE(zero, nullptr);
        control->writer().useContextZero();
        const SHARED_CAMERA_BUFFER noPixels = {};
        control->writer().setCurrentBroadcastGraphicsContext(&noPixels); // buffer 1 now
        EXPECT_NE(control->currentCIContext(), nullptr) << "both pairs";
        EXPECT_NE(control->currentCIContext(), zero);

        way.set(*control, false);
        EXPECT_FALSE(control->isBroadcasting());
        EXPECT_FALSE(p3dtest::PathExists(p3dtest::UserComponentLink()));
        EXPECT_TRUE(control->allowCameraButton()->isHidden());
        EXPECT_EQ(control->currentCIContext(), nullptr);
    }
}

TEST_F(BroadcastControlTest, AnotherProcessGetsTheFrameAndTheAllowSwitchAtOnce)
{
    control->applicationDidFinishLaunching(nullptr);
    control->setBroadcastEnabled(true);
    CoreGraphics::BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(640, 480, CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0));
    std::string frame;
    for (bool drawn : {false, true}) {
        SCOPED_TRACE(drawn ? "drawing path" : "bitmap path");
        // Rows are copied as they are; a render needs pixels that are valid premultiplied.
        if (drawn)
            p3dtest::FillBars(bitmap.mImageDataBytes);
        else
            p3dtest::FillFrame(bitmap.mImageDataBytes, 5);
        frame.assign(reinterpret_cast<const char*>(bitmap.mImageDataBytes),
                     kSharedCameraFrameSizeBytes);
        if (drawn)
            ASSERT_TRUE(drawFrame(bitmap));
        else
            control->broadcastFrame(&bitmap);
        EXPECT_TRUE(FrameSeenByAnotherProcess() == frame) << "byte for byte";
    }

    control->allowCameraButton()->click();
    EXPECT_FALSE(control->areCameraConnectionAllowed());
    const std::string refused = FrameSeenByAnotherProcess();
    EXPECT_EQ(refused.size(), size_t(kSharedCameraFrameSizeBytes));
    EXPECT_FALSE(refused == frame) << "the reader shows its own picture";

    // While not broadcasting, the switch is kept for the next start and sent then.
    control->setBroadcastEnabled(false);
    control->allowCameraButton()->click();
    UInt32 word = 0;
    memcpy(&word, p3dtest::ReadFile(p3dtest::ChannelPath()).data() + kSharedMemoryConnectionsOffset,
           4);
    EXPECT_EQ(word, UInt32(kSharedMemoryConnectionsRefused));
    control->setBroadcastEnabled(true);
    ASSERT_TRUE(drawFrame(bitmap));
    EXPECT_EQ(FrameSeenByAnotherProcess().substr(0, 64),
              std::string(reinterpret_cast<const char*>(bitmap.mImageDataBytes), 64));
}

TEST_F(BroadcastControlTest, ClosingStoresBothSwitchesForTheNextLaunch)
{
    control->applicationDidFinishLaunching(nullptr);
    control->setBroadcastEnabled(true);
    control->allowCameraButton()->click();
    control->applicationWillTerminate(nullptr);
    EXPECT_FALSE(control->isBroadcasting());
    EXPECT_FALSE(p3dtest::PathExists(p3dtest::UserComponentLink()));
    EXPECT_EQ(NSUserDefaultLoadKind<NSNumber>("_allowCameraButton", NSNumber(-1)), NSNumber(0));
    EXPECT_EQ(NSUserDefaultLoadKind<NSNumber>("_rebroadcastButton", NSNumber(-1)), NSNumber(1));

    P3DBroadcastControl next;
    next.applicationDidFinishLaunching(nullptr);
    EXPECT_FALSE(next.areCameraConnectionAllowed());
    EXPECT_TRUE(next.isBroadcasting());
    EXPECT_FALSE(next.allowCameraButton()->isHidden());
    next.setBroadcastEnabled(false);
}

TEST_F(BroadcastControlTest, TheLinkAnchorsHold)
{
    p3dtest::LogCapture log;
    control->awakeFromNib();
    EXPECT_TRUE(import_NSUICamBroadcastControlFast());
    EXPECT_EQ(log.text(), "");
}

} // namespace
