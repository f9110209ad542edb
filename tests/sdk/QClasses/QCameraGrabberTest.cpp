// The camera grabber against in-memory V4L2 devices and the test-pattern camera: opening,
// frames into the bitmap, a camera lost and found again, auto-open timing, and the reports.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <string>
#include <vector>

#include "CoreElapsedTime.h"
#include "FakeV4L2.h"
#include "QCameraGrabCGContext.h"
#include "TestPatternCamera.h"
#include "TestPatternScene.h"
#include "TestSupport.h"
#include "V4L2System.h"

namespace {

UInt64 gNowUs = 0;
UInt64 FakeNow()
{
    return gNowUs;
}

void Advance(double seconds)
{
    gNowUs += UInt64(seconds * 1000000.0);
}

const Rect kFrame = {0, 0, 480, 640};

// Remembers every status the grabber announced, so open attempts can be counted.
class RecordingGrabber : public QCameraGrabCGContext
{
public:
    void DrawCameraStatusInFrameBuffer(CameraStatus status) const override
    {
        statuses.push_back(status);
    }
    int Attempts() const { return int(statuses.size()) - int(countAtMark); }
    void Mark() { countAtMark = statuses.size(); }

    mutable std::vector<CameraStatus> statuses;
    size_t countAtMark = 0;
};

// A YUYV frame whose left half is black and right half white.
std::vector<uint8_t> HalfWhiteYUYV(int width, int height)
{
    std::vector<uint8_t> frame(size_t(width) * height * 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 2) {
            uint8_t* p = &frame[(size_t(y) * width + x) * 2];
            const uint8_t luma = x < width / 2 ? 16 : 235;
            p[0] = luma;
            p[1] = 128;
            p[2] = luma;
            p[3] = 128;
        }
    return frame;
}

class GrabberTest : public testing::Test
{
protected:
    void SetUp() override
    {
        gNowUs = 5000000;
        previousClock = CoreElapsedTime::SetClock(&FakeNow);
    }
    void TearDown() override { CoreElapsedTime::SetClock(previousClock); }

    FakeV4L2Device& addCamera(const std::string& card, std::vector<std::string> inputs,
                              FakeFrameSize size = {640, 480})
    {
        FakeV4L2Device& device = fake.AddDevice();
        device.card = card;
        device.inputs = std::move(inputs);
        device.sizes = {size};
        return device;
    }
    // A, R, G, B of a frame-buffer pixel.
    const uint8_t* pixel(const QCameraGrabCGContext& grabber, int x, int y) const
    {
        return grabber.mCamContext.mImageDataBytes +
               size_t(y) * grabber.mCamContext.mImageRowBytes + size_t(x) * 4;
    }
    void expectHalfWhite(const QCameraGrabCGContext& grabber) const
    {
        for (int y : {0, 240, 479}) {
            EXPECT_EQ(pixel(grabber, 0, y)[0], 255) << "opaque everywhere, row " << y;
            EXPECT_EQ(pixel(grabber, 639, y)[0], 255) << y;
            EXPECT_LT(pixel(grabber, 300, y)[1], 10) << y;
            EXPECT_GT(pixel(grabber, 340, y)[1], 245) << y;
            EXPECT_GT(pixel(grabber, 639, y)[2], 245) << y;
        }
    }
    void unplug(FakeV4L2Device& device)
    {
        device.failPoll = ENODEV;
        device.failIoctl[VIDIOC_QUERYCAP] = ENODEV;
    }
    void plugBackIn(FakeV4L2Device& device)
    {
        device.failPoll = 0;
        device.failIoctl.clear();
    }

    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    CoreElapsedTime::MicrosecondsProc previousClock = nullptr;
};

TEST_F(GrabberTest, ElapsedTimeFollowsTheInstalledClock)
{
    CoreElapsedTime elapsed;
    Advance(2.5);
    EXPECT_DOUBLE_EQ(elapsed.ElapsedSeconds(), 2.5);
    gNowUs = (UInt64(3) << 32) + 7; // both halves of the count matter
    elapsed.Restart();
    EXPECT_DOUBLE_EQ(elapsed.mStartTime, 3.0 * 4294967296.0 + 7);
    EXPECT_EQ(CoreElapsedTime::SetClock(nullptr), &FakeNow);
    EXPECT_GT(CoreElapsedTime::Now(), 0.0); // the monotonic clock again
    CoreElapsedTime::SetClock(&FakeNow);
}

TEST_F(GrabberTest, A320x240CameraFillsThe640x480BufferScaledByTwo)
{
    FakeV4L2Device& device = addCamera("Small Cam", {"Camera"}, {320, 240});
    RecordingGrabber grabber;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), 0);
    EXPECT_EQ(grabber.mVDIGRequestRect.Width(), 640); // an all-zero request takes the frame
    EXPECT_EQ(grabber.mVDIGRequestRect.Height(), 480);
    EXPECT_EQ(grabber.statuses, (std::vector<QCameraGrabberBase::CameraStatus>{
                                    QCameraGrabberBase::kCameraStatusOpening,
                                    QCameraGrabberBase::kCameraStatusReady}));
    ASSERT_EQ(grabber.StartRecord(), 0);
    const Point size = grabber.mCameraImageDesc.Dimensions();
    EXPECT_EQ(size.h, 320);
    EXPECT_EQ(size.v, 240);
    EXPECT_TRUE(device.streaming);

    device.PushFrame(HalfWhiteYUYV(320, 240));
    EXPECT_EQ(grabber.Idle(), 0);
    expectHalfWhite(grabber);

    EXPECT_EQ(grabber.StopRecord(), 0);
    EXPECT_EQ(grabber.VideoChannel(), nullptr);
    EXPECT_FALSE(device.streaming);
    EXPECT_EQ(grabber.mDecomSeq.mSeqID, 0);
    EXPECT_TRUE(grabber.IsFrameBufferConstructed()); // stopping keeps the picture
    grabber.Close();
    EXPECT_FALSE(grabber.IsFrameBufferConstructed());
    EXPECT_EQ(grabber.mComponent, nullptr);
}

// A 4:3 camera in a 16:9 frame: scaled once to the frame's height, black bars either side,
// never stretched.
TEST_F(GrabberTest, A640x480CameraInA1280x720FrameIsBarredNotStretched)
{
    FakeV4L2Device& device = addCamera("Small Cam", {"Camera"}, {640, 480});
    QCameraGrabCGContext grabber;
    ASSERT_EQ(grabber.OpenInitialize(Rect{0, 0, 720, 1280}, k32ARGBPixelFormat, nullptr), 0);
    ASSERT_EQ(grabber.StartRecord(), 0);
    EXPECT_EQ(device.width, 640u); // the nearest the camera has
    device.PushFrame(HalfWhiteYUYV(640, 480));
    ASSERT_EQ(grabber.Idle(), 0);
    // The picture is 960 wide from column 160; its black half ends at 640.
    for (int y : {0, 360, 719}) {
        for (int x : {0, 159, 1120, 1279}) {
            const uint8_t* bar = pixel(grabber, x, y);
            EXPECT_EQ(bar[0], 255) << x << "," << y;
            EXPECT_EQ(bar[1] | bar[2] | bar[3], 0) << "black bar at " << x << "," << y;
        }
        EXPECT_LT(pixel(grabber, 600, y)[1], 10) << y;
        EXPECT_GT(pixel(grabber, 680, y)[1], 245) << y;
        EXPECT_GT(pixel(grabber, 1115, y)[1], 245) << y;
    }
}

TEST_F(GrabberTest, AFrameSizeChangeReopensTheSameCameraAtTheNewSize)
{
    addCamera("First", {"Camera"});
    FakeV4L2Device& second = addCamera("Second", {"Camera"});
    second.sizes = {{640, 480}, {1280, 720}};
    QCameraGrabCGContext grabber;
    QSGDeviceList::InputIterator camera;
    camera.device = 1;
    camera.deviceName[0] = 6;
    memcpy(camera.deviceName + 1, "Second", 6);
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, &camera), 0);
    ASSERT_EQ(grabber.StartRecord(), 0);
    ASSERT_EQ(second.width, 640u);

    ASSERT_EQ(grabber.ChangeFrameSize(Rect{0, 0, 720, 1280}), 0);
    EXPECT_TRUE(second.streaming);
    EXPECT_EQ(second.width, 1280u);
    EXPECT_EQ(second.height, 720u);
    EXPECT_EQ(grabber.mCamContext.mImageWidth, 1280u);
    EXPECT_EQ(grabber.mCamContext.mImageHeight, 720u);
    second.PushFrame(HalfWhiteYUYV(1280, 720));
    ASSERT_EQ(grabber.Idle(), 0);
    EXPECT_GT(pixel(grabber, 1279, 719)[1], 245) << "the whole frame, no bars";

    grabber.Close(); // no camera: the size waits for the next open
    ASSERT_EQ(grabber.ChangeFrameSize(kFrame), 0);
    EXPECT_EQ(grabber.mFrameBufferRect.Width(), 640);
    EXPECT_EQ(grabber.mVDIGRequestRect.Width(), 640);
}

TEST_F(GrabberTest, ARequestRectSetBeforeOpeningIsKept)
{
    FakeV4L2Device& device = addCamera("Cam", {"Camera"});
    device.sizes = {{640, 480}, {320, 240}};
    QCameraGrabCGContext grabber;
    EXPECT_TRUE(grabber.SetCameraVDIGRequestRect(Rect{0, 0, 240, 320}));
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), 0);
    EXPECT_EQ(grabber.mVDIGRequestRect.Width(), 320);
    EXPECT_EQ(device.width, 320u); // asked of the device
    EXPECT_EQ(grabber.mFrameBufferRect.Width(), 640);
}

TEST_F(GrabberTest, FrameBufferIsKeptForTheSameSizeAndReplacedForAnother)
{
    p3dtest::LogCapture log;
    QCameraGrabCGContext grabber;
    EXPECT_FALSE(grabber.CreateFrameBuffer(QRect(0, 0, 480, 640), 24));
    EXPECT_FALSE(grabber.IsFrameBufferConstructed());
    ASSERT_TRUE(grabber.CreateFrameBuffer(QRect(0, 0, 480, 640), k32ARGBPixelFormat));
    const unsigned char* pixels = grabber.mCamContext.mImageDataBytes;
    ASSERT_TRUE(grabber.CreateFrameBuffer(QRect(0, 0, 480, 640), k32ARGBPixelFormat));
    EXPECT_EQ(grabber.mCamContext.mImageDataBytes, pixels);
    EXPECT_EQ(grabber.GetFrameBufferGWorldPtr(), grabber.mGWorld->mGWorld);

    ASSERT_TRUE(grabber.CreateFrameBuffer(QRect(0, 0, 240, 320), k32ARGBPixelFormat));
    EXPECT_EQ(grabber.mCamContext.mImageWidth, 320u);
    EXPECT_EQ(grabber.mFrameBufferRect.Width(), 320);
    EXPECT_EQ(grabber.mFrameBufferRect.Height(), 240);

    QImageDescription description;
    ASSERT_TRUE(grabber.GetFrameBufferImageDescription(description));
    EXPECT_EQ((*description.mHandle)->cType, k32ARGBPixelFormat);
    EXPECT_EQ((*description.mHandle)->rowBytes, SInt32(grabber.mCamContext.mImageRowBytes));
    EXPECT_EQ(description.Dimensions().h, 320);
    EXPECT_NE(log.text().find(" code : inFrameBufferPixelFormat==k32ARGBPixelFormat in "),
              std::string::npos);
}

TEST_F(GrabberTest, AReopenOfTheSameSizeKeepsTheBitmapMemory)
{
    FakeV4L2Device& device = addCamera("Cam", {"Camera"}, {320, 240});
    QCameraGrabCGContext grabber;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), 0);
    ASSERT_EQ(grabber.StartRecord(), 0);
    const unsigned char* pixels = grabber.mCamContext.mImageDataBytes;
    EXPECT_TRUE(grabber.CloseCameraInput());
    ASSERT_EQ(grabber.OpenCameraInput(nullptr), 0); // component kept: reopen and record
    EXPECT_NE(grabber.VideoChannel(), nullptr);
    EXPECT_TRUE(device.streaming);
    EXPECT_EQ(grabber.mCamContext.mImageDataBytes, pixels);
    p3dtest::LogCapture log;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), 0); // full reopen
    EXPECT_EQ(grabber.mCamContext.mImageDataBytes, pixels);
    EXPECT_EQ(log.text(), ""); // the old channel went with the old component, quietly
}

TEST_F(GrabberTest, AnUnpluggedCameraClosesTheChannelAndAutoOpenBringsItBack)
{
    FakeV4L2Device& device = addCamera("Cam", {"Camera"}, {320, 240});
    RecordingGrabber grabber;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), 0);
    ASSERT_EQ(grabber.StartRecord(), 0);
    device.PushFrame(HalfWhiteYUYV(320, 240));
    ASSERT_EQ(grabber.Idle(), 0);

    p3dtest::LogCapture log;
    unplug(device);
    EXPECT_EQ(grabber.Idle(), -ENODEV);
    EXPECT_EQ(grabber.VideoChannel(), nullptr);
    EXPECT_NE(grabber.mComponent, nullptr);
    EXPECT_EQ(device.BufferCount(), 0u); // the device was let go
    expectHalfWhite(grabber);            // the last picture stays

    grabber.Mark();
    Advance(1.01);
    EXPECT_EQ(grabber.Idle(), 0); // still gone: a failed reopen is not an error of Idle
    EXPECT_EQ(grabber.Attempts(), 1);
    EXPECT_EQ(grabber.statuses.back(), QCameraGrabberBase::kCameraStatusUnavailable);
    EXPECT_EQ(grabber.VideoChannel(), nullptr);

    plugBackIn(device);
    Advance(0.5);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_EQ(grabber.VideoChannel(), nullptr); // not before the period is over
    Advance(0.6);
    EXPECT_EQ(grabber.Idle(), 0);
    ASSERT_NE(grabber.VideoChannel(), nullptr);
    EXPECT_EQ(grabber.statuses.back(), QCameraGrabberBase::kCameraStatusReady);
    EXPECT_TRUE(device.streaming);
    log.text();

    memset(grabber.mCamContext.mImageDataBytes, 0, grabber.mCamContext.mImageDataSize);
    device.PushFrame(HalfWhiteYUYV(320, 240));
    EXPECT_EQ(grabber.Idle(), 0);
    expectHalfWhite(grabber);
}

TEST_F(GrabberTest, AutoOpenTriesOncePerPeriodAfterAFullPeriodAndNeverWhenDisabled)
{
    p3dtest::LogCapture log;
    RecordingGrabber grabber; // no camera at all
    EXPECT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), -ENODEV);
    ASSERT_TRUE(grabber.IsFrameBufferConstructed());
    grabber.SetAutoOpenCameraPluggedIn(true, 1.0f);
    grabber.Mark();

    Advance(1.0);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_EQ(grabber.Attempts(), 0); // exactly one period is not more than one
    Advance(0.001);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_EQ(grabber.Attempts(), 1);
    EXPECT_EQ(grabber.Idle(), 0);
    Advance(0.999);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_EQ(grabber.Attempts(), 1); // not again within the period
    Advance(0.002);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_EQ(grabber.Attempts(), 2);

    grabber.SetAutoOpenCameraPluggedIn(false, 10.0f);
    Advance(100);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_EQ(grabber.Attempts(), 2);

    // A camera plugged in is found by the next attempt once re-enabled.
    addCamera("Late Cam", {"Camera"});
    grabber.SetAutoOpenCameraPluggedIn(true, 2.0f);
    Advance(1.5);
    grabber.Idle();
    EXPECT_EQ(grabber.VideoChannel(), nullptr);
    Advance(0.6);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_NE(grabber.VideoChannel(), nullptr);
}

TEST_F(GrabberTest, AutoOpenWaitsForAFrameBuffer)
{
    addCamera("Cam", {"Camera"});
    RecordingGrabber grabber;
    Advance(5);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_TRUE(grabber.statuses.empty());
    EXPECT_EQ(grabber.mComponent, nullptr);

    // The first attempt on a closed grabber opens it all but does not start recording.
    ASSERT_TRUE(grabber.CreateFrameBuffer(QRect(kFrame), k32ARGBPixelFormat));
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_NE(grabber.mComponent, nullptr);
    EXPECT_NE(grabber.VideoChannel(), nullptr);
    EXPECT_EQ(grabber.mDecomSeq.mSeqID, 0);
}

TEST_F(GrabberTest, FailuresAnswerStatusesWithTheirReports)
{
    p3dtest::LogCapture log;
    QCameraGrabCGContext grabber;
    EXPECT_EQ(grabber.OpenInitialize(kFrame, 24, nullptr), -50);
    EXPECT_EQ(grabber.mComponent, nullptr);
    EXPECT_EQ(grabber.DefaultDataProc(nullptr, 0), -50);
    EXPECT_EQ(QSequenceGrabber::sDataProc(nullptr, nullptr, 0, 0, nullptr), -50);
    EXPECT_EQ(grabber.Stop(), -50);
    EXPECT_EQ(grabber.SetChannelBounds(kFrame), -50);
    QImageDescription description;
    EXPECT_EQ(grabber.GetVideoSampleDescription(description), -50);
    EXPECT_FALSE(description.Construct(ImageDescriptionHandle(nullptr), true));
    const std::string text = log.text();
    for (const char* report :
         {" code : CreateFrameBuffer(in_frame, inFrameBufferPixelFormat) in ", " code : mSeqID in ",
          " code : refCon_pThis in ", " code : IsOpen() in ", " code : mComponent in ",
          " code : mHandle = hImageDescription in "})
        EXPECT_NE(text.find(report), std::string::npos) << report;

    p3dtest::LogCapture quiet;
    EXPECT_EQ(grabber.StopRecord(), 0); // no sequence to end
    EXPECT_EQ(grabber.QCameraGrabberBase::StopRecord(), -50);
    EXPECT_EQ(quiet.text(), "");
}

TEST_F(GrabberTest, StopWithoutAChannelStillEndsTheSequence)
{
    addCamera("Cam", {"Camera"});
    QCameraGrabCGContext grabber;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), 0);
    ASSERT_EQ(grabber.StartRecord(), 0);
    EXPECT_EQ(grabber.OpenCameraInput(nullptr), 0); // already open: nothing to do
    EXPECT_EQ(grabber.CloseVideoChannel(), 0);
    ASSERT_NE(grabber.mDecomSeq.mSeqID, 0);
    EXPECT_EQ(grabber.StopRecord(), 0);
    EXPECT_EQ(grabber.mDecomSeq.mSeqID, 0);
}

TEST_F(GrabberTest, ACorruptFrameIsDroppedWithAReportAndTheBufferUntouched)
{
    FakeV4L2Device& device = addCamera("Jpeg Cam", {"Camera"});
    device.formats = {V4L2_PIX_FMT_MJPEG};
    QCameraGrabCGContext grabber;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, nullptr), 0);
    ASSERT_EQ(grabber.StartRecord(), 0);
    memset(grabber.mCamContext.mImageDataBytes, 0x5a, grabber.mCamContext.mImageDataSize);
    p3dtest::LogCapture log;
    device.PushFrame({0xff, 0xd8, 0xff, 0x00, 0x13, 0x37});
    // The frame's error reaches the caller; the grabber goes on with the next frame.
    EXPECT_EQ(grabber.Idle(), codecErr);
    EXPECT_NE(
        log.text().find(" code : err=mDecomSeq.DecompressSequenceFrameS(in_data,in_data_size)"),
        std::string::npos);
    EXPECT_EQ(grabber.Idle(), 0);
    EXPECT_EQ(device.QueuedBuffers(), device.BufferCount());
    for (UInt32 i = 0; i < grabber.mCamContext.mImageDataSize; i += 4099)
        ASSERT_EQ(grabber.mCamContext.mImageDataBytes[i], 0x5a) << i;
}

TEST_F(GrabberTest, TheCameraIsChosenByItsIteratorAndARejectedNameKeepsTheDefault)
{
    addCamera("First", {"Camera"});
    FakeV4L2Device& second = addCamera("Second", {"Left", "Right"});
    QCameraGrabCGContext grabber;
    QSGDeviceList::InputIterator camera;
    camera.device = 1;
    camera.deviceName[0] = 6;
    memcpy(camera.deviceName + 1, "Second", 6);
    camera.input = 1;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, &camera), 0);
    EXPECT_EQ(second.currentInput, 1);
    CoreCString deviceName, inputName;
    short inputNumber = -1;
    ASSERT_EQ(grabber.GetChannelDeviceAndInputNames(deviceName, inputName, inputNumber), 0);
    EXPECT_STREQ(deviceName.c_str(), "Second: Right");
    EXPECT_STREQ(inputName.c_str(), "Second: Right");
    EXPECT_EQ(inputNumber, 1);

    p3dtest::LogCapture log;
    memcpy(camera.deviceName + 1, "Gone!!", 6);
    EXPECT_EQ(grabber.InitializeVideoChannel(grabber.VideoChannel(), &camera), 0);
    QCameraGrabCGContext other;
    ASSERT_EQ(other.OpenInitialize(kFrame, k32ARGBPixelFormat, &camera), 0);
    ASSERT_EQ(other.GetChannelDeviceAndInputNames(deviceName, inputName, inputNumber), 0);
    EXPECT_STREQ(deviceName.c_str(), "First"); // the platform's default
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : result = SetChannelDevice(newVideoChannel, "
                        "(StringPtr)inCameraInput->deviceName )"),
              std::string::npos);
    EXPECT_EQ(text.find("SetChannelDeviceInput"), std::string::npos); // not tried after that
}

TEST_F(GrabberTest, TheTestPatternArrivesEndToEndInTheBitmap)
{
    static UInt64 sCameraUs = 0;
    sCameraUs = 1000000;
    TestPatternCamera pattern([] { return uint64_t(sCameraUs); });
    FakeV4L2Device& device = fake.AddDevice();
    pattern.Configure(device);

    QCameraGrabCGContext grabber;
    QSGDeviceList::InputIterator right;
    right.device = 0;
    right.deviceName[0] = UInt8(strlen(TestPatternCamera::kCardName));
    memcpy(right.deviceName + 1, TestPatternCamera::kCardName, right.deviceName[0]);
    right.input = 1;
    ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, &right), 0);
    ASSERT_EQ(grabber.StartRecord(), 0);
    ASSERT_NE(grabber.mCameraImageDesc.mHandle, nullptr);
    EXPECT_EQ((**grabber.mCameraImageDesc.mHandle).cType, OSType(V4L2_PIX_FMT_MJPEG));
    sCameraUs += 100000; // frame 3
    ASSERT_EQ(grabber.Idle(), 0);

    TestPatternScene scene;
    std::vector<uint8_t> rgb(640 * 480 * 3);
    ASSERT_TRUE(scene.Render(3, TestPatternScene::kRightEye, 640, 480, rgb.data(), 640 * 3));
    int compared = 0;
    for (int x = 4; x < 636; ++x) {
        const uint8_t* expected = &rgb[(240 * 640 + size_t(x)) * 3];
        bool flat = true; // away from edges, where JPEG rings
        for (int dx = -4; dx <= 4; ++dx)
            flat = flat && std::equal(expected, expected + 3, expected + dx * 3);
        if (!flat)
            continue;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(pixel(grabber, x, 240)[1 + c], expected[c], 24) << "column " << x;
        ++compared;
    }
    EXPECT_GT(compared, 300);
}

// Cameras whose one input carries the device's name, as the current camera is found by it.
class SelectionTest : public GrabberTest
{
protected:
    void addNamedCameras(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            devices.push_back(&addCamera(name, {name}));
    }
    static QSGDeviceList::InputIterator Camera(SInt16 device, const char* name, SInt16 input,
                                               const char* inputName)
    {
        QSGDeviceList::InputIterator it;
        it.device = device;
        it.deviceName[0] = UInt8(strlen(name));
        memcpy(it.deviceName + 1, name, it.deviceName[0]);
        it.input = input;
        it.inputName[0] = UInt8(strlen(inputName));
        memcpy(it.inputName + 1, inputName, it.inputName[0]);
        return it;
    }
    std::string current(const QCameraGrabberBase& grabber) const
    {
        QSGDeviceList::InputIterator it;
        if (!grabber.GetCurrentCamera(it))
            return "none";
        return std::to_string(it.device) + "/" + std::to_string(it.input);
    }
    void open(QCameraGrabberBase& grabber, const QSGDeviceList::InputIterator* camera)
    {
        ASSERT_EQ(grabber.OpenInitialize(kFrame, k32ARGBPixelFormat, camera), 0);
        ASSERT_EQ(grabber.StartRecord(), 0);
    }

    std::vector<FakeV4L2Device*> devices;
};

TEST_F(SelectionTest, StepsThroughThreeCamerasWithoutWrapping)
{
    addNamedCameras({"Cam A", "Cam B", "Cam C"});
    QCameraGrabCGContext grabber;
    const QSGDeviceList::InputIterator second = Camera(1, "Cam B", 0, "Cam B");
    open(grabber, &second);
    EXPECT_EQ(grabber.GetCameraCount(), 3);
    EXPECT_EQ(current(grabber), "1/0");
    EXPECT_TRUE(grabber.IsThisTheCurrentCamera(second));

    EXPECT_TRUE(grabber.UseNextCamera());
    EXPECT_EQ(current(grabber), "2/0");
    EXPECT_TRUE(devices[2]->streaming);
    EXPECT_FALSE(devices[1]->streaming);
    EXPECT_FALSE(grabber.UseNextCamera());
    EXPECT_EQ(current(grabber), "2/0");
    EXPECT_TRUE(grabber.UsePrevCamera());
    EXPECT_EQ(current(grabber), "1/0");
    EXPECT_TRUE(devices[1]->streaming);

    QSGDeviceList::InputIterator found;
    EXPECT_TRUE(grabber.GetCameraWithDeviceInputName(found, "Cam C"));
    EXPECT_EQ(found.device, 2);
    EXPECT_FALSE(grabber.GetCameraWithDeviceInputName(found, "Cam"));
}

// The menu path for cameras a person tells apart only by their names: each is picked by its
// name, found as the current camera and checked, and no look-up fails.
TEST_F(SelectionTest, EveryCameraIsPickedByItsNameAndFoundAsTheCurrentOne)
{
    struct Case
    {
        const char* what;
        std::vector<std::tuple<const char*, const char*, std::vector<std::string>>> devices;
        std::vector<const char*> names;
    };
    const Case cases[] = {
        {"two identical webcams",
         {{"HD Webcam C525", "usb-1-2", {"Camera 1"}}, {"HD Webcam C525", "usb-1-1", {"Camera 1"}}},
         {"HD Webcam C525 (2)", "HD Webcam C525"}},
        {"a capture card and the test pattern",
         {{"Grabster", "pci-1", {"Composite", "S-Video", "Tuner"}},
          {"Parallax3D Test Pattern", "", {"Left Eye", "Right Eye"}}},
         {"Grabster: Composite", "Grabster: S-Video", "Grabster: Tuner",
          "Parallax3D Test Pattern: Left Eye", "Parallax3D Test Pattern: Right Eye"}},
        {"names beyond ASCII",
         {{"Cam\xC3\xA9ra \xC3\xBC", "usb-1", {"Camera 1"}},
          {"Cam\xC3\xA9ra", "usb-2", {"Camera 1"}}},
         {"Cam\xC3\xA9ra \xC3\xBC", "Cam\xC3\xA9ra"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeV4L2 driver;
        ScopedV4L2System scope(driver);
        std::vector<FakeV4L2Device*> added;
        for (const auto& [card, bus, inputs] : c.devices) {
            FakeV4L2Device& device = driver.AddDevice();
            device.card = card;
            device.busInfo = bus;
            device.inputs = inputs;
            added.push_back(&device);
        }
        QCameraGrabCGContext grabber;
        open(grabber, nullptr);
        p3dtest::LogCapture log;
        for (const char* name : c.names) {
            QSGDeviceList::InputIterator camera;
            ASSERT_TRUE(grabber.GetCameraWithDeviceInputName(camera, name)) << name;
            if (!grabber.IsThisTheCurrentCamera(camera)) {
                ASSERT_EQ(grabber.SwitchToCamera(camera), 0) << name;
            }
            EXPECT_TRUE(grabber.IsThisTheCurrentCamera(camera)) << name;
            EXPECT_TRUE(added[size_t(camera.device)]->streaming) << name;
            EXPECT_EQ(added[size_t(camera.device)]->currentInput, camera.input) << name;
            QSGDeviceList::InputIterator current;
            ASSERT_TRUE(grabber.GetCurrentCamera(current));
            EXPECT_TRUE(current == camera) << name;
        }
        EXPECT_EQ(log.text().find("VERIFY"), std::string::npos) << log.text();
    }
}

TEST_F(SelectionTest, SwitchingIsRefusedForTheCameraInUseAndForUnknownCameras)
{
    addNamedCameras({"Cam A", "Cam B"});
    QCameraGrabCGContext grabber;
    open(grabber, nullptr);
    ASSERT_EQ(current(grabber), "0/0");

    p3dtest::LogCapture log;
    EXPECT_EQ(grabber.SwitchToCamera(Camera(0, "Cam A", 0, "Cam A")), -50);
    EXPECT_TRUE(devices[0]->streaming); // still recording
    EXPECT_EQ(grabber.SwitchToCamera(Camera(5, "Cam F", 0, "Cam F")), -50);
    EXPECT_TRUE(devices[0]->streaming); // refused before stopping
    EXPECT_NE(log.text().find(" code : deviceList.IsValidDeviceInput(camera_input) in "),
              std::string::npos);

    EXPECT_EQ(grabber.SwitchToCamera(Camera(1, "Cam B", 0, "Cam B")), 0);
    EXPECT_EQ(current(grabber), "1/0");
    devices[1]->PushFrame(HalfWhiteYUYV(640, 480));
    EXPECT_EQ(grabber.Idle(), 0);
    expectHalfWhite(grabber);
}

// The chosen camera goes away between the list and its opening: the status comes back with the
// open's report and the camera named in the log.
TEST_F(SelectionTest, ASwitchWhoseOpenFailsReportsTheCamera)
{
    addNamedCameras({"Cam A", "Cam B"});
    QCameraGrabCGContext grabber;
    open(grabber, nullptr);
    devices[1]->failIoctl[VIDIOC_S_INPUT] = ENODEV;
    p3dtest::LogCapture log;
    EXPECT_NE(grabber.SwitchToCamera(Camera(1, "Cam B", 0, "Cam B")), 0);
    EXPECT_FALSE(devices[1]->streaming);
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : result=OpenInitialize(useFrameBufferRect,usePixelFormat,"
                        "&camera_input) in "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("QSGDeviceList::InputIterator QCameraGrabberBase::SwitchCameraInputTo "
                        "ERROR SWITCHING:Camera Device[1]:'Cam B' Input[0]:'Cam B' \n"),
              std::string::npos)
        << text;
}

TEST_F(SelectionTest, OneCameraOrAnUnknownCurrentCamera)
{
    addCamera("Solo", {"Solo"});
    QCameraGrabCGContext grabber;
    open(grabber, nullptr);
    EXPECT_FALSE(grabber.UseNextCamera());
    EXPECT_FALSE(grabber.UsePrevCamera());
    EXPECT_TRUE(fake.DeviceAt("/dev/video0")->streaming);

    // Every camera is found by the name its channel reports, so stepping starts from it and no
    // look-up fails.
    FakeV4L2 other;
    ScopedV4L2System otherScope{other};
    FakeV4L2Device& a = other.AddDevice();
    a.card = "A";
    a.inputs = {"x"};
    FakeV4L2Device& b = other.AddDevice();
    b.card = "B";
    b.inputs = {"p", "q"};
    QCameraGrabCGContext stepping;
    open(stepping, nullptr);
    p3dtest::LogCapture log;
    EXPECT_EQ(current(stepping), "0/0");
    EXPECT_FALSE(stepping.UsePrevCamera()); // from the first camera there is no previous one
    EXPECT_TRUE(stepping.UseNextCamera());
    EXPECT_TRUE(b.streaming);
    EXPECT_EQ(b.currentInput, 0);
    EXPECT_EQ(current(stepping), "1/0");
    EXPECT_TRUE(stepping.UseNextCamera());
    EXPECT_EQ(b.currentInput, 1);
    EXPECT_FALSE(stepping.UseNextCamera());
    EXPECT_EQ(log.text().find("FindInputNamed"), std::string::npos);
}

TEST_F(SelectionTest, CamerasAreListedWhileNoCameraIsOpen)
{
    addNamedCameras({"Cam A", "Cam B", "Cam C"});
    QCameraGrabCGContext grabber;
    QSGDeviceList list;
    EXPECT_FALSE(grabber.GetCameraInputList(list)); // no grabber yet
    open(grabber, nullptr);
    ASSERT_TRUE(grabber.CloseCameraInput());
    ASSERT_EQ(grabber.VideoChannel(), nullptr);
    EXPECT_EQ(grabber.GetCameraCount(), 0);
    ASSERT_TRUE(grabber.GetCameraInputList(list));
    EXPECT_EQ(grabber.VideoChannel(), nullptr);
    short count = 0;
    ASSERT_TRUE(list.GetDeviceNameCount(count));
    EXPECT_EQ(count, 3);
    QSGDeviceList::InputIterator it;
    ASSERT_TRUE(list.GetLastInput(it));
    EXPECT_EQ(it.device, 2);
    // The temporary channel is gone: the grabber can still open its camera.
    EXPECT_EQ(grabber.OpenCameraInput(nullptr), 0);
    EXPECT_NE(grabber.VideoChannel(), nullptr);
}

TEST_F(SelectionTest, DiagnosticsNameTheChannelAndEveryInput)
{
    addCamera("Twin", {"Left", "Right"});
    addCamera("Bare", {});
    QCameraGrabCGContext grabber;
    open(grabber, nullptr);
    p3dtest::LogCapture log;
    grabber.DumpRelevantInfoToLog();
    grabber.DebugDumpDeviceInputNames();
    const std::string text = log.text();
    EXPECT_NE(text.find("QCameraGrabberBase::GetVideoSampleDescription deviceName:Twin: Left "
                        "inputNameTwin: Left inputNumber:0\n"),
              std::string::npos);
    const size_t left = text.find("QCamReflecter::ChannelDialogBox deviceInput:Twin: Left\n");
    ASSERT_NE(left, std::string::npos);
    EXPECT_NE(text.find("QCamReflecter::ChannelDialogBox deviceInput:Twin: Right\n", left),
              std::string::npos);
}

} // namespace
